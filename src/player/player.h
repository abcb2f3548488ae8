// The preview player: plays one media file at a time into a display for
// previewing a file of the conversion list. Open starts a playback (a reader
// thread, a video decoding thread, the audio callback and the playback
// thread's event loop); the component reports the opened file, positions and
// its states, hands out the current picture and lets a hook draw on pictures.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "media/main_thread.h"
#include "media/frame_converter.h"
#include "media/probe.h"
#include "player/video_display.h"

struct AVFrame;

namespace strella::player {

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };

using TAudioVolume = uint8_t;  // 0..128
inline constexpr TAudioVolume kMaxAudioVolume = 128;

using TFileOpenEvent = std::function<void(void* Sender, const int64_t ADuration, const int AFrameWidth,
                                          const int AFrameHeight, int& AScreenWidth, int& AScreenHeight)>;
using THookEvent = std::function<void(void* Sender, media::TBitmap& ABitmap, const int64_t APTS)>;
using TPlayStateEvent = std::function<void(void* Sender, const TPlayState AState)>;
using TPositionEvent = std::function<void(void* Sender, const int64_t APTS)>;

// Seek flag bits, the library's own values.
inline constexpr int kSeekBackward = 1, kSeekByte = 2, kSeekAny = 4, kSeekFrame = 8;

struct TPlayback;
struct TPipeline;

// The clocks of the running playback, in seconds of the file's time line.
struct TPlaybackClocks {
  bool Valid = false;
  double Audio = 0, Video = 0, Master = 0;
  // Picture time minus master clock when the last picture was shown.
  double LastShownDifference = 0;
  int ShownPictures = 0;
};

class TCustomPlayer {
 public:
  TCustomPlayer();
  virtual ~TCustomPlayer();
  TCustomPlayer(const TCustomPlayer&) = delete;
  TCustomPlayer& operator=(const TCustomPlayer&) = delete;

  const std::string& About() const { return about_; }
  void SetAbout(const std::string& text) { about_ = text; }
  std::string Version() const { return "1.3"; }

  void SetOnFileOpen(TFileOpenEvent handler) { on_file_open_ = std::move(handler); }
  void SetOnHook(THookEvent handler);
  void SetOnPosition(TPositionEvent handler);
  void SetOnState(TPlayStateEvent handler);

  bool LibrariesLoaded() const;
  bool LoadLibraries(const std::string& APath);
  // Stops any playback and plays the file into the display (none: nothing is
  // shown). The display must outlive the playback.
  bool Open(const std::string& AFileName, TVideoDisplay* ADisplay);
  void Stop(bool AWait);
  void TogglePause();
  void Seek(int64_t APTS);
  // The picture shown now, 24-bit, of the picture's size; 0 x 0 and -1 without
  // video. The player owns it and reuses it on the next call (the same
  // object for the player's life): callers copy or save what they keep.
  media::TBitmap& GetCurrentFrame(int64_t& APTS);
  media::TBitmap& CurrentFrame();
  const std::string& LastErrMsg() const { return last_err_msg_; }
  const std::string& FileName() const { return file_name_; }
  // What the probe attached to the playing file tells; false while nothing
  // plays (or the file has no video stream, for the second).
  bool GetFileStreamInfo(media::TFileStreamInfo& AInfo);
  bool GetVideoStreamInfo(media::TVideoStreamInfo& AInfo);

  // The host's display area changed size, or needs painting again.
  void DisplayResized(int width, int height);
  void DisplayExposed();

  bool Playing() const;
  bool Paused() const;
  // The position last computed by the playback (microseconds), -1 when none.
  int64_t CurrentPosition() const { return current_position_; }
  TPlaybackClocks Clocks() const;

 protected:
  float AspectRatio() const { return aspect_ratio_; }
  void SetAspectRatio(float value);
  TAudioVolume AudioVolume() const { return audio_volume_; }
  void SetAudioVolume(TAudioVolume value) { audio_volume_ = value > kMaxAudioVolume ? kMaxAudioVolume : value; }
  bool DisableAudio() const { return disable_audio_; }
  void SetDisableAudio(bool value) { disable_audio_ = value; }
  bool DisableVideo() const { return disable_video_; }
  void SetDisableVideo(bool value) { disable_video_ = value; }
  bool DisableDisplay() const { return disable_display_; }
  void SetDisableDisplay(bool value) { disable_display_ = value; }
  bool Mute() const { return mute_; }
  void SetMute(bool value) { mute_ = value; }
  int FrameWidth() const { return frame_width_; }
  void SetFrameWidth(int value) { frame_width_ = value; }
  int FrameHeight() const { return frame_height_; }
  void SetFrameHeight(int value) { frame_height_ = value; }
  bool Hook() const { return hook_; }
  void SetHook(bool value) { hook_ = value; }
  int ScreenWidth() const { return screen_width_; }
  void SetScreenWidth(int value) { screen_width_ = value; }
  int ScreenHeight() const { return screen_height_; }
  void SetScreenHeight(int value) { screen_height_ = value; }
  bool SeekBackware() const { return SeekFlag(kSeekBackward); }
  void SetSeekBackware(bool value) { SetSeekFlag(kSeekBackward, value); }
  bool SeekByByte() const { return SeekFlag(kSeekByte); }
  void SetSeekByByte(bool value) { SetSeekFlag(kSeekByte, value); }
  bool SeekToAny() const { return SeekFlag(kSeekAny); }
  void SetSeekToAny(bool value) { SetSeekFlag(kSeekAny, value); }
  bool SeekByFrame() const { return SeekFlag(kSeekFrame); }
  void SetSeekByFrame(bool value) { SetSeekFlag(kSeekFrame, value); }

