// The audio output path: audio sync against the input clock, conversion of
// channels, rate and sample format with libswresample, framing for the
// encoder in an AVAudioFifo, encoding and writing.
#include <algorithm>
#include <cmath>

#include "engine/transcode_paths.h"

namespace strella::engine {

struct TAudioPath {
  SwrContext* swr = nullptr;
  AVChannelLayout in_layout{};
  int in_rate = 0;
  int in_format = -1;
  AVAudioFifo* fifo = nullptr;
  AVFrame* frame = nullptr;  // encoder input
  uint8_t** converted = nullptr;
  int converted_capacity = 0;  // samples
};

namespace {

using media::Format;

constexpr int kDeadBandSamples = 50;
constexpr int kLargestSilencedChunk = 131072;  // bytes of 16-bit samples

AVChannelLayout InputLayout(const AVFrame* frame) {
  AVChannelLayout layout{};
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || ff::av_channel_layout_check(&frame->ch_layout) == 0)
    ff::av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
  else
    ff::av_channel_layout_copy(&layout, &frame->ch_layout);
  return layout;
}

void ReleaseConverter(TAudioPath& path) {
  ff::swr_free(&path.swr);
  ff::av_channel_layout_uninit(&path.in_layout);
}

// (Re)builds the converter when the decoded format differs from what it was built for.
void EnsureConverter(TOutputStreamRec& ost, TAudioPath& path, const AVFrame* frame) {
  AVChannelLayout layout = InputLayout(frame);
  const bool same = path.swr && path.in_rate == frame->sample_rate && path.in_format == frame->format &&
                    ff::av_channel_layout_compare(&layout, &path.in_layout) == 0;
  if (same) {
    ff::av_channel_layout_uninit(&layout);
    return;
  }
  ReleaseConverter(path);
  AVCodecContext* enc = ost.setup->enc;
  const int result = ff::swr_alloc_set_opts2(&path.swr, &enc->ch_layout, enc->sample_fmt, enc->sample_rate, &layout,
                                             static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
  if (result < 0 || ff::swr_init(path.swr) < 0) {
    ff::av_channel_layout_uninit(&layout);
    throw FFmpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                 frame->ch_layout.nb_channels, frame->sample_rate, enc->ch_layout.nb_channels,
                                 enc->sample_rate));
  }
  path.in_layout = layout;
  path.in_rate = frame->sample_rate;
  path.in_format = frame->format;
}

TAudioPath& PathOf(TOutputStreamRec& ost) {
  if (!ost.audio) ost.audio = new TAudioPath;
  TAudioPath& path = *ost.audio;
  if (!path.fifo) {
    const AVCodecContext* enc = ost.setup->enc;
    path.fifo = ff::av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, 1024);
    path.frame = ff::av_frame_alloc();
    if (!path.fifo || !path.frame) throw FFmpegException("av_fifo_alloc fail");
  }
  return path;
}

void EnsureCapacity(TAudioPath& path, const AVCodecContext* enc, int samples) {
  if (samples <= path.converted_capacity) return;
  if (path.converted) ff::av_freep(&path.converted[0]);
  ff::av_freep(&path.converted);
  if (ff::av_samples_alloc_array_and_samples(&path.converted, nullptr, enc->ch_layout.nb_channels, samples,
                                             enc->sample_fmt, 0) < 0)
    throw FFmpegException("av_malloc failed");
  path.converted_capacity = samples;
}

void QueueSilence(TAudioPath& path, const AVCodecContext* enc, int samples) {
  if (samples <= 0) return;
  EnsureCapacity(path, enc, samples);
  ff::av_samples_set_silence(path.converted, 0, samples, enc->ch_layout.nb_channels, enc->sample_fmt);
  ff::av_audio_fifo_write(path.fifo, reinterpret_cast<void**>(path.converted), samples);
}

// Takes `samples` from the queue (padding with silence up to `frameSize`) and encodes them.
void EncodeQueued(TCustomFFmpeg& engine, TOutputStreamRec& ost, TAudioPath& path, int samples, int frameSize) {
  AVCodecContext* enc = ost.setup->enc;
  AVFrame* frame = path.frame;
  ff::av_frame_unref(frame);
  frame->nb_samples = std::max(samples, frameSize);
  frame->format = enc->sample_fmt;
  frame->sample_rate = enc->sample_rate;
  ff::av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
  if (ff::av_frame_get_buffer(frame, 0) < 0) throw FFmpegException("Audio encoding failed");
  ff::av_audio_fifo_read(path.fifo, reinterpret_cast<void**>(frame->extended_data), samples);
  if (frame->nb_samples > samples)
    ff::av_samples_set_silence(frame->extended_data, samples, frame->nb_samples - samples,
                               enc->ch_layout.nb_channels, enc->sample_fmt);
  frame->pts = ost.sync_opts;
  ost.sync_opts += frame->nb_samples;
  EncodeAndWrite(engine, ost, frame);
  ff::av_frame_unref(frame);
}

