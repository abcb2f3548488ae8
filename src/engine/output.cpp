// Output files: the muxer, which kinds of streams a file gets, the three
// stream creators with every encoder setting taken from the option values,
// metadata, join mode, and the release that deletes an output left empty.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/option_handlers.h"
#include "engine/stages.h"
#include "media/loader.h"

namespace strella::engine {
namespace {

using media::Format;

struct TOutputFailure {
  std::string message;
};

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool FiltersResizeFrame(const std::string& filters) {
  std::string graph = LowerCase(filters);
  size_t start = 0;
  while (start <= graph.size()) {
    size_t end = graph.find(',', start);
    if (end == std::string::npos) end = graph.size();
    std::string piece = graph.substr(start, end - start);
    piece = piece.substr(0, piece.find('='));
    while (!piece.empty() && piece.front() == ' ') piece.erase(piece.begin());
    while (!piece.empty() && piece.back() == ' ') piece.pop_back();
    if (piece == "crop" || piece == "rotate" || piece == "scale" || piece == "transpose") return true;
    start = end + 1;
  }
  return false;
}

void CheckFileOptions(const TEngineState& s) {
  const TOptionValues& o = s.opt;
  if (s.join) throw TOutputFailure{"Cannot join more than one output file."};
  const bool crop = o.frame_topBand || o.frame_bottomBand || o.frame_leftBand || o.frame_rightBand;
  const bool pad = o.frame_padtop || o.frame_padbottom || o.frame_padleft || o.frame_padright;
  if (!o.vfilters.empty() && crop) throw TOutputFailure{"Cannot enable crop options and filters at the same time."};
  if (pad && FiltersResizeFrame(o.vfilters))
    throw TOutputFailure{
        "Cannot enable pad options and the filters which resize frame at the same time. "
        "(crop, rotate, scale, transpose, etc.)"};
}

// Writing over one of the inputs would destroy the user's file.
void CheckNotAnInput(const TEngineState& s, const std::string& fileName) {
  struct stat out {};
  if (stat(fileName.c_str(), &out) != 0) return;
  for (const TInputFile& input : s.input_files) {
    struct stat in {};
    if (stat(input.file_name.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
      throw TOutputFailure{Format("Cannot overwrite the input file '%s'", fileName.c_str())};
  }
}

struct TWantedKinds {
  bool video, audio, subtitle;
};

TWantedKinds WantedKinds(const TEngineState& s, const AVOutputFormat* format, bool join) {
  const TOptionValues& o = s.opt;
  TWantedKinds want{o.video_stream_copy || format->video_codec != AV_CODEC_ID_NONE || !o.video_codec_name.empty(),
                    o.audio_stream_copy || format->audio_codec != AV_CODEC_ID_NONE || !o.audio_codec_name.empty(),
                    o.subtitle_stream_copy || format->subtitle_codec != AV_CODEC_ID_NONE ||
                        !o.subtitle_codec_name.empty()};
  if (!s.input_files.empty()) {
    bool hasVideo = false, hasAudio = false, hasSubtitle = false;
    const size_t scanned = join ? 1 : s.input_files.size();
    for (size_t i = 0; i < scanned; ++i) {
      for (unsigned k = 0; k < s.input_files[i].ctx->nb_streams; ++k) {
        switch (s.input_files[i].ctx->streams[k]->codecpar->codec_type) {
          case AVMEDIA_TYPE_VIDEO: hasVideo = true; break;
          case AVMEDIA_TYPE_AUDIO: hasAudio = true; break;
          case AVMEDIA_TYPE_SUBTITLE: hasSubtitle = true; break;
          case AVMEDIA_TYPE_DATA: case AVMEDIA_TYPE_ATTACHMENT: case AVMEDIA_TYPE_UNKNOWN: break;
          default:
            throw TOutputFailure{Format("check_audio_video_sub_inputs fail: %s", "invalid codec_type of input file")};
        }
      }
    }
    want.video = want.video && hasVideo;
    want.audio = want.audio && hasAudio;
    want.subtitle = want.subtitle && hasSubtitle;
  }
  if (o.video_disable) want.video = false;
  if (o.audio_disable) want.audio = false;
  if (o.subtitle_disable) want.subtitle = false;
  return want;
}

void CreateStreams(TCustomFFmpeg& engine, TOutputFile& file, const TWantedKinds& want) {
  auto create = [&](void (*creator)(TCustomFFmpeg&, TOutputFile&), const char* what) {
    try {
      creator(engine, file);
    } catch (const std::exception& e) {
      throw TOutputFailure{Format("%s fail: %s", what, e.what())};
    }
  };
  if (want.video) create(NewVideoStream, "new_video_stream");
  if (want.audio) create(NewAudioStream, "new_audio_stream");
  if (want.subtitle) create(NewSubtitleStream, "new_subtitle_stream");
}

void ApplyFileMetadata(TEngineState& s, AVFormatContext* ctx) {
  if (s.opt.rec_timestamp != 0) {
    char text[64];
    const std::time_t seconds = static_cast<std::time_t>(s.opt.rec_timestamp);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
    ff::av_dict_set(&ctx->metadata, "creation_time", text, 0);
  }
  // Last set first, so that of two pairs with one key the first set wins.
  for (auto it = s.pending_metadata.rbegin(); it != s.pending_metadata.rend(); ++it)
    ff::av_dict_set(&ctx->metadata, it->first.c_str(), it->second.c_str(), 0);
  s.pending_metadata.clear();
}

void SetMuxerOptions(TEngineState& s, TOutputFile& file) {
  const TOptionValues& o = s.opt;
  AVFormatContext* ctx = file.ctx;
  ff::av_dict_set_int(&file.muxer_options, "preload", static_cast<int64_t>(o.mux_preload * 1000000), 0);
  ctx->max_delay = static_cast<int>(o.mux_max_delay * 1000000);
  if (o.loop_output >= 0) ff::av_dict_set_int(&file.muxer_options, "loop", o.loop_output, 0);
  ctx->flags |= AVFMT_FLAG_NONBLOCK;
  if (s.option_contexts.format) media::ApplyGenericOptions(s.option_contexts, ctx, s.option_contexts.format, media::kOptEncoding);
}

void SetUpJoin(TCustomFFmpeg& engine, TOutputFile* file) {
  TEngineState& s = engine.State();
  s.join = true;
  int64_t total = 0;
  for (const TInputFile& input : s.input_files)
    if (input.ctx->duration != AV_NOPTS_VALUE && input.ctx->duration > 0) total += input.ctx->duration / 1000;
  engine.SetTotalDuration(total == 0 ? -1 : total);
  while (s.output_slots.size() < s.input_files.size()) s.output_slots.push_back(file);
}

// ---- stream creation helpers ----

TOutputStreamSetup& AddStream(TEngineState& s, TOutputFile& file, int bsfKind) {
  AVStream* st = ff::avformat_new_stream(file.ctx, nullptr);
  if (!st) throw FFmpegException("Could not alloc stream");
  file.streams.emplace_back();
  TOutputStreamSetup& setup = file.streams.back();
  setup.st = st;
  setup.bsf_names = std::move(s.pending_bsfs[bsfKind]);
  s.pending_bsfs[bsfKind].clear();
  return setup;
}

// The encoder a codec name forces (checked for its kind), else the format's guess.
const AVCodec* ChooseEncoder(const std::string& name, AVMediaType kind, const TOutputFile& file,
                             AVCodecID& id, bool& byName) {
  byName = !name.empty();
  if (byName) {
    const AVCodec* codec = ff::avcodec_find_encoder_by_name(name.c_str());
    if (!codec) throw FFmpegException(Format("Unknown %s '%s'", "encoder", name.c_str()));
    if (codec->type != kind) throw FFmpegException(Format("Invalid %s type '%s'", "encoder", name.c_str()));
    id = codec->id;
    return codec;
  }
  id = ff::av_guess_codec(file.ctx->oformat, nullptr, file.ctx->url, nullptr, kind);
  return id == AV_CODEC_ID_NONE ? nullptr : ff::avcodec_find_encoder(id);
}

AVCodecContext* NewCodecContext(const AVCodec* codec, AVMediaType kind) {
  AVCodecContext* enc = ff::avcodec_alloc_context3(codec);
  if (!enc) throw FFmpegException("Could not alloc stream");
  enc->codec_type = kind;
  return enc;
}

AVRational SampleAspect(float aspect, int width, int height) {
  const double ratio = width != 0 && height != 0 ? aspect * height / width : aspect * 3.0 / 4.0;
  return ratio > 0 ? BestFraction(ratio, 255) : AVRational{0, 1};
}

void SetGlobalHeader(AVCodecContext* enc, AVCodecContext* templ) {
  enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (templ) templ->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

void ParseRcOverride(const std::string& text, AVCodecContext* enc) {
  std::vector<RcOverride> overrides;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('/', start);
    if (end == std::string::npos) end = text.size();
    int first = 0, last = 0, q = 0;
    if (std::sscanf(text.substr(start, end - start).c_str(), "%d,%d,%d", &first, &last, &q) != 3)
      throw FFmpegException("error parsing rc_override");
    RcOverride entry{};
    entry.start_frame = first;
    entry.end_frame = last;
    if (q > 0) {
      entry.qscale = q;
      entry.quality_factor = 1.0f;
    } else {
      entry.qscale = 0;
      entry.quality_factor = -q / 100.0f;
    }
    overrides.push_back(entry);
    start = end + 1;
  }
  ff::av_freep(&enc->rc_override);
  enc->rc_override = static_cast<RcOverride*>(ff::av_mallocz(sizeof(RcOverride) * (overrides.size() + 1)));
  if (!enc->rc_override) throw FFmpegException("error parsing rc_override");
  std::copy(overrides.begin(), overrides.end(), enc->rc_override);
  enc->rc_override_count = static_cast<int>(overrides.size());
}

uint16_t* MatrixCopy(const std::vector<uint16_t>& matrix) {
  auto* copy = static_cast<uint16_t*>(ff::av_mallocz(64 * sizeof(uint16_t)));
  if (copy) std::copy(matrix.begin(), matrix.end(), copy);
  return copy;
}

// An encoder that cannot take the rate or layout asked for gets its nearest
// offer; the user learns of it, since the output then differs from the
// settings. (A sample or pixel format is an inner detail and changes quietly.)
void NoteSubstitute(const TCustomFFmpeg& engine, const AVCodec* codec, const std::string& asked,
                    const std::string& used) {
  EngineLog(engine, media::llWarning,
            Format("Encoder %s does not support %s, using %s", codec->name, asked.c_str(), used.c_str()));
}

std::string RateText(AVRational rate) { return Format("%d/%d fps", rate.num, rate.den); }

std::string LayoutText(const AVChannelLayout& layout) {
  char text[128] = "";
  ff::av_channel_layout_describe(&layout, text, sizeof text);
  return text;
}

void SetVideoEncoding(TCustomFFmpeg& engine, TOutputStreamSetup& setup, AVCodecContext* enc) {
  TEngineState& s = engine.State();
  TOptionValues& o = s.opt;
  AVRational rate = o.frame_rate.num ? o.frame_rate : AVRational{25, 1};
  const AVCodec* codec = setup.codec ? setup.codec : enc->codec;
  if (s.option_contexts.codec[0])
    media::ApplyGenericOptions(s.option_contexts, enc, s.option_contexts.codec[AVMEDIA_TYPE_VIDEO],
                               media::kOptVideo | media::kOptEncoding);
  const AVRational* rates = ff::SupportedFrameRates(enc, codec);
  if (rates && !o.force_fps) {
    const AVRational nearest = rates[ff::av_find_nearest_q_idx(rate, rates)];
    // 2997/100 asked and 30000/1001 listed are the same rate to a viewer: no warning.
    if (std::fabs(av_q2d(nearest) - av_q2d(rate)) > 0.01) NoteSubstitute(engine, codec, RateText(rate), RateText(nearest));
    rate = nearest;
  }
  enc->time_base = AVRational{rate.den, rate.num};
  enc->framerate = rate;
  setup.st->avg_frame_rate = rate;
  enc->width = o.frame_width + o.frame_padleft + o.frame_padright;
  enc->height = o.frame_height + o.frame_padtop + o.frame_padbottom;
  enc->sample_aspect_ratio = setup.st->sample_aspect_ratio = SampleAspect(o.frame_aspect_ratio, enc->width, enc->height);
  enc->pix_fmt = static_cast<AVPixelFormat>(o.frame_pix_fmt);
  if (const AVPixelFormat* formats = ff::SupportedPixelFormats(enc, codec)) {
    const AVPixelFormat* p = formats;
    while (*p != AV_PIX_FMT_NONE && *p != enc->pix_fmt) ++p;
    if (*p == AV_PIX_FMT_NONE) enc->pix_fmt = formats[0];
  }
  if (o.intra_only) enc->gop_size = 0;
  if (o.video_qscale != 0 || o.same_quality) {
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    enc->global_quality = static_cast<int>(FF_QP2LAMBDA * o.video_qscale);
  }
  if (!o.intra_matrix.empty()) enc->intra_matrix = MatrixCopy(o.intra_matrix);
  if (!o.inter_matrix.empty()) enc->inter_matrix = MatrixCopy(o.inter_matrix);
  enc->thread_count = o.thread_count;
  if (o.has_rc_override && !o.video_rc_override_string.empty()) ParseRcOverride(o.video_rc_override_string, enc);
  if (enc->rc_initial_buffer_occupancy == 0) enc->rc_initial_buffer_occupancy = enc->rc_buffer_size * 3 / 4;
  enc->intra_dc_precision = o.intra_dc_precision - 8;
  if (o.do_psnr) enc->flags |= AV_CODEC_FLAG_PSNR;
  if (o.do_pass == 1) enc->flags |= AV_CODEC_FLAG_PASS1;
  else if (o.do_pass) enc->flags |= AV_CODEC_FLAG_PASS2;
}

// The listed layout equal to the one asked for, else one with as many
// channels, else the one with the nearest channel count.
void ChooseChannelLayout(const TCustomFFmpeg& engine, const AVCodec* codec, AVCodecContext* enc) {
  const AVChannelLayout* layouts = ff::SupportedChannelLayouts(enc, codec);
  if (!layouts || !layouts[0].nb_channels) return;
  const int asked = enc->ch_layout.nb_channels;
  const AVChannelLayout* best = &layouts[0];
  for (const AVChannelLayout* layout = layouts; layout->nb_channels; ++layout) {
    if (ff::av_channel_layout_compare(layout, &enc->ch_layout) == 0) return;
    const int distance = std::abs(layout->nb_channels - asked), bestDistance = std::abs(best->nb_channels - asked);
    if (distance < bestDistance) best = layout;
  }
  NoteSubstitute(engine, codec, LayoutText(enc->ch_layout), LayoutText(*best));
  ff::av_channel_layout_uninit(&enc->ch_layout);
  ff::av_channel_layout_copy(&enc->ch_layout, best);
}

bool Lists(const AVSampleFormat* formats, AVSampleFormat format) {
  for (const AVSampleFormat* p = formats; *p != AV_SAMPLE_FMT_NONE; ++p)
    if (*p == format) return true;
  return false;
}

// The format asked for (the source's unless the user chose), else the same
// samples planar or packed, so that 24-bit sound stays 24-bit; else the encoder's first.
AVSampleFormat ChooseSampleFormat(const AVSampleFormat* formats, AVSampleFormat asked) {
  if (!formats || Lists(formats, asked)) return asked;
  const AVSampleFormat other = ff::av_sample_fmt_is_planar(asked) ? ff::av_get_packed_sample_fmt(asked)
                                                                   : ff::av_get_planar_sample_fmt(asked);
  return asked != AV_SAMPLE_FMT_NONE && Lists(formats, other) ? other : formats[0];
}

void SetAudioEncoding(TCustomFFmpeg& engine, TOutputStreamSetup& setup, AVCodecContext* enc) {
  TEngineState& s = engine.State();
  TOptionValues& o = s.opt;
  const AVCodec* codec = setup.codec ? setup.codec : enc->codec;
  if (s.option_contexts.codec[0])
    media::ApplyGenericOptions(s.option_contexts, enc, s.option_contexts.codec[AVMEDIA_TYPE_AUDIO],
                               media::kOptAudio | media::kOptEncoding);
  if (o.audio_qscale > -99999) {
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    enc->global_quality = static_cast<int>(FF_QP2LAMBDA * o.audio_qscale);
  }
  enc->thread_count = o.thread_count;
  ff::av_channel_layout_uninit(&enc->ch_layout);
  AVChannelLayout layout{};
  if (o.channel_layout) ff::av_channel_layout_from_mask(&layout, o.channel_layout);
  if (o.channel_layout && layout.nb_channels == o.audio_channels)
    ff::av_channel_layout_copy(&enc->ch_layout, &layout);
  else
    ff::av_channel_layout_default(&enc->ch_layout, o.audio_channels);
  ff::av_channel_layout_uninit(&layout);
  enc->sample_fmt =
      ChooseSampleFormat(ff::SupportedSampleFormats(enc, codec), static_cast<AVSampleFormat>(o.audio_sample_fmt));
  ChooseChannelLayout(engine, codec, enc);
}

// The listed rate closest to the one asked for (the first of two as close).
void ChooseSampleRate(const TCustomFFmpeg& engine, const AVCodec* codec, AVCodecContext* enc) {
  const int* rates = ff::SupportedSampleRates(enc, codec);
  if (!rates) return;
  int nearest = rates[0];
  for (const int* rate = rates; *rate; ++rate) {
    if (*rate == enc->sample_rate) return;
    if (std::abs(*rate - enc->sample_rate) < std::abs(nearest - enc->sample_rate)) nearest = *rate;
  }
  NoteSubstitute(engine, codec, Format("%d Hz", enc->sample_rate), Format("%d Hz", nearest));
  enc->sample_rate = nearest;
}

void SetLanguage(AVStream* st, std::string& language) {
  if (language.empty()) return;
  ff::av_dict_set(&st->metadata, "language", language.c_str(), 0);
  language.clear();
}

}  // namespace

void NewVideoStream(TCustomFFmpeg& engine, TOutputFile& file) {
  TEngineState& s = engine.State();
  TOptionValues& o = s.opt;
  TOutputStreamSetup& setup = AddStream(s, file, 0);
  AVCodecID id = AV_CODEC_ID_NONE;
  bool byName = false;
  const AVCodec* codec = nullptr;
  if (!o.video_stream_copy) {
    codec = ChooseEncoder(o.video_codec_name, AVMEDIA_TYPE_VIDEO, file, id, byName);
    if (byName) setup.codec = codec;
  }
  AVCodecContext* enc = setup.enc = NewCodecContext(o.video_stream_copy ? nullptr : codec, AVMEDIA_TYPE_VIDEO);
  enc->codec_id = id;
  if (o.video_codec_tag) enc->codec_tag = o.video_codec_tag;
  if ((o.video_global_header & 1) || (o.video_global_header == 0 && (file.ctx->oformat->flags & AVFMT_GLOBALHEADER)))
    SetGlobalHeader(enc, s.option_contexts.codec[AVMEDIA_TYPE_VIDEO]);
  if (o.video_global_header & 2) {
    enc->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    if (auto* templ = s.option_contexts.codec[AVMEDIA_TYPE_VIDEO]) templ->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
  }
  if (o.video_stream_copy) {
    setup.copy = true;
    enc->sample_aspect_ratio = setup.st->sample_aspect_ratio =
        SampleAspect(o.frame_aspect_ratio, o.frame_width, o.frame_height);
  } else {
    SetVideoEncoding(engine, setup, enc);
  }
  o.video_disable = false;
  o.video_codec_name.clear();
  o.video_stream_copy = false;
}

// "libopencore_amrnb" without a library encoder of that name: our own, 8000 Hz mono 16-bit.
bool UseOwnAmrNb(const TOptionValues& o) {
  return !o.audio_stream_copy && o.audio_codec_name == kAmrNbEncoderName && !LibrariesHaveAmrNbEncoder() &&
         TAmrNbEncoder::Available();
}

void SetOwnAmrNb(TEngineState& s, TOutputStreamSetup& setup, AVCodecContext* enc) {
  setup.own_amrnb = true;
  enc->codec_id = AV_CODEC_ID_AMR_NB;
  enc->sample_fmt = kAmrNbSampleFormat;
  enc->frame_size = kAmrNbFrameSize;
  ff::av_channel_layout_uninit(&enc->ch_layout);
  ff::av_channel_layout_default(&enc->ch_layout, 1);
  if (s.option_contexts.codec[0])
    media::ApplyGenericOptions(s.option_contexts, enc, s.option_contexts.codec[AVMEDIA_TYPE_AUDIO],
                               media::kOptAudio | media::kOptEncoding);
}

void NewAudioStream(TCustomFFmpeg& engine, TOutputFile& file) {
  TEngineState& s = engine.State();
  TOptionValues& o = s.opt;
  TOutputStreamSetup& setup = AddStream(s, file, 1);
  AVCodecID id = AV_CODEC_ID_NONE;
  bool byName = false;
  const AVCodec* codec = nullptr;
  const bool ownAmrNb = UseOwnAmrNb(o);
  if (!o.audio_stream_copy && !ownAmrNb) {
    codec = ChooseEncoder(o.audio_codec_name, AVMEDIA_TYPE_AUDIO, file, id, byName);
    if (byName) setup.codec = codec;
  }
  AVCodecContext* enc = setup.enc = NewCodecContext(o.audio_stream_copy ? nullptr : codec, AVMEDIA_TYPE_AUDIO);
  enc->codec_id = id;
  if (o.audio_codec_tag) enc->codec_tag = o.audio_codec_tag;
  if (file.ctx->oformat->flags & AVFMT_GLOBALHEADER) SetGlobalHeader(enc, s.option_contexts.codec[AVMEDIA_TYPE_AUDIO]);
  if (ownAmrNb) {
    SetOwnAmrNb(s, setup, enc);
  } else if (o.audio_stream_copy) {
    setup.copy = true;
    ff::av_channel_layout_uninit(&enc->ch_layout);
    ff::av_channel_layout_default(&enc->ch_layout, o.audio_channels);
  } else {
    SetAudioEncoding(engine, setup, enc);
  }
  enc->sample_rate = setup.own_amrnb ? kAmrNbSampleRate : o.audio_sample_rate;
  if (!setup.copy && !setup.own_amrnb) ChooseSampleRate(engine, setup.codec ? setup.codec : enc->codec, enc);
  enc->time_base = AVRational{1, enc->sample_rate};
  SetLanguage(setup.st, o.audio_language);
  o.audio_disable = false;
  o.audio_codec_name.clear();
  o.audio_stream_copy = false;
}

void NewSubtitleStream(TCustomFFmpeg& engine, TOutputFile& file) {
  TEngineState& s = engine.State();
  TOptionValues& o = s.opt;
  TOutputStreamSetup& setup = AddStream(s, file, 2);
  AVCodecID id = AV_CODEC_ID_NONE;
  bool byName = false;
  const AVCodec* codec = nullptr;
  if (!o.subtitle_stream_copy) {
    codec = ChooseEncoder(o.subtitle_codec_name, AVMEDIA_TYPE_SUBTITLE, file, id, byName);
    if (byName) setup.codec = codec;
  }
  AVCodecContext* enc = setup.enc = NewCodecContext(o.subtitle_stream_copy ? nullptr : codec, AVMEDIA_TYPE_SUBTITLE);
  enc->codec_id = id;
  if (o.subtitle_codec_tag) enc->codec_tag = o.subtitle_codec_tag;
  if (o.subtitle_stream_copy) {
    setup.copy = true;
  } else if (s.option_contexts.codec[0]) {
    media::ApplyGenericOptions(s.option_contexts, enc, s.option_contexts.codec[AVMEDIA_TYPE_SUBTITLE],
                               media::kOptSubtitle | media::kOptEncoding);
  }
  SetLanguage(setup.st, o.subtitle_language);
  o.subtitle_disable = false;
  o.subtitle_codec_name.clear();
  o.subtitle_stream_copy = false;
}

int OpenOutputFile(TCustomFFmpeg& engine, const std::string& fileName, bool join, std::string& error) {
  TEngineState& s = engine.State();
  TOptionValues& o = s.opt;
  auto file = std::make_unique<TOutputFile>();
  file->file_name = fileName;
  bool recorded = false;
  try {
    if (engine.OutputFileCount() >= MAX_FILE_COUNT)
      throw TOutputFailure{Format("Too many output files: at most %d are allowed", MAX_FILE_COUNT)};
    CheckFileOptions(s);
    const std::string url = media::FileNameToURL(fileName);
    const AVOutputFormat* format = o.file_oformat ? o.file_oformat : ff::av_guess_format(nullptr, url.c_str(), nullptr);
    if (!format) throw TOutputFailure{Format("Unable to find a suitable output format for '%s'", fileName.c_str())};
    CheckNotAnInput(s, fileName);
    if (ff::avformat_alloc_output_context2(&file->ctx, format, nullptr, url.c_str()) < 0 || !file->ctx)
      throw FFmpegException("avformat_alloc_context failed");
    CreateStreams(engine, *file, WantedKinds(s, format, join));
    ApplyFileMetadata(s, file->ctx);
    s.output_owned.push_back(std::move(file));
    TOutputFile* out = s.output_owned.back().get();
    s.output_slots.push_back(out);
    recorded = true;
    if ((format->flags & AVFMT_NEEDNUMBER) && !ff::av_filename_number_test(url.c_str()))
      throw TOutputFailure{media::OpenErrorText(fileName, AVERROR(EDOM))};
    if (!(format->flags & AVFMT_NOFILE)) {
      const int opened = ff::avio_open(&out->ctx->pb, url.c_str(), AVIO_FLAG_WRITE);
      if (opened < 0)
        throw TOutputFailure{Format("Could not open '%s': %s", fileName.c_str(), media::ErrorReason(opened).c_str())};
    }
    SetMuxerOptions(s, *out);
    if (join && s.input_files.size() > 1) SetUpJoin(engine, out);
  } catch (const TOutputFailure& failure) {
    error = failure.message;
  } catch (...) {
    if (!recorded && file && file->ctx) {
      for (auto& st : file->streams) ff::avcodec_free_context(&st.enc);
      ff::avformat_free_context(file->ctx);
    }
    if (recorded) {
      s.output_slots.pop_back();
      std::unique_ptr<TOutputFile> undone = std::move(s.output_owned.back());
      s.output_owned.pop_back();
      TEngineState scratch;
      scratch.output_owned.push_back(std::move(undone));
      CloseOutputFiles(scratch);
    }
    o.file_iformat = nullptr;
    o.file_oformat = nullptr;
    throw;
  }
  if (!error.empty()) {
    if (recorded) {
      s.output_slots.pop_back();
      TEngineState scratch;
      scratch.output_owned.push_back(std::move(s.output_owned.back()));
      s.output_owned.pop_back();
      CloseOutputFiles(scratch);
    } else if (file && file->ctx) {
      for (auto& st : file->streams) ff::avcodec_free_context(&st.enc);
      ff::avformat_free_context(file->ctx);
    }
    o.file_iformat = nullptr;
    o.file_oformat = nullptr;
    return -1;
  }
  o.file_iformat = nullptr;
  o.file_oformat = nullptr;
  return engine.OutputFileCount();
}

void CloseOutputFiles(TEngineState& s) {
  for (auto& file : s.output_owned) {
    AVFormatContext* ctx = file->ctx;
    if (ctx && ctx->pb && !(ctx->oformat->flags & AVFMT_NOFILE)) ff::avio_closep(&ctx->pb);
    {
      std::lock_guard guard(media::CodecLock());
      for (auto& stream : file->streams) {
        if (stream.enc) ff::av_freep(&stream.enc->stats_in);
        ff::avcodec_free_context(&stream.enc);
        for (auto& bsf : stream.bsfs) ff::av_bsf_free(&bsf);
        stream.bsfs.clear();
      }
    }
    ff::av_dict_free(&file->muxer_options);
    if (ctx) ff::avformat_free_context(ctx);
    file->ctx = nullptr;
    if (!file->file_name.empty() && media::FileSizeW(file->file_name) == 0) media::RemoveRegularFile(file->file_name);
  }
  s.output_owned.clear();
  s.output_slots.clear();
  s.join = false;
}

}  // namespace strella::engine
