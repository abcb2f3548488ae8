// The per-packet work: the input stream's clock, decoding for re-encoded
// outputs, the stream-copy branch, encoder draining, and WritePacket that
// sends each packet through its bitstream filters to the muxer.
#include <chrono>
#include <thread>

#include "engine/stages.h"
#include "engine/transcode_paths.h"

namespace strella::engine {
namespace {

using media::Format;

// Duration of a copied packet in microseconds, for the clock of a stream that is not decoded.
int64_t CopiedDuration(const TInputStreamRec& ist, const AVPacket* pkt) {
  const AVCodecParameters* par = ist.st->codecpar;
  if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->frame_size > 0 && par->sample_rate > 0)
    return static_cast<int64_t>(par->frame_size) * 1000000 / par->sample_rate;
  if (pkt->duration > 0) return ff::av_rescale_q(pkt->duration, ist.st->time_base, AV_TIME_BASE_Q);
  if (par->codec_type == AVMEDIA_TYPE_VIDEO && ist.st->avg_frame_rate.num > 0)
    return ff::av_rescale_q(1, av_inv_q(ist.st->avg_frame_rate), AV_TIME_BASE_Q);
  return 0;
}

void CopyPacket(TCustomFFmpeg& engine, TOutputStreamRec& ost, const TInputStreamRec& ist, const AVPacket* pkt) {
  TEngineState& s = engine.State();
  const AVRational outBase = ost.st->time_base;
  const int64_t start = ff::av_rescale_q(s.opt.start_time, AV_TIME_BASE_Q, outBase);
  if (ost.frame_number == 0 && !(pkt->flags & AV_PKT_FLAG_KEY) && !s.opt.copy_initial_nonkeyframes) return;
  const AVMediaType kind = ist.st->codecpar->codec_type;
  if (kind == AVMEDIA_TYPE_AUDIO) s.audio_size += pkt->size;
  if (kind == AVMEDIA_TYPE_VIDEO) {
    s.video_size += pkt->size;
    ost.sync_opts++;
  }
  AVPacket* out = s.copy_packet;
  NoteGivenFrame(ost, ist);
  if (ff::av_packet_ref(out, pkt) < 0) throw FFmpegException("av_packet_ref failed");
  out->stream_index = ost.st->index;
  out->pts = pkt->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ff::av_rescale_q(pkt->pts, ist.st->time_base, outBase) - start;
  out->dts = (pkt->dts == AV_NOPTS_VALUE ? ff::av_rescale_q(ist.pts, AV_TIME_BASE_Q, outBase)
                                         : ff::av_rescale_q(pkt->dts, ist.st->time_base, outBase)) - start;
  out->duration = ff::av_rescale_q(pkt->duration, ist.st->time_base, outBase);
  out->time_base = outBase;
  WritePacket(engine, ost, out);
  ost.frame_number++;
}

// Keeps a stream's dts increasing, as every muxer requires. Formats without
// time stamps keep them as they are; the last dts still tells the progress
// report how far the stream has got.
void MakeMonotonic(TOutputStreamSetup& setup, const AVFormatContext* ctx, AVPacket* pkt) {
  if (ctx->oformat->flags & AVFMT_NOTIMESTAMPS) {
    if (pkt->dts != AV_NOPTS_VALUE) setup.last_dts = pkt->dts;
    return;
  }
  if (pkt->dts != AV_NOPTS_VALUE && pkt->pts != AV_NOPTS_VALUE && pkt->dts > pkt->pts) pkt->dts = pkt->pts;
  if (setup.last_dts != AV_NOPTS_VALUE && pkt->dts != AV_NOPTS_VALUE) {
    const int64_t floor = setup.last_dts + !(ctx->oformat->flags & AVFMT_TS_NONSTRICT);
    if (pkt->dts < floor) {
      if (pkt->pts != AV_NOPTS_VALUE && pkt->pts >= pkt->dts) pkt->pts = std::max(pkt->pts, floor);
      pkt->dts = floor;
    }
  }
  if (pkt->dts != AV_NOPTS_VALUE) setup.last_dts = pkt->dts;
}

void WriteToMuxer(TOutputStreamRec& ost, AVFormatContext* ctx, AVPacket* pkt) {
  MakeMonotonic(*ost.setup, ctx, pkt);
  const int result = ff::av_interleaved_write_frame(ctx, pkt);
  if (result < 0) throw FFmpegException(media::OpenErrorText("av_interleaved_write_frame()", result));
  ost.setup->packets_written++;
}

void ReportFilterError(TCustomFFmpeg& engine, TOutputStreamRec& ost, const AVBSFContext* bsf, const AVPacket* pkt,
                       int code) {
  const AVCodecContext* enc = ost.setup->enc;
  const std::string what = Format("%s failed for stream %d, codec %s", bsf->filter->name, pkt->stream_index,
                                  !ost.setup->copy && enc && enc->codec ? enc->codec->name : "copy");
  const std::string message = media::OpenErrorText(what, code);
  if (engine.State().opt.exit_on_error) throw FFmpegException(message);
  EngineLog(engine, media::llError, message);
}

// Runs the packet through filters [index..] and writes what comes out.
void FilterAndWrite(TCustomFFmpeg& engine, TOutputStreamRec& ost, AVFormatContext* ctx, AVPacket* pkt, size_t index) {
  auto& bsfs = ost.setup->bsfs;
  if (index >= bsfs.size()) {
    WriteToMuxer(ost, ctx, pkt);
    return;
  }
  AVBSFContext* bsf = bsfs[index];
  AVPacket* kept = ff::av_packet_clone(pkt);
  int result = ff::av_bsf_send_packet(bsf, pkt);
  if (result < 0) {
    ReportFilterError(engine, ost, bsf, kept, result);
    FilterAndWrite(engine, ost, ctx, kept, index + 1);  // the packet goes on unchanged
    ff::av_packet_free(&kept);
    return;
  }
  ff::av_packet_unref(kept);  // from here on it receives the filter's output
  while ((result = ff::av_bsf_receive_packet(bsf, kept)) >= 0) {
    ff::av_packet_rescale_ts(kept, bsf->time_base_out, ost.st->time_base);
    FilterAndWrite(engine, ost, ctx, kept, index + 1);
  }
  if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) ReportFilterError(engine, ost, bsf, kept, result);
  ff::av_packet_free(&kept);
}

