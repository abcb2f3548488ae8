// Decoding with send/receive: one packet in, every frame it yields out to
// the re-encoded outputs of its stream; a null packet drains the decoder and
// then the encoders it feeds.
#include <algorithm>
#include <cmath>

#include "engine/transcode_paths.h"

namespace strella::engine {
namespace {

// Moves the stream's clock to the frame and past it.
void AdvanceClock(TInputStreamRec& ist, const AVFrame* frame) {
  const int64_t stamp = frame->best_effort_timestamp;
  if (stamp != AV_NOPTS_VALUE) ist.next_pts = ff::av_rescale_q(stamp, ist.st->time_base, AV_TIME_BASE_Q);
  ist.pts = ist.next_pts;
  if (ist.dec->codec_type == AVMEDIA_TYPE_AUDIO && frame->sample_rate > 0) {
    ist.next_pts += static_cast<int64_t>(frame->nb_samples) * 1000000 / frame->sample_rate;
  } else if (const int64_t duration = ff::FrameDuration(frame); duration > 0) {
    ist.next_pts += ff::av_rescale_q(duration, ist.st->time_base, AV_TIME_BASE_Q);
  } else if (ist.st->avg_frame_rate.num > 0) {
    ist.next_pts += ff::av_rescale_q(1, av_inv_q(ist.st->avg_frame_rate), AV_TIME_BASE_Q);
  }
}

// Hands one (decoded or filtered) frame to every re-encoded output of the stream.
void EncodeForOutputs(TCustomFFmpeg& engine, int istIndex, AVFrame* frame) {
  TEngineState& s = engine.State();
  TInputStreamRec& ist = s.ist_table[istIndex];
  if (s.opt.start_time != 0 && ist.pts < s.opt.start_time) return;
  for (TOutputStreamRec& ost : s.ost_table) {
    if (ost.source_index != istIndex || !ost.encoding_needed) continue;
    NoteGivenFrame(ost, ist);
    if (ist.dec->codec_type == AVMEDIA_TYPE_VIDEO)
      EncodeVideoFrame(engine, ost, ist, frame);
    else
      EncodeAudioFrame(engine, ost, ist, frame);
  }
}

void FeedOutputs(TCustomFFmpeg& engine, int istIndex, AVFrame* frame) {
  TEngineState& s = engine.State();
  TInputStreamRec& ist = s.ist_table[istIndex];
  AdvanceClock(ist, frame);
  if (ist.dec->codec_type == AVMEDIA_TYPE_VIDEO) {
    ist.quality = static_cast<float>(frame->quality) / FF_QP2LAMBDA;
    frame = PreprocessVideoFrame(engine, ist, frame);
  }
  PaceToRealTime(s, ist);
  EncodeForOutputs(engine, istIndex, frame);
}

void EncodeSubtitle(TCustomFFmpeg& engine, TOutputStreamRec& ost, TInputStreamRec& ist, AVSubtitle& sub,
                    int64_t packetPts) {
  TEngineState& s = engine.State();
  if (packetPts == AV_NOPTS_VALUE) {
    if (s.opt.exit_on_error) throw FFmpegException("Subtitle packets must have a pts");
    EngineLog(engine, media::llError, "Subtitle packets must have a pts");
    return;
  }
  AVCodecContext* enc = ost.setup->enc;
  const int times = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE ? 2 : 1;
  std::vector<uint8_t>& buffer = s.subtitle_out;
  buffer.resize(1 << 20);
  // The second DVB packet clears the screen: it is encoded without the
  // rectangles, which are given back afterwards so that freeing the
  // subtitle frees them.
  const unsigned rects = sub.num_rects;
  for (int i = 0; i < times; ++i) {
    sub.pts = ff::av_rescale_q(packetPts, ist.st->time_base, AV_TIME_BASE_Q) +
              ff::av_rescale_q(sub.start_display_time, AVRational{1, 1000}, AV_TIME_BASE_Q);
    sub.end_display_time -= sub.start_display_time;
    sub.start_display_time = 0;
    if (i == 1) sub.num_rects = 0;
    const int size = ff::avcodec_encode_subtitle(enc, buffer.data(), static_cast<int>(buffer.size()), &sub);
    sub.num_rects = rects;
    if (size < 0) {
      // One cue the encoder cannot take costs that cue, not the whole conversion.
      const std::string message = media::Format("Output stream #%d.%d: a subtitle cue that %s cannot encode was left out",
                                         ost.file_index, ost.index, enc->codec ? enc->codec->name : "the encoder");
      if (s.opt.exit_on_error) throw FFmpegException(message);
      EngineLog(engine, media::llWarning, message);
      return;
    }
    AVPacket* pkt = s.copy_packet;
    if (ff::av_new_packet(pkt, size) < 0) throw FFmpegException("Subtitle encoding failed");
    std::copy(buffer.begin(), buffer.begin() + size, pkt->data);
    pkt->stream_index = ost.st->index;
    pkt->pts = ff::av_rescale_q(sub.pts, AV_TIME_BASE_Q, ost.st->time_base);
    // The display times are milliseconds: DVB's clearing packet comes when the cue ends.
    if (times == 2)
      pkt->pts += ff::av_rescale_q(i == 0 ? sub.start_display_time : sub.end_display_time, AVRational{1, 1000},
                                   ost.st->time_base);
    pkt->dts = pkt->pts;
    // Containers such as Matroska keep a cue's end only as its packet's duration.
    pkt->duration = ff::av_rescale_q(sub.end_display_time, AVRational{1, 1000}, ost.st->time_base);
    WritePacket(engine, ost, pkt);
  }
}

// A container that times its cues (Matroska does) knows when a cue ends
// better than a bitmap format's page time-out (DVB's lasts up to 255 s): the
// cue ends with its packet, or a later cue would come after the time-out.
void LimitCueToPacket(AVSubtitle& sub, const AVPacket& pkt, AVRational timeBase) {
  if (pkt.duration <= 0) return;
  const int64_t end = sub.start_display_time + ff::av_rescale_q(pkt.duration, timeBase, AVRational{1, 1000});
  if (end < sub.end_display_time) sub.end_display_time = static_cast<uint32_t>(end);
}

int DecodeSubtitle(TCustomFFmpeg& engine, int istIndex, const AVPacket* pkt) {
  TEngineState& s = engine.State();
  TInputStreamRec& ist = s.ist_table[istIndex];
  if (!pkt) return 0;
  AVSubtitle sub{};
  int got = 0;
  if (ff::avcodec_decode_subtitle2(ist.dec, &sub, &got, const_cast<AVPacket*>(pkt)) < 0) return -1;
  if (!got) return 0;
  LimitCueToPacket(sub, *pkt, ist.st->time_base);
  try {
    if (s.opt.start_time == 0 || ist.pts >= s.opt.start_time)
      for (TOutputStreamRec& ost : s.ost_table)
        if (ost.source_index == istIndex && ost.encoding_needed) EncodeSubtitle(engine, ost, ist, sub, pkt->pts);
  } catch (...) {
    ff::avsubtitle_free(&sub);
    throw;
  }
  ff::avsubtitle_free(&sub);
  return 0;
}

}  // namespace

int DecodePacket(TCustomFFmpeg& engine, int istIndex, const AVPacket* pkt) {
  TEngineState& s = engine.State();
  TInputStreamRec& ist = s.ist_table[istIndex];
  switch (ist.dec->codec_type) {
    case AVMEDIA_TYPE_SUBTITLE: return DecodeSubtitle(engine, istIndex, pkt);
    case AVMEDIA_TYPE_AUDIO: case AVMEDIA_TYPE_VIDEO: break;
    default: return -1;
  }
  int result = ff::avcodec_send_packet(ist.dec, pkt);
  if (result < 0 && result != AVERROR_EOF && result != AVERROR(EAGAIN)) return -1;
  AVFrame* frame = s.decoded_frame;
  int status = 0;
  while ((result = ff::avcodec_receive_frame(ist.dec, frame)) >= 0) {
    try {
      FeedOutputs(engine, istIndex, frame);
    } catch (...) {
      ff::av_frame_unref(frame);
      throw;
    }
    ff::av_frame_unref(frame);
  }
  if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) status = -1;
  if (!pkt) {
    for (TOutputStreamRec& ost : s.ost_table)
      if (ost.source_index == istIndex && ost.encoding_needed) DrainEncoder(engine, ost);
  }
  return status;
}

void FreePathState(TOutputStreamRec& ost) {
  FreeAudioPath(ost);
  FreeVideoPath(ost);
}

}  // namespace strella::engine
