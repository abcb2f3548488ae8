#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "media/ff.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/main_thread.h"

using namespace strella::media;

namespace {

struct Line {
  const void* sender;
  uint64_t thread;
  int64_t tag;
  TLogLevel level;
  std::string text;
  bool onMainThread;
};

// Records every delivered line; installs itself as the sink's handler.
class LogRecorder {
 public:
  LogRecorder() {
    strella::fixtures::EnsureLibraries();
    SetMainThread();
    TFFLogger::Instance().SetOnLog([this](const void* sender, uint64_t thread, int64_t tag, TLogLevel level,
                                          const std::string& text) {
      std::lock_guard guard(lock_);
      lines_.push_back({sender, thread, tag, level, text, IsMainThread()});
    });
  }
  ~LogRecorder() { TFFLogger::Instance().SetOnLog(nullptr); }
  // What the main thread has been handed so far.
  std::vector<Line> Lines() {
    ProcessThreadMessages();
    std::lock_guard guard(lock_);
    return lines_;
  }

 private:
  std::mutex lock_;
  std::vector<Line> lines_;
};

// Any object whose first member is an AVClass pointer is a logging context.
struct FakeContext {
  const AVClass* av_class;
};
const AVClass kFakeClass = {"fake", [](void*) { return "fake"; }, nullptr, LIBAVUTIL_VERSION_INT};

}  // namespace

TEST(LogLevels, MapToAndFromLibraryLevels) {
  const struct {
    int library;
    TLogLevel level;
  } cases[] = {{-8, llQuiet}, {-100, llQuiet}, {-7, llPanic}, {0, llPanic}, {7, llPanic}, {8, llFatal},
               {16, llError}, {23, llError},  {24, llWarning}, {32, llInfo}, {40, llVerbose}, {48, llDebug},
               {56, llDebug}};
  for (auto c : cases) EXPECT_EQ(LogLevelFromLibrary(c.library), c.level) << c.library;
  EXPECT_EQ(LibraryLogLevel(llQuiet), -8);
  EXPECT_EQ(LibraryLogLevel(llDebug), 48);
}

TEST(LogSink, SetLogLevelByName) {
  auto& sink = TFFLogger::Instance();
  sink.SetLogLevelByName("Warning");
  EXPECT_EQ(sink.LogLevel(), llWarning);
  sink.SetLogLevelByName("20");
  EXPECT_EQ(sink.LogLevel(), llError);
  EXPECT_THROW(sink.SetLogLevelByName("abc"), std::invalid_argument);
  sink.SetLogLevel(llInfo);
}

TEST(LogSink, LibraryLinesAreFilteredByLevel) {
  LogRecorder recorder;
  TFFLogger::Instance().SetLogLevel(llInfo);
  ff::av_log(nullptr, AV_LOG_VERBOSE, "dropped\n");
  ff::av_log(nullptr, AV_LOG_INFO, "kept\n");
  auto lines = recorder.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "kept");
  EXPECT_EQ(lines[0].level, llInfo);
  EXPECT_EQ(lines[0].sender, &TFFLogger::Instance());
}

TEST(LogSink, OwnMessagesAtVerbosePassUnlessQuiet) {
  LogRecorder recorder;
  int sender = 0;
  TFFLogger::Instance().SetLogLevel(llError);
  Log(&sender, llVerbose, "verbose while error");
  Log(&sender, llWarning, "warning while error");
  TFFLogger::Instance().SetLogLevel(llQuiet);
  Log(&sender, llVerbose, "verbose while quiet");
  TFFLogger::Instance().SetLogLevel(llInfo);
  auto lines = recorder.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "verbose while error");
  EXPECT_EQ(lines[0].sender, &sender);
}

TEST(LogSink, PartialLineGetsOnePrefixAndTwoLinesGiveTwoEvents) {
  LogRecorder recorder;
  FakeContext context{&kFakeClass};
  ff::av_log(&context, AV_LOG_ERROR, "first part, ");
  ff::av_log(&context, AV_LOG_ERROR, "second part\n");
  ff::av_log(nullptr, AV_LOG_ERROR, "line one\nline two\n");
  auto lines = recorder.Lines();
  ASSERT_EQ(lines.size(), 3u);
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "[fake @ %p]", static_cast<void*>(&context));
  EXPECT_EQ(lines[0].text, std::string(prefix) + "first part, second part");
  EXPECT_EQ(lines[1].text, "line one");
  EXPECT_EQ(lines[2].text, "line two");
}

TEST(LogSink, LongLinesAreDeliveredWhole) {
  LogRecorder recorder;
  const std::string longText(5000, 'x');
  ff::av_log(nullptr, AV_LOG_ERROR, "%s\n", longText.c_str());
  auto lines = recorder.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, longText);
}

TEST(LogSink, PartialLinesOfTwoThreadsStayApartAndArriveOnTheMainThread) {
  LogRecorder recorder;
  std::atomic<int> step{0};
  auto worker = [&](const char* name, int myTurn) {
    while (step.load() != myTurn) std::this_thread::yield();
    ff::av_log(nullptr, AV_LOG_ERROR, "%s begins ", name);
    step++;
    while (step.load() != myTurn + 2) std::this_thread::yield();
    ff::av_log(nullptr, AV_LOG_ERROR, "%s ends\n", name);
    step++;
  };
  // Interleaved: A begins, B begins, A ends, B ends.
  std::thread a(worker, "A", 0), b(worker, "B", 1);
  a.join();
  b.join();
  auto lines = recorder.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, "A begins A ends");
  EXPECT_EQ(lines[1].text, "B begins B ends");
  EXPECT_NE(lines[0].thread, lines[1].thread);
  for (auto& line : lines) EXPECT_TRUE(line.onMainThread);
}

// A library logs while it holds locks of its own (the codec lock around
// opening an encoder): the logging thread must not wait for a main thread
// that may itself be waiting for that lock.
TEST(LogSink, ALoggingThreadNeverWaitsForTheMainThreadAndKeepsItsTag) {
  LogRecorder recorder;
  std::timed_mutex codecLock;
  std::thread worker([&] {
    const TThreadLogTag tag(42);
    std::lock_guard held(codecLock);
    ff::av_log(nullptr, AV_LOG_ERROR, "logged inside a lock\n");
  });
  // The main thread waits for the lock without draining its inbox.
  ASSERT_TRUE(codecLock.try_lock_for(std::chrono::seconds(10))) << "the logging thread waited for the main thread";
  codecLock.unlock();
  worker.join();
  auto lines = recorder.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "logged inside a lock");
  EXPECT_EQ(lines[0].tag, 42) << "the tag the thread had when it logged, though the thread is gone";
  EXPECT_TRUE(lines[0].onMainThread);
}

TEST(LogSink, SecondSinkIsRefused) {
  TFFLogger::Instance();
  try {
    TFFLogger second;
    FAIL() << "a second sink was created";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "Allow creating only one instance of TFFLogger.");
  }
}