 private:
  friend struct TPipeline;

  bool SeekFlag(int bit) const { return (seek_flags_ & bit) != 0; }
  void SetSeekFlag(int bit, bool on) { seek_flags_ = on ? (seek_flags_ | bit) : (seek_flags_ & ~bit); }
  void ReportError(const std::string& message, bool store);
  void ReportState(TPlayState state);
  std::shared_ptr<TPlayback> CurrentPlayback() const;
  void RunFileOpenNotification(const std::shared_ptr<TPlayback>& playback);
  void FileOpenNotification(TPlayback& playback);
  void PlayThreadBody(std::shared_ptr<TPlayback> playback);
  void RunStopThread(std::shared_ptr<TPlayback> playback);
  // Joins the previous playback thread; unless forced only when it has ended.
  void JoinPlayThread(bool force);
  // Closes the playback and forgets it, once, whichever thread comes first.
  void ClosePlaybackOnce(const std::shared_ptr<TPlayback>& playback);
  // The same with the playback's event lock already held.
  void ClosePlaybackLocked(const std::shared_ptr<TPlayback>& playback);
  void RunPauseThread(const std::shared_ptr<TPlayback>& playback);
  void ResetPerPlaybackSettings();
  // The pipeline's side.
  void PositionUpdate(TPlayback& playback);
  bool PlayedToTheEnd(TPlayback& playback) const;
  bool RunHook(TPlayback& playback, AVFrame* frame, double pts, AVFrame* overlay);
  int64_t ToPosition(const TPlayback& playback, double seconds) const;
  media::TBitmap& SnapshotBitmap();

  std::string about_;
  TFileOpenEvent on_file_open_;
  std::mutex handler_lock_;  // guards the handlers read on the pipeline's threads
  THookEvent on_hook_;
  TPositionEvent on_position_;
  TPlayStateEvent on_state_;
  // OnPosition and OnState reach the main thread through it; the playback
  // thread never waits for their delivery.
  media::TMainThreadMailbox events_;

  std::atomic<float> aspect_ratio_{0};
  std::atomic<TAudioVolume> audio_volume_{kMaxAudioVolume};
  bool disable_audio_ = false, disable_video_ = false, disable_display_ = false;
  std::atomic<bool> mute_{false};
  int frame_width_ = 0, frame_height_ = 0;
  std::atomic<bool> hook_{false};
  std::atomic<int> screen_width_{0}, screen_height_{0};
  std::atomic<int> seek_flags_{kSeekAny};

  std::string last_err_msg_;
  std::string file_name_;
  TVideoDisplay* display_ = nullptr;

  mutable std::mutex playback_lock_;  // guards playback_
  std::shared_ptr<TPlayback> playback_;
  std::thread play_thread_;
  std::atomic<bool> play_thread_running_{false};

  std::atomic<int64_t> last_reported_position_{INT64_MIN};  // INT64_MIN: none yet
  std::atomic<int64_t> current_position_{-1};

  // Attached to the playing file's demuxer from the open until just before
  // the demuxer closes; the lock keeps a query from meeting the detach.
  std::mutex probe_lock_;
  media::TAVProbe probe_;
  // The snapshot's converter runs on the caller's thread, the hook's on the
  // video decoding thread.
  media::TFrameConverter snapshot_converter_;
  media::TFrameConverter hook_converter_;
};

// The component as the window places it: every property published.
class TFFPlayer : public TCustomPlayer {
 public:
  using TCustomPlayer::AspectRatio;
  using TCustomPlayer::SetAspectRatio;
  using TCustomPlayer::AudioVolume;
  using TCustomPlayer::SetAudioVolume;
  using TCustomPlayer::DisableAudio;
  using TCustomPlayer::SetDisableAudio;
  using TCustomPlayer::DisableVideo;
  using TCustomPlayer::SetDisableVideo;
  using TCustomPlayer::DisableDisplay;
  using TCustomPlayer::SetDisableDisplay;
  using TCustomPlayer::Mute;
  using TCustomPlayer::SetMute;
  using TCustomPlayer::FrameWidth;
  using TCustomPlayer::SetFrameWidth;
  using TCustomPlayer::FrameHeight;
  using TCustomPlayer::SetFrameHeight;
  using TCustomPlayer::Hook;
  using TCustomPlayer::SetHook;
  using TCustomPlayer::ScreenWidth;
  using TCustomPlayer::SetScreenWidth;
  using TCustomPlayer::ScreenHeight;
  using TCustomPlayer::SetScreenHeight;
  using TCustomPlayer::SeekBackware;
  using TCustomPlayer::SetSeekBackware;
  using TCustomPlayer::SeekByByte;
  using TCustomPlayer::SetSeekByByte;
  using TCustomPlayer::SeekToAny;
  using TCustomPlayer::SetSeekToAny;
  using TCustomPlayer::SeekByFrame;
  using TCustomPlayer::SetSeekByFrame;
};

}  // namespace strella::player
