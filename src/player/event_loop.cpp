// The playback thread's side: the event loop, refresh scheduling, the
// clocks, the frame-delay rule and pausing.
#include <cmath>

#include "media/ff.h"
#include "player/playback.h"

namespace strella::player {
namespace {
double NowSeconds() { return ff::av_gettime_relative() / 1000000.0; }
}  // namespace

void TPipeline::EventLoop(TCustomPlayer& player, const std::shared_ptr<TPlayback>& playback) {
  for (;;) {
    const TPlayerEvent event = playback->Events.Wait();
    std::lock_guard guard(playback->EventLock);
    if (playback->Closed) return;
    switch (event.Kind) {
      case peQuitApplication:
      case peQuit:
        player.ClosePlaybackLocked(playback);
        return;
      case peResize:
        player.screen_width_ = event.Width;
        player.screen_height_ = event.Height;
        if (SetUpSurface(*playback) >= 0) Display(*playback);
        break;
      case peExpose:
        Display(*playback);
        break;
      case peAllocate:
        SetUpSurface(*playback);
        AllocatePicture(*playback);
        break;
      case peRefresh:
        Refresh(*playback);
        break;
      case peRedraw:
        if (SetUpSurface(*playback) >= 0) Display(*playback);
        break;
    }
  }
}

void TPipeline::Refresh(TPlayback& playback) {
  if (playback.VideoStream) {
    int count;
    {
      std::lock_guard guard(playback.PictureLock);
      count = playback.PictureCount;
    }
    if (playback.Paused) {
      // The picture of the pause stays; the next one waits for the resume.
      playback.Events.ScheduleRefresh(10);
    } else if (count == 0) {
      playback.Events.ScheduleRefresh(1);
    } else {
      const double pts = playback.Picture.Pts;
      playback.CurrentPts = pts;
      playback.CurrentPtsTime = ff::av_gettime_relative();
      playback.Events.ScheduleRefresh(static_cast<int>(FrameDelay(playback, pts) * 1000 + 0.5));
      Display(playback);
      std::lock_guard guard(playback.PictureLock);
      --playback.PictureCount;
      playback.PictureChanged.notify_all();
    }
  } else if (playback.AudioStream) {
    playback.Events.ScheduleRefresh(40);
    Display(playback);
  } else {
    playback.Events.ScheduleRefresh(100);
    return;
  }
  playback.Owner.PositionUpdate(playback);
}

double TPipeline::AudioClock(const TPlayback& playback) {
  double clock = playback.AudioClock;
  const double bytesPerSecond = 2.0 * playback.AudioRate * playback.AudioChannels;
  const int unplayed = playback.AudioBlockSize - playback.AudioBlockIndex;
  if (bytesPerSecond != 0) clock -= unplayed / bytesPerSecond;
  return clock;
}

double TPipeline::VideoClock(const TPlayback& playback) {
  double clock = playback.CurrentPts;
  if (!playback.Paused) clock += (ff::av_gettime_relative() - playback.CurrentPtsTime) / 1000000.0;
  return clock;
}

double TPipeline::MasterClock(const TPlayback& playback) {
  return playback.AudioStream ? AudioClock(playback) : VideoClock(playback);
}

double TPipeline::FrameDelay(TPlayback& playback, double pts) {
  double delay = pts - playback.LastFramePts;
  if (delay <= 0 || delay >= 2.0)
    delay = playback.LastFrameDelay;  // a jump keeps the previous pace
  else
    playback.LastFrameDelay = delay;
  playback.LastFramePts = pts;

  if (playback.AudioStream) {
    const double diff = pts - MasterClock(playback);
    playback.LastShownDifference = diff;
    const double threshold = std::max(0.01, delay);
    if (std::fabs(diff) < 10.0) {
      if (diff <= -threshold)
        delay = 0;  // late: show the next picture at once
      else if (diff >= threshold)
        delay = 2 * delay;  // early: hold this one
    }
  }
  ++playback.ShownPictures;
  playback.FrameTimer += delay;
  return std::max(playback.FrameTimer - NowSeconds(), 0.01);
}

void TPipeline::TogglePause(TPlayback& playback) {
  const int64_t now = ff::av_gettime_relative();
  if (!playback.Paused) {
    // The video clock stops where it stands.
    playback.CurrentPts = VideoClock(playback);
    playback.CurrentPtsTime = now;
    playback.PausedAt = now;
    playback.Paused = true;
  } else {
    playback.FrameTimer += (now - playback.PausedAt) / 1000000.0;
    playback.CurrentPtsTime = now;
    playback.Paused = false;
  }
}

}  // namespace strella::player
