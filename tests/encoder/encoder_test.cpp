// The encoder component on real files: task list, runs in both modes,
// stopping, events and their threads, and what a run leaves behind.
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "encoder/encoder.h"
#include "fixtures.h"
#include "media/main_thread.h"
#include "media/text_helpers.h"

using namespace strella;
using namespace strella::encoder;
using namespace std::chrono_literals;

namespace {

struct TerminateRecord {
  int index;
  bool finished;
  bool exception;
  std::string message;
  std::thread::id thread;
};

// Records the terminate events of one component; thread-safe.
class Events {
 public:
  explicit Events(TFFmpegEncoder& encoder) {
    encoder.OnTerminate = [this](int AIndex, bool AFinished, bool AException,
                                 const std::string& AMessage) {
      std::lock_guard guard(lock_);
      records_.push_back({AIndex, AFinished, AException, AMessage, std::this_thread::get_id()});
    };
  }
  std::vector<TerminateRecord> Records() {
    std::lock_guard guard(lock_);
    return records_;
  }
  size_t Count() { return Records().size(); }
  std::vector<int> Indices() {
    std::vector<int> indices;
    for (const auto& r : Records()) indices.push_back(r.index);
    return indices;
  }
  bool HasFinal() {
    for (const auto& r : Records()) {
      if (r.index == -1) return true;
    }
    return false;
  }
  // Waits, serving the main thread, until count events arrived.
  bool WaitFor(size_t count, std::chrono::milliseconds timeout = 20s) {
    return media::WaitServingMainThread([&] { return Count() >= count; }, timeout);
  }
  const TerminateRecord* Find(int index) {
    std::lock_guard guard(lock_);
    for (const auto& r : records_) {
      if (r.index == index) return &r;
    }
    return nullptr;
  }

 private:
  std::mutex lock_;
  std::vector<TerminateRecord> records_;
};

// Lets a test hand pictures to the main thread from a conversion thread the
// way the engine's preview path does: at every progress report of a task.
class HandOverEncoder : public TFFmpegEncoder {
 public:
  void HandOverAtProgress(int index, media::TBitmap* bitmap) {
    TFFmpeg& task = *Task(index);
    task.ProgressCallback = [this, progress = task.ProgressCallback, bitmap](
                                engine::TCustomFFmpeg* sender, int frame, int fps, int time,
                                float quality, float bitRate, int64_t size, int total) {
      TaskPreviewBitmap(sender, bitmap, frame, int64_t{time} * 1000);
      progress(sender, frame, fps, time, quality, bitRate, size, total);
    };
  }
  // With pauseAfter set, a task with a custom hook hands every frame over
  // and holds (paused) after pauseAfter of them.
  void TaskCustomHook(engine::TCustomFFmpeg* sender, media::TBitmap* bitmap, int frame, int64_t pts, bool& update,
                      bool& stop) override {
    if (pauseAfter == 0) return TFFmpegEncoder::TaskCustomHook(sender, bitmap, frame, pts, update, stop);
    TaskPreviewBitmap(sender, bitmap, frame, pts);
    if (++handedOver == pauseAfter) sender->Pause();
    update = false;
  }
  std::atomic<int> handedOver{0};
  int pauseAfter = 0;
};

class EncoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::EnsureLibraries();
    media::SetMainThread();
    ASSERT_TRUE(encoder_.LoadLibraries()) << encoder_.LastErrMsg();
    dir_ = fixtures::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  // A task from input into dir/name with the codecs given ("copy" for stream copy); its index.
  int AddTask(const std::string& name, const std::string& input, const std::string& video,
              const std::string& audio = "", bool customHook = false) {
    const int index = encoder_.AddInput(input);
    EXPECT_GE(index, 0) << encoder_.LastErrMsg();
    if (index < 0) return index;
    TOutputOptions out = DefaultOutputOptions();
    out.VideoCodec = video;
    out.AudioCodec = audio;
    out.CustomHook = customHook;
    EXPECT_TRUE(encoder_.SetOutput(index, dir_ + "/" + name, out)) << encoder_.LastErrMsg();
    return index;
  }
  // 20 s at 160x120: long enough to stop while it converts.
  static std::string LongClip() {
    return fixtures::Make({.file_name = "encoder_long.mp4",
                           .duration = 20.0,
                           .video = fixtures::VideoSpec{.width = 160, .height = 120}});
  }
  int AddCopyTask(const std::string& name) {
    return AddTask(name, fixtures::Path("clip.mp4"), "copy", "copy");
  }

