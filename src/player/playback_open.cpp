// Opening and closing a playback and its two streams.
#include <new>
#include <system_error>

#include "media/ff.h"
#include "media/loader.h"
#include "media/text_helpers.h"
#include "player/playback.h"

namespace strella::player {
namespace {

// Polls every 10 ms until done() holds; the reader it waits for never waits for the caller.
void WaitUntil(const std::function<bool()>& done) {
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void FreeCodec(AVCodecContext*& context) {
  std::lock_guard guard(media::CodecLock());
  ff::avcodec_free_context(&context);
}

}  // namespace

TPlayback::~TPlayback() {
  if (Reader.joinable()) Reader.join();
  ff::av_frame_free(&Picture.Overlay);
  ff::av_frame_free(&PlacedPicture);
  ff::av_frame_free(&AudioFrame);
  ReleasePacket(AudioPacket);
  if (QueueScaler) ff::sws_freeContext(QueueScaler);
  if (DisplayScaler) ff::sws_freeContext(DisplayScaler);
  ff::swr_free(&Resampler);
}

std::shared_ptr<TPlayback> TPipeline::OpenPlayback(TCustomPlayer& player, const std::string& fileName) {
  std::shared_ptr<TPlayback> playback;
  try {
    playback = std::make_shared<TPlayback>(player);
  } catch (const std::bad_alloc&) {
    player.ReportError("av_mallocz() failed.", true);
    return nullptr;
  }
  playback->DisableAudio = player.disable_audio_;
  playback->DisableVideo = player.disable_video_;
  playback->DisableDisplay = player.disable_display_;
  playback->FrameWidth = player.frame_width_;
  playback->FrameHeight = player.frame_height_;
  playback->Display = player.display_;
  playback->FileName = fileName;
  playback->Events.ScheduleRefresh(40);
  try {
    playback->Reader = std::thread(ReaderThread, std::ref(*playback));
  } catch (const std::system_error&) {
    player.ReportError("SDL_CreateThread() failed.", true);
    return nullptr;
  }
  WaitUntil([&] { return playback->OpenState.load() != osOpening; });
  if (playback->OpenState.load() < osRunning) {
    WaitUntil([&] { return playback->OpenState.load() != osFailed; });
    playback->Reader.join();
    return nullptr;
  }
  return playback;
}

void TPipeline::ClosePlayback(TPlayback& playback) {
  playback.AbortRequest = true;
  // The reader closes both streams and the demuxer on its way out.
  if (playback.Reader.joinable()) playback.Reader.join();
}

int TPipeline::OpenStream(TPlayback& playback, int index) {
  AVFormatContext* demuxer = playback.Demuxer;
  if (index < 0 || index >= static_cast<int>(demuxer->nb_streams)) return -1;
  AVStream* stream = demuxer->streams[index];
  const AVCodec* codec = ff::avcodec_find_decoder(stream->codecpar->codec_id);
  AVCodecContext* decoder = codec ? ff::avcodec_alloc_context3(codec) : nullptr;
  int result = -1;
  if (decoder && ff::avcodec_parameters_to_context(decoder, stream->codecpar) >= 0) {
    decoder->pkt_timebase = stream->time_base;
    decoder->workaround_bugs = FF_BUG_AUTODETECT;
    decoder->error_concealment = 3;
    decoder->thread_count = 1;
    std::lock_guard guard(media::CodecLock());
    result = ff::avcodec_open2(decoder, codec, nullptr);
  }
  if (result < 0) {
    playback.Owner.ReportError("avcodec_open() failed.", false);
    FreeCodec(decoder);
    return -1;
  }
  const bool audio = decoder->codec_type == AVMEDIA_TYPE_AUDIO;
  if (audio) {
    playback.AudioDecoder = decoder;
    playback.AudioStream = stream;
    if (OpenAudioDevice(playback) < 0) {
      playback.AudioDecoder = nullptr;
      playback.AudioStream = nullptr;
      FreeCodec(decoder);
      return -1;
    }
  }
  stream->discard = AVDISCARD_DEFAULT;
  if (audio) {
    playback.AudioIndex = index;
    playback.AudioStreamDuration =
        stream->duration == AV_NOPTS_VALUE ? -1 : ff::av_rescale_q(stream->duration, stream->time_base, AV_TIME_BASE_Q);
    playback.AudioBlockSize = 0;
    playback.AudioBlockIndex = 0;
    playback.AudioFrame = ff::av_frame_alloc();
    playback.AudioQueue.Reset();
    playback.AudioReady.store(true, std::memory_order_release);
    sdl::SDL_PauseAudioDevice(playback.AudioDevice, 0);
  } else {
    playback.VideoIndex = index;
    playback.VideoStream = stream;
    playback.VideoDecoder = decoder;
    const AVRational rate = ff::av_guess_frame_rate(demuxer, stream, nullptr);
    if (rate.num > 0 && rate.den > 0) playback.FrameDuration = av_q2d(av_inv_q(rate));
    playback.LastFrameDelay = 0.04;
    const int64_t now = ff::av_gettime_relative();
    playback.FrameTimer = now / 1000000.0;
    playback.CurrentPtsTime = now;
    playback.VideoQueue.Reset();
    playback.VideoThread = std::thread(VideoThread, std::ref(playback));
  }
  return 0;
}

int TPipeline::OpenAudioDevice(TPlayback& playback) {
  AVCodecContext* decoder = playback.AudioDecoder;
  playback.AudioChannels = decoder->ch_layout.nb_channels == 1 ? 1 : 2;
  playback.AudioRate = decoder->sample_rate;
  SDL_AudioSpec wanted{};
  SDL_AudioSpec obtained{};
  wanted.freq = decoder->sample_rate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = static_cast<Uint8>(playback.AudioChannels);
  wanted.silence = 0;
  wanted.samples = 1024;
  wanted.callback = AudioCallback;
  wanted.userdata = &playback;
  playback.AudioDevice = wanted.freq > 0 ? sdl::SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0) : 0;
  if (playback.AudioDevice == 0) {
    playback.Owner.ReportError(std::string("SDL_OpenAudio() failed: ") + sdl::SDL_GetError(), false);
    return -1;
  }
  playback.AudioHardwareBufferSize = static_cast<int>(obtained.size);
  return 0;
}

void TPipeline::CloseStream(TPlayback& playback, int index) {
  AVFormatContext* demuxer = playback.Demuxer;
  if (index < 0 || index >= static_cast<int>(demuxer->nb_streams)) return;
  AVCodecContext* decoder = nullptr;
  if (index == playback.AudioIndex) {
    playback.AudioQueue.Abort();
    sdl::SDL_CloseAudioDevice(playback.AudioDevice);  // waits for a running callback
    playback.AudioDevice = 0;
    playback.AudioQueue.Flush();
    ff::swr_free(&playback.Resampler);
    ff::av_frame_free(&playback.AudioFrame);
    ReleasePacket(playback.AudioPacket);
    decoder = playback.AudioDecoder;
    playback.AudioDecoder = nullptr;
    playback.AudioStream = nullptr;
    playback.AudioIndex = -1;
    playback.AudioStreamDuration = -1;
  } else if (index == playback.VideoIndex) {
    playback.VideoQueue.Abort();
    {
      std::lock_guard guard(playback.PictureLock);
      playback.PictureChanged.notify_all();
    }
    if (playback.VideoThread.joinable()) playback.VideoThread.join();
    playback.VideoQueue.Flush();
    decoder = playback.VideoDecoder;
    playback.VideoDecoder = nullptr;
    playback.VideoStream = nullptr;
    playback.VideoIndex = -1;
  }
  demuxer->streams[index]->discard = AVDISCARD_ALL;
  FreeCodec(decoder);
}

}  // namespace strella::player
