#include "player/player.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <future>

#include "media/ff.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/main_thread.h"
#include "player/playback.h"

namespace strella::player {
namespace {

constexpr int64_t kNoPosition = INT64_MIN;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Runs a helper thread and waits for it; the threads it waits for never wait
// for the caller.
template <typename Body>
void RunAndWait(Body body) {
  std::thread helper(body);
  helper.join();
}

// Frees the converter's buffer and scaling contexts but keeps its bitmap,
// to which callers of the snapshot may still hold a reference.
void ResetKeepingBitmap(media::TFrameConverter& converter) {
  std::unique_ptr<media::TBitmap> bitmap = std::move(converter.Bitmap);
  media::ResetConverter(converter);
  converter.Bitmap = std::move(bitmap);
}

}  // namespace

TCustomPlayer::TCustomPlayer() = default;

TCustomPlayer::~TCustomPlayer() {
  events_.Close();
  SetOnPosition(nullptr);
  SetOnState(nullptr);
  SetOnHook(nullptr);
  Stop(true);
  JoinPlayThread(true);
}

void TCustomPlayer::SetOnHook(THookEvent handler) {
  std::lock_guard guard(handler_lock_);
  on_hook_ = std::move(handler);
}

void TCustomPlayer::SetOnPosition(TPositionEvent handler) {
  std::lock_guard guard(handler_lock_);
  on_position_ = std::move(handler);
}

void TCustomPlayer::SetOnState(TPlayStateEvent handler) {
  std::lock_guard guard(handler_lock_);
  on_state_ = std::move(handler);
}

bool TCustomPlayer::LibrariesLoaded() const { return media::FFLoader().LibsLoaded(media::kPlayerLibraries); }

bool TCustomPlayer::LoadLibraries(const std::string& APath) {
  media::FFLoader().SetLibraryPath(APath);
  const bool loaded = media::FFLoader().LoadLibs(media::kPlayerLibraries);
  if (!loaded) last_err_msg_ = media::FFLoader().LastErrMsg();
  return loaded;
}

bool TCustomPlayer::Open(const std::string& AFileName, TVideoDisplay* ADisplay) {
  if (!LibrariesLoaded()) {
    ReportError("libav or libsdl not loaded.", true);
    return false;
  }
  Stop(true);
  JoinPlayThread(true);  // one playback per process: the last one must be gone
  if (sdl::SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    ReportError(std::string("Could not initialize SDL: ") + sdl::SDL_GetError(), true);
    return false;
  }
  if (disable_display_) disable_video_ = true;
  display_ = ADisplay;
  std::shared_ptr<TPlayback> playback = TPipeline::OpenPlayback(*this, AFileName);
  if (!playback) {
    ResetPerPlaybackSettings();
    sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  file_name_ = AFileName;
  {
    std::lock_guard guard(playback_lock_);
    playback_ = playback;
  }
  {
    std::lock_guard guard(probe_lock_);
    probe_.AttachFormatContext(playback->Demuxer);
  }
  RunFileOpenNotification(playback);
  play_thread_running_ = true;
  play_thread_ = std::thread(&TCustomPlayer::PlayThreadBody, this, playback);
  return true;
}

// The handler answers with the screen size, so a caller off the main thread
// waits for it, holding no lock while it does.
void TCustomPlayer::RunFileOpenNotification(const std::shared_ptr<TPlayback>& playback) {
  if (media::IsMainThread()) {
    FileOpenNotification(*playback);
    return;
  }
  auto ran = std::make_shared<std::promise<void>>();
  std::future<void> done = ran->get_future();
  events_.Post([this, playback, ran] {
    FileOpenNotification(*playback);
    ran->set_value();
  });
  done.wait();
}

void TCustomPlayer::FileOpenNotification(TPlayback& playback) {
  ResetKeepingBitmap(snapshot_converter_);
  media::ResetConverter(hook_converter_);
  const AVFormatContext* demuxer = playback.Demuxer;
  playback.StartTime = demuxer->start_time == AV_NOPTS_VALUE ? 0 : demuxer->start_time;
  playback.Duration = demuxer->duration == AV_NOPTS_VALUE ? -1 : demuxer->duration;
  if (on_file_open_) {
    const AVCodecContext* video = playback.VideoDecoder;
    const bool sized = video && video->width > 0;
    int screenWidth = screen_width_, screenHeight = screen_height_;
    on_file_open_(this, playback.IsImage2 ? 0 : playback.Duration, sized ? video->width : -1,
                  sized ? video->height : -1, screenWidth, screenHeight);
    screen_width_ = screenWidth;
    screen_height_ = screenHeight;
  }
  if (display_ && (screen_width_ == 0 || screen_height_ == 0)) {
    int width = 0, height = 0;
    display_->GetClientSize(width, height);
    screen_width_ = width;
    screen_height_ = height;
  }
}

void TCustomPlayer::PlayThreadBody(std::shared_ptr<TPlayback> playback) {
  ReportState(psPlay);
  TPipeline::EventLoop(*this, playback);
  playback.reset();
  ReportState(psStop);
  play_thread_running_ = false;
}

void TCustomPlayer::Stop(bool AWait) {
  std::shared_ptr<TPlayback> playback = CurrentPlayback();
  if (!playback) return;
  playback->Events.Post({peQuit});
  if (!AWait) return;
  RunAndWait([this, playback] { RunStopThread(playback); });
  JoinPlayThread(false);
}

void TCustomPlayer::RunStopThread(std::shared_ptr<TPlayback> playback) {
  playback->Events.Post({peQuit});
  int sleeps = 0;
  while (play_thread_running_) {
    if (sleeps > 20 && playback->Reading) break;  // stuck in a read: close it ourselves
    Sleep(10);
    if (++sleeps >= 101) break;
    if (sleeps % 20 == 0) playback->Events.Post({peQuit});
  }
  ClosePlaybackOnce(playback);
}

void TCustomPlayer::JoinPlayThread(bool force) {
  if (!play_thread_.joinable() || (!force && play_thread_running_)) return;
  play_thread_.join();
}

void TCustomPlayer::ClosePlaybackOnce(const std::shared_ptr<TPlayback>& playback) {
  std::lock_guard guard(playback->EventLock);
  ClosePlaybackLocked(playback);
}

void TCustomPlayer::ClosePlaybackLocked(const std::shared_ptr<TPlayback>& playback) {
  if (playback->Closed) return;
  {
    std::lock_guard guard(probe_lock_);
    probe_.AttachFormatContext(nullptr);
  }
  TPipeline::ClosePlayback(*playback);
  playback->Closed = true;
  {
    std::lock_guard guard(playback_lock_);
    if (playback_ == playback) playback_.reset();
  }
  ResetPerPlaybackSettings();
  sdl::SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void TCustomPlayer::ResetPerPlaybackSettings() {
  last_reported_position_ = kNoPosition;
  current_position_ = -1;
}

std::shared_ptr<TPlayback> TCustomPlayer::CurrentPlayback() const {
  std::lock_guard guard(playback_lock_);
  return playback_;
}

bool TCustomPlayer::GetFileStreamInfo(media::TFileStreamInfo& AInfo) {
  std::lock_guard guard(probe_lock_);
  return probe_.FormatContext() && probe_.GetFileStreamInfo(AInfo);
}

bool TCustomPlayer::GetVideoStreamInfo(media::TVideoStreamInfo& AInfo) {
  std::lock_guard guard(probe_lock_);
  return probe_.FormatContext() && probe_.GetVideoStreamInfo(AInfo);
}

bool TCustomPlayer::Playing() const { return CurrentPlayback() != nullptr; }

bool TCustomPlayer::Paused() const {
  std::shared_ptr<TPlayback> playback = CurrentPlayback();
  return playback && playback->Paused;
}

void TCustomPlayer::TogglePause() {
  std::shared_ptr<TPlayback> playback = CurrentPlayback();
  if (!playback) return;
  if (!playback->Paused) RunAndWait([this, playback] { RunPauseThread(playback); });
  {
    std::unique_lock guard = std::unique_lock(playback->EventLock);
    if (playback->Closed) return;
    TPipeline::TogglePause(*playback);
  }
  ReportState(playback->Paused ? psPause : psResume);
}

void TCustomPlayer::RunPauseThread(const std::shared_ptr<TPlayback>& playback) {
  // A pending seek is carried out first, so the pause holds its target.
  int sleeps = 0;
  while (CurrentPlayback() && playback->SeekPending) {
    if (sleeps > 20 && playback->Reading) break;
    Sleep(10);
    if (++sleeps >= 101) break;
  }
}

void TCustomPlayer::Seek(int64_t APTS) {
  std::shared_ptr<TPlayback> playback = CurrentPlayback();
  if (!playback) return;
  if (playback->Duration >= 0 && APTS > playback->Duration) APTS = playback->Duration;
  APTS += playback->StartTime;
  TPipeline::RequestSeek(*playback, APTS, 0, seek_flags_);
}

void TCustomPlayer::SetAspectRatio(float value) {
  if (value == aspect_ratio_) return;
  aspect_ratio_ = value;
  if (std::shared_ptr<TPlayback> playback = CurrentPlayback()) playback->Events.Post({peRedraw});
}

void TCustomPlayer::DisplayResized(int width, int height) {
  if (std::shared_ptr<TPlayback> playback = CurrentPlayback()) playback->Events.Post({peResize, width, height});
}

void TCustomPlayer::DisplayExposed() {
  if (std::shared_ptr<TPlayback> playback = CurrentPlayback()) playback->Events.Post({peExpose});
}

void TCustomPlayer::ReportError(const std::string& message, bool store) {
  media::Log(this, media::llError, message);
  if (store) last_err_msg_ = message;
}

void TCustomPlayer::ReportState(TPlayState state) {
  events_.Post([this, state] {
    TPlayStateEvent handler;
    {
      std::lock_guard guard(handler_lock_);
      handler = on_state_;
    }
    if (handler) handler(this, state);
  });
}

int64_t TCustomPlayer::ToPosition(const TPlayback& playback, double seconds) const {
  return std::llround(seconds * 1000000) - playback.StartTime;
}

void TCustomPlayer::PositionUpdate(TPlayback& playback) {
  if (playback.IsImage2) return;
  int64_t position;
  if (playback.VideoStream) {
    position = ToPosition(playback, TPipeline::VideoClock(playback));
  } else if (playback.AudioStream) {
    position = ToPosition(playback, TPipeline::AudioClock(playback));
    if (playback.AudioStreamDuration > 0 && position >= playback.AudioStreamDuration && playback.Duration > position)
      position = playback.Duration;
  } else {
    return;
  }
  // Everything played: the position is the end, even where the clock of the
  // last picture or sample stops a little short of the file's duration.
  const bool played = PlayedToTheEnd(playback);
  if (played && playback.Duration > 0) position = std::max(position, playback.Duration);
  current_position_ = position;
  if (playback.Duration > 0 && position >= playback.Duration) {
    position = playback.Duration;
    if (last_reported_position_ != playback.Duration) last_reported_position_ = 0;
  }
  const int64_t last = last_reported_position_;
  if (last == kNoPosition || std::llabs(position - last) > 10000) {
    last_reported_position_ = position;
    events_.Post([this, position] {
      TPositionEvent handler;
      {
        std::lock_guard guard(handler_lock_);
        handler = on_position_;
      }
      if (handler) handler(this, position);
    });
  }
  if (played && !playback.IsCapture && (!playback.Reading || position == playback.Duration)) ReportState(psEnd);
}

// The reader has met the end of the file (not merely drained queues, as
// right after a seek), no packet waits, and the video decoder has given out
// its last picture and that picture has been shown.
bool TCustomPlayer::PlayedToTheEnd(TPlayback& playback) const {
  if (!playback.EndReported || playback.AudioQueue.Count() != 0 || playback.VideoQueue.Count() != 0) return false;
  if (!playback.VideoStream) return true;
  std::lock_guard guard(playback.PictureLock);
  return playback.VideoFinished && playback.PictureCount == 0;
}

bool TCustomPlayer::RunHook(TPlayback& playback, AVFrame* frame, double pts, AVFrame* overlay) {
  if (!hook_) return false;
  THookEvent handler;
  {
    std::lock_guard guard(handler_lock_);
    handler = on_hook_;
  }
  if (!handler) return false;
  // Always through the converter's own buffer: a decoded picture that is
  // already 24-bit belongs to the decoder and is not written back into.
  if (!media::ConvertToBitmap(hook_converter_, media::PictureOf(frame), frame->format, frame->height, frame->width,
                              true)) {
    ReportError("Cannot initialize the toRGB conversion context", false);
    return false;
  }
  media::TBitmap& bitmap = *hook_converter_.Bitmap;
  {
    std::lock_guard canvas(bitmap.CanvasLock());
    try {
      handler(this, bitmap, ToPosition(playback, pts));
    } catch (const std::exception& error) {
      ReportError(std::string("Error occurs OnHook: ") + error.what(), false);
      return false;
    } catch (...) {
      ReportError("Error occurs OnHook: unknown exception", false);
      return false;
    }
  }
  if (!media::ConvertFromBitmap(hook_converter_, media::PictureOf(overlay), overlay->format, overlay->height,
                                overlay->width)) {
    ReportError("Cannot initialize the fromRGB conversion context", false);
    return false;
  }
  return true;
}

media::TBitmap& TCustomPlayer::SnapshotBitmap() {
  if (!snapshot_converter_.Bitmap) snapshot_converter_.Bitmap = std::make_unique<media::TBitmap>();
  return *snapshot_converter_.Bitmap;
}

media::TBitmap& TCustomPlayer::GetCurrentFrame(int64_t& APTS) {
  APTS = -1;
  media::TBitmap& snapshot = SnapshotBitmap();
  std::shared_ptr<TPlayback> playback = CurrentPlayback();
  std::unique_lock<std::mutex> guard;
  if (playback) guard = std::unique_lock(playback->EventLock);
  if (!playback || playback->Closed || !playback->VideoDecoder) {
    snapshot.SetSize(0, 0);
    return snapshot;
  }
  const AVCodecContext* decoder = playback->VideoDecoder;
  snapshot.SetSize(decoder->width, decoder->height);
  FillBlack(snapshot);
  TPictureEntry& entry = playback->Picture;
  std::lock_guard overlayGuard(entry.OverlayLock);
  APTS = ToPosition(*playback, entry.Pts);
  if (!entry.Overlay) return snapshot;
  if (!media::ConvertToBitmap(snapshot_converter_, media::PictureOf(entry.Overlay), entry.Overlay->format, entry.Height,
                              entry.Width))
    snapshot.SetSize(0, 0);
  return snapshot;
}

media::TBitmap& TCustomPlayer::CurrentFrame() {
  int64_t pts;
  return GetCurrentFrame(pts);
}

TPlaybackClocks TCustomPlayer::Clocks() const {
  TPlaybackClocks clocks;
  std::shared_ptr<TPlayback> playback = CurrentPlayback();
  if (!playback) return clocks;
  std::unique_lock guard = std::unique_lock(playback->EventLock);
  if (playback->Closed) return clocks;
  clocks.Valid = true;
  clocks.Audio = TPipeline::AudioClock(*playback);
  clocks.Video = TPipeline::VideoClock(*playback);
  clocks.Master = TPipeline::MasterClock(*playback);
  clocks.LastShownDifference = playback->LastShownDifference;
  clocks.ShownPictures = playback->ShownPictures;
  return clocks;
}

}  // namespace strella::player