  HandOverEncoder encoder_;
  std::string dir_;
};

}  // namespace

TEST_F(EncoderTest, AddInputFailuresAndRecordFileName) {
  TInputOptions in = DefaultInputOptions();
  const std::string missing = dir_ + "/missing.mp4";
  EXPECT_EQ(encoder_.AddInput(missing, in), -1);
  EXPECT_EQ(encoder_.TaskCount(), 0);
  EXPECT_NE(encoder_.LastErrMsg().find("no such file or directory"), std::string::npos)
      << encoder_.LastErrMsg();

  in = DefaultInputOptions();
  in.FileFormat = "no-such-format";
  EXPECT_EQ(encoder_.AddInput(fixtures::Path("clip.mp4"), in), -1);
  EXPECT_EQ(encoder_.LastErrMsg(), "Unknown input format: no-such-format");

  in = DefaultInputOptions();
  EXPECT_EQ(encoder_.AddInput(fixtures::Path("clip.mp4"), in), 0);
  EXPECT_EQ(in.FileName, fixtures::Path("clip.mp4"));
  EXPECT_EQ(encoder_.Task(0)->InputOptions.FileName, in.FileName);
  // A success keeps the last error; only ClearTasks empties it.
  EXPECT_FALSE(encoder_.LastErrMsg().empty());
  EXPECT_EQ(encoder_.AddInput(fixtures::Path("clip.mp4")), 1);
  try {
    encoder_.SetOutput(5, dir_ + "/x.mp4");
    ADD_FAILURE();
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (5)");
  }
  encoder_.ClearTasks();
  EXPECT_EQ(encoder_.TaskCount(), 0);
  EXPECT_EQ(encoder_.LastErrMsg(), "");
}

TEST_F(EncoderTest, SetOutputFailureKeepsTheTaskAndReportsTheHandlerMessage) {
  const int index = encoder_.AddInput(fixtures::Path("clip.mp4"));
  TOutputOptions out = DefaultOutputOptions();
  out.FrameSize = "641x480";
  EXPECT_FALSE(encoder_.SetOutput(index, dir_ + "/x.mp4", out));
  EXPECT_EQ(encoder_.LastErrMsg(), "Frame size must be a multiple of 2");
  EXPECT_EQ(encoder_.TaskCount(), 1);
  EXPECT_EQ(out.FileName, dir_ + "/x.mp4");

  out = DefaultOutputOptions();
  out.VideoPreset = "hq";
  EXPECT_FALSE(encoder_.SetOutput(index, dir_ + "/x.mp4", out));
  EXPECT_EQ(encoder_.LastErrMsg(), "Preset \"hq\" not found");
  out = DefaultOutputOptions();
  out.Target = 3;
  out.ExtOptions = "target=cd";
  EXPECT_FALSE(encoder_.SetOutput(index, dir_ + "/x.mp4", out));
  EXPECT_EQ(encoder_.LastErrMsg(), "Unknown target type");
}

TEST_F(EncoderTest, EachSetOutputAddsAFileUpToTwenty) {
  const int index = encoder_.AddInput(fixtures::Path("clip.mp4"));
  for (int i = 0; i < 20; ++i)
    ASSERT_TRUE(encoder_.SetOutput(index, dir_ + "/out" + std::to_string(i) + ".mkv")) << encoder_.LastErrMsg();
  EXPECT_FALSE(encoder_.SetOutput(index, dir_ + "/out20.mkv"));
  EXPECT_EQ(encoder_.LastErrMsg(), "Too many output files: at most 20 are allowed");
}

TEST_F(EncoderTest, PropertiesAndTheirDefaults) {
  EXPECT_EQ(TFFmpegEncoder::Version(), "2.5");
  EXPECT_EQ(encoder_.ProgressInterval(), 500);
  encoder_.SetProgressInterval(50);
  EXPECT_EQ(encoder_.ProgressInterval(), 100);
  encoder_.SetProgressInterval(250);
  EXPECT_EQ(encoder_.ProgressInterval(), 250);
  EXPECT_EQ(encoder_.ThreadPriority(), tpNormal);
  EXPECT_FALSE(encoder_.Preview());
  EXPECT_FALSE(encoder_.PreviewBitmap());
  EXPECT_EQ(encoder_.Verbose(), 1);

  const int index = encoder_.AddInput(fixtures::Path("clip.mp4"));
  encoder_.SetPreviewBitmap(true);
  EXPECT_EQ(encoder_.Task(index)->PreviewFlags(), engine::kPreviewBitmap);
  encoder_.SetPreviewBitmap(false);
  EXPECT_EQ(encoder_.Task(index)->PreviewFlags(), 0);
}

