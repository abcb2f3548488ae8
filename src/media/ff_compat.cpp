#include "media/ff_compat.h"

#include <cstring>

#include "media/ff.h"

namespace ff {
namespace {

#if STRELLA_FF_SUPPORTED_CONFIG
template <typename T>
const T* SupportedConfig(const AVCodecContext* enc, const AVCodec* codec, AVCodecConfig config) {
  const void* list = nullptr;
  if (!codec || ff::avcodec_get_supported_config(enc, codec, config, 0, &list, nullptr) < 0) return nullptr;
  return static_cast<const T*>(list);
}
#endif

}  // namespace

#if STRELLA_FF_SUPPORTED_CONFIG
const AVPixelFormat* SupportedPixelFormats(const AVCodecContext* enc, const AVCodec* codec) {
  return SupportedConfig<AVPixelFormat>(enc, codec, AV_CODEC_CONFIG_PIX_FORMAT);
}
const AVSampleFormat* SupportedSampleFormats(const AVCodecContext* enc, const AVCodec* codec) {
  return SupportedConfig<AVSampleFormat>(enc, codec, AV_CODEC_CONFIG_SAMPLE_FORMAT);
}
const int* SupportedSampleRates(const AVCodecContext* enc, const AVCodec* codec) {
  return SupportedConfig<int>(enc, codec, AV_CODEC_CONFIG_SAMPLE_RATE);
}
const AVRational* SupportedFrameRates(const AVCodecContext* enc, const AVCodec* codec) {
  return SupportedConfig<AVRational>(enc, codec, AV_CODEC_CONFIG_FRAME_RATE);
}
const AVChannelLayout* SupportedChannelLayouts(const AVCodecContext* enc, const AVCodec* codec) {
  return SupportedConfig<AVChannelLayout>(enc, codec, AV_CODEC_CONFIG_CHANNEL_LAYOUT);
}
#else
const AVPixelFormat* SupportedPixelFormats(const AVCodecContext*, const AVCodec* codec) {
  return codec ? codec->pix_fmts : nullptr;
}
const AVSampleFormat* SupportedSampleFormats(const AVCodecContext*, const AVCodec* codec) {
  return codec ? codec->sample_fmts : nullptr;
}
const int* SupportedSampleRates(const AVCodecContext*, const AVCodec* codec) {
  return codec ? codec->supported_samplerates : nullptr;
}
const AVRational* SupportedFrameRates(const AVCodecContext*, const AVCodec* codec) {
  return codec ? codec->supported_framerates : nullptr;
}
const AVChannelLayout* SupportedChannelLayouts(const AVCodecContext*, const AVCodec* codec) {
  return codec ? codec->ch_layouts : nullptr;
}
#endif

bool MuxerKeepsVariableFrameRate(const AVOutputFormat* format) {
  if (!(format->flags & AVFMT_VARIABLE_FPS)) return false;
  return std::strcmp(format->name, "mov") != 0 && std::strcmp(format->name, "mp4") != 0;
}

int64_t FrameDuration(const AVFrame* frame) {
#if STRELLA_FF_FRAME_DURATION
  return frame->duration;
#else
  return frame->pkt_duration;
#endif
}

#if STRELLA_FF_FRAME_FLAGS_INTERLACED
bool FrameIsInterlaced(const AVFrame* frame) { return frame->flags & AV_FRAME_FLAG_INTERLACED; }
bool FrameIsTopFieldFirst(const AVFrame* frame) { return frame->flags & AV_FRAME_FLAG_TOP_FIELD_FIRST; }
void SetFrameInterlacing(AVFrame* frame, bool interlaced, bool topFieldFirst) {
  frame->flags &= ~(AV_FRAME_FLAG_INTERLACED | AV_FRAME_FLAG_TOP_FIELD_FIRST);
  if (interlaced) frame->flags |= AV_FRAME_FLAG_INTERLACED;
  if (topFieldFirst) frame->flags |= AV_FRAME_FLAG_TOP_FIELD_FIRST;
}
#else
bool FrameIsInterlaced(const AVFrame* frame) { return frame->interlaced_frame; }
bool FrameIsTopFieldFirst(const AVFrame* frame) { return frame->top_field_first; }
void SetFrameInterlacing(AVFrame* frame, bool interlaced, bool topFieldFirst) {
  frame->interlaced_frame = interlaced;
  frame->top_field_first = topFieldFirst;
}
#endif

const uint8_t* StreamSideData(const AVStream* st, AVPacketSideDataType type, size_t* size) {
#if STRELLA_FF_CODED_SIDE_DATA
  const AVCodecParameters* par = st->codecpar;
  for (int i = 0; i < par->nb_coded_side_data; ++i)
    if (par->coded_side_data[i].type == type) {
      *size = par->coded_side_data[i].size;
      return par->coded_side_data[i].data;
    }
  *size = 0;
  return nullptr;
#else
  return ff::av_stream_get_side_data(st, type, size);
#endif
}

bool AddStreamSideData(AVStream* st, AVPacketSideDataType type, const void* data, size_t size) {
#if STRELLA_FF_CODED_SIDE_DATA
  AVPacketSideData* added =
      ff::av_packet_side_data_new(&st->codecpar->coded_side_data, &st->codecpar->nb_coded_side_data, type, size, 0);
  if (!added) return false;
  std::memcpy(added->data, data, size);
#else
  uint8_t* added = ff::av_stream_new_side_data(st, type, size);
  if (!added) return false;
  std::memcpy(added, data, size);
#endif
  return true;
}

const int32_t* StreamDisplayMatrix(const AVStream* st) {
  size_t size = 0;
  const uint8_t* data = StreamSideData(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
  return data && size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t*>(data) : nullptr;
}

}  // namespace ff
