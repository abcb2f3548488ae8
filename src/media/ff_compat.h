// The differences between the media library versions the program builds
// against (FFmpeg 5.1 to 7.1), in one place: every version check of the tree
// is here, and code elsewhere calls these helpers instead of reading fields
// that one side lacks or has deprecated.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include <cstdint>

// avcodec_get_supported_config replaces AVCodec's lists of pixel formats,
// sample formats, rates and layouts (libavcodec 61.13, FFmpeg 7.1).
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
#define STRELLA_FF_SUPPORTED_CONFIG 1
#define STRELLA_AVCODEC_VERSIONED_FUNCTIONS(X) X(avcodec_get_supported_config)
#else
#define STRELLA_FF_SUPPORTED_CONFIG 0
#define STRELLA_AVCODEC_VERSIONED_FUNCTIONS(X)
#endif

// AVFrame.duration replaces pkt_duration (FFmpeg 6.0; pkt_duration is gone in 7).
#define STRELLA_FF_FRAME_DURATION (LIBAVUTIL_VERSION_MAJOR >= 58)

// Frame flags replace interlaced_frame and top_field_first (libavutil 58.7).
#ifdef AV_FRAME_FLAG_INTERLACED
#define STRELLA_FF_FRAME_FLAGS_INTERLACED 1
#else
#define STRELLA_FF_FRAME_FLAGS_INTERLACED 0
#endif

// A stream's side data moved into AVCodecParameters.coded_side_data; the
// stream accessor is gone in libavformat 61 (FFmpeg 7).
#if LIBAVFORMAT_VERSION_MAJOR >= 61
#define STRELLA_FF_CODED_SIDE_DATA 1
#define STRELLA_AVFORMAT_VERSIONED_FUNCTIONS(X)
#define STRELLA_AVCODEC_SIDE_DATA_FUNCTIONS(X) X(av_packet_side_data_new)
#else
#define STRELLA_FF_CODED_SIDE_DATA 0
#define STRELLA_AVFORMAT_VERSIONED_FUNCTIONS(X) X(av_stream_get_side_data) X(av_stream_new_side_data)
#define STRELLA_AVCODEC_SIDE_DATA_FUNCTIONS(X)
#endif

namespace ff {

// What an encoder accepts, given the context it will be opened with (its
// strictness can widen a list); null when it accepts any value. Each list
// ends as the library ends it (AV_PIX_FMT_NONE, 0, {0, 0}, a zeroed layout).
const AVPixelFormat* SupportedPixelFormats(const AVCodecContext* enc, const AVCodec* codec);
const AVSampleFormat* SupportedSampleFormats(const AVCodecContext* enc, const AVCodec* codec);
const int* SupportedSampleRates(const AVCodecContext* enc, const AVCodec* codec);
const AVRational* SupportedFrameRates(const AVCodecContext* enc, const AVCodec* codec);
const AVChannelLayout* SupportedChannelLayouts(const AVCodecContext* enc, const AVCodec* codec);

// A decoded frame's duration in its stream's time base; 0 when unknown.
int64_t FrameDuration(const AVFrame* frame);

// Whether a muxer keeps each picture's own time when no frame-rate mode is
// asked for. FFmpeg 7 marks mov and mp4 as variable-rate muxers, which 5.1
// did not: they stay constant-rate here, so that a chosen frame rate gives
// the same file on every version.
bool MuxerKeepsVariableFrameRate(const AVOutputFormat* format);

bool FrameIsInterlaced(const AVFrame* frame);
bool FrameIsTopFieldFirst(const AVFrame* frame);
void SetFrameInterlacing(AVFrame* frame, bool interlaced, bool topFieldFirst);

// A stream's side data of one type (its size in `size`), or null.
const uint8_t* StreamSideData(const AVStream* st, AVPacketSideDataType type, size_t* size);

// Adds a copy of `data` to a stream's side data; false when out of memory.
// Call after the stream's parameters are filled from its encoder, which
// replaces them in newer versions.
bool AddStreamSideData(AVStream* st, AVPacketSideDataType type, const void* data, size_t size);

// The stream's display matrix (nine 16.16 fixed-point values), or null.
const int32_t* StreamDisplayMatrix(const AVStream* st);

}  // namespace ff
