// The run: set-up, then the main loop that reads one packet at a time from
// the input furthest behind, corrects its time stamps and hands it on; join
// mode, flushing, trailers and the final report.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/stages.h"
#include "engine/transcode_paths.h"

namespace strella::engine {
namespace {

using media::Format;

struct TLoopState {
  int current_file = 0;  // join mode
  bool any_try_again = false;
};

struct TChoice {
  int file = -1;
  double min_output_time = 1e100;
};

bool FrameLimitReached(const TEngineState& s, const TOutputStreamRec& ost) {
  const int kind = ost.setup->enc->codec_type;
  const int limit = kind >= 0 && kind < 5 ? s.opt.max_frames[kind] : kNoFrameLimit;
  return ost.frame_number >= limit;
}

TChoice ChooseInput(const TEngineState& s, const TLoopState& loop) {
  TChoice choice;
  double minInputTime = 1e100;
  size_t first = 0, last = s.ost_table.size();
  if (s.join) {
    first = static_cast<size_t>(loop.current_file) * s.join_set_size;
    last = first + s.join_set_size;
    choice.file = loop.current_file;
  }
  for (size_t n = first; n < last; ++n) {
    const TOutputStreamRec& ost = s.ost_table[n];
    const TInputStreamRec& ist = s.ist_table[ost.source_index];
    if (s.no_packet[ist.file_index]) continue;
    const double outputTime = OutputTime(ost);
    if (s.join) {
      choice.min_output_time = std::min(choice.min_output_time, outputTime);
    } else if (!s.file_table[ist.file_index].eof_reached) {
      if (static_cast<double>(ist.pts) < minInputTime) {
        minInputTime = static_cast<double>(ist.pts);
        if (s.opt.input_sync) choice.file = ist.file_index;
      }
      if (outputTime < choice.min_output_time) {
        choice.min_output_time = outputTime;
        if (!s.opt.input_sync) choice.file = ist.file_index;
      }
    }
    if (FrameLimitReached(s, ost)) {
      choice.file = -1;
      break;
    }
  }
  return choice;
}

int64_t FirstOutputPosition(const TEngineState& s) {
  AVIOContext* pb = s.output_slots[0]->ctx->pb;
  return pb ? ff::avio_seek(pb, 0, SEEK_CUR) : 0;
}

// Formats whose time stamps may restart (MPEG-TS): a jump moves the input's offset so the output runs on.
void FollowDiscontinuity(TCustomFFmpeg& engine, int fileIndex, const TInputStreamRec& ist, AVPacket* pkt) {
  TEngineState& s = engine.State();
  if (pkt->dts == AV_NOPTS_VALUE) return;
  const AVRational timeBase = ist.st->time_base;
  const int64_t packetTime = ff::av_rescale_q(pkt->dts, timeBase, AV_TIME_BASE_Q);
  const int64_t delta = packetTime - ist.next_pts;
  if (std::llabs(delta) <= static_cast<int64_t>(s.opt.dts_delta_threshold * 1000000.0) && packetTime + 1 >= ist.pts)
    return;
  s.input_files_ts_offset[fileIndex] -= delta;
  if (s.opt.verbose > 2)
    EngineLog(engine, media::llVerbose,
              Format("timestamp discontinuity %lld, new offset= %lld", static_cast<long long>(delta),
                     static_cast<long long>(s.input_files_ts_offset[fileIndex])));
  const int64_t shift = ff::av_rescale_q(delta, AV_TIME_BASE_Q, timeBase);
  pkt->dts -= shift;
  if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= shift;
}

// What is still far off the stream's course after that is damage, not a cut
// (a format without discontinuities, or a presentation stamp the demuxer
// derived from a damaged one): following it would stretch the output by the
// size of the jump. The stamp is corrected to the stream's own clock.
void CorrectStrayTimestamps(TCustomFFmpeg& engine, const TInputStreamRec& ist, AVPacket* pkt) {
  const int kind = ist.st->codecpar->codec_type;
  if (kind != AVMEDIA_TYPE_VIDEO && kind != AVMEDIA_TYPE_AUDIO) return;  // subtitles leave long gaps by nature
  const int64_t threshold = static_cast<int64_t>(engine.State().opt.dts_error_threshold * 1000000.0);
  const auto stray = [&](int64_t stamp) {
    if (stamp == AV_NOPTS_VALUE) return false;
    const int64_t delta = ff::av_rescale_q(stamp, ist.st->time_base, AV_TIME_BASE_Q) - ist.next_pts;
    if (std::llabs(delta) <= threshold) return false;
    EngineLog(engine, media::llWarning,
              Format("Stream #%d.%d: a time stamp %.1f s off the stream's course was corrected", ist.file_index,
                     ist.index, static_cast<double>(delta) / 1000000.0));
    return true;
  };
  if (stray(pkt->dts)) pkt->dts = ff::av_rescale_q(ist.next_pts, AV_TIME_BASE_Q, ist.st->time_base);
  if (stray(pkt->pts)) pkt->pts = pkt->dts;
}

void CorrectTimestamps(TCustomFFmpeg& engine, int fileIndex, TInputStreamRec& ist, AVPacket* pkt) {
  TEngineState& s = engine.State();
  const AVRational timeBase = ist.st->time_base;
  const int64_t offset = ff::av_rescale_q(s.input_files_ts_offset[fileIndex], AV_TIME_BASE_Q, timeBase);
  if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offset;
  if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offset;
  const double scale = pkt->stream_index < MAX_STREAMS ? s.input_files_ts_scale[fileIndex][pkt->stream_index] : 0;
  if (scale != 0) {
    if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = std::llround(pkt->dts * scale);
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = std::llround(pkt->pts * scale);
  }
  if (ist.next_pts == AV_NOPTS_VALUE || s.opt.copy_ts) return;
  if (s.input_files[fileIndex].ctx->iformat->flags & AVFMT_TS_DISCONT) FollowDiscontinuity(engine, fileIndex, ist, pkt);
  CorrectStrayTimestamps(engine, ist, pkt);
}

void FlushDecoder(TCustomFFmpeg& engine, int istIndex) { ProcessPacket(engine, istIndex, nullptr); }

// Join mode: the current input ended. Returns false when it was the last one.
bool SwitchToNextInput(TCustomFFmpeg& engine, TLoopState& loop) {
  TEngineState& s = engine.State();
  const TInputFileRec& file = s.file_table[loop.current_file];
  for (int j = file.ist_index; j < file.ist_index + file.nb_streams; ++j) {
    TInputStreamRec& ist = s.ist_table[j];
    if (!ist.decoding_needed) continue;
    FlushDecoder(engine, j);
    if (ist.dec) ff::avcodec_flush_buffers(ist.dec);
    ist.flushed = true;
  }
  const bool last = loop.current_file + 1 >= static_cast<int>(s.file_table.size());
  if (!last) ReopenEncoders(engine);
  for (size_t n = s.join_set_size; n < s.ost_table.size(); ++n) {
    s.ost_table[n].sync_opts = s.ost_table[n - s.join_set_size].sync_opts;
    s.ost_table[n].frame_number = s.ost_table[n - s.join_set_size].frame_number;
  }
  double endTime = 0;
  const size_t first = static_cast<size_t>(loop.current_file) * s.join_set_size;
  for (size_t n = first; n < first + s.join_set_size; ++n) endTime = std::max(endTime, OutputTime(s.ost_table[n]));
  if (last) return false;
  loop.current_file++;
  s.input_files_ts_offset[loop.current_file] += std::llround(endTime * 1000000.0);
  return true;
}

enum class TStep { kContinue, kLeave };

TStep ReadAndProcess(TCustomFFmpeg& engine, TLoopState& loop, int fileIndex) {
  TEngineState& s = engine.State();
  AVPacket* pkt = s.read_packet;
  const int result = ff::av_read_frame(s.input_files[fileIndex].ctx, pkt);
  if (result == AVERROR(EAGAIN)) {
    s.no_packet[fileIndex] = true;
    loop.any_try_again = true;
    return TStep::kContinue;
  }
  if (result < 0) {
    s.file_table[fileIndex].eof_reached = true;
    if (s.join) return SwitchToNextInput(engine, loop) ? TStep::kContinue : TStep::kLeave;
    return s.opt.opt_shortest ? TStep::kLeave : TStep::kContinue;
  }
  std::fill(s.no_packet.begin(), s.no_packet.end(), false);
  loop.any_try_again = false;
  if (s.opt.do_pkt_dump) ff::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt, s.opt.do_hex_dump, s.input_files[fileIndex].ctx->streams[pkt->stream_index]);
  const TInputFileRec& file = s.file_table[fileIndex];
  if (pkt->stream_index >= file.nb_streams || s.ist_table[file.ist_index + pkt->stream_index].discard) {
    ff::av_packet_unref(pkt);
    return TStep::kContinue;
  }
  const int istIndex = file.ist_index + pkt->stream_index;
  TInputStreamRec& ist = s.ist_table[istIndex];
  CorrectTimestamps(engine, fileIndex, ist, pkt);
  int processed;
  try {
    processed = ProcessPacket(engine, istIndex, pkt);
  } catch (...) {
    ff::av_packet_unref(pkt);
    throw;
  }
  ff::av_packet_unref(pkt);
  if (processed < 0) {
    const std::string message = Format("Error while decoding stream #%d.%d (%s)", ist.file_index, ist.index,
                                       media::StreamKindName(ist.st->codecpar->codec_type).c_str());
    if (s.opt.exit_on_error) throw FFmpegException(message);
    if (s.opt.verbose >= 0) EngineLog(engine, media::llVerbose, message);
    return TStep::kContinue;
  }
  const int64_t now = ff::av_gettime();
  if (now - s.last_report_time > engine.ReportInterval()) {
    s.last_report_time = now;
    ReportProgress(engine, false);
  }
  return TStep::kContinue;
}

double LatestOutputTime(const TEngineState& s) {
  double latest = 0;
  for (const TOutputStreamRec& ost : s.ost_table) latest = std::max(latest, OutputTime(ost));
  return latest;
}

// The inputs' known length plus a minute, in seconds; 0 when a length is unknown or the input loops.
double OutputTimeLimit(const TEngineState& s) {
  if (s.opt.loop_input) return 0;
  double total = 0, longest = 0;
  for (size_t i = 0; i < s.input_files.size(); ++i) {
    const int64_t duration = s.input_files[i].ctx->duration;
    if (duration == AV_NOPTS_VALUE || duration <= 0) return 0;
    const double seconds = static_cast<double>(duration + std::max<int64_t>(s.input_files_ts_offset[i], 0)) / 1e6;
    total += seconds;
    longest = std::max(longest, seconds);
  }
  return (s.join ? total : longest) + 60.0;
}

void MainLoop(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  TLoopState loop;
  s.no_packet.assign(s.input_files.size(), false);
  for (;;) {
    TEngineAccess::WaitWhilePaused(engine);
    if (engine.StopRequested()) break;
    const TChoice choice = ChooseInput(s, loop);
    if (choice.file < 0) {
      if (s.join || !loop.any_try_again) break;
      std::fill(s.no_packet.begin(), s.no_packet.end(), false);
      loop.any_try_again = false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (static_cast<double>(s.opt.recording_time) / 1000000.0 <= choice.min_output_time) break;
    CheckOutputTime(s, LatestOutputTime(s));
    if (s.opt.limit_filesize != 0 && FirstOutputPosition(s) > s.opt.limit_filesize) break;
    if (ReadAndProcess(engine, loop, choice.file) == TStep::kLeave) break;
  }
}

// A file without a single picture or sound is no conversion: it fails and is
// removed. A stream left empty beside others that hold data is worth a warning.
void CheckOutputsHoldData(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  for (const auto& file : s.output_owned) {
    int64_t packets = 0;
    bool hasMedia = false;
    for (const TOutputStreamSetup& stream : file->streams) {
      const int kind = stream.enc ? stream.enc->codec_type : AVMEDIA_TYPE_UNKNOWN;
      if (kind != AVMEDIA_TYPE_VIDEO && kind != AVMEDIA_TYPE_AUDIO) continue;
      hasMedia = true;
      packets += stream.packets_written;
    }
    if (hasMedia && packets == 0) {
      media::RemoveRegularFile(file->file_name);
      throw FFmpegException("The output holds no audio or video data");
    }
    for (const TOutputStreamSetup& stream : file->streams)
      if (stream.packets_written == 0 && stream.st)
        EngineLog(engine, media::llWarning,
                  Format("The output's %s stream #%d holds no data",
                         media::StreamKindName(stream.st->codecpar->codec_type).c_str(), stream.st->index));
  }
}

void FlushAndFinish(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  for (size_t j = 0; j < s.ist_table.size(); ++j)
    if (s.ist_table[j].decoding_needed && !s.ist_table[j].flushed) FlushDecoder(engine, static_cast<int>(j));
  const size_t files = s.join ? 1 : s.output_slots.size();
  for (size_t k = 0; k < files; ++k) {
    const int result = ff::av_write_trailer(s.output_slots[k]->ctx);
    if (result < 0) throw FFmpegException(media::OpenErrorText("av_write_trailer()", result));
  }
  if (!engine.StopRequested()) CheckOutputsHoldData(engine);
  if (!engine.StopRequested())
    for (TOutputStreamRec& ost : s.ost_table) NoteLoudness(engine, ost);
  if (!engine.StopRequested()) VerifyOutputs(engine);
  ReportProgress(engine, true);
  CloseCodecs(s);
}

}  // namespace

void CheckOutputTime(const TEngineState& s, double AOutputTime) {
  if (s.output_time_limit <= 0 || AOutputTime <= s.output_time_limit) return;
  throw FFmpegException(Format("The output runs more than a minute past the input's end (%.0f s): its time stamps "
                               "are broken, so the conversion was stopped",
                               s.output_time_limit - 60.0));
}

void Transcode(TCustomFFmpeg& engine) {
  TEngineState& s = engine.State();
  s.verified_outputs.clear();
  try {
    SetUpTranscode(engine);
    s.output_time_limit = OutputTimeLimit(s);
    s.timer_start = s.last_report_time = ff::av_gettime();
    MainLoop(engine);
    FlushAndFinish(engine);
  } catch (...) {
    for (TOutputStreamRec& ost : s.ost_table) FreePathState(ost);
    FreeRunTables(s);
    throw;
  }
  for (TOutputStreamRec& ost : s.ost_table) FreePathState(ost);
  FreeRunTables(s);
}

}  // namespace strella::engine
