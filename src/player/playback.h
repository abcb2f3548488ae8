// The state of one playback and the pipeline that works on it: the reader
// thread fills the packet queues, the video decoding thread fills the
// one-picture queue, SDL's audio thread pulls 16-bit samples, and the
// playback thread's event loop shows pictures when they are due.
#pragma once

#include <SDL_audio.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "player/event_queue.h"
#include "player/packet_queue.h"
#include "player/player.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVStream;
struct SwrContext;
struct SwsContext;

namespace strella::player {

inline constexpr int kSampleArraySize = 131072;
inline constexpr int64_t kAudioQueueLimit = 327680;   // bytes, bookkeeping included
inline constexpr int64_t kVideoQueueLimit = 1310720;
inline constexpr int kSilenceBlock = 1024;

enum TOpenState { osFailedClosed = -2, osFailed = -1, osOpening = 0, osRunning = 1 };

// The one entry of the picture queue: a planar 4:2:0 copy of a decoded
// picture (the "overlay"), made on the playback thread at the decoder's size.
struct TPictureEntry {
  double Pts = 0;
  AVFrame* Overlay = nullptr;
  int Width = 0, Height = 0;
  int RequestedWidth = 0, RequestedHeight = 0;  // the size the decoding thread waits for
  bool Allocated = false;
  std::mutex OverlayLock;  // held while the overlay's planes are written or read
};

struct TPlayback {
  explicit TPlayback(TCustomPlayer& owner) : Owner(owner) {}
  ~TPlayback();

  TCustomPlayer& Owner;
  // Settings taken from the player when the playback opens.
  bool DisableAudio = false, DisableVideo = false, DisableDisplay = false;
  int FrameWidth = 0, FrameHeight = 0;
  TVideoDisplay* Display = nullptr;

  // Owner and control.
  std::thread Reader;
  std::atomic<int> OpenState{osOpening};
  std::atomic<bool> AbortRequest{false};
  std::atomic<bool> Paused{false};
  int64_t PausedAt = 0;  // wall clock of the pause, microseconds
  bool LastPaused = false;
  std::atomic<bool> Reading{false};
  std::atomic<bool> EndReported{false};
  std::atomic<bool> EndOfFile{false};
  bool IsImage2 = false, IsCapture = false;

  // File.
  std::string FileName;
  AVFormatContext* Demuxer = nullptr;
  int64_t StartTime = 0, Duration = -1;  // microseconds

  // Seek request.
  std::mutex SeekLock;
  std::atomic<bool> SeekPending{false};
  int SeekFlags = 0;
  int64_t SeekTarget = 0, SeekRelative = 0;

  // Audio.
  int AudioIndex = -1;
  AVStream* AudioStream = nullptr;
  AVCodecContext* AudioDecoder = nullptr;
  int64_t AudioStreamDuration = -1;
  std::atomic<double> AudioClock{0};
  TPacketQueue AudioQueue;
  AVPacket* AudioPacket = nullptr;  // taken from the queue, not yet accepted by the decoder
  AVFrame* AudioFrame = nullptr;
  SwrContext* Resampler = nullptr;
  int ResamplerFormat = -1, ResamplerRate = 0, ResamplerChannels = 0;
  uint64_t ResamplerLayout = 0;
  int AudioChannels = 0, AudioRate = 0;  // of the 16-bit output
  std::vector<uint8_t> AudioBuffer;
  std::vector<uint8_t> SilenceBuffer = std::vector<uint8_t>(kSilenceBlock);
  const uint8_t* AudioBlock = nullptr;
  std::atomic<int> AudioBlockSize{0}, AudioBlockIndex{0};
  SDL_AudioDeviceID AudioDevice = 0;
  // Set (release) once the audio state is ready, just before the device is
  // unpaused; the callback reads it (acquire) first, so the hand-over does
  // not rest on the audio library's own locking alone.
  std::atomic<bool> AudioReady{false};
  int AudioHardwareBufferSize = 0;
  std::atomic<int64_t> LastCallbackTime{0};  // microseconds, 0 while none

  // Waveform.
  bool ShowWaveform = false;
  std::vector<int16_t> SampleArray = std::vector<int16_t>(kSampleArraySize);
  std::atomic<int> SampleArrayIndex{0};
  int LastTriggerIndex = 0;

