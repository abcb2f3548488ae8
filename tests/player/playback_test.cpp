// End-to-end playback of generated media into the headless display, with
// SDL's dummy audio driver pulling samples at real-time pace.
#include <sys/stat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "fixtures.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/main_thread.h"
#include "player/player.h"

namespace strella::player {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How far most pictures may be shown from the audio clock (seconds): lip sync
// holds within 40 ms; instrumented code on a busy machine wakes up later.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kAllowedPictureJitter = 0.080;
#else
constexpr double kAllowedPictureJitter = 0.040;
#endif

// What the player reported, and when. It must outlive the player it listens
// to: the playback thread may report one last state while the player stops.
class Recorder {
 public:
  void Listen(TFFPlayer& player) {
    player.SetOnState([this, &player](void*, TPlayState state) {
      std::lock_guard guard(lock_);
      if (state == psEnd && end_time_ == Clock::time_point{}) end_time_ = Clock::now();
      if (state == psPlay) play_time_ = Clock::now();
      if (state == psEnd) {
        ++end_reports_;
        if (end_position_ < 0) end_position_ = player.CurrentPosition();
      }
      if (states_.empty() || states_.back() != state) states_.push_back(state);
    });
    player.SetOnPosition([this](void*, int64_t pts) {
      EXPECT_TRUE(media::IsMainThread());
      std::lock_guard guard(lock_);
      positions_.push_back(pts);
    });
  }
  std::vector<TPlayState> States() {
    media::ProcessThreadMessages();  // what the player has posted so far
    std::lock_guard guard(lock_);
    return states_;
  }
  bool Saw(TPlayState state) {
    auto states = States();
    return std::find(states.begin(), states.end(), state) != states.end();
  }
  std::vector<int64_t> Positions() {
    media::ProcessThreadMessages();  // what the player has posted so far
    std::lock_guard guard(lock_);
    return positions_;
  }
  int64_t LastPosition() {
    media::ProcessThreadMessages();  // what the player has posted so far
    std::lock_guard guard(lock_);
    return positions_.empty() ? -1 : positions_.back();
  }
  int EndReports() {
    media::ProcessThreadMessages();  // what the player has posted so far
    std::lock_guard guard(lock_);
    return end_reports_;
  }
  // The player's position when the end was first reported.
  int64_t EndPosition() {
    media::ProcessThreadMessages();  // what the player has posted so far
    std::lock_guard guard(lock_);
    return end_position_;
  }
  double SecondsToEnd() {
    media::ProcessThreadMessages();  // what the player has posted so far
    std::lock_guard guard(lock_);
    return std::chrono::duration<double>(end_time_ - play_time_).count();
  }

 private:
  std::mutex lock_;
  std::vector<TPlayState> states_;
  std::vector<int64_t> positions_;
  int end_reports_ = 0;
  int64_t end_position_ = -1;
  Clock::time_point play_time_{}, end_time_{};
};

// Waits serving the main thread (positions arrive through it).
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  return media::WaitServingMainThread(done, timeout);
}
void Serve(std::chrono::milliseconds time) {
  media::WaitServingMainThread([] { return false; }, time);
}

std::string Fixture(const std::string& name, double seconds, bool video, bool audio, int channels = 2) {
  fixtures::FixtureSpec recipe{name};
  recipe.duration = seconds;
  if (video) recipe.video = fixtures::VideoSpec{};
  if (audio) {
    recipe.audio = fixtures::AudioSpec{};
    recipe.audio->channels = channels;
    if (name.ends_with(".wav")) recipe.audio->codec = "pcm_s16le";
  }
  return fixtures::Make(recipe);
}

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::EnsureLibraries();
    recorder_.Listen(player_);
    ASSERT_TRUE(player_.LoadLibraries(media::ProgramFolder())) << player_.LastErrMsg();
  }
  bool OpenAndWaitForPlay(const std::string& path) {
    if (!player_.Open(path, &display_)) return false;
    return WaitFor([&] { return recorder_.Saw(psPlay); }, 2000ms);
  }
  // Both outlive the player, whose playback thread draws into the display and
  // reports to the recorder until the player's destructor has joined it.
  Recorder recorder_;
  THeadlessDisplay display_;
  TFFPlayer player_;
};

