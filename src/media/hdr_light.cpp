#include "media/hdr_light.h"

#include <cmath>
#include <cstring>

#include "media/ff.h"
#include "media/ff_compat.h"
#include "media/file_reader.h"
#include "media/filter_chain.h"
#include "media/text_helpers.h"

namespace strella::media {
namespace {

// Side data is stored as the structure itself; a shorter block is not trusted.
template <typename T>
std::optional<T> Copied(const uint8_t* data, size_t size) {
  if (!data || size < sizeof(T)) return std::nullopt;
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

// A mastering display is only of use with both its colours and its brightness.
std::optional<AVMasteringDisplayMetadata> Complete(std::optional<AVMasteringDisplayMetadata> mastering) {
  if (mastering && (!mastering->has_primaries || !mastering->has_luminance)) return std::nullopt;
  return mastering;
}

std::optional<AVContentLightMetadata> Lit(std::optional<AVContentLightMetadata> content) {
  if (content && content->MaxCLL == 0 && content->MaxFALL == 0) return std::nullopt;
  return content;
}

// x265 counts chromaticities in units of 0.00002 and brightness in 0.0001 cd/m².
long Units(AVRational value, double per) { return std::lround(av_q2d(value) * per); }

}  // namespace

THdrLight StreamHdrLight(const AVStream* AStream) {
  THdrLight light;
  size_t size = 0;
  const uint8_t* data = ff::StreamSideData(AStream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &size);
  light.Mastering = Complete(Copied<AVMasteringDisplayMetadata>(data, size));
  data = ff::StreamSideData(AStream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &size);
  light.Content = Lit(Copied<AVContentLightMetadata>(data, size));
  return light;
}

THdrLight PictureHdrLight(const AVFrame* AFrame) {
  THdrLight light;
  if (const AVFrameSideData* data = ff::av_frame_get_side_data(AFrame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA))
    light.Mastering = Complete(Copied<AVMasteringDisplayMetadata>(data->data, data->size));
  if (const AVFrameSideData* data = ff::av_frame_get_side_data(AFrame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL))
    light.Content = Lit(Copied<AVContentLightMetadata>(data->data, data->size));
  return light;
}

THdrLight FileHdrLight(const std::string& AFileName, int AStreamIndex) {
  std::string error;
  const InputPtr input = OpenInputFile(AFileName, error);
  if (!input || AStreamIndex < 0 || AStreamIndex >= static_cast<int>(input->nb_streams)) return {};
  const AVStream* stream = input->streams[AStreamIndex];
  if (THdrLight light = StreamHdrLight(stream); !light.Empty()) return light;
  const DecoderPtr decoder = OpenStreamDecoder(stream, error);
  PacketPtr packet(ff::av_packet_alloc());
  FramePtr picture(ff::av_frame_alloc());
  if (!decoder || !packet || !picture) return {};
  // The messages come with the first key picture; a few packets more cover a decoder's delay.
  for (int read = 0; read < 64;) {
    const bool more = ff::av_read_frame(input.get(), packet.get()) >= 0;
    if (more && packet->stream_index != AStreamIndex) {
      ff::av_packet_unref(packet.get());
      continue;
    }
    ++read;
    ff::avcodec_send_packet(decoder.get(), more ? packet.get() : nullptr);
    ff::av_packet_unref(packet.get());
    if (ff::avcodec_receive_frame(decoder.get(), picture.get()) >= 0) return PictureHdrLight(picture.get());
    if (!more) break;
  }
  return {};
}

std::string X265HdrParams(const THdrLight& ALight) {
  std::string params;
  if (const auto& m = ALight.Mastering) {
    // x265 lists green, blue, red; the libraries store red, green, blue.
    params = Format("master-display=G(%ld,%ld)B(%ld,%ld)R(%ld,%ld)WP(%ld,%ld)L(%ld,%ld)",
                    Units(m->display_primaries[1][0], 50000), Units(m->display_primaries[1][1], 50000),
                    Units(m->display_primaries[2][0], 50000), Units(m->display_primaries[2][1], 50000),
                    Units(m->display_primaries[0][0], 50000), Units(m->display_primaries[0][1], 50000),
                    Units(m->white_point[0], 50000), Units(m->white_point[1], 50000),
                    Units(m->max_luminance, 10000), Units(m->min_luminance, 10000));
  }
  if (const auto& c = ALight.Content)
    params += (params.empty() ? "" : ":") + Format("max-cll=%u,%u", c->MaxCLL, c->MaxFALL);
  return params;
}

bool AddHdrLightToStream(AVStream* AStream, const THdrLight& ALight) {
  if (ALight.Mastering && !ff::AddStreamSideData(AStream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &*ALight.Mastering,
                                                 sizeof *ALight.Mastering))
    return false;
  return !ALight.Content ||
         ff::AddStreamSideData(AStream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &*ALight.Content, sizeof *ALight.Content);
}

}  // namespace strella::media
