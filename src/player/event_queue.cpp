#include "player/event_queue.h"

namespace strella::player {

void TEventQueue::Post(const TPlayerEvent& event) {
  {
    std::lock_guard guard(lock_);
    events_.push_back(event);
  }
  changed_.notify_one();
}

void TEventQueue::ScheduleRefresh(int delayMs) {
  {
    std::lock_guard guard(lock_);
    timers_.insert(Clock::now() + std::chrono::milliseconds(delayMs > 0 ? delayMs : 1));
  }
  changed_.notify_one();
}

TPlayerEvent TEventQueue::Wait() {
  std::unique_lock guard(lock_);
  for (;;) {
    if (!events_.empty()) {
      TPlayerEvent event = events_.front();
      events_.pop_front();
      return event;
    }
    if (!timers_.empty() && *timers_.begin() <= Clock::now()) {
      timers_.erase(timers_.begin());
      return TPlayerEvent{peRefresh};
    }
    if (timers_.empty())
      changed_.wait(guard);
    else
      changed_.wait_until(guard, *timers_.begin());
  }
}

int TEventQueue::PendingTimers() const {
  std::lock_guard guard(lock_);
  return static_cast<int>(timers_.size());
}

}  // namespace strella::player