TEST_F(PlaybackTest, PlaysToTheEndAtRealTimePaceWithAudioAndVideoInStep) {
  const std::string path = Fixture("av_30s.mp4", 30, true, true);
  int64_t openedDuration = 0;
  player_.SetOnFileOpen([&](void*, int64_t duration, int width, int height, int&, int&) {
    openedDuration = duration;
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
  });
  ASSERT_TRUE(OpenAndWaitForPlay(path)) << player_.LastErrMsg();
  EXPECT_NEAR(openedDuration / 1e6, 30.0, 0.1);
  std::vector<double> differences;
  int lastShown = 0;
  WaitFor(
      [&] {
        const TPlaybackClocks clocks = player_.Clocks();
        // Each shown picture's time against the audio clock, once it runs steadily.
        if (clocks.Valid && clocks.ShownPictures != lastShown && clocks.ShownPictures > 25)
          differences.push_back(clocks.LastShownDifference);
        lastShown = clocks.ShownPictures;
        return recorder_.Saw(psEnd);
      },
      45000ms);
  ASSERT_TRUE(recorder_.Saw(psEnd));
  WaitFor([&] { return recorder_.LastPosition() == openedDuration; }, 1000ms);
  const double wall = recorder_.SecondsToEnd();
  std::printf("30 s clip played in %.3f s wall time (%.2f %%)\n", wall, 100.0 * (wall - 30) / 30);
  EXPECT_GT(wall, 27.0);
  EXPECT_LT(wall, 40.0);

  ASSERT_GT(differences.size(), 100u);
  std::vector<double> sorted = differences;
  for (double& d : sorted) d = std::fabs(d);
  std::sort(sorted.begin(), sorted.end());
  const double p95 = sorted[sorted.size() * 95 / 100], worst = sorted.back();
  double mean = 0;
  for (double d : differences) mean += d;
  mean /= differences.size();
  std::printf("picture minus audio clock over %zu pictures: mean %+.1f ms, 95th percentile |%.1f| ms, worst %.1f ms\n",
              differences.size(), mean * 1000, p95 * 1000, worst * 1000);
  EXPECT_LT(p95, kAllowedPictureJitter);
  EXPECT_LT(std::fabs(mean), 0.040);

  const std::vector<int64_t> positions = recorder_.Positions();
  ASSERT_GT(positions.size(), 100u);
  // At most one report per 10 ms of change (the video clock may step back a
  // little when a late picture is shown); only the end is always reported.
  for (size_t i = 1; i + 1 < positions.size(); ++i) EXPECT_GT(std::llabs(positions[i] - positions[i - 1]), 10000) << i;
  EXPECT_GT(positions[positions.size() / 2], 14000000);
  EXPECT_LT(positions[positions.size() / 2], 16000000);
  EXPECT_EQ(positions.back(), openedDuration) << "the end is reported as the duration";
  const std::vector<TPlayState> states = recorder_.States();
  EXPECT_EQ(states.front(), psPlay);
  player_.Stop(true);
  EXPECT_EQ(recorder_.States().back(), psStop);
}

TEST_F(PlaybackTest, PauseFreezesThePositionAndResumeContinues) {
  ASSERT_TRUE(OpenAndWaitForPlay(Fixture("av_6s.mp4", 6, true, true)));
  ASSERT_TRUE(WaitFor([&] { return player_.CurrentPosition() > 500000; }, 3000ms));
  player_.TogglePause();
  EXPECT_TRUE(player_.Paused());
  EXPECT_EQ(recorder_.States().back(), psPause);
  Serve(100ms);
  const int64_t paused = player_.CurrentPosition();
  Serve(400ms);
  EXPECT_EQ(player_.CurrentPosition(), paused);
  player_.TogglePause();
  const auto resumed = Clock::now();
  EXPECT_EQ(recorder_.States().back(), psResume);
  ASSERT_TRUE(WaitFor([&] { return player_.CurrentPosition() > paused + 300000; }, 3000ms));
  const int64_t advanced = player_.CurrentPosition() - paused;
  const auto sinceResume = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - resumed).count();
  // Counting the half-second pause as played would put the position that far ahead of the wall clock.
  EXPECT_LT(advanced, sinceResume + 250000) << "the pause is not counted as played time";
}