TEST_F(EncoderTest, SynchronousRunDeliversEverythingOnTheMainThreadWhenItDrains) {
  Events events(encoder_);
  AddCopyTask("a.mkv");
  AddCopyTask("b.mkv");
  encoder_.StartTasks(0);
  EXPECT_EQ(events.Count(), 0u) << "no handler runs inside the start";
  media::ProcessThreadMessages();
  EXPECT_EQ(events.Indices(), (std::vector<int>{0, 1, -1}));
  for (const auto& r : events.Records()) {
    EXPECT_TRUE(r.finished) << r.index << " " << r.message;
    EXPECT_FALSE(r.exception);
    EXPECT_EQ(r.thread, std::this_thread::get_id());
  }
  EXPECT_GT(media::FileSizeW(dir_ + "/a.mkv"), 0);
  EXPECT_GT(media::FileSizeW(dir_ + "/b.mkv"), 0);
  // A task runs once: a second start raises nothing.
  encoder_.StartTasks(0);
  encoder_.StartTasks(1);
  media::WaitServingMainThread([] { return false; }, 50ms);
  EXPECT_EQ(events.Count(), 3u);
}

TEST_F(EncoderTest, ParallelCountOneRunsInOrderAndEndsWithTheFinalEvent) {
  Events events(encoder_);
  // Progress events come from the conversions themselves, in the order they run.
  std::mutex lock;
  std::vector<int> progress;
  encoder_.OnProgress = [&](int AIndex, int, int, int, float, float, int64_t, int) {
    std::lock_guard guard(lock);
    if (progress.empty() || progress.back() != AIndex) progress.push_back(AIndex);
  };
  AddCopyTask("a.mkv");
  AddCopyTask("b.mkv");
  encoder_.StartTasks(1);
  ASSERT_TRUE(events.WaitFor(3));
  encoder_.ClearTasks();
  // Task 1 starts only when task 0 has terminated; the events arrive on the
  // main thread in the order they happened.
  EXPECT_EQ(progress, (std::vector<int>{0, 1}));
  EXPECT_EQ(events.Indices(), (std::vector<int>{0, 1, -1}));
  for (const auto& r : events.Records()) {
    EXPECT_TRUE(r.finished) << r.index << " " << r.message;
    EXPECT_EQ(r.thread, std::this_thread::get_id());
  }
}

TEST_F(EncoderTest, ThreeTasksTwoAtATimeRaiseExactlyFourTerminateEvents) {
  Events events(encoder_);
  for (const char* name : {"a.mkv", "b.mkv", "c.mkv"}) AddCopyTask(name);
  encoder_.StartTasks(2);
  ASSERT_TRUE(events.WaitFor(4));
  EXPECT_FALSE(events.WaitFor(5, 200ms)) << "a fifth terminate event";  // serves the main thread meanwhile
  encoder_.ClearTasks();
  const auto records = events.Records();
  ASSERT_EQ(records.size(), 4u);
  for (int index : {0, 1, 2, -1}) {
    ASSERT_NE(events.Find(index), nullptr) << index;
    EXPECT_TRUE(events.Find(index)->finished);
  }
}

TEST_F(EncoderTest, TaskWithoutOutputIsRefusedAndTheNextOneRuns) {
  Events events(encoder_);
  ASSERT_EQ(encoder_.AddInput(fixtures::Path("clip.mp4")), 0);
  AddCopyTask("b.mkv");
  encoder_.StartTasks(1);
  ASSERT_TRUE(events.WaitFor(3));
  const auto* refused = events.Find(0);
  ASSERT_NE(refused, nullptr);
  EXPECT_FALSE(refused->finished);
  EXPECT_TRUE(refused->exception);
  EXPECT_EQ(refused->message, "At least one output file must be specified");
  ASSERT_NE(events.Find(1), nullptr);
  EXPECT_TRUE(events.Find(1)->finished);
  EXPECT_TRUE(events.HasFinal());
}

