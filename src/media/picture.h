/* A picture as plane pointers and line sizes (four of each), the shape the
 * frame converter and the frame-hook modules share. Plain C, so that a hook
 * module written in C can include it. */
#ifndef STRELLA_MEDIA_PICTURE_H
#define STRELLA_MEDIA_PICTURE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TPicture {
  uint8_t* data[4];
  int linesize[4];
} TPicture;

#ifdef __cplusplus
}
#endif

#endif
