// Audio: SDL's audio thread pulls bytes through the callback, which decodes
// the audio queue's packets into blocks of signed 16-bit samples at the
// stream's rate in one or two channels, mixes them at the player's volume and
// keeps the samples for the waveform. An empty queue gives silence at once.
#include <algorithm>
#include <cstring>

#include "media/ff.h"
#include "media/logger.h"
#include "media/text_helpers.h"
#include "player/playback.h"

namespace strella::player {
namespace {

void CopyToSampleArray(TPlayback& playback, const uint8_t* block, int size) {
  const int16_t* samples = reinterpret_cast<const int16_t*>(block);
  int count = size / 2;
  int index = playback.SampleArrayIndex;
  while (count > 0) {
    const int n = std::min(count, kSampleArraySize - index);
    std::memcpy(playback.SampleArray.data() + index, samples, static_cast<size_t>(n) * 2);
    samples += n;
    count -= n;
    index = (index + n) % kSampleArraySize;
  }
  playback.SampleArrayIndex = index;
}

bool ResamplerMatches(const TPlayback& playback, const AVFrame* frame) {
  const AVChannelLayout& layout = frame->ch_layout;
  const uint64_t mask = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
  return playback.Resampler && playback.ResamplerFormat == frame->format &&
         playback.ResamplerRate == frame->sample_rate && playback.ResamplerChannels == layout.nb_channels &&
         playback.ResamplerLayout == mask;
}

// A converter from the frame's sample format, layout and rate to the device's
// signed 16-bit samples; the error text when the library refuses.
std::string SetUpResampler(TPlayback& playback, const AVFrame* frame) {
  ff::swr_free(&playback.Resampler);
  AVChannelLayout in{}, out{};
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
    ff::av_channel_layout_default(&in, frame->ch_layout.nb_channels);
  else
    ff::av_channel_layout_copy(&in, &frame->ch_layout);
  ff::av_channel_layout_default(&out, playback.AudioChannels);
  const AVSampleFormat format = static_cast<AVSampleFormat>(frame->format);
  int result = ff::swr_alloc_set_opts2(&playback.Resampler, &out, AV_SAMPLE_FMT_S16, playback.AudioRate, &in, format,
                                       frame->sample_rate, 0, nullptr);
  if (result >= 0) result = ff::swr_init(playback.Resampler);
  ff::av_channel_layout_uninit(&in);
  ff::av_channel_layout_uninit(&out);
  if (result < 0) {
    ff::swr_free(&playback.Resampler);
    const char* from = ff::av_get_sample_fmt_name(format);
    return media::Format("Cannot convert %s sample format to %s sample format", from ? from : "unknown",
                         ff::av_get_sample_fmt_name(AV_SAMPLE_FMT_S16));
  }
  const AVChannelLayout& layout = frame->ch_layout;
  playback.ResamplerFormat = frame->format;
  playback.ResamplerRate = frame->sample_rate;
  playback.ResamplerChannels = layout.nb_channels;
  playback.ResamplerLayout = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
  return {};
}

}  // namespace

void TPipeline::AudioCallback(void* userdata, Uint8* stream, int len) {
  TPlayback& playback = *static_cast<TPlayback*>(userdata);
  playback.LastCallbackTime = ff::av_gettime_relative();
  std::memset(stream, 0, static_cast<size_t>(len));  // SDL2 hands the buffer over uninitialised
  if (!playback.AudioReady.load(std::memory_order_acquire)) return;
  const bool mute = playback.Owner.mute_;
  const int volume = playback.Owner.audio_volume_;
  while (len > 0) {
    if (playback.AudioBlockIndex >= playback.AudioBlockSize) {
      int size = DecodeAudioBlock(playback);
      if (playback.AudioQueue.Aborted()) break;
      if (size < 0) {
        playback.AudioBlock = playback.SilenceBuffer.data();
        size = kSilenceBlock;
      } else if (playback.ShowWaveform) {
        CopyToSampleArray(playback, playback.AudioBlock, size);
      }
      playback.AudioBlockIndex = 0;
      playback.AudioBlockSize = size;
    }
    const int index = playback.AudioBlockIndex;
    const int n = std::min(len, playback.AudioBlockSize - index);
    if (!mute) {
      if (volume >= kMaxAudioVolume)
        std::memcpy(stream, playback.AudioBlock + index, static_cast<size_t>(n));
      else
        sdl::SDL_MixAudioFormat(stream, playback.AudioBlock + index, AUDIO_S16SYS, static_cast<Uint32>(n), volume);
    }
    len -= n;
    stream += n;
    playback.AudioBlockIndex = index + n;
  }
}

int TPipeline::DecodeAudioBlock(TPlayback& playback) {
  AVCodecContext* decoder = playback.AudioDecoder;
  AVFrame* frame = playback.AudioFrame;
  for (;;) {
    bool refused = false;
    if (playback.AudioPacket) {
      const int sent = ff::avcodec_send_packet(decoder, playback.AudioPacket);
      refused = sent == AVERROR(EAGAIN);
      if (sent < 0 && !refused) media::Log(&playback.Owner, media::llInfo, "avcodec_decode_audio2() failed");
      if (!refused) ReleasePacket(playback.AudioPacket);
    }
    const int received = ff::avcodec_receive_frame(decoder, frame);
    if (received >= 0) {
      if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
        playback.AudioClock = frame->best_effort_timestamp * av_q2d(playback.AudioStream->time_base);
      const int size = ConvertAudioFrame(playback, frame);
      ff::av_frame_unref(frame);
      if (size <= 0) continue;
      const double bytesPerSecond = 2.0 * playback.AudioChannels * playback.AudioRate;
      playback.AudioClock = playback.AudioClock + size / bytesPerSecond;
      return size;
    }
    if (received != AVERROR(EAGAIN) && received != AVERROR_EOF)
      media::Log(&playback.Owner, media::llInfo, "avcodec_decode_audio2() failed");
    if (refused) ReleasePacket(playback.AudioPacket);  // neither side moves: drop the packet
    if (!TakeAudioPacket(playback)) return -1;
  }
}

bool TPipeline::TakeAudioPacket(TPlayback& playback) {
  if (playback.Paused || playback.AudioQueue.Aborted()) return false;
  AVPacket* packet = nullptr;
  if (playback.AudioQueue.Get(packet, false) <= 0) return false;
  if (IsFlushMarker(packet)) {
    ff::avcodec_flush_buffers(playback.AudioDecoder);
    return true;
  }
  playback.AudioPacket = packet;
  return true;
}

int TPipeline::ConvertAudioFrame(TPlayback& playback, AVFrame* frame) {
  if (!ResamplerMatches(playback, frame)) {
    const std::string error = SetUpResampler(playback, frame);
    if (!error.empty()) {
      playback.Owner.ReportError(error, false);
      return -1;
    }
  }
  const int capacity = ff::swr_get_out_samples(playback.Resampler, frame->nb_samples);
  const size_t bytes = static_cast<size_t>(std::max(capacity, 0)) * 2 * playback.AudioChannels;
  if (playback.AudioBuffer.size() < bytes) playback.AudioBuffer.resize(bytes);
  uint8_t* out = playback.AudioBuffer.data();
  const int converted = ff::swr_convert(playback.Resampler, &out, capacity,
                                        const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
  if (converted < 0) {
    playback.Owner.ReportError("av_audio_convert() failed", false);
    return -1;
  }
  playback.AudioBlock = playback.AudioBuffer.data();
  return converted * 2 * playback.AudioChannels;
}

}  // namespace strella::player