TEST_F(EncoderTest, RemovingTaskZeroRenumbersTheOthers) {
  Events events(encoder_);
  AddCopyTask("a.mkv");
  AddCopyTask("b.mkv");
  AddCopyTask("c.mkv");
  encoder_.RemoveTask(0);
  ASSERT_EQ(encoder_.TaskCount(), 2);
  EXPECT_EQ(encoder_.Task(0)->Index, 0);
  EXPECT_EQ(encoder_.Task(1)->Index, 1);
  EXPECT_EQ(encoder_.Task(0)->OutputOptions.FileName, dir_ + "/b.mkv");
  encoder_.StartTasks(0);
  media::ProcessThreadMessages();
  EXPECT_EQ(events.Indices(), (std::vector<int>{0, 1, -1}));
  EXPECT_FALSE(media::FileExists(dir_ + "/a.mkv"));  // freed before it ran: empty file removed
  EXPECT_GT(media::FileSizeW(dir_ + "/c.mkv"), 0);
}

TEST_F(EncoderTest, StopWithWaitWhileOneRunsAndTwoWait) {
  Events events(encoder_);
  const std::string longClip = LongClip();
  for (const char* name : {"a.mkv", "b.mkv", "c.mkv"}) AddTask(name, longClip, "mpeg4");
  encoder_.StartTasks(1);
  encoder_.PauseTasks();  // holds task 0 at the head of its loop
  encoder_.StopTasks(true);
  ASSERT_TRUE(events.WaitFor(4));
  encoder_.ClearTasks();
  for (int index : {0, 1, 2}) {
    const auto* r = events.Find(index);
    ASSERT_NE(r, nullptr) << index;
    EXPECT_FALSE(r->finished) << index;
    EXPECT_FALSE(r->exception) << index << " " << r->message;
  }
  ASSERT_NE(events.Find(-1), nullptr);
  EXPECT_TRUE(events.Find(-1)->finished);
  EXPECT_EQ(events.Count(), 4u);
}

// The main thread drains nothing until the stop has returned: the conversion
// never waits for it, and its pictures arrive afterwards on the main thread.
TEST_F(EncoderTest, StopWithWaitEndsWhileTheMainThreadServesNothing) {
  Events events(encoder_);
  std::atomic<int> previews{0};
  std::atomic<bool> offMainThread{false};
  encoder_.OnPreviewBitmap = [&](int AIndex, media::TBitmap* ABitmap, int AFrameNumber,
                                 int64_t APTS) {
    if (!media::IsMainThread()) offMainThread = true;
    EXPECT_EQ(AIndex, 0);
    EXPECT_NE(ABitmap, nullptr);
    EXPECT_GT(AFrameNumber, 0);
    EXPECT_GE(APTS, 0);
    previews++;
  };
  const std::string longClip = LongClip();
  encoder_.pauseAfter = 5;  // holds the conversion short of its end
  AddTask("p.mp4", longClip, "mpeg4", "aac", true);
  encoder_.StartTasks(1);
  ASSERT_TRUE(fixtures::WaitUntil([&] { return encoder_.handedOver >= 5; }, 20s));
  encoder_.StopTasks(true);
  EXPECT_EQ(previews.load(), 0);
  ASSERT_TRUE(events.WaitFor(2));
  EXPECT_FALSE(offMainThread);
  EXPECT_GE(previews.load(), 1);
  EXPECT_FALSE(events.Find(0)->finished);
  EXPECT_FALSE(events.Find(0)->exception);
}

// A stopped and cleared run's notices are still in the main thread's inbox
// when the next run starts: they are dropped, so they cannot be taken for the
// new task's, which has the same index.
TEST_F(EncoderTest, NoticesOfAClearedRunAreNotDelivered) {
  Events events(encoder_);
  const std::string longClip = LongClip();
  AddTask("stopped.mp4", longClip, "mpeg4");
  encoder_.StartTasks(1);
  encoder_.StopTasks(true);
  encoder_.ClearTasks();
  AddCopyTask("next.mkv");
  encoder_.StartTasks(1);
  ASSERT_TRUE(events.WaitFor(2));
  media::WaitServingMainThread([] { return false; }, 100ms);
  ASSERT_EQ(events.Indices(), (std::vector<int>{0, -1}));
  EXPECT_TRUE(events.Find(0)->finished) << "the new task's own end, not the stopped one's";
}

