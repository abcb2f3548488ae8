#include "media/loudness.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "media/ff.h"
#include "media/file_reader.h"
#include "media/filter_chain.h"
#include "media/loader.h"
#include "media/text_helpers.h"

namespace strella::media {
namespace {

// What ebur128 last wrote into a frame's metadata: the figures so far.
struct TMeter {
  std::optional<double> integrated, range, peak;
  void Read(const AVFrame* frame) {
    const auto value = [&](const char* key, std::optional<double>& into) {
      if (const AVDictionaryEntry* entry = ff::av_dict_get(frame->metadata, key, nullptr, 0))
        into = std::strtod(entry->value, nullptr);
    };
    value("lavfi.r128.I", integrated);
    value("lavfi.r128.LRA", range);
    value("lavfi.r128.true_peak", peak);  // linear
  }
};

struct TMeterGraph {
  FilterGraphPtr graph{ff::avfilter_graph_alloc()};
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
};

// abuffer -> [filters] -> ebur128 (true peaks, figures in each frame's
// metadata) -> abuffersink, for the decoded frames' format.
bool BuildMeter(TMeterGraph& meter, const AVFrame* frame, const std::string& filters) {
  AVFilterGraph* graph = meter.graph.get();
  if (!graph) return false;
  AVChannelLayout layout{};
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE) ff::av_channel_layout_copy(&layout, &frame->ch_layout);
  else ff::av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
  char layoutName[128] = "";
  ff::av_channel_layout_describe(&layout, layoutName, sizeof layoutName);
  ff::av_channel_layout_uninit(&layout);
  const std::string args =
      Format("time_base=1/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s", frame->sample_rate, frame->sample_rate,
             ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format)), layoutName);
  const std::string chain = (filters.empty() ? "" : filters + ",") + "ebur128=peak=true:metadata=1";
  return ff::avfilter_graph_create_filter(&meter.source, ff::avfilter_get_by_name("abuffer"), "src", args.c_str(),
                                          nullptr, graph) >= 0 &&
         ff::avfilter_graph_create_filter(&meter.sink, ff::avfilter_get_by_name("abuffersink"), "out", nullptr,
                                          nullptr, graph) >= 0 &&
         LinkFilterChain(graph, meter.source, meter.sink, chain) && ff::avfilter_graph_config(graph, nullptr) >= 0;
}

void ReadMeter(TMeterGraph& meter, AVFrame* frame, TMeter& figures) {
  while (ff::av_buffersink_get_frame(meter.sink, frame) >= 0) {
    figures.Read(frame);
    ff::av_frame_unref(frame);
  }
}

}  // namespace

std::optional<TLoudness> MeasureLoudness(const std::string& AFileName, int AStreamIndex, const std::string& AFilters,
                                         std::string& AError) {
  const InputPtr input = OpenInputFile(AFileName, AError);
  if (!input) return std::nullopt;
  const int index = AStreamIndex >= 0 ? AStreamIndex
                                      : ff::av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index < 0 || index >= static_cast<int>(input->nb_streams) ||
      input->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
    AError = AFileName + ": no sound to measure";
    return std::nullopt;
  }
  const DecoderPtr decoder = OpenStreamDecoder(input->streams[index], AError);
  if (!decoder) return std::nullopt;
  PacketPtr packet(ff::av_packet_alloc());
  FramePtr decoded(ff::av_frame_alloc()), measured(ff::av_frame_alloc());
  if (!packet || !decoded || !measured) {
    AError = "out of memory";
    return std::nullopt;
  }
  TMeterGraph meter;
  TMeter figures;
  bool ended = false;
  while (!ended) {
    const bool read = ff::av_read_frame(input.get(), packet.get()) >= 0;
    if (read && packet->stream_index != index) {
      ff::av_packet_unref(packet.get());
      continue;
    }
    ff::avcodec_send_packet(decoder.get(), read ? packet.get() : nullptr);
    ff::av_packet_unref(packet.get());
    int result;
    while ((result = ff::avcodec_receive_frame(decoder.get(), decoded.get())) >= 0) {
      if (!meter.source && !BuildMeter(meter, decoded.get(), AFilters)) {
        AError = "the loudness meter cannot be built";
        return std::nullopt;
      }
      decoded->pts = AV_NOPTS_VALUE;
      // A frame of another format than the first is left out of the measure.
      if (ff::av_buffersrc_add_frame_flags(meter.source, decoded.get(), 0) >= 0) ReadMeter(meter, measured.get(), figures);
      ff::av_frame_unref(decoded.get());
    }
    ended = !read;
  }
  if (meter.source && ff::av_buffersrc_add_frame_flags(meter.source, nullptr, 0) >= 0)
    ReadMeter(meter, measured.get(), figures);
  if (!figures.integrated || !std::isfinite(*figures.integrated) || *figures.integrated < -70) {
    AError = AFileName + ": the sound is silent or too short to measure";
    return std::nullopt;
  }
  TLoudness loudness;
  loudness.Integrated = *figures.integrated;
  loudness.Range = figures.range.value_or(0);
  loudness.TruePeak = figures.peak && *figures.peak > 0 ? 20 * std::log10(*figures.peak) : -99;
  // The relative gate lies 10 LU below the loudness of the blocks above the absolute one.
  loudness.Threshold = loudness.Integrated - 10;
  return loudness;
}

}  // namespace strella::media
