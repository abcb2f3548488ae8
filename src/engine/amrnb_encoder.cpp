// The engine's AMR-NB encoder on libopencore-amrnb (see amrnb_encoder.h).
#include "engine/amrnb_encoder.h"

#include <algorithm>
#include <cstring>

#include "media/text_helpers.h"

namespace strella::engine {

namespace {

// The largest storage frame is 32 bytes (12.2 kbit/s); the library gets room to spare.
constexpr int kLargestFrameBytes = 64;

bool IsMonoS16(const AVFrame* frame) {
  const auto format = static_cast<AVSampleFormat>(frame->format);
  return (format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S16P) && frame->ch_layout.nb_channels == 1;
}

}  // namespace

Mode AmrNbModeFor(int64_t bitRate) {
  // Clamping first keeps the distances small for any request.
  const int64_t wanted = std::clamp<int64_t>(bitRate, kAmrNbBitRates.front(), kAmrNbBitRates.back());
  size_t best = 0;
  for (size_t i = 1; i < kAmrNbBitRates.size(); ++i) {
    if (std::abs(kAmrNbBitRates[i] - wanted) < std::abs(kAmrNbBitRates[best] - wanted)) best = i;
  }
  return static_cast<Mode>(best);
}

int AmrNbBitRateOf(Mode mode) { return kAmrNbBitRates.at(static_cast<size_t>(mode)); }

bool LibrariesHaveAmrNbEncoder() {
  return ff::avcodec_find_encoder_by_name && ff::avcodec_find_encoder_by_name(kAmrNbEncoderName) != nullptr;
}

TAmrNbEncoder::~TAmrNbEncoder() { Close(); }

bool TAmrNbEncoder::Available() {
  return amrnb::Encoder_Interface_init && amrnb::Encoder_Interface_exit && amrnb::Encoder_Interface_Encode;
}

bool TAmrNbEncoder::Open(int64_t bitRate, bool dtx) {
  Close();
  last_err_msg_.clear();
  if (!Available()) {
    Fail(AVERROR(ENOSYS), "AMR-NB encoder: the library libopencore-amrnb is not loaded");
    return false;
  }
  mode_ = AmrNbModeFor(bitRate);
  bit_rate_ = AmrNbBitRateOf(mode_);
  next_pts_ = 0;
  state_ = amrnb::Encoder_Interface_init(dtx ? 1 : 0);
  if (!state_) {
    Fail(AVERROR(ENOMEM), media::Format("AMR-NB encoder: initialisation at %d bit/s failed", bit_rate_));
    return false;
  }
  return true;
}

int TAmrNbEncoder::Encode(const int16_t* samples, int count, AVPacket* packet) {
  return EncodeAt(samples, count, next_pts_, packet);
}

int TAmrNbEncoder::EncodeAt(const int16_t* samples, int count, int64_t pts, AVPacket* packet) {
  if (!state_) return Fail(AVERROR(EINVAL), "AMR-NB encoder: encoding before the encoder was opened");
  if (!packet || !samples || count < 1 || count > kAmrNbFrameSize)
    return Fail(AVERROR(EINVAL), media::Format("AMR-NB encoder: a frame holds 1 to %d samples, not %d",
                                               kAmrNbFrameSize, samples ? count : 0));
  std::memcpy(speech_.data(), samples, count * sizeof(int16_t));
  std::fill(speech_.begin() + count, speech_.end(), int16_t{0});

  unsigned char coded[kLargestFrameBytes];
  const int size = amrnb::Encoder_Interface_Encode(state_, mode_, speech_.data(), coded, 0);
  if (size <= 0 || size > kLargestFrameBytes)
    return Fail(AVERROR_EXTERNAL, media::Format("AMR-NB encoder: the library gave %d bytes for a frame", size));

  ff::av_packet_unref(packet);
  const int result = ff::av_new_packet(packet, size);
  if (result < 0) return Fail(result, "AMR-NB encoder: no memory for a packet");
  std::memcpy(packet->data, coded, size);
  packet->pts = packet->dts = pts;
  packet->duration = kAmrNbFrameSize;
  packet->time_base = kAmrNbTimeBase;
  packet->flags |= AV_PKT_FLAG_KEY;
  next_pts_ = pts + kAmrNbFrameSize;
  return 0;
}

int TAmrNbEncoder::Encode(const AVFrame* frame, AVPacket* packet) {
  if (!frame) return Fail(AVERROR(EINVAL), "AMR-NB encoder: no frame to encode");
  if (!IsMonoS16(frame) || frame->sample_rate != kAmrNbSampleRate) {
    const char* format = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format));
    return Fail(AVERROR(EINVAL),
                media::Format("AMR-NB encoder: needs 8000 Hz mono 16-bit samples, not %s at %d Hz in %d channel(s)",
                              format ? format : "no sample format", frame->sample_rate, frame->ch_layout.nb_channels));
  }
  const auto* samples = frame->extended_data ? reinterpret_cast<const int16_t*>(frame->extended_data[0]) : nullptr;
  const int64_t pts = frame->pts != AV_NOPTS_VALUE ? frame->pts : next_pts_;
  return EncodeAt(samples, frame->nb_samples, pts, packet);
}

void TAmrNbEncoder::FillCodecParameters(AVCodecParameters* parameters) const {
  parameters->codec_type = AVMEDIA_TYPE_AUDIO;
  parameters->codec_id = AV_CODEC_ID_AMR_NB;
  parameters->codec_tag = 0;
  parameters->format = kAmrNbSampleFormat;
  parameters->sample_rate = kAmrNbSampleRate;
  ff::av_channel_layout_uninit(&parameters->ch_layout);
  parameters->ch_layout = AV_CHANNEL_LAYOUT_MONO;
  parameters->frame_size = kAmrNbFrameSize;
  parameters->bit_rate = bit_rate_;
}

void TAmrNbEncoder::Close() {
  if (!state_) return;
  if (amrnb::Encoder_Interface_exit) amrnb::Encoder_Interface_exit(state_);
  state_ = nullptr;
}

int TAmrNbEncoder::Fail(int code, const std::string& message) {
  last_err_msg_ = message;
  return code;
}

}  // namespace strella::engine
