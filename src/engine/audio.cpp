// The audio output path: one filter graph per re-encoded audio stream,
//   abuffer -> [volume] -> [user filters] -> [downmix in float] -> [loudnorm] -> [aresample async]
//           -> aformat (the encoder's format, rate and layout) -> [asetnsamples]
//           -> abuffersink,
// asetnsamples giving frames of the encoder's frame size when it needs fixed
// ones. The graph is built for the decoded format of the first frame and
// rebuilt when that changes; at the end it is drained, so the resampler's
// last samples reach the encoder too.
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/transcode_paths.h"
#include "media/filter_chain.h"
#include "media/loudness.h"

namespace strella::engine {

struct TAudioPath {
  media::FilterGraphPtr graph;
  AVFilterContext* source = nullptr;  // owned by the graph
  AVFilterContext* sink = nullptr;
  media::FramePtr input{ff::av_frame_alloc()};     // a reference to the decoded frame
  media::FramePtr filtered{ff::av_frame_alloc()};  // what the sink gives
  // What the graph was built for.
  int in_rate = 0;
  int in_format = -1;
  AVChannelLayout in_layout{};
  // `loudness`: the source's, measured before its first frame is filtered.
  std::optional<media::TLoudness> source_loudness;
  ~TAudioPath() { ff::av_channel_layout_uninit(&in_layout); }
};

namespace {

using media::Format;

// A decoded frame's layout, or the usual one for its channel count when the
// stream names none (or an order the filters cannot be told by name).
AVChannelLayout InputLayout(const AVFrame* frame) {
  AVChannelLayout layout{};
  if (frame->ch_layout.order != AV_CHANNEL_ORDER_NATIVE || ff::av_channel_layout_check(&frame->ch_layout) == 0)
    ff::av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
  else
    ff::av_channel_layout_copy(&layout, &frame->ch_layout);
  return layout;
}

std::string LayoutName(const AVChannelLayout& layout) {
  char text[128] = "";
  ff::av_channel_layout_describe(&layout, text, sizeof text);
  return text;
}

bool IsFloat(AVSampleFormat format) {
  const AVSampleFormat packed = ff::av_get_packed_sample_fmt(format);
  return packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL;
}

// `vol` (256 leaves the sound alone) at the precision of the decoded samples,
// so no conversion comes before it: integer samples follow (s x vol + 128) >> 8.
std::string VolumeEntry(int volume, AVSampleFormat format) {
  const AVSampleFormat packed = ff::av_get_packed_sample_fmt(format);
  const char* precision = packed == AV_SAMPLE_FMT_DBL ? "double" : packed == AV_SAMPLE_FMT_FLT ? "float" : "fixed";
  return Format("volume=volume=%.10g:precision=%s", volume / 256.0, precision);
}

// `async` N: stretches or squeezes the sound by up to N samples a second to
// follow the input's clock, and fills or cuts where it runs further off.
std::string SyncEntry(const TOptionValues& o) {
  std::string entry = Format("aresample=async=%d", o.audio_sync_method);
  if (o.audio_drift_threshold != 0.1f) entry += Format(":min_hard_comp=%f", o.audio_drift_threshold);
  return entry + ":first_pts=0";
}

// The second pass of a loudness normalisation: one gain for the whole sound
// from the first pass's figures (loudnorm's linear mode). Where that gain
// would push the peaks past -1 dBTP, or the range is wider than the filter
// keeps linear, loudnorm compresses instead.
std::string LoudnormEntry(double target, const media::TLoudness& measured) {
  const double range = std::clamp(measured.Range, 7.0, 20.0);
  return Format("loudnorm=I=%.1f:LRA=%.1f:TP=-1:measured_I=%.2f:measured_LRA=%.2f:measured_TP=%.2f:"
                "measured_thresh=%.2f:linear=true:print_format=none",
                target, range, std::max(measured.Integrated, -99.0), std::max(measured.Range, 0.01),
                std::clamp(measured.TruePeak, -99.0, 99.0), std::max(measured.Threshold, -99.0));
}

// Encoders that take any number of samples get the frames as they come.
bool TakesAnySize(const TOutputStreamSetup& setup) {
  const AVCodecContext* enc = setup.enc;
  return enc->frame_size < 2 || (enc->codec && (enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
}

std::string Joined(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) text += (text.empty() ? "" : ",") + entry;
  return text;
}

// The encoder's channels, mixed in float. A downmix straight to integer
// samples would be scaled down to rule out clipping (about 7.7 dB from 5.1):
// mixing in float first keeps the level the same whatever sample format the
// encoder takes.
std::string MixEntry(const AVCodecContext* enc) {
  return "aformat=sample_fmts=flt|fltp:channel_layouts=" + LayoutName(enc->ch_layout);
}

// What the sound goes through before its loudness is measured and set: the
// first pass measures exactly what the second pass's loudnorm is given.
std::vector<std::string> EntriesBeforeLoudness(const TOptionValues& o, const AVCodecContext* enc) {
  std::vector<std::string> entries;
  if (!o.afilters.empty()) entries.push_back(o.afilters);
  entries.push_back(MixEntry(enc));
  return entries;
}

// The entries between the source and the sink, as graph text. A loudness
// target sets the level itself: `vol` is not applied with it.
std::string ChainText(const TOptionValues& o, const TOutputStreamSetup& setup, AVSampleFormat inFormat,
                      int inChannels, const std::optional<media::TLoudness>& loudness) {
  const AVCodecContext* enc = setup.enc;
  std::vector<std::string> entries;
  if (loudness) {
    entries = EntriesBeforeLoudness(o, enc);
    entries.push_back(LoudnormEntry(o.loudness_target, *loudness));
  } else {
    if (o.audio_volume != 256) entries.push_back(VolumeEntry(o.audio_volume, inFormat));
    if (!o.afilters.empty()) entries.push_back(o.afilters);
    if (enc->ch_layout.nb_channels < inChannels && !IsFloat(enc->sample_fmt)) entries.push_back(MixEntry(enc));
  }
  if (o.audio_sync_method > 0) entries.push_back(SyncEntry(o));
  entries.push_back(Format("aformat=sample_fmts=%s:sample_rates=%d:channel_layouts=%s",
                           ff::av_get_sample_fmt_name(enc->sample_fmt), enc->sample_rate,
                           LayoutName(enc->ch_layout).c_str()));
  // Fixed frames for the encoders that need them; the last one may be short
  // (the encoder pads it where it must).
  if (!TakesAnySize(setup)) entries.push_back(Format("asetnsamples=n=%d:p=0", enc->frame_size));
  return Joined(entries);
}

AVFilterContext* CreateFilter(AVFilterGraph* graph, const char* filter, const char* name, const std::string& args) {
  AVFilterContext* context = nullptr;
  if (ff::avfilter_graph_create_filter(&context, ff::avfilter_get_by_name(filter), name,
                                       args.empty() ? nullptr : args.c_str(), nullptr, graph) < 0)
    return nullptr;
  return context;
}

void BuildGraph(TEngineState& s, TOutputStreamRec& ost, TAudioPath& path, const AVFrame* frame) {
  const AVCodecContext* enc = ost.setup->enc;
  AVChannelLayout layout = InputLayout(frame);
  const auto format = static_cast<AVSampleFormat>(frame->format);
  path.graph.reset(ff::avfilter_graph_alloc());
  AVFilterGraph* graph = path.graph.get();
  if (graph) graph->nb_threads = 1;  // a few samples a frame: threads would cost more than they give
  const std::string sourceArgs = Format("time_base=1/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s",
                                        frame->sample_rate, frame->sample_rate, ff::av_get_sample_fmt_name(format),
                                        LayoutName(layout).c_str());
  path.source = graph ? CreateFilter(graph, "abuffer", "src", sourceArgs) : nullptr;
  path.sink = graph ? CreateFilter(graph, "abuffersink", "out", "") : nullptr;
  const std::string chain = ChainText(s.opt, *ost.setup, format, layout.nb_channels, path.source_loudness);
  const bool built = path.source && path.sink && media::LinkFilterChain(graph, path.source, path.sink, chain) &&
                     ff::avfilter_graph_config(graph, nullptr) >= 0;
  if (!built) {
    ff::av_channel_layout_uninit(&layout);
    path.graph.reset();
    throw FFmpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz (audio filters: %s)",
                                 frame->ch_layout.nb_channels, frame->sample_rate, enc->ch_layout.nb_channels,
                                 enc->sample_rate, chain.c_str()));
  }
  ff::av_channel_layout_uninit(&path.in_layout);
  path.in_layout = layout;
  path.in_rate = frame->sample_rate;
  path.in_format = frame->format;
}

bool BuiltFor(const TAudioPath& path, const AVFrame* frame) {
  if (!path.graph || path.in_rate != frame->sample_rate || path.in_format != frame->format) return false;
  AVChannelLayout layout = InputLayout(frame);
  const bool same = ff::av_channel_layout_compare(&layout, &path.in_layout) == 0;
  ff::av_channel_layout_uninit(&layout);
  return same;
}

// Encodes every frame the sink has ready; at the end of the input, all it holds.
void EncodeFiltered(TCustomFFmpeg& engine, TOutputStreamRec& ost, TAudioPath& path) {
  const AVCodecContext* enc = ost.setup->enc;
  const AVRational sinkTimeBase = ff::av_buffersink_get_time_base(path.sink);
  AVFrame* frame = path.filtered.get();
  while (ff::av_buffersink_get_frame(path.sink, frame) >= 0) {
    frame->pts = frame->pts == AV_NOPTS_VALUE ? ost.sync_opts : ff::av_rescale_q(frame->pts, sinkTimeBase, enc->time_base);
    ost.sync_opts = frame->pts + frame->nb_samples;
    try {
      EncodeAndWrite(engine, ost, frame);
    } catch (...) {
      ff::av_frame_unref(frame);
      throw;
    }
    ff::av_frame_unref(frame);
  }
}

// Ends the graph's input and encodes what it still held.
void DrainGraph(TCustomFFmpeg& engine, TOutputStreamRec& ost, TAudioPath& path) {
  if (!path.graph) return;
  if (ff::av_buffersrc_add_frame_flags(path.source, nullptr, 0) >= 0) EncodeFiltered(engine, ost, path);
  path.graph.reset();
  path.source = path.sink = nullptr;
}

// The frame's time on the sync stream's clock, in samples of the frame's rate.
int64_t InputPts(const TEngineState& s, const TOutputStreamRec& ost, const AVFrame* frame) {
  const TInputStreamRec& sync = s.ist_table[ost.sync_ist];
  return ff::av_rescale_q(sync.pts - s.opt.start_time, AV_TIME_BASE_Q, AVRational{1, frame->sample_rate});
}

// The first pass of a loudness normalisation: the source stream's loudness.
void MeasureSource(TCustomFFmpeg& engine, const TOutputStreamRec& ost, TAudioPath& path) {
  const TEngineState& s = engine.State();
  const TInputStreamRec& ist = s.ist_table[ost.source_index];
  const std::string& file = s.input_files[ist.file_index].file_name;
  std::string error;
  const std::string filters = Joined(EntriesBeforeLoudness(s.opt, ost.setup->enc));
  path.source_loudness = media::MeasureLoudness(file, ist.st->index, filters, error);
  if (!path.source_loudness) throw FFmpegException("The loudness cannot be measured: " + error);
}

}  // namespace

