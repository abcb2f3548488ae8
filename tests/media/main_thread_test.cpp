#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "media/main_thread.h"

using namespace strella::media;

// A worker's post returns at once; the main thread runs the calls in order
// when it drains, and one wake-up covers every call posted before that.
TEST(MainThread, PostsNeverWaitAndRunInOrderOnTheMainThread) {
  SetMainThread();
  ProcessThreadMessages();
  const auto main = std::this_thread::get_id();
  std::atomic<int> wakeups{0};
  SetMainThreadWakeup([&] { wakeups++; });
  TMainThreadMailbox mailbox;
  std::vector<int> order;
  bool allOnMain = true;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i)
      mailbox.Post([&, i] {
        order.push_back(i);
        allOnMain = allOnMain && std::this_thread::get_id() == main;
      });
  });
  worker.join();  // ends although nobody has run its calls
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(wakeups.load(), 1);
  EXPECT_EQ(ProcessThreadMessages(), 3);
  SetMainThreadWakeup(nullptr);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(allOnMain);
}

// An owner that is gone closed its mailbox: calls still on their way are
// dropped; a call that throws does not stop the others.
TEST(MainThread, ClosedMailboxesDropTheirCallsAndAThrowingCallIsContained) {
  SetMainThread();
  ProcessThreadMessages();
  int ran = 0;
  auto owner = std::make_unique<TMainThreadMailbox>();
  TMainThreadMailbox other;
  owner->Post([&] { ++ran; });
  other.Post([] { throw std::runtime_error("boom"); });
  other.Post([&] { ran += 10; });
  owner.reset();
  ProcessThreadMessages();
  ProcessThreadMessages();  // the failure's own log line
  EXPECT_EQ(ran, 10);
}

TEST(MainThread, WaitServingGivesUpAtTheTimeout) {
  SetMainThread();
  EXPECT_FALSE(WaitServingMainThread([] { return false; }, std::chrono::milliseconds(20)));
  EXPECT_TRUE(WaitServingMainThread([] { return true; }, std::chrono::milliseconds(20)));
}
