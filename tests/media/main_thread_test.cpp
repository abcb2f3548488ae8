#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "media/main_thread.h"

using namespace strella::media;

TEST(MainThread, WorkerCallsRunOnTheMainThreadWhileItWaits) {
  SetMainThread();
  const auto main = std::this_thread::get_id();
  std::atomic<int> wakeups{0};
  SetMainThreadWakeup([&] { wakeups++; });
  std::thread::id ranOn;
  std::thread worker([&] { RunOnMainThread([&] { ranOn = std::this_thread::get_id(); }); });
  JoinServingMainThread(worker);
  SetMainThreadWakeup(nullptr);
  EXPECT_EQ(ranOn, main);
  EXPECT_EQ(wakeups.load(), 1);
}

TEST(MainThread, CallOnTheMainThreadRunsAtOnceAndExceptionsReachTheCaller) {
  SetMainThread();
  bool ran = false;
  RunOnMainThread([&] { ran = true; });
  EXPECT_TRUE(ran);
  std::atomic<bool> caught{false};
  std::thread worker([&] {
    try {
      RunOnMainThread([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
  });
  JoinServingMainThread(worker);
  EXPECT_TRUE(caught);
}

TEST(MainThread, WaitServingGivesUpAtTheTimeout) {
  SetMainThread();
  EXPECT_FALSE(WaitServingMainThread([] { return false; }, std::chrono::milliseconds(20)));
  EXPECT_TRUE(WaitServingMainThread([] { return true; }, std::chrono::milliseconds(20)));
}
