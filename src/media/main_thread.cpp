#include "media/main_thread.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "media/logger.h"

namespace strella::media {
namespace {

struct TPostedCall {
  std::shared_ptr<std::atomic<bool>> open;  // the mailbox's state
  std::function<void()> call;
};

// The inbox lock is a leaf: nothing else is locked and no call is run while
// it is held.
struct TInbox {
  std::mutex lock;
  std::condition_variable posted;
  std::deque<TPostedCall> calls;
  bool wakeSent = false;  // a wake-up went out and the inbox has not been drained since
  std::function<void()> wakeup;
  std::thread::id mainThread = std::this_thread::get_id();
};

TInbox& Inbox() {
  static TInbox inbox;
  return inbox;
}

// Taken at start-up, on the thread that runs static initialisation.
[[maybe_unused]] const bool kMainThreadNoted = (Inbox(), true);

// The wake-up to send now, if the main thread has not been woken already.
std::function<void()> TakeWakeup(TInbox& inbox) {
  if (inbox.wakeSent || inbox.calls.empty() || !inbox.wakeup) return nullptr;
  inbox.wakeSent = true;
  return inbox.wakeup;
}

void Enqueue(TPostedCall item) {
  TInbox& inbox = Inbox();
  std::function<void()> wakeup;
  {
    std::lock_guard guard(inbox.lock);
    inbox.calls.push_back(std::move(item));
    wakeup = TakeWakeup(inbox);
  }
  inbox.posted.notify_all();
  if (wakeup) wakeup();
}

bool TakeNext(TPostedCall& item) {
  TInbox& inbox = Inbox();
  std::lock_guard guard(inbox.lock);
  if (inbox.calls.empty()) return false;
  item = std::move(inbox.calls.front());
  inbox.calls.pop_front();
  return true;
}

void RunPosted(const TPostedCall& item) {
  if (!item.open->load()) return;
  try {
    item.call();
  } catch (const std::exception& error) {
    Log(nullptr, llError, std::string("A call on the main thread failed: ") + error.what());
  }
}

}  // namespace

bool IsMainThread() {
  std::lock_guard guard(Inbox().lock);
  return Inbox().mainThread == std::this_thread::get_id();
}

void SetMainThread() {
  std::lock_guard guard(Inbox().lock);
  Inbox().mainThread = std::this_thread::get_id();
}

void SetMainThreadWakeup(std::function<void()> wakeup) {
  std::lock_guard guard(Inbox().lock);
  Inbox().wakeup = std::move(wakeup);
  Inbox().wakeSent = false;
}

TMainThreadMailbox::TMainThreadMailbox() : open_(std::make_shared<std::atomic<bool>>(true)) {}

void TMainThreadMailbox::Post(std::function<void()> call) const {
  if (!open_->load()) return;
  Enqueue({open_, std::move(call)});
}

int ProcessThreadMessages() {
  TInbox& inbox = Inbox();
  size_t budget = 0;
  {
    std::lock_guard guard(inbox.lock);
    inbox.wakeSent = false;
    budget = inbox.calls.size();
  }
  // Only what was there at the start: a worker that keeps posting cannot
  // keep the main thread here for ever.
  int ran = 0;
  TPostedCall item;
  while (static_cast<size_t>(ran) < budget && TakeNext(item)) {
    RunPosted(item);
    item = {};
    ++ran;
  }
  std::function<void()> wakeup;
  {
    std::lock_guard guard(inbox.lock);
    wakeup = TakeWakeup(inbox);
  }
  if (wakeup) wakeup();
  return ran;
}

bool WaitServingMainThread(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const bool forever = timeout == std::chrono::milliseconds::max();
  const auto deadline = forever ? Clock::time_point::max() : Clock::now() + timeout;
  // done() may depend on state that changes without a post (a flag a worker
  // sets), so it is polled as well.
  constexpr auto kPoll = std::chrono::milliseconds(2);
  for (;;) {
    ProcessThreadMessages();
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    std::unique_lock guard(Inbox().lock);
    Inbox().posted.wait_for(guard, kPoll, [] { return !Inbox().calls.empty(); });
  }
}

}  // namespace strella::media
