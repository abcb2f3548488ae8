// The filter graph of each re-encoded video output stream: planned from the
// options and the source stream when the run is set up, built for the size
// and format of the pictures that arrive, rebuilt when they change.
#include "engine/video_graph.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

#include "engine/transcode_paths.h"
#include "media/orientation.h"

namespace strella::engine {
namespace {

using media::Format;

// ---- planning: which entries the graph gets ----

bool IsHdrTransfer(AVColorTransferCharacteristic transfer) {
  return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

// Codecs whose outputs carry HDR's 10-bit pictures and transfer tags to players.
bool CodecKeepsHdr(AVCodecID codec) {
  return codec == AV_CODEC_ID_HEVC || codec == AV_CODEC_ID_VP9 || codec == AV_CODEC_ID_AV1;
}

int BitDepth(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(format);
  return desc ? desc->comp[0].depth : 0;
}

bool IsPlanarYuv(AVPixelFormat format) {
  const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(format);
  return desc && desc->nb_components >= 3 && (desc->flags & AV_PIX_FMT_FLAG_PLANAR) &&
         !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL));
}

// The "J" formats are full range by definition and are tagged by the encoder itself.
bool IsFullRangeFormat(AVPixelFormat format) {
  return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
         format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

bool EncoderTakes(const AVCodecContext* enc, const AVCodec* codec, AVPixelFormat format) {
  const AVPixelFormat* formats = ff::SupportedPixelFormats(enc, codec);
  if (!formats) return true;
  for (const AVPixelFormat* p = formats; *p != AV_PIX_FMT_NONE; ++p)
    if (*p == format) return true;
  return false;
}

bool HasFilter(const char* name) { return ff::avfilter_get_by_name(name) != nullptr; }

// HDR goes to SDR where the output cannot show it: a codec without HDR, or 8 bits.
bool NeedsToneMapping(const AVCodecContext* dec, const AVCodecContext* enc) {
  return IsHdrTransfer(dec->color_trc) && (!CodecKeepsHdr(enc->codec_id) || BitDepth(enc->pix_fmt) <= 8);
}

// Linear light, the highlights compressed (hable), then bt709 at 8 bits 4:2:0.
std::string ToneMapEntries(AVPixelFormat format) {
  return Format("zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
                "zscale=t=bt709:m=bt709:r=tv,format=%s",
                ff::av_get_pix_fmt_name(format));
}

// An SDR output gets bt709 8-bit 4:2:0 where the encoder takes it.
void MakeSdrEncoder(AVCodecContext* enc, const AVCodec* codec) {
  if (EncoderTakes(enc, codec, AV_PIX_FMT_YUV420P)) enc->pix_fmt = AV_PIX_FMT_YUV420P;
  enc->color_primaries = AVCOL_PRI_BT709;
  enc->color_trc = AVCOL_TRC_BT709;
  enc->colorspace = AVCOL_SPC_BT709;
  enc->color_range = AVCOL_RANGE_MPEG;
}

// The source's colour description goes with its pictures; a matrix only
// between YUV formats, a range only where the format does not fix it.
void CarryColour(const AVCodecContext* dec, AVCodecContext* enc) {
  enc->color_primaries = dec->color_primaries;
  enc->color_trc = dec->color_trc;
  if (IsPlanarYuv(dec->pix_fmt) && IsPlanarYuv(enc->pix_fmt)) enc->colorspace = dec->colorspace;
  if (!IsFullRangeFormat(enc->pix_fmt) && !IsFullRangeFormat(dec->pix_fmt) && IsPlanarYuv(enc->pix_fmt))
    enc->color_range = dec->color_range;
}

// Formats that store fields: the output keeps the source's interlacing.
bool OutputKeepsFields(const AVCodecContext* enc, const TOptionValues& o) {
  return (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) || o.top_field_first >= 0 ||
         enc->codec_id == AV_CODEC_ID_MPEG2VIDEO;
}

// Pictures the decoder marks interlaced are deinterlaced, one picture per
// frame; a progressive stream passes untouched, as does a source whose stream
// says it is progressive.
std::string DeinterlaceEntry(const AVCodecContext* dec, const AVCodecContext* enc, const TOptionValues& o) {
  if (dec->field_order == AV_FIELD_PROGRESSIVE || OutputKeepsFields(enc, o) || !IsPlanarYuv(dec->pix_fmt) ||
      !HasFilter("bwdif"))
    return "";
  return "bwdif=mode=send_frame:parity=auto:deint=interlaced";
}

TVideoGraphPlan PlanFor(TCustomFFmpeg& engine, const TInputStreamRec& ist, AVCodecContext* enc) {
  const TOptionValues& o = engine.State().opt;
  const AVCodecContext* dec = ist.dec;
  TVideoGraphPlan plan;
  plan.orientation = media::StreamOrientation(ist.st).filters;
  plan.deinterlace = DeinterlaceEntry(dec, enc, o);
  plan.crop_top = o.frame_topBand;
  plan.crop_bottom = o.frame_bottomBand;
  plan.crop_left = o.frame_leftBand;
  plan.crop_right = o.frame_rightBand;
  plan.pad_top = o.frame_padtop;
  plan.pad_bottom = o.frame_padbottom;
  plan.pad_left = o.frame_padleft;
  plan.pad_right = o.frame_padright;
  std::copy(o.padcolor, o.padcolor + 3, plan.pad_colour);
  plan.width = enc->width - o.frame_padleft - o.frame_padright;
  plan.height = enc->height - o.frame_padtop - o.frame_padbottom;
  plan.user_filters = o.vfilters;
  plan.sws_flags = o.sws_flags;
  if (engine.State().option_contexts.scaler) {
    int64_t flags = plan.sws_flags;
    ff::av_opt_get_int(engine.State().option_contexts.scaler, "sws_flags", 0, &flags);
    plan.sws_flags = static_cast<int>(flags);
  }
  return plan;
}

// An input the run reads from a file of its own name can be read a second
// time; a pipe or a device cannot.
bool IsRegularFile(const std::string& name) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// x265 writes the light levels into the stream when it is given them as its
// parameters; what the user set there already stays.
void GiveX265HdrLight(TCustomFFmpeg& engine, AVCodecContext* enc, const media::THdrLight& light) {
  uint8_t* text = nullptr;
  if (ff::av_opt_get(enc, "x265-params", AV_OPT_SEARCH_CHILDREN, &text) < 0) return;
  std::string params = text ? reinterpret_cast<const char*>(text) : "";
  ff::av_free(text);
  if (params.find("master-display") != std::string::npos || params.find("max-cll") != std::string::npos) return;
  params += (params.empty() ? "" : ":") + media::X265HdrParams(light);
  if (ff::av_opt_set(enc, "x265-params", params.c_str(), AV_OPT_SEARCH_CHILDREN) < 0)
    EngineLog(engine, media::llWarning, "The encoder did not take the HDR light levels: " + params);
}

// HDR10 pictures keep the light levels they were graded for: from the
// container, else from the first picture's own messages.
void PlanHdrLight(TCustomFFmpeg& engine, const TInputStreamRec& ist, AVCodecContext* enc, const AVCodec* codec,
                  TVideoGraphPlan& plan) {
  plan.hdr_light = media::StreamHdrLight(ist.st);
  const std::string& input = engine.State().input_files[ist.file_index].file_name;
  if (plan.hdr_light.Empty() && IsRegularFile(input)) plan.hdr_light = media::FileHdrLight(input, ist.st->index);
  if (!plan.hdr_light.Empty() && codec && std::strcmp(codec->name, "libx265") == 0)
    GiveX265HdrLight(engine, enc, plan.hdr_light);
}

// Settles the encoder's pixel format and colour tags, and the tone mapping they need.
void PlanColour(TCustomFFmpeg& engine, const TInputStreamRec& ist, TOutputStreamRec& ost, TVideoGraphPlan& plan) {
  AVCodecContext* enc = ost.setup->enc;
  const AVCodecContext* dec = ist.dec;
  const AVCodec* codec = ost.setup->codec ? ost.setup->codec : ff::avcodec_find_encoder(enc->codec_id);
  if (!NeedsToneMapping(dec, enc)) {
    CarryColour(dec, enc);
    if (IsHdrTransfer(dec->color_trc)) PlanHdrLight(engine, ist, enc, codec, plan);
  } else if (HasFilter("zscale") && HasFilter("tonemap")) {
    MakeSdrEncoder(enc, codec);
    plan.tone_map = ToneMapEntries(enc->pix_fmt);
  } else {
    EngineLog(engine, media::llWarning, "The zscale and tonemap filters are missing: HDR pictures keep their values");
  }
  plan.format = enc->pix_fmt;
}

// ---- building ----

AVFilterContext* Create(AVFilterGraph* graph, const char* filter, const char* name, const std::string& args) {
  const AVFilter* type = ff::avfilter_get_by_name(filter);
  AVFilterContext* context = nullptr;
  if (!type || ff::avfilter_graph_create_filter(&context, type, name, args.empty() ? nullptr : args.c_str(), nullptr,
                                                graph) < 0)
    return nullptr;
  return context;
}

// One filter after `last`, which then moves on to it.
bool Append(AVFilterGraph* graph, AVFilterContext*& last, const char* filter, const std::string& args) {
  AVFilterContext* next = Create(graph, filter, nullptr, args);
  if (!next || ff::avfilter_link(last, 0, next, 0) < 0) return false;
  last = next;
  return true;
}

// A chain written as text ("a=x,b"), parsed between `last` and a new end.
bool AppendText(AVFilterGraph* graph, AVFilterContext*& last, const std::string& text) {
  if (text.empty()) return true;
  AVFilterContext* end = Create(graph, "null", nullptr, "");
  if (!end || !media::LinkFilterChain(graph, last, end, text)) return false;
  last = end;
  return true;
}

// A crop band set for the first picture size, for a picture of another size: rounded down to even.
int ScaledBand(int size, int band, int firstSize) { return size == firstSize ? band : size * band / firstSize & ~1; }

// The pad colour as the RGB it was given as (the bands were converted with full-range weights).
std::string PadColourText(const uint8_t yuv[3]) {
  const double y = yuv[0], u = yuv[1] - 128.0, v = yuv[2] - 128.0;
  auto channel = [](double value) { return static_cast<int>(std::clamp(std::lround(value), 0L, 255L)); };
  return Format("0x%02X%02X%02X", channel(y + 1.402 * v), channel(y - 0.344136 * u - 0.714136 * v),
                channel(y + 1.772 * u));
}

bool AppendGeometry(TVideoGraph& g, AVFilterGraph* graph, AVFilterContext*& last, int width, int height) {
  const TVideoGraphPlan& p = g.plan;
  if (p.crop_top || p.crop_bottom || p.crop_left || p.crop_right) {
    const int top = ScaledBand(height, p.crop_top, g.first_height), bottom = ScaledBand(height, p.crop_bottom, g.first_height);
    const int left = ScaledBand(width, p.crop_left, g.first_width), right = ScaledBand(width, p.crop_right, g.first_width);
    width -= left + right;
    height -= top + bottom;
    if (!Append(graph, last, "crop", Format("w=%d:h=%d:x=%d:y=%d:exact=1", width, height, left, top))) return false;
  }
  if ((width != p.width || height != p.height) &&
      !Append(graph, last, "scale", Format("%d:%d:flags=%d", p.width, p.height, p.sws_flags)))
    return false;
  if (!AppendText(graph, last, p.user_filters)) return false;
  if (p.pad_top || p.pad_bottom || p.pad_left || p.pad_right)
    return Append(graph, last, "pad",
                  Format("w=iw+%d:h=ih+%d:x=%d:y=%d:color=%s", p.pad_left + p.pad_right, p.pad_top + p.pad_bottom,
                         p.pad_left, p.pad_top, PadColourText(p.pad_colour).c_str()));
  return true;
}

// src -> upright -> deinterlace -> crop -> scale -> user's filters -> pad -> tone map -> out.
bool Build(TVideoGraph& g, int width, int height, int format, AVRational sar) {
  g.graph.reset(ff::avfilter_graph_alloc());
  AVFilterGraph* graph = g.graph.get();
  if (!graph || !g.filtered) return false;
  graph->scale_sws_opts = ff::av_strdup(Format("flags=%d", g.plan.sws_flags).c_str());
  if (!sar.num) sar = AVRational{1, 1};
  g.source = Create(graph, "buffer", "src",
                    Format("video_size=%dx%d:pix_fmt=%d:time_base=1/1000000:pixel_aspect=%d/%d", width, height, format,
                           sar.num, sar.den));
  g.sink = Create(graph, "buffersink", "out", "");
  if (!g.source || !g.sink) return false;
  const int formats[] = {g.plan.format};
  if (ff::av_opt_set_bin(g.sink, "pix_fmts", reinterpret_cast<const uint8_t*>(formats), sizeof formats,
                         AV_OPT_SEARCH_CHILDREN) < 0)
    return false;
  AVFilterContext* last = g.source;
  if (!AppendText(graph, last, g.plan.orientation) || !AppendText(graph, last, g.plan.deinterlace)) return false;
  const bool turned = g.plan.orientation.find("transpose") != std::string::npos;
  if (g.first_width == 0) {
    g.first_width = turned ? height : width;
    g.first_height = turned ? width : height;
  }
  if (!AppendGeometry(g, graph, last, turned ? height : width, turned ? width : height)) return false;
  if (!AppendText(graph, last, g.plan.tone_map)) return false;
  if (ff::avfilter_link(last, 0, g.sink, 0) < 0 || ff::avfilter_graph_config(graph, nullptr) < 0) return false;
  g.source_width = width;
  g.source_height = height;
  g.source_format = format;
  return true;
}

void BuildOrThrow(TVideoGraph& g, int width, int height, int format, AVRational sar) {
  if (!Build(g, width, height, format, sar)) {
    g.graph.reset();
    throw FFmpegException("Error opening filters!");
  }
}

// Runs a picture (or null at the end) through the graph and hands on what comes out.
void RunGraph(TVideoGraph& g, AVFrame* frame, const std::function<void(AVFrame*)>& encode) {
  if (!g.graph || ff::av_buffersrc_add_frame_flags(g.source, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) return;
  AVFrame* filtered = g.filtered.get();
  // Deinterlacers halve the time base: the encoding side counts in microseconds.
  const AVRational timeBase = ff::av_buffersink_get_time_base(g.sink);
  while (ff::av_buffersink_get_frame(g.sink, filtered) >= 0) {
    if (filtered->pts != AV_NOPTS_VALUE) filtered->pts = ff::av_rescale_q(filtered->pts, timeBase, AV_TIME_BASE_Q);
    // The picture is upright now: a player must not turn it again.
    ff::av_frame_remove_side_data(filtered, AV_FRAME_DATA_DISPLAYMATRIX);
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
// changes either, the old graph gives out what it holds and a new one takes
// the pictures to the size the encoder was opened with.
void FollowInputChange(TCustomFFmpeg& engine, TVideoGraph& g, const TInputStreamRec& ist, const AVFrame* frame,
                       const std::function<void(AVFrame*)>& encode) {
  const bool changed =
      frame->width != g.source_width || frame->height != g.source_height || frame->format != g.source_format;
  const bool first = !g.took_picture;
  g.took_picture = true;
  if (!changed) return;
  if (!first) {
    EngineLog(engine, media::llQuiet,
              Format("Input Stream #%d.%d frame size changed to %dx%d, %s", ist.file_index, ist.index, frame->width,
                     frame->height, ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format))));
    RunGraph(g, nullptr, encode);
  }
  BuildOrThrow(g, frame->width, frame->height, frame->format, frame->sample_aspect_ratio);
}

TVideoPath& NewPath(TOutputStreamRec& ost) {
  ost.video = new TVideoPath;
  if (!ost.video->graph.filtered || !ost.video->send) throw FFmpegException("Cannot allocate temp picture, check pix fmt");
  return *ost.video;
}

// Join mode: the later inputs' streams share the first one's encoder, and its plan.
const TVideoGraphPlan* SharedPlan(const TEngineState& s, const TOutputStreamRec& ost) {
  for (const TOutputStreamRec& other : s.ost_table)
    if (&other != &ost && other.setup == ost.setup && other.video) return &other.video->graph.plan;
  return nullptr;
}

}  // namespace

void ConfigureVideoGraph(TCustomFFmpeg& engine, TInputStreamRec& ist, TOutputStreamRec& ost) {
  AVCodecContext* enc = ost.setup->enc;
  TVideoGraph& g = NewPath(ost).graph;
  g.plan = PlanFor(engine, ist, enc);
  PlanColour(engine, ist, ost, g.plan);
  const AVCodecContext* dec = ist.dec;
  BuildOrThrow(g, dec->width, dec->height, dec->pix_fmt, dec->sample_aspect_ratio);
  enc->width = ff::av_buffersink_get_w(g.sink);
  enc->height = ff::av_buffersink_get_h(g.sink);
}

void DescribeVideoStream(const TOutputStreamRec& ost) {
  if (ost.video && !media::AddHdrLightToStream(ost.st, ost.video->graph.plan.hdr_light))
    throw FFmpegException("Cannot allocate the stream's light levels");
}

void FilterVideoFrame(TCustomFFmpeg& engine, TOutputStreamRec& ost, TInputStreamRec& ist, AVFrame* frame,
                      const std::function<void(AVFrame*)>& encode) {
  if (!ost.video) {
    const TVideoGraphPlan* plan = SharedPlan(engine.State(), ost);
    if (!plan) throw FFmpegException("Error opening filters!");
    NewPath(ost).graph.plan = *plan;
  }
  TVideoGraph& g = ost.video->graph;
  if (frame) {
    FollowInputChange(engine, g, ist, frame, encode);
    frame->pts = ist.pts;  // the graph runs in microseconds
  }
  RunGraph(g, frame, encode);
}

}  // namespace strella::engine
