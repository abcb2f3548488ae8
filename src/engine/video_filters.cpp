// The video filter graph of `vfilters`: a buffer source, a scaler when the
// picture must change size, the user's graph, and a sink that offers only
// the encoder's pixel format.
#include "engine/transcode_paths.h"

namespace strella::engine {
namespace {

using media::Format;

AVFilterContext* Create(AVFilterGraph* graph, const char* filter, const char* name, const std::string& args) {
  AVFilterContext* context = nullptr;
  if (ff::avfilter_graph_create_filter(&context, ff::avfilter_get_by_name(filter), name,
                                       args.empty() ? nullptr : args.c_str(), nullptr, graph) < 0)
    return nullptr;
  return context;
}

bool LinkUserGraph(AVFilterGraph* graph, AVFilterContext* last, AVFilterContext* sink, const std::string& text) {
  if (text.empty()) return ff::avfilter_link(last, 0, sink, 0) >= 0;
  AVFilterInOut* outputs = ff::avfilter_inout_alloc();
  AVFilterInOut* inputs = ff::avfilter_inout_alloc();
  bool ok = outputs && inputs;
  if (ok) {
    outputs->name = ff::av_strdup("in");
    outputs->filter_ctx = last;
    inputs->name = ff::av_strdup("out");
    inputs->filter_ctx = sink;
    ok = ff::avfilter_graph_parse_ptr(graph, text.c_str(), &inputs, &outputs, nullptr) >= 0;
  }
  ff::avfilter_inout_free(&inputs);
  ff::avfilter_inout_free(&outputs);
  return ok;
}

// src -> [scale to width x height] -> the user's graph -> out, for pictures
// of the given size and format; false when any part of it fails.
bool BuildChain(TEngineState& s, TInputStreamRec& ist, int width, int height, int format, AVRational sar) {
  const TOptionValues& o = s.opt;
  AVFilterGraph* graph = ist.filter_graph = ff::avfilter_graph_alloc();
  if (!graph) return false;
  if (!sar.num) sar = AVRational{1, 1};
  ist.filter_input = Create(graph, "buffer", "src",
                            Format("video_size=%dx%d:pix_fmt=%d:time_base=1/1000000:pixel_aspect=%d/%d", width, height,
                                   format, sar.num, sar.den));
  ist.filter_output = Create(graph, "buffersink", "out", "");
  if (!ist.filter_input || !ist.filter_output) return false;
  const int formats[] = {ist.filter_output_format};
  if (ff::av_opt_set_bin(ist.filter_output, "pix_fmts", reinterpret_cast<const uint8_t*>(formats), sizeof formats,
                         AV_OPT_SEARCH_CHILDREN) < 0)
    return false;
  AVFilterContext* last = ist.filter_input;
  if (width != ist.filter_graph_width || height != ist.filter_graph_height) {
    AVFilterContext* scale = Create(graph, "scale", "scale",
                                    Format("%d:%d:flags=%d", ist.filter_graph_width, ist.filter_graph_height,
                                           o.sws_flags));
    if (!scale || ff::avfilter_link(last, 0, scale, 0) < 0) return false;
    last = scale;
  }
  graph->scale_sws_opts = ff::av_strdup(Format("flags=%d", o.sws_flags).c_str());
  if (!LinkUserGraph(graph, last, ist.filter_output, o.vfilters)) return false;
  if (ff::avfilter_graph_config(graph, nullptr) < 0) return false;
  ist.filter_source_width = width;
  ist.filter_source_height = height;
  ist.filter_source_format = format;
  if (!ist.filtered) ist.filtered = ff::av_frame_alloc();
  return ist.filtered != nullptr;
}

// Builds the graph; false with the reason in `error` (which may stay empty).
bool BuildGraph(TEngineState& s, TInputStreamRec& ist, TOutputStreamRec& ost, std::string& error) {
  const TOptionValues& o = s.opt;
  const AVCodecContext* dec = ist.dec;
  AVCodecContext* enc = ost.setup->enc;
  if (o.frame_topBand || o.frame_bottomBand || o.frame_leftBand || o.frame_rightBand) {
    error = "Cannot enable crop options and filters at the same time.";
    return false;
  }
  // The user's graph takes the pictures at the encoder's size less the pads.
  ist.filter_graph_width = enc->width - o.frame_padleft - o.frame_padright;
  ist.filter_graph_height = enc->height - o.frame_padtop - o.frame_padbottom;
  ist.filter_output_format = enc->pix_fmt;
  if (!BuildChain(s, ist, dec->width, dec->height, dec->pix_fmt, dec->sample_aspect_ratio)) return false;
  const int w = ff::av_buffersink_get_w(ist.filter_output), h = ff::av_buffersink_get_h(ist.filter_output);
  const bool pad = o.frame_padtop || o.frame_padbottom || o.frame_padleft || o.frame_padright;
  if (pad && !(w == o.frame_width && h == o.frame_height)) {
    error = "Cannot enable pad options and the filters which resize frame at the same time. (crop, rotate, scale, "
            "transpose, etc.)";
    return false;
  }
  enc->width = w + o.frame_padleft + o.frame_padright;
  enc->height = h + o.frame_padtop + o.frame_padbottom;
  return true;
}

// Runs a picture (or null at the end) through the graph and encodes what comes out.
void RunGraph(TInputStreamRec& ist, AVFrame* frame, const std::function<void(AVFrame*)>& encode) {
  if (ff::av_buffersrc_add_frame_flags(ist.filter_input, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) return;
  AVFrame* filtered = ist.filtered;
  while (ff::av_buffersink_get_frame(ist.filter_output, filtered) >= 0) {
    if (filtered->pts != AV_NOPTS_VALUE) ist.pts = filtered->pts;
    try {
      encode(filtered);
    } catch (...) {
      ff::av_frame_unref(filtered);
      throw;
    }
    ff::av_frame_unref(filtered);
  }
}

// A graph is negotiated for one picture size and format: when the input
// changes either, the old graph gives out what it holds and a new one scales
// the pictures to the size the user's filters were set up for, so they and
// the encoder keep seeing what they expect.
void FollowInputChange(TCustomFFmpeg& engine, TInputStreamRec& ist, const AVFrame* frame,
                       const std::function<void(AVFrame*)>& encode) {
  if (frame->width == ist.filter_source_width && frame->height == ist.filter_source_height &&
      frame->format == ist.filter_source_format)
    return;
  EngineLog(engine, media::llQuiet,
            Format("Input Stream #%d.%d frame size changed to %dx%d, %s", ist.file_index, ist.index, frame->width,
                   frame->height, ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format))));
  const int64_t pts = ist.pts;
  RunGraph(ist, nullptr, encode);
  ist.pts = pts;
  ff::avfilter_graph_free(&ist.filter_graph);
  ist.filter_input = ist.filter_output = nullptr;
  if (!BuildChain(engine.State(), ist, frame->width, frame->height, frame->format, frame->sample_aspect_ratio))
    throw FFmpegException("Error opening filters!");
}

}  // namespace

void ConfigureVideoFilters(TCustomFFmpeg& engine, TInputStreamRec& ist, TOutputStreamRec& ost) {
  std::string error;
  if (BuildGraph(engine.State(), ist, ost, error)) return;
  FreeVideoFilters(ist);
  throw FFmpegException(error.empty() ? "Error opening filters!" : "Error opening filters: " + error);
}

void FilterVideoFrame(TCustomFFmpeg& engine, int istIndex, AVFrame* frame,
                      const std::function<void(AVFrame*)>& encode) {
  TInputStreamRec& ist = engine.State().ist_table[istIndex];
  if (frame) {
    FollowInputChange(engine, ist, frame, encode);
    frame->pts = ist.pts;  // the graph runs in microseconds
  }
  RunGraph(ist, frame, encode);
}

void FreeVideoFilters(TInputStreamRec& ist) {
  ff::avfilter_graph_free(&ist.filter_graph);
  ist.filter_input = ist.filter_output = nullptr;
  ff::av_frame_free(&ist.filtered);
}

}  // namespace strella::engine