TEST_F(PlaybackTest, SeekToTheMiddleReportsPositionsFromThere) {
  ASSERT_TRUE(OpenAndWaitForPlay(Fixture("av_6s.mp4", 6, true, true)));
  Serve(300ms);
  const size_t before = recorder_.Positions().size();
  player_.Seek(3000000);
  player_.Seek(500000);  // a second request before the first ran is dropped
  ASSERT_TRUE(WaitFor([&] { return recorder_.Positions().size() > before + 5; }, 3000ms));
  Serve(300ms);
  const std::vector<int64_t> positions = recorder_.Positions();
  const auto firstAfter = std::find_if(positions.begin() + static_cast<long>(before), positions.end(),
                                       [](int64_t p) { return p >= 2900000; });
  ASSERT_NE(firstAfter, positions.end());
  EXPECT_LT(*firstAfter, 3300000);
  EXPECT_GE(positions.back(), 3200000);
  EXPECT_LT(positions.back(), 4500000);

  // A jump of under two seconds: the first picture there is not held for
  // the length of the jump, the next ones follow at their pace.
  const int64_t target = positions.back() + 1000000;
  player_.Seek(target);
  ASSERT_TRUE(WaitFor([&] { return recorder_.LastPosition() >= target - 100000; }, 1000ms)) << recorder_.LastPosition();
  const int64_t arrived = recorder_.LastPosition();
  Serve(400ms);
  EXPECT_GT(recorder_.LastPosition(), arrived + 250000);
  EXPECT_FALSE(recorder_.Saw(psEnd));
}

TEST_F(PlaybackTest, SeekPastTheEndPlaysTheLastPicturesAndSeekingBackPlaysOn) {
  int64_t duration = 0;
  player_.SetOnFileOpen([&](void*, int64_t d, int, int, int&, int&) { duration = d; });
  ASSERT_TRUE(OpenAndWaitForPlay(Fixture("av_6s.mp4", 6, true, true)));
  ASSERT_TRUE(WaitFor([&] { return player_.CurrentPosition() > 300000; }, 3000ms));
  ASSERT_GT(duration, 5900000);
  const int shownBefore = display_.PresentCount();
  player_.Seek(duration + 5000000);  // the position bar dragged beyond its end
  ASSERT_TRUE(WaitFor([&] { return recorder_.Saw(psEnd); }, 3000ms)) << recorder_.LastPosition();
  EXPECT_GT(recorder_.EndPosition(), duration - 100000) << "the end is reported from the end, not from the old position";
  ASSERT_TRUE(WaitFor([&] { return recorder_.LastPosition() == duration; }, 1000ms)) << recorder_.LastPosition();
  EXPECT_GT(display_.PresentCount(), shownBefore) << "the last pictures are shown";
  int64_t pts = -1;
  EXPECT_EQ(player_.GetCurrentFrame(pts).Width(), 320);
  EXPECT_GT(pts, duration - 600000) << "the picture shown is one of the last";

  // From the end back to the start: playback goes on and the end is no longer reported.
  const size_t before = recorder_.Positions().size();
  player_.Seek(0);
  ASSERT_TRUE(WaitFor(
      [&] {
        const std::vector<int64_t> positions = recorder_.Positions();
        return positions.size() > before && positions.back() < 1000000;
      },
      3000ms))
      << recorder_.LastPosition();
  Serve(200ms);
  const int ends = recorder_.EndReports();
  Serve(500ms);
  EXPECT_EQ(recorder_.EndReports(), ends);
  EXPECT_GT(player_.CurrentPosition(), 500000);
  EXPECT_LT(player_.CurrentPosition(), 2000000);
}

