/* The entry points a frame-hook module exports, under these names, with C
 * linkage:
 *   int  Configure(void** ctxp, int argc, char* argv[]);  0 on success; argv[0] is the module's file name
 *   void Process(void* ctx, TPicture* picture, int pix_fmt, int width, int height, int64_t pts);
 *   void Release(void* ctx);
 * Process changes the picture in place; pix_fmt is the library's pixel format
 * number, pts the picture's time in microseconds. Only Process is required; a
 * module without Configure takes no arguments. A Configure that fails frees
 * what it allocated: Release is not called for it. */
#ifndef STRELLA_MEDIA_FRAME_HOOK_MODULE_H
#define STRELLA_MEDIA_FRAME_HOOK_MODULE_H

#include "media/picture.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int (*FrameHookConfigureFn)(void** ctxp, int argc, char* argv[]);
typedef void (*FrameHookProcessFn)(void* ctx, TPicture* picture, int pix_fmt, int width, int height, int64_t pts);
typedef void (*FrameHookReleaseFn)(void* ctx);

#ifdef __cplusplus
}
#endif

#endif