bool TakesAnySize(const AVCodecContext* enc) {
  return enc->frame_size < 2 || (enc->codec && (enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
}

// Keeps the output in step with the input clock; returns the input samples
// to skip from the front of the chunk, or -1 when the whole chunk is dropped.
int SyncAudio(TCustomFFmpeg& engine, TOutputStreamRec& ost, TAudioPath& path, TInputStreamRec& ist,
              const AVFrame* frame) {
  TEngineState& s = engine.State();
  const TOptionValues& o = s.opt;
  const AVCodecContext* enc = ost.setup->enc;
  const TInputStreamRec& sync = s.ist_table[ost.sync_ist];
  const double inputTime = static_cast<double>(sync.pts - o.start_time) / 1000000.0;
  const int queued = ff::av_audio_fifo_size(path.fifo);
  if (o.audio_sync_method == 0) {
    ost.sync_opts = std::llround(enc->sample_rate * inputTime) - queued;
    return 0;
  }
  const double delta = enc->sample_rate * inputTime - static_cast<double>(ost.sync_opts) - queued;
  if (std::fabs(delta) <= kDeadBandSamples) return 0;
  if (ist.is_start || std::fabs(delta) > o.audio_drift_threshold * enc->sample_rate) {
    const int inputSamples = static_cast<int>(delta * frame->sample_rate / enc->sample_rate);
    if (delta < 0) {
      if (o.verbose > 2) EngineLog(engine, media::llVerbose, Format("discarding %d audio samples", static_cast<int>(-delta)));
      ist.is_start = false;
      return -inputSamples >= frame->nb_samples ? -1 : -inputSamples;
    }
    // Silence is bounded as 16-bit samples of the input's channels.
    const int chunkBytes = frame->nb_samples * frame->ch_layout.nb_channels * 2;
    int silenceBytes = inputSamples * frame->ch_layout.nb_channels * 2;
    if (chunkBytes + silenceBytes > kLargestSilencedChunk)
      silenceBytes = std::max(0, kLargestSilencedChunk - chunkBytes);
    else
      ist.is_start = false;
    const int silence = static_cast<int>(static_cast<int64_t>(silenceBytes / (frame->ch_layout.nb_channels * 2)) *
                                         enc->sample_rate / frame->sample_rate);
    if (o.verbose > 2) EngineLog(engine, media::llVerbose, Format("adding %d audio samples of silence", static_cast<int>(delta)));
    QueueSilence(path, enc, silence);
    return 0;
  }
  if (o.audio_sync_method > 1) {
    const int compensation = std::clamp(static_cast<int>(delta), -o.audio_sync_method, o.audio_sync_method);
    if (o.verbose > 2)
      EngineLog(engine, media::llVerbose, Format("compensating audio timestamp drift:%f compensation:%d in:%d", delta,
                                                 compensation, enc->sample_rate));
    ff::swr_set_compensation(path.swr, compensation, enc->sample_rate);
  }
  return 0;
}

}  // namespace

void EncodeAudioFrame(TCustomFFmpeg& engine, TOutputStreamRec& ost, TInputStreamRec& ist, const AVFrame* frame) {
  TAudioPath& path = PathOf(ost);
  const AVCodecContext* enc = ost.setup->enc;
  EnsureConverter(ost, path, frame);
  const int skip = SyncAudio(engine, ost, path, ist, frame);
  if (skip < 0) return;
  const int inputSamples = frame->nb_samples - skip;
  const int room = ff::swr_get_out_samples(path.swr, inputSamples);
  EnsureCapacity(path, enc, std::max(room, 1));
  const int bytesPerSample = ff::av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame->format));
  const bool planar = ff::av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format));
  const int planeCount = planar ? frame->ch_layout.nb_channels : 1;
  std::vector<const uint8_t*> inputs(planeCount);
  const int offset = skip * bytesPerSample * (planar ? 1 : frame->ch_layout.nb_channels);
  for (int p = 0; p < planeCount; ++p) inputs[p] = frame->extended_data[p] + offset;
  const int converted = ff::swr_convert(path.swr, path.converted, path.converted_capacity, inputs.data(), inputSamples);
  if (converted < 0) {
    if (engine.State().opt.exit_on_error) throw FFmpegException("av_audio_convert() failed");
    EngineLog(engine, media::llError, "av_audio_convert() failed");
    return;
  }
  ff::av_audio_fifo_write(path.fifo, reinterpret_cast<void**>(path.converted), converted);
  if (TakesAnySize(enc)) {
    const int queued = ff::av_audio_fifo_size(path.fifo);
    if (queued > 0) EncodeQueued(engine, ost, path, queued, 0);
    return;
  }
  while (ff::av_audio_fifo_size(path.fifo) >= enc->frame_size) EncodeQueued(engine, ost, path, enc->frame_size, enc->frame_size);
}

void FlushAudioQueue(TCustomFFmpeg& engine, TOutputStreamRec& ost) {
  if (!ost.audio || !ost.audio->fifo) return;
  TAudioPath& path = *ost.audio;
  const AVCodecContext* enc = ost.setup->enc;
  const int queued = ff::av_audio_fifo_size(path.fifo);
  if (queued <= 0) return;
  const bool shortLast = TakesAnySize(enc) || ost.setup->own_amrnb ||
                         (enc->codec && (enc->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME));
  EncodeQueued(engine, ost, path, queued, shortLast ? 0 : enc->frame_size);
}

void FreeAudioPath(TOutputStreamRec& ost) {
  if (!ost.audio) return;
  TAudioPath& path = *ost.audio;
  ReleaseConverter(path);
  if (path.fifo) ff::av_audio_fifo_free(path.fifo);
  ff::av_frame_free(&path.frame);
  if (path.converted) ff::av_freep(&path.converted[0]);
  ff::av_freep(&path.converted);
  delete ost.audio;
  ost.audio = nullptr;
}

}  // namespace strella::engine