// Two different inputs converting side by side, each handing its own picture
// to the main thread: every delivery must show its own task's values.
TEST_F(EncoderTest, EventsCarryTheValuesOfTheirOwnCall) {
  const std::string small = fixtures::Make({.file_name = "encoder_small.mp4",
                                            .duration = 1.0,
                                            .video = fixtures::VideoSpec{.width = 64,
                                                                         .height = 48}});
  const std::string inputs[2] = {fixtures::Path("clip.mp4"), small};
  const int widths[2] = {320, 64};
  const int durations[2] = {2000, 1000};
  std::mutex lock;
  std::vector<std::pair<int, int64_t>> progress;  // index, size
  std::vector<std::pair<int, int>> previews;      // index, frame number
  encoder_.OnProgress = [&](int AIndex, int AFrameNumber, int, int ACurrentDuration, float,
                            float, int64_t ACurrentSize, int ATotalOutputDuration) {
    std::lock_guard guard(lock);
    ASSERT_TRUE(AIndex == 0 || AIndex == 1);
    EXPECT_GE(AFrameNumber, 1);
    EXPECT_GE(ACurrentDuration, 0);
    EXPECT_NEAR(ATotalOutputDuration, durations[AIndex], 100) << AIndex;
    progress.emplace_back(AIndex, ACurrentSize);
  };
  encoder_.OnPreviewBitmap = [&](int AIndex, media::TBitmap* ABitmap, int AFrameNumber,
                                 int64_t) {
    ASSERT_TRUE(AIndex == 0 || AIndex == 1);
    EXPECT_EQ(ABitmap->Width(), widths[AIndex]);
    previews.emplace_back(AIndex, AFrameNumber);
  };
  encoder_.SetProgressInterval(100);
  Events events(encoder_);
  media::TBitmap bitmaps[2] = {media::TBitmap(320, 240), media::TBitmap(64, 48)};
  for (int i : {0, 1}) {
    AddTask(std::to_string(i) + ".mp4", inputs[i], "mpeg4");
    encoder_.HandOverAtProgress(i, &bitmaps[i]);
  }
  encoder_.StartTasks(2);
  ASSERT_TRUE(events.WaitFor(3));
  encoder_.ClearTasks();
  // Per task, frame numbers never fall and the last progress has the size reached.
  for (int task : {0, 1}) {
    int lastFrame = 0;
    int64_t lastSize = -1;
    for (const auto& [index, frame] : previews) {
      if (index != task) continue;
      EXPECT_GE(frame, lastFrame) << task;
      lastFrame = frame;
    }
    for (const auto& [index, size] : progress) {
      if (index == task) lastSize = size;
    }
    EXPECT_GT(lastFrame, 0) << task;
    EXPECT_GT(lastSize, 0) << task;
    EXPECT_LE(lastSize, media::FileSizeW(dir_ + "/" + std::to_string(task) + ".mp4")) << task;
  }
}

TEST_F(EncoderTest, ManyRunsLeaveNoThreadOrFileDescriptor) {
  Events events(encoder_);
  const std::string tiny = fixtures::Make({.file_name = "encoder_tiny.mkv",
                                           .duration = 0.2,
                                           .video = fixtures::VideoSpec{.width = 64, .height = 48},
                                           .audio = fixtures::AudioSpec{.codec = "mp2"}});
  auto cycle = [&](int i) {
    const size_t before = events.Count();
    // Odd cycles re-encode, so codecs are opened and closed too.
    const bool copy = i % 2 == 0;
    ASSERT_GE(AddTask("o" + std::to_string(i % 2) + ".mkv", tiny, copy ? "copy" : "mpeg4",
                      copy ? "copy" : "mp2"),
              0);
    encoder_.StartTasks(1);
    ASSERT_TRUE(events.WaitFor(before + 2));
    encoder_.ClearTasks();
  };
  cycle(0);  // the first run loads what stays loaded
  const int threads = fixtures::CountThreads();
  const int fds = fixtures::CountOpenFiles();
  for (int i = 1; i <= 30; ++i) cycle(i);
  EXPECT_EQ(fixtures::CountThreads(), threads);
  EXPECT_EQ(fixtures::CountOpenFiles(), fds);
}