void EncodeAudioFrame(TCustomFFmpeg& engine, TOutputStreamRec& ost, TInputStreamRec& ist, const AVFrame* frame) {
  TEngineState& s = engine.State();
  if (!ost.audio) ost.audio = new TAudioPath;
  TAudioPath& path = *ost.audio;
  if (!path.input || !path.filtered) throw FFmpegException("av_frame_alloc fail");
  if (!BuiltFor(path, frame)) {
    if (s.opt.normalise_loudness && !path.source_loudness) MeasureSource(engine, ost, path);
    // A graph is negotiated for one format: the old one gives out what it holds first.
    DrainGraph(engine, ost, path);
    BuildGraph(s, ost, path, frame);
  }
  ist.is_start = false;
  AVFrame* input = path.input.get();
  if (ff::av_frame_ref(input, frame) < 0) throw FFmpegException("av_frame_ref fail");
  input->pts = InputPts(s, ost, frame);
  if (ff::av_buffersrc_add_frame_flags(path.source, input, 0) < 0) {
    ff::av_frame_unref(input);
    if (s.opt.exit_on_error) throw FFmpegException("av_audio_convert() failed");
    EngineLog(engine, media::llError, "av_audio_convert() failed");
    return;
  }
  EncodeFiltered(engine, ost, path);
}

void FlushAudioQueue(TCustomFFmpeg& engine, TOutputStreamRec& ost) {
  if (ost.audio) DrainGraph(engine, ost, *ost.audio);
}

void NoteLoudness(TCustomFFmpeg& engine, TOutputStreamRec& ost) {
  if (!ost.audio || !ost.audio->source_loudness) return;
  const TEngineState& s = engine.State();
  const media::TLoudness& source = *ost.audio->source_loudness;
  std::string error;
  const auto output = media::MeasureLoudness(s.output_slots[ost.file_index]->file_name, ost.st->index, "", error);
  const std::string written = output ? Format("%.1f LUFS", output->Integrated) : "not measured (" + error + ")";
  EngineLog(engine, media::llWarning,
            Format("Loudness normalised to %.1f LUFS: the input was %.1f LUFS (true peak %.1f dBTP), the output is %s",
                   s.opt.loudness_target, source.Integrated, source.TruePeak, written.c_str()));
}

void FreeAudioPath(TOutputStreamRec& ost) {
  delete ost.audio;
  ost.audio = nullptr;
}

}  // namespace strella::engine
