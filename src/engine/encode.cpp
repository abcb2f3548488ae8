// The hand-over to an encoder shared by the audio and video paths: send a
// frame, take every packet, count it, log pass-1 statistics, write it.
#include "engine/transcode_paths.h"

namespace strella::engine {
namespace {

int64_t ReadLittleEndian(const uint8_t* data, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | data[i];
  return static_cast<int64_t>(value);
}

// Quality stats side data: quality (int32), picture type, error count, two
// reserved bytes, then one 64-bit squared error per plane.
void TakeQualityStats(TOutputStreamRec& ost, const uint8_t* stats, size_t size) {
  ost.quality = static_cast<float>(static_cast<int32_t>(ReadLittleEndian(stats, 4))) / FF_QP2LAMBDA;
  if (size >= 5) ost.last_picture_type = ff::av_get_picture_type_char(static_cast<AVPictureType>(stats[4]));
  const int errors = size >= 6 ? stats[5] : 0;
  for (int i = 0; i < 3 && i < errors && 8 + 8 * (i + 1) <= static_cast<int>(size); ++i) {
    ost.last_error[i] = ReadLittleEndian(stats + 8 + 8 * i, 8);
    ost.total_error[i] += ost.last_error[i];
  }
}

}  // namespace

// Our AMR-NB encoder: one packet per frame, nothing held back at the end.
int64_t EncodeOwnAmrNb(TCustomFFmpeg& engine, TOutputStreamRec& ost, const AVFrame* frame) {
  if (!frame) return AV_NOPTS_VALUE;
  TEngineState& s = engine.State();
  AVPacket* pkt = s.copy_packet;
  if (ost.setup->amrnb->Encode(frame, pkt) < 0) throw FFmpegException("Audio encoding failed");
  const int64_t pts = pkt->pts;
  pkt->stream_index = ost.st->index;
  ff::av_packet_rescale_ts(pkt, kAmrNbTimeBase, ost.st->time_base);
  pkt->time_base = ost.st->time_base;
  s.audio_size += pkt->size;
  WritePacket(engine, ost, pkt);
  return pts;
}

int64_t EncodeAndWrite(TCustomFFmpeg& engine, TOutputStreamRec& ost, const AVFrame* frame) {
  if (ost.setup->own_amrnb) return EncodeOwnAmrNb(engine, ost, frame);
  TEngineState& s = engine.State();
  AVCodecContext* enc = ost.setup->enc;
  const bool audio = enc->codec_type == AVMEDIA_TYPE_AUDIO;
  const char* failure = audio ? "Audio encoding failed" : "Video encoding failed";
  int result = ff::avcodec_send_frame(enc, frame);
  if (result < 0 && result != AVERROR_EOF) throw FFmpegException(failure);
  AVPacket* pkt = s.copy_packet;
  int64_t lastPts = AV_NOPTS_VALUE;
  while ((result = ff::avcodec_receive_packet(enc, pkt)) >= 0) {
    lastPts = pkt->pts;
    pkt->stream_index = ost.st->index;
    ff::av_packet_rescale_ts(pkt, enc->time_base, ost.st->time_base);
    pkt->time_base = ost.st->time_base;
    (audio ? s.audio_size : s.video_size) += pkt->size;
    ost.last_packet_size = pkt->size;
    if (!audio) {
      size_t statsSize = 0;
      const uint8_t* stats = ff::av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &statsSize);
      if (stats && statsSize >= 4) TakeQualityStats(ost, stats, statsSize);
    }
    if (ost.logfile && enc->stats_out) std::fputs(enc->stats_out, ost.logfile);
    WritePacket(engine, ost, pkt);
  }
  if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) throw FFmpegException(failure);
  return lastPts;
}

void DrainEncoder(TCustomFFmpeg& engine, TOutputStreamRec& ost) {
  if (ost.setup->enc->codec_type == AVMEDIA_TYPE_AUDIO) FlushAudioQueue(engine, ost);
  if (ost.setup->enc->codec_type == AVMEDIA_TYPE_SUBTITLE) return;
  if (ost.setup->enc->codec_type == AVMEDIA_TYPE_VIDEO) FlushVideoPath(engine, ost);
  EncodeAndWrite(engine, ost, nullptr);
}

}  // namespace strella::engine
