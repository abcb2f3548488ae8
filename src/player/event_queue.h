// The playback thread's event queue: events posted by the pipeline, the
// player and the host, plus refresh timers that turn into refresh events
// when they fall due.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

namespace strella::player {

enum TPlayerEventKind {
  peQuitApplication = 12,  // the host is closing
  peResize = 16,           // the display area changed size
  peExpose = 17,           // the host wants the picture painted again
  peAllocate = 24,         // make the picture-queue overlay
  peRefresh = 25,          // show the next picture when due
  peQuit = 26,             // close the playback
  peRedraw = 27,           // set the surface up again and redraw
};

struct TPlayerEvent {
  TPlayerEventKind Kind;
  int Width = 0, Height = 0;  // peResize
};

class TEventQueue {
 public:
  using Clock = std::chrono::steady_clock;

  void Post(const TPlayerEvent& event);
  // A refresh event after this many milliseconds (0 counts as 1).
  void ScheduleRefresh(int delayMs);
  // Blocks until an event is posted or a refresh falls due.
  TPlayerEvent Wait();
  int PendingTimers() const;

 private:
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<TPlayerEvent> events_;
  std::multiset<Clock::time_point> timers_;
};

}  // namespace strella::player
