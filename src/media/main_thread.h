// The main thread's inbox. Workers never wait for the main thread: they post
// calls that carry copies of their values, and the main thread runs them in
// the order they were posted whenever it drains the inbox (the window on a
// wake-up posted to its event loop, the command line and tests in their own
// loops). Nothing here blocks a poster.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace strella::media {

// The thread that counts as the main thread: the one that started the
// process, unless SetMainThread names another (a test's own thread, say).
bool IsMainThread();
void SetMainThread();

// Called when the inbox gets its first call after being drained, so that the
// main thread's event loop drains it soon. Runs on the posting thread and
// must not wait.
void SetMainThreadWakeup(std::function<void()> wakeup);

// A component's way into the inbox. A call posted through a mailbox that has
// been closed is dropped, so no call reaches an owner that is gone: the owner
// closes its mailbox (its destructor does) on the main thread, where its
// calls run, before it frees what the calls use.
class TMainThreadMailbox {
 public:
  TMainThreadMailbox();
  ~TMainThreadMailbox() { Close(); }
  TMainThreadMailbox(const TMainThreadMailbox&) = delete;
  TMainThreadMailbox& operator=(const TMainThreadMailbox&) = delete;

  // Any thread; returns at once.
  void Post(std::function<void()> call) const;
  void Close() { open_->store(false); }

 private:
  std::shared_ptr<std::atomic<bool>> open_;
};

// Main thread: runs the calls posted before this call began, in order, and
// returns how many ran. A call that throws is logged and the rest still run.
int ProcessThreadMessages();

// A thread's own top-level loop (the command line's batch, tests): drains the
// inbox until done() is true or the timeout passes; returns done(). A
// component never calls this inside one of its operations: it would run
// other components' calls in the middle of its own.
bool WaitServingMainThread(const std::function<bool()>& done,
                           std::chrono::milliseconds timeout = std::chrono::milliseconds::max());

}  // namespace strella::media