// Packets reach the muxer in their output stream's time base.
int64_t PacketTimeUS(const AVPacket* pkt, AVRational timeBase) {
  const int64_t stamp = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
  return stamp == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ff::av_rescale_q(stamp, timeBase, AV_TIME_BASE_Q);
}

}  // namespace

// With `re` a stream is read no faster than its own clock runs.
void PaceToRealTime(const TEngineState& s, const TInputStreamRec& ist) {
  if (!s.opt.rate_emu) return;
  const int64_t ahead = ist.pts - (ff::av_gettime() - ist.start);
  if (ahead > 1000) std::this_thread::sleep_for(std::chrono::microseconds(ahead / 1000 * 1000));
}

void WritePacket(TCustomFFmpeg& engine, TOutputStreamRec& ost, AVPacket* pkt) {
  const auto& seam = engine.PacketWriteCallback;
  if (seam && !seam(&engine, ost.st->index, PacketTimeUS(pkt, ost.st->time_base))) {
    ff::av_packet_unref(pkt);
    return;
  }
  AVFormatContext* ctx = engine.State().output_slots[ost.file_index]->ctx;
  FilterAndWrite(engine, ost, ctx, pkt, 0);
  ff::av_packet_unref(pkt);
}

int ProcessPacket(TCustomFFmpeg& engine, int istIndex, const AVPacket* pkt) {
  TEngineState& s = engine.State();
  TInputStreamRec& ist = s.ist_table[istIndex];
  if (ist.next_pts == AV_NOPTS_VALUE) ist.next_pts = ist.pts;
  if (pkt && pkt->dts != AV_NOPTS_VALUE)
    ist.next_pts = ist.pts = ff::av_rescale_q(pkt->dts, ist.st->time_base, AV_TIME_BASE_Q);
  if (pkt && !ist.decoding_needed) {
    ist.pts = ist.next_pts;
    ist.next_pts += CopiedDuration(ist, pkt);
    PaceToRealTime(s, ist);
  }
  if (pkt && (s.opt.start_time == 0 || ist.pts >= s.opt.start_time)) {
    for (TOutputStreamRec& ost : s.ost_table)
      if (ost.source_index == istIndex && !ost.encoding_needed) CopyPacket(engine, ost, ist, pkt);
  }
  return ist.decoding_needed ? DecodePacket(engine, istIndex, pkt) : 0;
}

}  // namespace strella::engine
