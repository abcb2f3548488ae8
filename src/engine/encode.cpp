// The hand-over to an encoder shared by the audio and video paths: send a
// frame, take every packet, count it, log pass-1 statistics, write it.
#include "engine/transcode_paths.h"

namespace strella::engine {

void EncodeAndWrite(TCustomFFmpeg& engine, TOutputStreamRec& ost, const AVFrame* frame) {
  TEngineState& s = engine.State();
  AVCodecContext* enc = ost.setup->enc;
  const bool audio = enc->codec_type == AVMEDIA_TYPE_AUDIO;
  const char* failure = audio ? "Audio encoding failed" : "Video encoding failed";
  int result = ff::avcodec_send_frame(enc, frame);
  if (result < 0 && result != AVERROR_EOF) throw FFmpegException(failure);
  AVPacket* pkt = s.copy_packet;
  while ((result = ff::avcodec_receive_packet(enc, pkt)) >= 0) {
    pkt->stream_index = ost.st->index;
    ff::av_packet_rescale_ts(pkt, enc->time_base, ost.st->time_base);
    pkt->time_base = ost.st->time_base;
    (audio ? s.audio_size : s.video_size) += pkt->size;
    if (!audio) {
      size_t statsSize = 0;
      const uint8_t* stats = ff::av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &statsSize);
      if (stats && statsSize >= 4) ost.quality = static_cast<float>(stats[0] | stats[1] << 8 | stats[2] << 16 | stats[3] << 24) / FF_QP2LAMBDA;
    }
    if (ost.logfile && enc->stats_out) std::fputs(enc->stats_out, ost.logfile);
    WritePacket(engine, ost, pkt);
  }
  if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) throw FFmpegException(failure);
}

void DrainEncoder(TCustomFFmpeg& engine, TOutputStreamRec& ost) {
  if (ost.setup->enc->codec_type == AVMEDIA_TYPE_AUDIO) FlushAudioQueue(engine, ost);
  if (ost.setup->enc->codec_type == AVMEDIA_TYPE_SUBTITLE) return;
  EncodeAndWrite(engine, ost, nullptr);
}

}  // namespace strella::engine
