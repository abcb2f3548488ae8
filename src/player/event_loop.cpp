// The playback thread's side: the event loop, refresh scheduling, the
// clocks, the frame-delay rule and pausing.
#include <cmath>

#include "media/ff.h"
#include "player/playback.h"

namespace strella::player {
namespace {
double NowSeconds() { return ff::av_gettime_relative() / 1000000.0; }

// The first picture after a seek is due now, at the pace of the pictures
// before it: the jump of the seek is no frame delay (a jump of under two
// seconds would otherwise hold this picture for that long).
void RestartFrameTiming(TPlayback& playback, double pts) {
  playback.FrameTimer = NowSeconds();
  playback.LastFramePts = pts - playback.LastFrameDelay;
}

// Frees the queue's entry for the next picture.
void TakePicture(TPlayback& playback) {
  std::lock_guard guard(playback.PictureLock);
  --playback.PictureCount;
  playback.PictureStale = false;  // the queue is empty: nothing old is left in it
  playback.PictureChanged.notify_all();
}

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
    bool stale, restart, showPaused;
    {
      std::lock_guard guard(playback.PictureLock);
      count = playback.PictureCount;
      stale = playback.PictureStale;
      restart = count > 0 && !stale && !playback.Paused && playback.RestartTiming;
      if (restart) playback.RestartTiming = false;
      // While paused: a picture from before a seek goes unseen.
      if (playback.Paused && playback.DropUntilFlush) stale = stale || count > 0;
      showPaused = count > 0 && !stale && playback.Paused && playback.ShowWhilePaused;
      if (count > 0 && !stale) playback.ShowWhilePaused = false;
    }
    if (playback.Paused && stale) {
      playback.Events.ScheduleRefresh(1);
      TakePicture(playback);
    } else if (showPaused) {
      // The first picture of a seek made while paused: shown at once, the
      // clock stands at it; the pictures after it wait for the resume.
      playback.CurrentPts = playback.Picture.Pts;
      playback.CurrentPtsTime = ff::av_gettime_relative();
      playback.Events.ScheduleRefresh(10);
      Display(playback);
      TakePicture(playback);
    } else if (playback.Paused) {
      // The picture of the pause stays; the next one waits for the resume.
      playback.Events.ScheduleRefresh(10);
    } else if (count == 0) {
      playback.Events.ScheduleRefresh(1);
    } else if (stale) {
      // Decoded before a seek: make room for the pictures of the new position.
      playback.Events.ScheduleRefresh(1);
      TakePicture(playback);
    } else {
      const double pts = playback.Picture.Pts;
      if (restart) RestartFrameTiming(playback, pts);
      playback.CurrentPts = pts;
      playback.CurrentPtsTime = ff::av_gettime_relative();
      playback.Events.ScheduleRefresh(static_cast<int>(FrameDelay(playback, pts) * 1000 + 0.5));
      Display(playback);
      TakePicture(playback);
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