TEST_F(PlaybackTest, LetterboxedPictureKeepsItsAspect) {
  player_.SetAspectRatio(1.7777f);
  ASSERT_TRUE(OpenAndWaitForPlay(fixtures::Path("pal_sar16x15.mp4")));
  ASSERT_TRUE(WaitFor([&] { return display_.PresentCount() > 3; }, 3000ms));
  const std::unique_ptr<media::TBitmap> surface = display_.LatestSurface();
  ASSERT_EQ(surface->Width(), 640);
  ASSERT_EQ(surface->Height(), 480);
  auto rowBrightness = [&](int y) {
    int sum = 0;
    for (int x = 0; x < surface->Width() * 3; ++x) sum += surface->ScanLine(y)[x];
    return sum;
  };
  EXPECT_EQ(rowBrightness(0), 0);
  EXPECT_EQ(rowBrightness(59), 0);
  EXPECT_GT(rowBrightness(62), 0);
  EXPECT_GT(rowBrightness(417), 0);
  EXPECT_EQ(rowBrightness(420), 0);
  EXPECT_EQ(rowBrightness(479), 0);

  // Filling the area redraws at once, even with no new picture to show.
  player_.TogglePause();
  const int shown = display_.PresentCount();
  player_.SetAspectRatio(-1);
  ASSERT_TRUE(WaitFor([&] { return display_.PresentCount() > shown; }, 2000ms));
  const std::unique_ptr<media::TBitmap> filled = display_.LatestSurface();
  int top = 0;
  for (int x = 0; x < filled->Width() * 3; ++x) top += filled->ScanLine(0)[x];
  EXPECT_GT(top, 0);
}

TEST_F(PlaybackTest, AudioOnlyFileDrawsOneWaveformBandPerChannel) {
  player_.SetOnFileOpen([](void*, int64_t, int width, int height, int& screenWidth, int& screenHeight) {
    EXPECT_EQ(width, -1);
    EXPECT_EQ(height, -1);
    screenWidth = 320;
    screenHeight = 240;
  });
  struct Case {
    std::string file;
    int channels;
  };
  for (const Case& c : {Case{Fixture("tone_stereo.wav", 3, false, true, 2), 2},
                        Case{Fixture("tone_mono.wav", 3, false, true, 1), 1}}) {
    ASSERT_TRUE(player_.Open(c.file, &display_)) << player_.LastErrMsg();
    const int start = display_.PresentCount();
    ASSERT_TRUE(WaitFor([&] { return display_.PresentCount() > start + 5; }, 3000ms));
    const std::unique_ptr<media::TBitmap> surface = display_.LatestSurface();
    ASSERT_EQ(surface->Width(), 320);
    ASSERT_EQ(surface->Height(), 240);
    auto whiteInRow = [&](int y) {
      int white = 0;
      for (int x = 0; x < 320; ++x) white += surface->ScanLine(y)[x * 3] == 255;
      return white;
    };
    const int band = 240 / c.channels;
    EXPECT_EQ(whiteInRow(120), c.channels == 2 ? 320 : whiteInRow(120)) << "a line parts the two bands";
    for (int k = 0; k < c.channels; ++k) {
      // A tone swings around each band's centre line.
      const int centre = k * band + band / 2;
      EXPECT_GT(whiteInRow(centre - band / 10) + whiteInRow(centre + band / 10), 20) << c.file << " band " << k;
      EXPECT_EQ(whiteInRow(k * band + 2), 0) << c.file << " band " << k << " stays within 9/20 of its height";
    }
    player_.Stop(true);
  }
}

TEST_F(PlaybackTest, MissingFileFailsAndLeavesNothingRunning) {
  const int threads = fixtures::CountThreads();
  const std::string path = fixtures::Dir() + "/no such file.mp4";
  EXPECT_FALSE(player_.Open(path, &display_));
  EXPECT_EQ(player_.LastErrMsg(), path + ": no such file or directory");
  EXPECT_FALSE(player_.Playing());
  Serve(50ms);
  EXPECT_EQ(fixtures::CountThreads(), threads);
  EXPECT_TRUE(recorder_.States().empty());
}

