// Typed pointers to every bound library function. Code calls ff::name(...)
// exactly as it would call the library; the pointers are set by the loader
// (loader.h) and are null while their library is not loaded.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libavutil/fifo.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libavdevice/avdevice.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
#include <SDL.h>
#include <opencore-amrnb/interf_enc.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "media/library_functions.h"

#define STRELLA_DECLARE_FUNCTION(name) inline decltype(&::name) name = nullptr;

namespace ff {
STRELLA_AVUTIL_FUNCTIONS(STRELLA_DECLARE_FUNCTION)
STRELLA_SWRESAMPLE_FUNCTIONS(STRELLA_DECLARE_FUNCTION)
STRELLA_SWSCALE_FUNCTIONS(STRELLA_DECLARE_FUNCTION)
STRELLA_AVCODEC_FUNCTIONS(STRELLA_DECLARE_FUNCTION)
STRELLA_AVFORMAT_FUNCTIONS(STRELLA_DECLARE_FUNCTION)
STRELLA_AVFILTER_FUNCTIONS(STRELLA_DECLARE_FUNCTION)
STRELLA_AVDEVICE_FUNCTIONS(STRELLA_DECLARE_FUNCTION)
}  // namespace ff

namespace sdl {
STRELLA_SDL_FUNCTIONS(STRELLA_DECLARE_FUNCTION)
}  // namespace sdl

namespace amrnb {
STRELLA_AMRNB_FUNCTIONS(STRELLA_DECLARE_FUNCTION)
}  // namespace amrnb

namespace myutil {
STRELLA_MYUTIL_FUNCTIONS(STRELLA_DECLARE_FUNCTION)
}  // namespace myutil

#undef STRELLA_DECLARE_FUNCTION

namespace ff {
// The library's text for an error code (av_err2str calls the library directly).
std::string ErrorText(int code);
}  // namespace ff