TEST_F(EncoderTest, DestroyingTheComponentStopsARunningTask) {
  auto encoder = std::make_unique<TFFmpegEncoder>();
  ASSERT_TRUE(encoder->LoadLibraries());
  std::atomic<int> terminated{0};
  encoder->OnTerminate = [&](int, bool, bool, const std::string&) { terminated++; };
  encoder->SetPreviewBitmap(true);
  encoder->OnPreviewBitmap = [](int, media::TBitmap*, int, int64_t) {};
  const int index = encoder->AddInput(fixtures::Path("clip.mp4"));
  TOutputOptions out = DefaultOutputOptions();
  out.VideoCodec = "mpeg4";
  ASSERT_TRUE(encoder->SetOutput(index, dir_ + "/d.mp4", out));
  encoder->StartTasks(1);
  encoder.reset();
  EXPECT_LE(terminated.load(), 2);
}

// Hook handlers run on the conversion; their exceptions are logged and the
// conversion goes on.
TEST_F(EncoderTest, CustomHookExceptionsAndStopRequests) {
  Events events(encoder_);
  std::atomic<int> calls{0};
  encoder_.OnCustomHook = [&](int AIndex, media::TBitmap* ABitmap, int, int64_t, bool&, bool&) {
    EXPECT_EQ(AIndex, 0);
    EXPECT_EQ(ABitmap->Width(), 320);
    calls++;
    throw std::runtime_error("handler failed");
  };
  auto addHookTask = [&](const std::string& name) {
    AddTask(name, fixtures::Path("clip.mp4"), "mpeg4", "copy", true);
  };
  std::atomic<int> framesWritten{0};
  encoder_.OnProgress = [&](int, int AFrameNumber, int, int, float, float, int64_t, int) {
    framesWritten = AFrameNumber;
  };
  addHookTask("raise.mp4");
  encoder_.StartTasks(0);
  media::ProcessThreadMessages();
  ASSERT_NE(events.Find(0), nullptr);
  EXPECT_TRUE(events.Find(0)->finished) << events.Find(0)->message;
  EXPECT_GT(calls.load(), 40);
  EXPECT_EQ(calls.load(), framesWritten.load());  // once for every frame

  encoder_.ClearTasks();
  calls = 0;
  encoder_.OnCustomHook = [&](int, media::TBitmap*, int, int64_t, bool& AUpdate,
                              bool& AStopHook) {
    calls++;
    AUpdate = false;
    AStopHook = true;
  };
  addHookTask("stop.mp4");
  encoder_.StartTasks(0);
  media::ProcessThreadMessages();
  EXPECT_EQ(calls.load(), 1);
}

TEST_F(EncoderTest, SynchronousPreviewArrivesOnTheMainThread) {
  std::atomic<int> previews{0};
  encoder_.OnPreviewBitmap = [&](int, media::TBitmap*, int, int64_t) {
    EXPECT_TRUE(media::IsMainThread());
    previews++;
  };
  encoder_.SetPreviewBitmap(true);
  AddTask("s.mp4", fixtures::Path("clip.mp4"), "mpeg4");
  encoder_.StartTasks(0);
  media::ProcessThreadMessages();
  EXPECT_GE(previews.load(), 1);
}

// The conversion thread (seen from its progress callback) runs at the priority chosen.
TEST_F(EncoderTest, ConversionThreadsRunAtTheChosenPriority) {
  struct Case {
    TConvertPriority priority;
    int policy;
    int nice;
  };
  const int normalNice = getpriority(PRIO_PROCESS, 0);
  for (const Case& c : {Case{tpLower, SCHED_OTHER, 10}, Case{tpLowest, SCHED_OTHER, 19},
                        Case{tpIdle, SCHED_IDLE, -100}, Case{tpNormal, SCHED_OTHER, normalNice}}) {
    Events events(encoder_);
    std::atomic<int> policy{-1}, nice{-100}, reports{0};
    encoder_.SetThreadPriority(c.priority);
    TFFmpeg& task = *encoder_.Task(AddCopyTask("p.mkv"));
    task.ProgressCallback = [&, progress = task.ProgressCallback](engine::TCustomFFmpeg* sender, int frame, int fps,
                                                                  int time, float quality, float bitRate, int64_t size,
                                                                  int total) {
      policy = sched_getscheduler(0);
      nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
      reports++;
      progress(sender, frame, fps, time, quality, bitRate, size, total);
    };
    encoder_.StartTasks(1);
    ASSERT_TRUE(events.WaitFor(2));
    encoder_.ClearTasks();
    ASSERT_GT(reports.load(), 0);
    EXPECT_EQ(policy.load(), c.policy) << c.priority;
    if (c.policy == SCHED_OTHER) {
      EXPECT_EQ(nice.load(), c.nice) << c.priority;
    }
  }
}