  // Video.
  int VideoIndex = -1;
  AVStream* VideoStream = nullptr;
  AVCodecContext* VideoDecoder = nullptr;
  TPacketQueue VideoQueue;
  std::thread VideoThread;
  TPictureEntry Picture;
  int PictureCount = 0;
  // Both under PictureLock: the queued picture was decoded before a seek
  // (dropped, not shown); the next picture shown is the first after a seek.
  bool PictureStale = false, RestartTiming = false;
  // Under PictureLock: the first picture after a seek is shown even while
  // paused, so that a paused seek shows (and a snapshot takes) the new
  // position; until the decoder starts afresh, pictures of the old position
  // are dropped while paused.
  // (Atomic too: the paused decoder looks at them to know it has work.)
  std::atomic<bool> ShowWhilePaused{false}, DropUntilFlush{false};
  std::atomic<bool> VideoFinished{false};  // the decoder has given out its last picture
  std::mutex PictureLock;
  std::condition_variable PictureChanged;
  double NextPictureTime = 0;  // predicted time of the next decoded picture
  double FrameDuration = 0.04;  // one frame of the stream's rate
  double FrameTimer = 0, LastFramePts = 0, LastFrameDelay = 0.04;
  std::atomic<double> CurrentPts{0};
  std::atomic<int64_t> CurrentPtsTime{0};
  SwsContext* QueueScaler = nullptr;
  SwsContext* DisplayScaler = nullptr;
  AVFrame* PlacedPicture = nullptr;  // the scaled picture before it is copied into the surface
  double LastShownDifference = 0;
  std::atomic<int> ShownPictures{0};

  // Display.
  int AreaLeft = 0, AreaTop = 0, AreaWidth = 0, AreaHeight = 0;
  bool HaveSurface = false;
  media::TBitmap Surface;

  // The event loop and the one close.
  TEventQueue Events;
  std::mutex EventLock;  // held while an event is handled and while the playback closes
  bool Closed = false;
};

// Paints the whole bitmap black.
void FillBlack(media::TBitmap& bitmap);

// Where a picture goes inside the display area.
struct TPlacement {
  int X = 0, Y = 0, Width = 0, Height = 0;
};

// Places a decoder picture of pictureWidth x pictureHeight with the given
// sample aspects (numerator 0: unknown) in an area, by the player's AspectRatio
// rule: > 0 forces that ratio, 0 takes the stream's, < 0 fills the area.
TPlacement PlacePicture(float aspectRatio, int areaWidth, int areaHeight, int pictureWidth, int pictureHeight,
                        int streamSarNum, int streamSarDen, int decoderSarNum, int decoderSarDen);

// The pipeline's steps, in the order a playback meets them.
struct TPipeline {
  // Opening and closing (caller's thread).
  static std::shared_ptr<TPlayback> OpenPlayback(TCustomPlayer& player, const std::string& fileName);
  static void ClosePlayback(TPlayback& playback);

  // Reader thread and streams.
  static void ReaderThread(TPlayback& playback);
  static bool OpenInput(TPlayback& playback);
  static void ChooseStreams(TPlayback& playback);
  static int OpenStream(TPlayback& playback, int index);
  static int OpenAudioDevice(TPlayback& playback);
  static void CloseStream(TPlayback& playback, int index);
  static void ReadLoop(TPlayback& playback);
  static void ExecuteSeek(TPlayback& playback);
  static void RequestSeek(TPlayback& playback, int64_t target, int64_t relative, int flags);

  // Video decoding thread and the picture queue.
  static void VideoThread(TPlayback& playback);
  static void FlushVideo(TPlayback& playback);
  static int DecodeVideoPacket(TPlayback& playback, AVPacket* packet, AVFrame* frame, bool& draining);
  static int QueuePicture(TPlayback& playback, AVFrame* frame, double pts);
  static void AllocatePicture(TPlayback& playback);

  // Audio decoding and the SDL callback.
  static void AudioCallback(void* userdata, Uint8* stream, int len);
  static int DecodeAudioBlock(TPlayback& playback);
  static int ConvertAudioFrame(TPlayback& playback, AVFrame* frame);
  static bool TakeAudioPacket(TPlayback& playback);

  // Event loop, timing and display (playback thread).
  static void EventLoop(TCustomPlayer& player, const std::shared_ptr<TPlayback>& playback);
  static void Refresh(TPlayback& playback);
  static double AudioClock(const TPlayback& playback);
  static double VideoClock(const TPlayback& playback);
  static double MasterClock(const TPlayback& playback);
  static double FrameDelay(TPlayback& playback, double pts);
  static int SetUpSurface(TPlayback& playback);
  static void Display(TPlayback& playback);
  static void ShowPicture(TPlayback& playback);
  static void DrawWaveform(TPlayback& playback);
  static int WaveformStart(TPlayback& playback, int channels);
  static void TogglePause(TPlayback& playback);
};

}  // namespace strella::player
