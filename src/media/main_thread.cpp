#include "media/main_thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace strella::media {
namespace {

struct QueuedCall {
  std::function<void()> call;
  std::exception_ptr error;
  bool done = false;
};

struct MainThreadQueue {
  std::mutex lock;
  std::condition_variable changed;  // a call was queued or finished
  std::deque<std::shared_ptr<QueuedCall>> calls;
  uint64_t wakes = 0;  // counts the ends of joined workers, so a waiting main thread sees them at once
  std::function<void()> wakeup;
  std::thread::id mainThread = std::this_thread::get_id();
};

MainThreadQueue& Queue() {
  static MainThreadQueue queue;
  return queue;
}

// Taken at start-up, on the thread that runs static initialisation.
[[maybe_unused]] const bool kMainThreadNoted = (Queue(), true);

}  // namespace

bool IsMainThread() {
  std::lock_guard guard(Queue().lock);
  return Queue().mainThread == std::this_thread::get_id();
}

void SetMainThread() {
  std::lock_guard guard(Queue().lock);
  Queue().mainThread = std::this_thread::get_id();
}

void SetMainThreadWakeup(std::function<void()> wakeup) {
  std::lock_guard guard(Queue().lock);
  Queue().wakeup = std::move(wakeup);
}

void RunOnMainThread(const std::function<void()>& call) {
  if (IsMainThread()) {
    call();
    return;
  }
  auto item = std::make_shared<QueuedCall>();
  item->call = call;
  std::function<void()> wakeup;
  {
    std::lock_guard guard(Queue().lock);
    Queue().calls.push_back(item);
    wakeup = Queue().wakeup;
  }
  Queue().changed.notify_all();
  if (wakeup) wakeup();
  std::unique_lock guard(Queue().lock);
  Queue().changed.wait(guard, [&] { return item->done; });
  if (item->error) std::rethrow_exception(item->error);
}

int ProcessThreadMessages() {
  int ran = 0;
  for (;;) {
    std::shared_ptr<QueuedCall> item;
    {
      std::lock_guard guard(Queue().lock);
      if (Queue().calls.empty()) break;
      item = Queue().calls.front();
      Queue().calls.pop_front();
    }
    try {
      item->call();
    } catch (...) {
      item->error = std::current_exception();
    }
    {
      std::lock_guard guard(Queue().lock);
      item->done = true;
    }
    Queue().changed.notify_all();
    ++ran;
  }
  return ran;
}

bool WaitServingMainThread(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const bool forever = timeout == std::chrono::milliseconds::max();
  const auto deadline = forever ? Clock::time_point::max() : Clock::now() + timeout;
  // done() may depend on other locks, so it is polled outside the queue lock;
  // a short wait on the queue keeps hand-overs prompt.
  constexpr auto kPoll = std::chrono::milliseconds(2);
  for (;;) {
    ProcessThreadMessages();
    uint64_t seen = 0;
    {
      std::lock_guard guard(Queue().lock);
      seen = Queue().wakes;
    }
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    std::unique_lock guard(Queue().lock);
    Queue().changed.wait_for(guard, kPoll, [seen] { return !Queue().calls.empty() || Queue().wakes != seen; });
  }
}

void JoinServingMainThread(std::thread& worker) {
  if (!worker.joinable()) return;
  if (IsMainThread()) {
    auto finished = std::make_shared<std::atomic<bool>>(false);
    // The worker's end is seen by polling joinability through a flag set by a
    // helper thread that joins it; the main thread keeps serving meanwhile.
    std::thread joiner([&worker, finished] {
      worker.join();
      finished->store(true);
      {
        std::lock_guard guard(Queue().lock);
        ++Queue().wakes;
      }
      Queue().changed.notify_all();
    });
    WaitServingMainThread([&] { return finished->load(); });
    joiner.join();
    return;
  }
  worker.join();
}

}  // namespace strella::media
