// The previewer: caption times, the window factory the user interface
// installs, showing on the main thread, and the user's close.
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "media/bitmap.h"
#include "media/ff.h"
#include "media/main_thread.h"
#include "media/previewer.h"

using namespace strella::media;

namespace {

struct Shown {
  std::string caption;
  int width;
  bool onMainThread;
};

// Records what a window would show; the test closes it as a user would.
struct Recorder {
  std::vector<Shown> shown;
  int windowsMade = 0;
  int windowsFreed = 0;
  bool freedOnMainThread = true;
  std::function<void()> userClosed;  // what the window calls when the user closes it
};

class RecordingWindow : public TPreviewWindow {
 public:
  explicit RecordingWindow(Recorder& recorder) : recorder_(recorder) { ++recorder_.windowsMade; }
  ~RecordingWindow() override {
    ++recorder_.windowsFreed;
    recorder_.freedOnMainThread = recorder_.freedOnMainThread && IsMainThread();
  }
  void ShowPicture(const TBitmap& ABitmap, const std::string& ACaption) override {
    recorder_.shown.push_back({ACaption, ABitmap.Width(), IsMainThread()});
  }

 private:
  Recorder& recorder_;
};

class PreviewerTest : public ::testing::Test {
 protected:
  void SetUp() override { SetMainThread(); }
  void TearDown() override { SetPreviewWindowFactory(nullptr); }
  void InstallRecorder() {
    SetPreviewWindowFactory([this](std::function<void()> userClosed) {
      recorder.userClosed = std::move(userClosed);
      return std::make_unique<RecordingWindow>(recorder);
    });
  }
  Recorder recorder;
  TBitmap bitmap{64, 48};
};

}  // namespace

TEST(FormatPreviewTime, HoursMinutesSecondsMilliseconds) {
  const struct {
    int64_t pts;
    const char* text;
  } cases[] = {
      {((1 * 60 + 2) * 60 + 3) * 1000000LL + 4000, "01:02:03.004"},
      {0, "00:00:00.000"},
      {999999, "00:00:00.999"},
      {100LL * 3600 * 1000000, "100:00:00.000"},
      {AV_NOPTS_VALUE, "N/A"},
  };
  for (auto c : cases) EXPECT_EQ(FormatPreviewTime(c.pts), c.text) << c.pts;
}

TEST_F(PreviewerTest, WithoutAWindowFactoryReportsClosed) {
  TPreviewer previewer;
  EXPECT_FALSE(previewer.Preview(&bitmap, 1, 0));
  EXPECT_TRUE(previewer.Closed());
  InstallRecorder();
  EXPECT_FALSE(previewer.Preview(&bitmap, 2, 0)) << "once closed, always closed";
  EXPECT_TRUE(recorder.shown.empty());
}

// The conversion thread hands its pictures over without waiting; a busy main
// thread shows the latest of them, and the window goes on the main thread.
TEST_F(PreviewerTest, ShowsTheLatestPictureOnTheMainThreadUntilTheUserCloses) {
  InstallRecorder();
  {
    TPreviewer previewer;
    std::atomic<int> handedOver = 0;
    std::thread worker([&] {
      for (int frame = 1; frame <= 3; ++frame)
        if (previewer.Preview(&bitmap, frame, frame * 1000000LL)) ++handedOver;
    });
    worker.join();
    EXPECT_EQ(handedOver, 3);
    EXPECT_TRUE(recorder.shown.empty()) << "nothing is shown before the main thread runs";
    ProcessThreadMessages();
    ASSERT_EQ(recorder.shown.size(), 1u);
    EXPECT_EQ(recorder.windowsMade, 1);
    EXPECT_EQ(recorder.shown[0].caption, "00:00:03.000");
    EXPECT_EQ(recorder.shown[0].width, 64);
    EXPECT_TRUE(recorder.shown[0].onMainThread);
    EXPECT_EQ(previewer.FrameNumber(), 3);
    EXPECT_EQ(previewer.PTS(), 3000000);

    recorder.userClosed();
    EXPECT_TRUE(previewer.Closed());
    EXPECT_FALSE(previewer.Preview(&bitmap, 4, 4000000));
    ProcessThreadMessages();
    EXPECT_EQ(recorder.shown.size(), 1u);

    // The owner frees the previewer on its own thread; the window goes on the main thread.
    std::thread owner([&] { TPreviewer other; other.Preview(&bitmap, 1, 0); });
    owner.join();
    ProcessThreadMessages();
    EXPECT_EQ(recorder.windowsMade, 2);
    EXPECT_EQ(recorder.windowsFreed, 1);
  }
  ProcessThreadMessages();
  EXPECT_EQ(recorder.windowsFreed, 2);
  EXPECT_TRUE(recorder.freedOnMainThread);
}
