// Transcode set-up: the output-stream table, stream mapping, the parameters
// of copied and re-encoded streams, pass-log files, opening the codecs,
// metadata maps, headers and the mapping log; closing and join-mode reopening.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "engine/stages.h"
#include "engine/transcode_paths.h"
#include "media/loader.h"

namespace strella::engine {
namespace {

using media::Format;
using media::StreamKindName;

AVMediaType Kind(const TOutputStreamRec& ost) { return ost.setup->enc->codec_type; }
AVMediaType Kind(const TInputStreamRec& ist) { return ist.st->codecpar->codec_type; }

void DumpOutput(TEngineState& s, int index) {
  TOutputFile* file = s.output_slots[index];
  ff::av_dump_format(file->ctx, index, file->ctx->url, 1);
}

void LogStreamMapping(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  const int files = s.join ? 1 : static_cast<int>(s.output_slots.size());
  for (int i = 0; i < files; ++i) DumpOutput(s, i);
  if (s.opt.verbose < 0) return;
  EngineLog(engine, media::llVerbose, "Stream mapping:");
  for (const TOutputStreamRec& ost : s.ost_table) {
    const TInputStreamRec& ist = s.ist_table[ost.source_index];
    const std::string kind = StreamKindName(Kind(ost));
    std::string line = Format("  Stream #%d.%d -> #%d.%d (%s)", ist.file_index, ist.index,
                              s.join ? 0 : ost.file_index, ost.index, kind.c_str());
    if (ost.sync_ist != ost.source_index) {
      const TInputStreamRec& sync = s.ist_table[ost.sync_ist];
      line += Format(" [sync #%d.%d (%s)]", sync.file_index, sync.index, kind.c_str());
    }
    EngineLog(engine, media::llVerbose, line);
  }
}

[[noreturn]] void FailAfterMapping(TCustomFFmpeg& engine, const std::string& message) {
  LogStreamMapping(engine);
  EngineLog(engine, media::llError, message);
  throw FFmpegException(message);
}

int FindInputStream(const TEngineState& s, int file, int stream) {
  if (file < 0 || file >= static_cast<int>(s.file_table.size())) return -1;
  if (stream < 0 || stream >= s.file_table[file].nb_streams) return -1;
  return s.file_table[file].ist_index + stream;
}

void BuildOutputTable(TEngineState& s) {
  s.ost_table.clear();
  for (size_t k = 0; k < s.output_slots.size(); ++k) {
    TOutputFile* file = s.output_slots[k];
    if (file->streams.empty()) {
      DumpOutput(s, static_cast<int>(k));
      throw FFmpegException(Format("Output file #%d does not contain any stream", static_cast<int>(k)));
    }
    for (size_t i = 0; i < file->streams.size(); ++i) {
      TOutputStreamRec ost;
      ost.file_index = static_cast<int>(k);
      ost.index = static_cast<int>(i);
      ost.setup = &file->streams[i];
      ost.st = file->streams[i].st;
      s.ost_table.push_back(ost);
    }
  }
  s.join_set_size = static_cast<int>(s.output_slots[0]->streams.size());
  if (!s.stream_maps.empty() && s.stream_maps.size() != s.ost_table.size())
    throw FFmpegException("Number of stream maps must match number of output streams");
  for (const TStreamMapRec& map : s.stream_maps) {
    if (FindInputStream(s, map.file_index, map.stream_index) < 0)
      throw FFmpegException(Format("Could not find input stream #%d.%d", map.file_index, map.stream_index));
    if (FindInputStream(s, map.sync_file_index, map.sync_stream_index) < 0)
      throw FFmpegException(Format("Could not find sync stream #%d.%d", map.sync_file_index, map.sync_stream_index));
  }
}

bool Candidate(const TEngineState& s, const TInputStreamRec& ist, AVMediaType kind, int outFile) {
  return ist.discard && Kind(ist) == kind && (!s.join || ist.file_index == outFile);
}

int FindSourceByProgram(const TEngineState& s, AVMediaType kind, int outFile) {
  for (size_t j = 0; j < s.input_files.size(); ++j) {
    const AVFormatContext* ctx = s.input_files[j].ctx;
    for (unsigned p = 0; p < ctx->nb_programs; ++p) {
      const AVProgram* program = ctx->programs[p];
      if (program->id != s.opt.opt_programid) continue;
      for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
        const int index = s.file_table[j].ist_index + static_cast<int>(program->stream_index[k]);
        if (Candidate(s, s.ist_table[index], kind, outFile)) return index;
      }
    }
  }
  return -1;
}

int FindSource(TCustomFFmpeg& engine, const TOutputStreamRec& ost) {
  TEngineState& s = engine.State();
  const AVMediaType kind = Kind(ost);
  int found = -1;
  if (s.opt.opt_programid) {
    found = FindSourceByProgram(s, kind, ost.file_index);
  } else {
    for (size_t j = 0; j < s.ist_table.size() && found < 0; ++j)
      if (Candidate(s, s.ist_table[j], kind, ost.file_index)) found = static_cast<int>(j);
  }
  if (found < 0 && !s.opt.opt_programid && !s.join) {
    for (size_t j = 0; j < s.ist_table.size(); ++j)
      if (Kind(s.ist_table[j]) == kind) found = static_cast<int>(j);  // the last of its kind
  }
  if (found < 0) {
    DumpOutput(s, ost.file_index);
    throw FFmpegException(Format("Could not find input stream matching output stream #%d.%d (%s)", ost.file_index,
                                 ost.index, StreamKindName(kind).c_str()));
  }
  return found;
}

void MapStreams(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  for (size_t n = 0; n < s.ost_table.size(); ++n) {
    TOutputStreamRec& ost = s.ost_table[n];
    if (!s.stream_maps.empty()) {
      const TStreamMapRec& map = s.stream_maps[n];
      ost.source_index = FindInputStream(s, map.file_index, map.stream_index);
      const TInputStreamRec& ist = s.ist_table[ost.source_index];
      if (Kind(ist) != Kind(ost)) {
        DumpOutput(s, ost.file_index);
        throw FFmpegException(Format("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", map.file_index,
                                     map.stream_index, StreamKindName(Kind(ist)).c_str(), ost.file_index, ost.index,
                                     StreamKindName(Kind(ost)).c_str()));
      }
      ost.sync_ist = FindInputStream(s, map.sync_file_index, map.sync_stream_index);
    } else {
      ost.source_index = FindSource(engine, ost);
      ost.sync_ist = ost.source_index;
    }
    s.ist_table[ost.source_index].discard = false;
  }
}

void DeriveCopyParameters(TCustomFFmpeg& engine, TOutputStreamRec& ost, const TInputStreamRec& ist) {
  TEngineState& s = engine.State();
  const AVCodecParameters* in = ist.st->codecpar;
  AVStream* st = ost.st;
  const AVRational sar = st->sample_aspect_ratio;
  const uint32_t forcedTag = ost.setup->enc->codec_tag;
  switch (in->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      if (s.opt.audio_volume != 256)
        throw FFmpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
      if (!s.opt.afilters.empty())
        throw FFmpegException("-acodec copy and -af are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_VIDEO:
      if (engine.CustomHookCallback)
        throw FFmpegException("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
      if (s.opt.using_vhook) throw FFmpegException("-vcodec copy and -vhook are incompatible (frames are not decoded)");
      if (engine.PreviewFlags() != 0)
        throw FFmpegException("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      break;
    default:
      throw FFmpegException("invalid codec_type of output stream");
  }
  if (ff::avcodec_parameters_copy(st->codecpar, in) < 0) throw FFmpegException("av_mallocz fail");
  uint32_t tag = forcedTag;
  if (!tag) {
    const AVOutputFormat* format = s.output_slots[ost.file_index]->ctx->oformat;
    unsigned int mapped = 0;
    if (!format->codec_tag || ff::av_codec_get_id(format->codec_tag, in->codec_tag) == in->codec_id ||
        !ff::av_codec_get_tag2(format->codec_tag, in->codec_id, &mapped))
      tag = in->codec_tag;
  }
  st->codecpar->codec_tag = tag;
  if (in->codec_type == AVMEDIA_TYPE_AUDIO) {
    if ((st->codecpar->block_align == 1 && in->codec_id == AV_CODEC_ID_MP3) || in->codec_id == AV_CODEC_ID_AC3)
      st->codecpar->block_align = 0;
  }
  if (in->codec_type == AVMEDIA_TYPE_VIDEO) {
    st->sample_aspect_ratio = sar.num ? sar : ist.st->sample_aspect_ratio;
    st->codecpar->sample_aspect_ratio = st->sample_aspect_ratio;
    st->avg_frame_rate = ist.st->avg_frame_rate;
    st->r_frame_rate = ist.st->r_frame_rate;
  }
  st->time_base = ist.st->time_base;
  ost.setup->enc->time_base = ist.st->time_base;
  if (in->codec_type == AVMEDIA_TYPE_VIDEO && ist.st->avg_frame_rate.num && ist.st->avg_frame_rate.den)
    ost.setup->enc->time_base = av_inv_q(ist.st->avg_frame_rate);
}

void DeriveEncodeParameters(TCustomFFmpeg& engine, TOutputStreamRec& ost, TInputStreamRec& ist) {
  TEngineState& s = engine.State();
  const TOptionValues& o = s.opt;
  AVCodecContext* enc = ost.setup->enc;
  const AVCodecContext* dec = ist.dec;
  switch (enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      ost.audio_resample = enc->sample_rate != dec->sample_rate || o.audio_sync_method > 1;
      break;
    case AVMEDIA_TYPE_VIDEO: {
      if (enc->pix_fmt == AV_PIX_FMT_NONE)
        throw FFmpegException("Video pixel format is unknown, stream cannot be decoded");
      enc->bits_per_raw_sample = 0;
      ConfigureVideoGraph(engine, ist, ost);
      if (o.video_sync_method == 2) CountInSourceTime(ost, ist);
      break;
    }
    case AVMEDIA_TYPE_SUBTITLE:
      enc->time_base = AV_TIME_BASE_Q;  // subtitles are timed in microseconds
      break;
    default:
      throw FFmpegException("invalid codec_type of output stream");
  }
  ost.encoding_needed = true;
  ist.decoding_needed = true;
}

void OpenPassLog(TEngineState& s, TOutputStreamRec& ost, int index) {
  AVCodecContext* enc = ost.setup->enc;
  if (!(enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) return;
  const std::string prefix = s.opt.pass_logfilename_prefix.empty() ? "ffmpeg2pass" : s.opt.pass_logfilename_prefix;
  std::string name = Format("%s-%d.log", prefix.c_str(), index);
  if (name.size() > 1023) name.resize(1023);
  if (enc->flags & AV_CODEC_FLAG_PASS1) {
    ost.logfile = std::fopen(name.c_str(), "wb");
    if (!ost.logfile) throw FFmpegException(Format("Cannot write log file %s for pass-1 encoding", name.c_str()));
    return;
  }
  FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) throw FFmpegException(Format("Cannot read log file %s for pass-2 encoding", name.c_str()));
  std::string text;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::fclose(file);
  enc->stats_in = ff::av_strdup(text.c_str());
  if (!enc->stats_in) throw FFmpegException("Could not allocate log buffer");
}

void DeriveParameters(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  for (size_t n = 0; n < s.ost_table.size(); ++n) {
    TOutputStreamRec& ost = s.ost_table[n];
    TInputStreamRec& ist = s.ist_table[ost.source_index];
    const bool firstOfShared = !s.join || static_cast<int>(n) < s.join_set_size;
    if (!firstOfShared) {  // join mode: later sets share the first set's streams and encoders
      ost.encoding_needed = s.ost_table[n - s.join_set_size].encoding_needed;
      ist.decoding_needed = ist.decoding_needed || ost.encoding_needed;
      continue;
    }
    // A track's language and title tell a player's menu which is which.
    for (const char* key : {"language", "title"}) {
      const AVDictionaryEntry* tag = ff::av_dict_get(ist.st->metadata, key, nullptr, 0);
      if (tag && !ff::av_dict_get(ost.st->metadata, key, nullptr, 0)) ff::av_dict_set(&ost.st->metadata, key, tag->value, 0);
    }
    ost.st->disposition = ist.st->disposition;
    ost.setup->enc->bits_per_raw_sample = ist.st->codecpar->bits_per_raw_sample;
    ost.setup->enc->chroma_sample_location = ist.st->codecpar->chroma_location;
    if (ost.setup->copy)
      DeriveCopyParameters(engine, ost, ist);
    else
      DeriveEncodeParameters(engine, ost, ist);
    if (ost.encoding_needed) OpenPassLog(s, ost, static_cast<int>(n));
    if (Kind(ost) == AVMEDIA_TYPE_VIDEO) {
      const int64_t need = int64_t{ost.setup->enc->width} * ost.setup->enc->height * 6 + 200;
      s.output_buffer_size = static_cast<int>(std::min<int64_t>(std::max<int64_t>(s.output_buffer_size, need), INT_MAX));
    }
  }
}

const AVCodec* EncoderFor(const TOutputStreamRec& ost) {
  return ost.setup->codec ? ost.setup->codec : ff::avcodec_find_encoder(ost.setup->enc->codec_id);
}

bool OpenOwnAmrNb(TOutputStreamRec& ost) {
  TOutputStreamSetup& setup = *ost.setup;
  setup.amrnb = std::make_unique<TAmrNbEncoder>();
  if (!setup.amrnb->Open(setup.enc->bit_rate)) return false;
  setup.amrnb->FillCodecParameters(ost.st->codecpar);
  setup.enc->time_base = kAmrNbTimeBase;
  ost.st->time_base = kAmrNbTimeBase;
  return true;
}

// Text subtitle encoders need the styles header (ASS) that the decoder made
// when it opened, or that an ASS input carries.
void CopySubtitleHeader(const AVCodecContext& dec, AVCodecContext* enc) {
  if (!dec.subtitle_header || enc->subtitle_header) return;
  enc->subtitle_header = static_cast<uint8_t*>(ff::av_mallocz(dec.subtitle_header_size + 1));
  if (!enc->subtitle_header) throw FFmpegException("av_mallocz fail");
  std::memcpy(enc->subtitle_header, dec.subtitle_header, dec.subtitle_header_size);
  enc->subtitle_header_size = dec.subtitle_header_size;
}

void OpenEncoders(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  const size_t count = s.join ? s.join_set_size : s.ost_table.size();
  for (size_t n = 0; n < count; ++n) {
    TOutputStreamRec& ost = s.ost_table[n];
    if (!ost.encoding_needed) continue;
    if (ost.setup->own_amrnb) {
      if (!OpenOwnAmrNb(ost))
        FailAfterMapping(engine, Format("Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect "
                                        "parameters such as bit_rate, rate, width or height",
                                        ost.file_index, ost.index, StreamKindName(Kind(ost)).c_str()));
      continue;
    }
    AVCodecContext* enc = ost.setup->enc;
    const std::string kind = StreamKindName(Kind(ost));
    const AVCodec* codec = EncoderFor(ost);
    if (!codec)
      FailAfterMapping(engine, Format("Encoder (codec id %d) not found for output stream #%d.%d (%s)", enc->codec_id,
                                      ost.file_index, ost.index, kind.c_str()));
    if (Kind(ost) == AVMEDIA_TYPE_SUBTITLE) CopySubtitleHeader(*s.ist_table[ost.source_index].dec, enc);
    int result;
    {
      std::lock_guard guard(media::CodecLock());
      result = ff::avcodec_open2(enc, codec, nullptr);
      if (result >= 0) s.opened_encoders.push_back(&ost.setup->enc);
    }
    if (result < 0)
      FailAfterMapping(engine, Format("Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect "
                                      "parameters such as bit_rate, rate, width or height",
                                      ost.file_index, ost.index, kind.c_str()));
    ff::avcodec_parameters_from_context(ost.st->codecpar, enc);
    DescribeVideoStream(ost);
    ost.st->time_base = enc->time_base;
    s.extra_size += enc->extradata_size;
  }
}

void OpenDecoders(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  for (size_t j = 0; j < s.ist_table.size(); ++j) {
    TInputStreamRec& ist = s.ist_table[j];
    if (!ist.decoding_needed) continue;
    const std::string kind = StreamKindName(Kind(ist));
    const AVCodec* codec = j < s.input_codecs.size() && s.input_codecs[j] ? s.input_codecs[j]
                                                                          : ff::avcodec_find_decoder(ist.dec->codec_id);
    if (!codec)
      FailAfterMapping(engine, Format("Decoder (codec id %d) not found for input stream #%d.%d (%s)", ist.dec->codec_id,
                                      ist.file_index, ist.index, kind.c_str()));
    int result;
    {
      std::lock_guard guard(media::CodecLock());
      result = ff::avcodec_open2(ist.dec, codec, nullptr);
      if (result >= 0) s.opened_decoders.push_back(&s.input_files[ist.file_index].decoders[ist.index]);
    }
    if (result < 0)
      FailAfterMapping(engine, Format("Error while opening decoder for input stream #%d.%d (%s)", ist.file_index,
                                      ist.index, kind.c_str()));
  }
}

void InitInputClocks(TEngineState& s) {
  for (TInputStreamRec& ist : s.ist_table) {
    ist.pts = 0;
    ist.next_pts = AV_NOPTS_VALUE;
    ist.is_start = true;
  }
}

void CopyMetadataMaps(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  for (const TMetaDataMapRec& map : s.meta_data_maps) {
    if (map.out_file < 0 || map.out_file >= static_cast<int>(s.output_slots.size()))
      FailAfterMapping(engine, Format("Invalid output file index %d map_meta_data(%d,%d)", map.out_file, map.out_file,
                                      map.in_file));
    if (map.in_file < 0 || map.in_file >= static_cast<int>(s.input_files.size()))
      FailAfterMapping(engine, Format("Invalid input file index %d map_meta_data(%d,%d)", map.in_file, map.out_file,
                                      map.in_file));
    ff::av_dict_copy(&s.output_slots[map.out_file]->ctx->metadata, s.input_files[map.in_file].ctx->metadata, 0);
  }
}

const AVFormatContext* FirstInputWithChapters(const TEngineState& s) {
  for (const TInputFile& input : s.input_files)
    if (input.ctx->nb_chapters > 0) return input.ctx;
  return nullptr;
}

// The chapter moved by the output's start and cut at its length; null when
// it lies outside the part written.
AVChapter* ShiftedChapter(const AVChapter& chapter, int64_t startUS, int64_t lengthUS) {
  const int64_t offset = ff::av_rescale_q(startUS, AV_TIME_BASE_Q, chapter.time_base);
  const int64_t limit =
      lengthUS == kNoRecordingTime ? INT64_MAX : ff::av_rescale_q(lengthUS, AV_TIME_BASE_Q, chapter.time_base);
  if (chapter.end <= offset || chapter.start - offset >= limit) return nullptr;
  auto* copy = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
  if (!copy) throw FFmpegException("av_mallocz fail");
  copy->id = chapter.id;
  copy->time_base = chapter.time_base;
  copy->start = std::max<int64_t>(0, chapter.start - offset);
  copy->end = std::min(limit, chapter.end - offset);
  ff::av_dict_copy(&copy->metadata, chapter.metadata, 0);
  return copy;
}

// Chapters go with the pictures and sound they mark, as the first input
// that has any marks them; each muxer keeps them in its own way or not at all.
void CopyChapters(TEngineState& s) {
  const AVFormatContext* source = FirstInputWithChapters(s);
  if (!source) return;
  const size_t files = s.join ? 1 : s.output_slots.size();
  for (size_t k = 0; k < files; ++k) {
    AVFormatContext* out = s.output_slots[k]->ctx;
    if (out->nb_chapters > 0) continue;
    // Room for all at once: the muxer's context frees the table and each chapter.
    void* table = ff::av_realloc(out->chapters, source->nb_chapters * sizeof(AVChapter*));
    if (!table) throw FFmpegException("av_realloc fail");
    out->chapters = static_cast<AVChapter**>(table);
    for (unsigned i = 0; i < source->nb_chapters; ++i) {
      AVChapter* copy = ShiftedChapter(*source->chapters[i], s.opt.start_time, s.opt.recording_time);
      if (copy) out->chapters[out->nb_chapters++] = copy;
    }
  }
}

void MakeBitstreamFilters(TOutputStreamRec& ost) {
  TOutputStreamSetup& setup = *ost.setup;
  if (!setup.bsfs.empty() || setup.bsf_names.empty()) return;
  const AVCodecParameters* par = ost.st->codecpar;
  AVRational timeBase = ost.st->time_base;
  for (const std::string& name : setup.bsf_names) {
    AVBSFContext* bsf = nullptr;
    if (ff::av_bsf_alloc(ff::av_bsf_get_by_name(name.c_str()), &bsf) < 0)
      throw FFmpegException(Format("Unknown bitstream filter %s", name.c_str()));
    setup.bsfs.push_back(bsf);
    ff::avcodec_parameters_copy(bsf->par_in, setup.bsfs.size() == 1 ? par : setup.bsfs[setup.bsfs.size() - 2]->par_out);
    bsf->time_base_in = setup.bsfs.size() == 1 ? timeBase : setup.bsfs[setup.bsfs.size() - 2]->time_base_out;
    if (ff::av_bsf_init(bsf) < 0) throw FFmpegException(Format("Unknown bitstream filter %s", name.c_str()));
  }
}

void WriteHeaders(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  const size_t files = s.join ? 1 : s.output_slots.size();
  for (size_t k = 0; k < files; ++k) {
    TOutputFile* file = s.output_slots[k];
    if (ff::avformat_write_header(file->ctx, &file->muxer_options) < 0)
      FailAfterMapping(engine, Format("Could not write header for output file #%d (incorrect codec parameters ?)",
                                      static_cast<int>(k)));
    file->header_written = true;
  }
  for (TOutputStreamRec& ost : s.ost_table) MakeBitstreamFilters(ost);
  bool allRtp = true;
  for (size_t k = 0; k < files; ++k) allRtp = allRtp && std::string(s.output_slots[k]->ctx->oformat->name) == "rtp";
  if (allRtp) {
    std::vector<AVFormatContext*> contexts;
    for (size_t k = 0; k < files; ++k) contexts.push_back(s.output_slots[k]->ctx);
    char sdp[2048];
    ff::av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp, sizeof sdp);
    std::string text = sdp;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    EngineLog(engine, media::llInfo, "SDP:\r\n" + text);
  }
}

void CloseOne(std::list<AVCodecContext**>& opened, AVCodecContext** slot) {
  if (*slot) ff::av_freep(&(*slot)->stats_in);  // pass-2 statistics are the caller's to free
  std::lock_guard guard(media::CodecLock());
  ff::avcodec_free_context(slot);
  opened.remove(slot);
}

}  // namespace

void SetUpTranscode(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  s.copy_packet = ff::av_packet_alloc();
  s.read_packet = ff::av_packet_alloc();
  s.decoded_frame = ff::av_frame_alloc();
  if (!s.copy_packet || !s.read_packet || !s.decoded_frame) throw FFmpegException("av_mallocz fail");
  BuildInputTables(s);
  BuildOutputTable(s);
  MapStreams(engine);
  DeriveParameters(engine);
  OpenDecoders(engine);  // first: a subtitle encoder takes its decoder's styles header
  OpenEncoders(engine);
  InitInputClocks(s);
  CopyMetadataMaps(engine);
  CopyChapters(s);
  AddPictureComments(engine);
  WriteHeaders(engine);
  LogStreamMapping(engine);
}

double OutputTime(const TOutputStreamRec& ost) {
  if (ost.encoding_needed && ost.setup->enc->codec_type == AVMEDIA_TYPE_VIDEO)
    return static_cast<double>(ost.sync_opts) * av_q2d(ost.setup->enc->time_base);
  const int64_t dts = ost.setup->last_dts == AV_NOPTS_VALUE ? 0 : ost.setup->last_dts;
  return static_cast<double>(dts) * av_q2d(ost.st->time_base);
}

void CloseCodecs(TEngineState& s) {
  const size_t count = s.join ? std::min<size_t>(s.join_set_size, s.ost_table.size()) : s.ost_table.size();
  for (size_t n = 0; n < count; ++n) {
    TOutputStreamRec& ost = s.ost_table[n];
    if (ost.encoding_needed && ost.setup->enc) CloseOne(s.opened_encoders, &ost.setup->enc);
  }
  for (TInputStreamRec& ist : s.ist_table)
    if (ist.decoding_needed) CloseOne(s.opened_decoders, &s.input_files[ist.file_index].decoders[ist.index]);
}

void CloseOpenedCodecs(TEngineState& s) {
  while (!s.opened_encoders.empty()) CloseOne(s.opened_encoders, s.opened_encoders.front());
  while (!s.opened_decoders.empty()) CloseOne(s.opened_decoders, s.opened_decoders.front());
}

void ReopenEncoders(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  for (int n = 0; n < s.join_set_size; ++n) {
    TOutputStreamRec& ost = s.ost_table[n];
    if (!ost.encoding_needed) continue;
    if (ost.setup->own_amrnb) continue;  // keeps its state: nothing is buffered between frames
    const std::string kind = StreamKindName(Kind(ost));
    AVCodecContext* old = ost.setup->enc;
    const AVCodec* codec = EncoderFor(ost);
    if (!codec)
      throw FFmpegException(Format("Unsupported codec for output stream #%d.%d (%s)", ost.file_index, ost.index,
                                   kind.c_str()));
    AVCodecContext* fresh = ff::avcodec_alloc_context3(codec);
    AVCodecParameters* par = ff::avcodec_parameters_alloc();
    ff::avcodec_parameters_from_context(par, old);
    ff::avcodec_parameters_to_context(fresh, par);
    ff::avcodec_parameters_free(&par);
    ff::av_freep(&fresh->extradata);  // the encoder makes its own headers when it opens
    fresh->extradata_size = 0;
    fresh->stats_in = old->stats_in;  // pass 2 goes on reading the same statistics
    old->stats_in = nullptr;
    fresh->time_base = old->time_base;
    fresh->framerate = old->framerate;
    fresh->flags = old->flags;
    fresh->flags2 = old->flags2;
    fresh->global_quality = old->global_quality;
    fresh->thread_count = old->thread_count;
    fresh->gop_size = old->gop_size;
    CopySubtitleHeader(*old, fresh);
    CloseOne(s.opened_encoders, &ost.setup->enc);
    ost.setup->enc = fresh;
    int result;
    {
      std::lock_guard guard(media::CodecLock());
      result = ff::avcodec_open2(fresh, codec, nullptr);
      if (result >= 0) s.opened_encoders.push_back(&ost.setup->enc);
    }
    if (result < 0)
      throw FFmpegException(Format("Error while opening codec for output stream #%d.%d (%s) - maybe incorrect "
                                   "parameters such as bit_rate, rate, width or height",
                                   ost.file_index, ost.index, kind.c_str()));
  }
}

void FreeRunTables(TEngineState& s) {
  for (TOutputStreamRec& ost : s.ost_table)
    if (ost.logfile) std::fclose(ost.logfile);
  s.ost_table.clear();
  s.ist_table.clear();
  s.file_table.clear();
  ff::av_packet_free(&s.copy_packet);
  ff::av_packet_free(&s.read_packet);
  ff::av_frame_free(&s.decoded_frame);
}

}  // namespace strella::engine