TEST_F(PlaybackTest, StopWithWaitingReturnsPromptly) {
  ASSERT_TRUE(OpenAndWaitForPlay(Fixture("av_6s.mp4", 6, true, true)));
  Serve(300ms);
  const auto start = Clock::now();
  player_.Stop(true);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  std::printf("Stop(true) took %.1f ms\n", ms);
  EXPECT_LT(ms, 900) << "Stop waited for its give-up time instead of the playback's end";
  EXPECT_FALSE(player_.Playing());
  EXPECT_EQ(recorder_.States().back(), psStop);

  // Without waiting it returns at once and the stop follows.
  ASSERT_TRUE(player_.Open(Fixture("av_6s.mp4", 6, true, true), &display_));
  player_.Stop(false);
  EXPECT_TRUE(WaitFor([&] { return !player_.Playing() && recorder_.States().back() == psStop; }, 2000ms));
}

TEST_F(PlaybackTest, SnapshotIsThePictureShown) {
  ASSERT_TRUE(OpenAndWaitForPlay(Fixture("av_6s.mp4", 6, true, true)));
  ASSERT_TRUE(WaitFor([&] { return player_.CurrentPosition() > 300000; }, 3000ms));
  int64_t pts = -1;
  media::TBitmap& frame = player_.GetCurrentFrame(pts);
  EXPECT_EQ(frame.Width(), 320);
  EXPECT_EQ(frame.Height(), 240);
  EXPECT_GT(pts, 200000);
  long sum = 0;
  for (int y = 0; y < frame.Height(); ++y)
    for (int x = 0; x < frame.Width() * 3; ++x) sum += frame.ScanLine(y)[x];
  EXPECT_GT(sum, 0) << "the test pattern is not black";
  // The snapshot saves itself, as the window's snapshot button does.
  const std::string saved = fixtures::ScratchDir("player_snapshot") + "/snapshot.bmp";
  ASSERT_TRUE(frame.SaveToFile(saved)) << frame.LastErrMsg();
  struct stat info {};
  ASSERT_EQ(stat(saved.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 54 + frame.Stride() * frame.Height());
  player_.Stop(true);
  const media::TBitmap& none = player_.GetCurrentFrame(pts);
  EXPECT_EQ(none.Width(), 0);
  EXPECT_EQ(none.Height(), 0);
  EXPECT_EQ(pts, -1);
}

TEST_F(PlaybackTest, ProbeDescribesThePlayingFileWhileItPlays) {
  media::TFileStreamInfo file;
  media::TVideoStreamInfo video;
  EXPECT_FALSE(player_.GetFileStreamInfo(file));
  ASSERT_TRUE(OpenAndWaitForPlay(Fixture("av_6s.mp4", 6, true, true)));
  ASSERT_TRUE(player_.GetFileStreamInfo(file));
  EXPECT_NEAR(file.Duration / 1e6, 6.0, 0.2);
  ASSERT_TRUE(player_.GetVideoStreamInfo(video));
  EXPECT_EQ(video.Width, 320);
  EXPECT_EQ(video.Height, 240);
  player_.Stop(true);
  EXPECT_FALSE(player_.GetFileStreamInfo(file));
  EXPECT_FALSE(player_.GetVideoStreamInfo(video));

  // An audio-only file has no video stream to describe.
  ASSERT_TRUE(player_.Open(Fixture("tone_mono.wav", 3, false, true, 1), &display_));
  EXPECT_TRUE(player_.GetFileStreamInfo(file));
  EXPECT_FALSE(player_.GetVideoStreamInfo(video));
}

TEST_F(PlaybackTest, HookDrawsOnEveryPictureAndItsFailureIsLogged) {
  std::atomic<int> hooked{0};
  player_.SetHook(true);
  player_.SetOnHook([&](void*, media::TBitmap& bitmap, int64_t) {
    if (++hooked == 3) throw std::runtime_error("handler failed");
    for (int y = 0; y < bitmap.Height(); ++y) std::memset(bitmap.ScanLine(y), 255, bitmap.Width() * 3);
  });
  std::mutex lock;
  std::vector<std::string> logged;
  media::TFFLogger::Instance().SetOnLog([&](const void*, uint64_t, int64_t, media::TLogLevel, const std::string& text) {
    std::lock_guard guard(lock);
    logged.push_back(text);
  });
  ASSERT_TRUE(OpenAndWaitForPlay(Fixture("av_6s.mp4", 6, true, true)));
  ASSERT_TRUE(WaitFor([&] { return hooked > 5 && player_.CurrentPosition() > 200000; }, 3000ms));
  const media::TBitmap& frame = player_.CurrentFrame();
  ASSERT_EQ(frame.Width(), 320);
  EXPECT_GT(frame.ScanLine(120)[480], 240) << "the hook's white reaches the picture";
  player_.Stop(true);
  media::TFFLogger::Instance().SetOnLog(nullptr);
  std::lock_guard guard(lock);
  EXPECT_NE(std::find(logged.begin(), logged.end(), "Error occurs OnHook: handler failed"), logged.end());
}

TEST_F(PlaybackTest, DisabledDisplayPlaysSoundOnly) {
  player_.SetDisableDisplay(true);
  ASSERT_TRUE(OpenAndWaitForPlay(Fixture("av_6s.mp4", 6, true, true)));
  EXPECT_TRUE(player_.DisableVideo());
  ASSERT_TRUE(WaitFor([&] { return player_.CurrentPosition() > 300000; }, 3000ms));
  EXPECT_EQ(display_.PresentCount(), 0);
  EXPECT_EQ(player_.CurrentFrame().Width(), 0);
}

TEST_F(PlaybackTest, RefusedDisplaySizeIsReportedAndPlaybackGoesOn) {
  display_.SetAcceptModes(false);
  std::atomic<int> refusals{0};
  media::TFFLogger::Instance().SetOnLog([&](const void*, uint64_t, int64_t, media::TLogLevel, const std::string& text) {
    if (text == "SDL: could not set video mode.") ++refusals;
  });
  ASSERT_TRUE(OpenAndWaitForPlay(Fixture("av_6s.mp4", 6, true, true)));
  ASSERT_TRUE(WaitFor([&] { return player_.CurrentPosition() > 300000; }, 3000ms));
  EXPECT_GT(refusals, 0);
  EXPECT_EQ(display_.PresentCount(), 0);
  player_.Stop(true);
  media::TFFLogger::Instance().SetOnLog(nullptr);
}

TEST_F(PlaybackTest, VideoWithoutSoundPlaysToItsEnd) {
  int64_t duration = 0;
  player_.SetOnFileOpen([&](void*, int64_t d, int, int, int&, int&) { duration = d; });
  ASSERT_TRUE(OpenAndWaitForPlay(fixtures::Path("video_only.mp4")));
  ASSERT_TRUE(WaitFor([&] { return recorder_.Saw(psEnd) && recorder_.LastPosition() == duration; }, 5000ms))
      << recorder_.LastPosition();
  EXPECT_GT(display_.PresentCount(), 40);
}

TEST_F(PlaybackTest, PlayingAndStoppingManyTimesLeaksNoThreadOrFile) {
  const std::string path = Fixture("av_6s.mp4", 6, true, true);
  // One cycle first, so that lazily started library threads are counted in.
  ASSERT_TRUE(player_.Open(path, &display_));
  Serve(100ms);
  player_.Stop(true);
  const int threads = fixtures::CountThreads(), files = fixtures::CountOpenFiles();
  for (int cycle = 0; cycle < 20; ++cycle) {
    ASSERT_TRUE(player_.Open(path, &display_)) << player_.LastErrMsg();
    Serve(std::chrono::milliseconds(100 + 10 * (cycle % 5)));
    if (cycle % 2) player_.TogglePause();
    player_.Stop(cycle % 3 != 0);
  }
  player_.Stop(true);
  ASSERT_TRUE(WaitFor([&] { return !player_.Playing(); }, 2000ms));
  Serve(50ms);
  EXPECT_EQ(fixtures::CountThreads(), threads);
  EXPECT_EQ(fixtures::CountOpenFiles(), files);
}

}  // namespace
}  // namespace strella::player
