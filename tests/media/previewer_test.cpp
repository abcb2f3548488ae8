// The previewer: caption times, the window factory the user interface
// installs, showing on the main thread, and the user's close.
#include <atomic>
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
    SetPreviewWindowFactory([this](TPreviewer&) { return std::make_unique<RecordingWindow>(recorder); });
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

TEST_F(PreviewerTest, ShowsOnTheMainThreadUntilTheUserCloses) {
  InstallRecorder();
  {
    TPreviewer previewer;
    std::atomic<int> shownByWorker = 0;
    std::thread worker([&] {
      for (int frame = 1; frame <= 3; ++frame)
        if (previewer.Preview(&bitmap, frame, frame * 1000000LL)) ++shownByWorker;
    });
    JoinServingMainThread(worker);
    EXPECT_EQ(shownByWorker, 3);
    ASSERT_EQ(recorder.shown.size(), 3u);
    EXPECT_EQ(recorder.windowsMade, 1);
    EXPECT_EQ(recorder.shown[2].caption, "00:00:03.000");
    EXPECT_EQ(recorder.shown[2].width, 64);
    for (const auto& shown : recorder.shown) EXPECT_TRUE(shown.onMainThread);
    EXPECT_EQ(previewer.FrameNumber(), 3);
    EXPECT_EQ(previewer.PTS(), 3000000);

    previewer.UserClosed();
    EXPECT_FALSE(previewer.Preview(&bitmap, 4, 4000000));
    EXPECT_EQ(recorder.shown.size(), 3u);

    // The owner frees the previewer on its own thread; the window goes on the main thread.
    std::thread owner([&] { TPreviewer other; other.Preview(&bitmap, 1, 0); });
    JoinServingMainThread(owner);
    EXPECT_EQ(recorder.windowsFreed, 1);
  }
  EXPECT_EQ(recorder.windowsFreed, 2);
  EXPECT_TRUE(recorder.freedOnMainThread);
}
