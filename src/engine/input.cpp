// Input files: opening and probing one input, taking over its properties as
// the defaults of the outputs, and the input tables each run starts from.
#include <algorithm>

#include "engine/stages.h"
#include "media/loader.h"
#include "media/orientation.h"

namespace strella::engine {
namespace {

using media::Format;

struct TInputFailure {
  std::string message;
};

// The decoder a codec name forces, checked for its kind; none without a name.
const AVCodec* ForcedDecoder(const std::string& name, AVMediaType kind) {
  if (name.empty()) return nullptr;
  const AVCodec* codec = ff::avcodec_find_decoder_by_name(name.c_str());
  if (!codec) throw TInputFailure{Format("Unknown %s '%s'", "decoder", name.c_str())};
  if (codec->type != kind) throw TInputFailure{Format("Invalid %s type '%s'", "decoder", name.c_str())};
  return codec;
}

// The old format parameters, as dictionary entries for the demuxers that read
// them (raw and capture formats): only entries the forced demuxer knows.
AVDictionary* FormatParameters(const TOptionValues& opt) {
  const AVInputFormat* format = opt.file_iformat;
  if (!format || !format->priv_class) return nullptr;
  AVDictionary* dict = nullptr;
  auto knows = [&](const char* key) {
    const AVClass* cls = format->priv_class;
    return ff::av_opt_find(&cls, key, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
  };
  auto put = [&](const char* key, const std::string& value) {
    if (knows(key) && !value.empty()) ff::av_dict_set(&dict, key, value.c_str(), 0);
  };
  const int width = opt.frame_width + opt.frame_padleft + opt.frame_padright;
  const int height = opt.frame_height + opt.frame_padtop + opt.frame_padbottom;
  if (width > 0 && height > 0) put("video_size", Format("%dx%d", width, height));
  if (opt.frame_pix_fmt >= 0) put("pixel_format", ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(opt.frame_pix_fmt)));
  if (opt.frame_rate.num > 0 && opt.frame_rate.den > 0)
    put("framerate", Format("%d/%d", opt.frame_rate.num, opt.frame_rate.den));
  if (opt.audio_sample_rate > 0) put("sample_rate", std::to_string(opt.audio_sample_rate));
  if (opt.audio_channels > 0) put("channels", std::to_string(opt.audio_channels));
  if (opt.video_channel) put("channel", std::to_string(opt.video_channel));
  put("standard", opt.video_standard);
  return dict;
}

void ResetPerFileValues(TOptionValues& opt) {
  opt.file_iformat = nullptr;
  opt.file_oformat = nullptr;
  opt.video_channel = 0;
  opt.video_codec_name.clear();
  opt.audio_codec_name.clear();
  opt.subtitle_codec_name.clear();
}

void DiscardOtherPrograms(AVFormatContext* ctx, int programId) {
  for (unsigned i = 0; i < ctx->nb_programs; ++i)
    if (ctx->programs[i]->id != programId) ctx->programs[i]->discard = AVDISCARD_ALL;
}

void TakeVideoProperties(TCustomFFmpeg& engine, AVStream* st, AVCodecContext* dec) {
  TOptionValues& opt = engine.State().opt;
  opt.frame_width = dec->width;
  opt.frame_height = dec->height;
  AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio : dec->sample_aspect_ratio;
  double ratio = sar.num && sar.den ? av_q2d(sar) : 0.0;
  // Each side checked alone: a damaged header's 65535x65535 overflows an int product.
  if (dec->width != 0 && dec->height != 0)
    ratio = ratio != 0 ? dec->width * ratio / dec->height : static_cast<double>(dec->width) / dec->height;
  else if (ratio == 0)
    ratio = 4.0 / 3.0;
  opt.frame_aspect_ratio = static_cast<float>(ratio);
  // The pictures are turned upright on their way to the encoder.
  if (media::StreamOrientation(st).SwapsSides()) {
    std::swap(opt.frame_width, opt.frame_height);
    opt.frame_aspect_ratio = 1.0f / opt.frame_aspect_ratio;
  }
  if (dec->pix_fmt == AV_PIX_FMT_NONE) dec->pix_fmt = static_cast<AVPixelFormat>(0);
  opt.frame_pix_fmt = dec->pix_fmt;
  const AVRational rate = st->r_frame_rate, average = st->avg_frame_rate;
  if (opt.verbose >= 0 && rate.num && average.num && av_cmp_q(rate, average) != 0)
    EngineLog(engine, media::llInfo,
              Format("Seems stream %d codec frame rate differs from container frame rate: %2.2f (%d/%d) -> %2.2f (%d/%d)",
                     st->index, av_q2d(average), average.num, average.den, av_q2d(rate), rate.num, rate.den));
  opt.frame_rate = rate;
}

void TakeAudioProperties(TOptionValues& opt, AVCodecContext* dec) {
  opt.channel_layout = dec->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? dec->ch_layout.u.mask : 0;
  opt.audio_channels = dec->ch_layout.nb_channels;
  opt.audio_sample_rate = dec->sample_rate;
  opt.audio_sample_fmt = dec->sample_fmt;
}

// One decoder context per stream, the engine's defaults taken from it.
void AddInputStreams(TCustomFFmpeg& engine, TInputFile& file) {
  TEngineState& s = engine.State();
  TOptionValues& opt = s.opt;
  const auto& templates = s.option_contexts;
  for (unsigned i = 0; i < file.ctx->nb_streams; ++i) {
    AVStream* st = file.ctx->streams[i];
    AVCodecContext* dec = ff::avcodec_alloc_context3(nullptr);
    if (!dec) throw FFmpegException("avcodec_alloc_context3 failed");
    file.decoders.push_back(dec);
    ff::avcodec_parameters_to_context(dec, st->codecpar);
    dec->pkt_timebase = st->time_base;
    dec->thread_count = opt.thread_count;
    const AVCodec* choice = nullptr;
    switch (dec->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        if (templates.codec[0]) media::ApplyGenericOptions(templates, dec, templates.codec[AVMEDIA_TYPE_VIDEO], media::kOptVideo | media::kOptDecoding);
        TakeVideoProperties(engine, st, dec);
        choice = opt.video_codec_name.empty() ? nullptr : ff::avcodec_find_decoder_by_name(opt.video_codec_name.c_str());
        if (opt.video_disable) st->discard = AVDISCARD_ALL;
        else if (opt.video_discard) st->discard = static_cast<AVDiscard>(opt.video_discard);
        break;
      case AVMEDIA_TYPE_AUDIO:
        if (templates.codec[0]) media::ApplyGenericOptions(templates, dec, templates.codec[AVMEDIA_TYPE_AUDIO], media::kOptAudio | media::kOptDecoding);
        TakeAudioProperties(opt, dec);
        choice = opt.audio_codec_name.empty() ? nullptr : ff::avcodec_find_decoder_by_name(opt.audio_codec_name.c_str());
        if (opt.audio_disable) st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        choice = opt.subtitle_codec_name.empty() ? nullptr : ff::avcodec_find_decoder_by_name(opt.subtitle_codec_name.c_str());
        if (opt.subtitle_disable) st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_DATA:
      case AVMEDIA_TYPE_ATTACHMENT:
      case AVMEDIA_TYPE_UNKNOWN:
        break;
      default:
        throw FFmpegException("invalid codec_type");
    }
    s.input_codecs.push_back(choice);
  }
}

// Opens the demuxer; throws TInputFailure with the user's message.
AVFormatContext* OpenDemuxer(TCustomFFmpeg& engine, const std::string& fileName) {
  TEngineState& s = engine.State();
  TOptionValues& opt = s.opt;
  AVFormatContext* ctx = ff::avformat_alloc_context();
  if (!ctx) throw FFmpegException("avformat_alloc_context failed");
  try {
    const AVCodec* video = ForcedDecoder(opt.video_codec_name, AVMEDIA_TYPE_VIDEO);
    const AVCodec* audio = ForcedDecoder(opt.audio_codec_name, AVMEDIA_TYPE_AUDIO);
    const AVCodec* subtitle = ForcedDecoder(opt.subtitle_codec_name, AVMEDIA_TYPE_SUBTITLE);
    ctx->video_codec_id = opt.pgmyuv ? AV_CODEC_ID_PGMYUV : video ? video->id : AV_CODEC_ID_NONE;
    ctx->audio_codec_id = audio ? audio->id : AV_CODEC_ID_NONE;
    ctx->subtitle_codec_id = subtitle ? subtitle->id : AV_CODEC_ID_NONE;
  } catch (...) {
    ff::avformat_free_context(ctx);
    throw;
  }
  if (s.option_contexts.format) media::ApplyGenericOptions(s.option_contexts, ctx, s.option_contexts.format, media::kOptDecoding);
  // Generated pts let a copied stream whose demuxer leaves them out (MPEG
  // program streams) go into containers that need them.
  ctx->flags |= AVFMT_FLAG_NONBLOCK | AVFMT_FLAG_GENPTS;
  AVDictionary* parameters = FormatParameters(opt);
  media::AddLiteralNameOptions(fileName, &parameters);
  const std::string url = media::FileNameToURL(fileName);
  const int result = ff::avformat_open_input(&ctx, url.c_str(), opt.file_iformat, &parameters);
  ff::av_dict_free(&parameters);
  if (result < 0) throw TInputFailure{media::OpenErrorText(fileName, result)};  // ctx is freed
  return ctx;
}

void ProbeStreams(TCustomFFmpeg& engine, AVFormatContext*& ctx, const std::string& fileName) {
  int result;
  {
    std::lock_guard guard(media::CodecLock());
    result = ff::avformat_find_stream_info(ctx, nullptr);
  }
  if (result < 0 && engine.State().opt.verbose >= 0) {
    const std::string message = Format("%s: could not find codec parameters", fileName.c_str());
    EngineLog(engine, media::llVerbose, message);
    ff::avformat_close_input(&ctx);
    throw TInputFailure{message};
  }
}

void SeekToStart(TOptionValues& opt, AVFormatContext* ctx, int64_t& timestamp) {
  timestamp = opt.start_time;
  if (ctx->start_time != AV_NOPTS_VALUE) timestamp += ctx->start_time;
  if (opt.start_time != 0) {
    ff::av_seek_frame(ctx, -1, timestamp, AVSEEK_FLAG_BACKWARD);
    opt.start_time = 0;
  }
}

}  // namespace

bool OpenInputFile(TCustomFFmpeg& engine, const std::string& fileName, std::string& error) {
  TEngineState& s = engine.State();
  TOptionValues& opt = s.opt;
  if (engine.InputFileCount() >= MAX_FILE_COUNT) {
    error = Format("Too many input files: at most %d are allowed", MAX_FILE_COUNT);
    ResetPerFileValues(opt);
    return false;
  }
  TInputFile file;
  file.file_name = fileName;
  try {
    file.ctx = OpenDemuxer(engine, fileName);
    if (opt.opt_programid) DiscardOtherPrograms(file.ctx, opt.opt_programid);
    ProbeStreams(engine, file.ctx, fileName);
  } catch (const TInputFailure& failure) {
    error = failure.message;
    ResetPerFileValues(opt);
    return false;
  }
  int64_t timestamp = 0;
  SeekToStart(opt, file.ctx, timestamp);
  try {
    AddInputStreams(engine, file);
  } catch (...) {
    for (auto& dec : file.decoders) ff::avcodec_free_context(&dec);
    ff::avformat_close_input(&file.ctx);
    ResetPerFileValues(opt);
    throw;
  }
  if (file.ctx->duration != AV_NOPTS_VALUE && file.ctx->duration / 1000 > engine.TotalDuration())
    engine.SetTotalDuration(file.ctx->duration / 1000);
  const int index = engine.InputFileCount();
  s.input_files_ts_offset[index] = opt.copy_ts ? opt.input_ts_offset : opt.input_ts_offset - timestamp;
  if (opt.verbose >= 0) ff::av_dump_format(file.ctx, index, media::FileNameToURL(fileName).c_str(), 0);
  s.input_files.push_back(std::move(file));
  ResetPerFileValues(opt);
  return true;
}

void BuildInputTables(TEngineState& s) {
  s.file_table.clear();
  s.ist_table.clear();
  int first = 0;
  for (size_t i = 0; i < s.input_files.size(); ++i) {
    const TInputFile& file = s.input_files[i];
    TInputFileRec rec;
    rec.ist_index = first;
    rec.nb_streams = static_cast<int>(file.ctx->nb_streams);
    s.file_table.push_back(rec);
    for (unsigned k = 0; k < file.ctx->nb_streams; ++k) {
      TInputStreamRec ist;
      ist.file_index = static_cast<int>(i);
      ist.index = static_cast<int>(k);
      ist.st = file.ctx->streams[k];
      ist.dec = file.decoders[k];
      if (s.opt.rate_emu) ist.start = ff::av_gettime();
      s.ist_table.push_back(ist);
    }
    first += rec.nb_streams;
  }
}

void CloseInputFiles(TEngineState& s) {
  for (TInputFile& file : s.input_files) {
    {
      std::lock_guard guard(media::CodecLock());
      for (auto& dec : file.decoders) ff::avcodec_free_context(&dec);
    }
    ff::avformat_close_input(&file.ctx);
  }
  s.input_files.clear();
  s.input_codecs.clear();
}

}  // namespace strella::engine
