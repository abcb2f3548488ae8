// A run from start to terminate: trimming and limits on copied streams, join
// mode, stopping, pausing, and what is left on disk when a run cannot start.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "media/main_thread.h"
#include "media/text_helpers.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

using media::FileExists;
using media::FileSizeW;

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("run") + "/" + name; }

bool CopyRun(EngineRun& run, const std::string& input, const std::string& output,
             const std::vector<std::pair<std::string, std::string>>& afterInput = {}) {
  EXPECT_TRUE(run.engine->AddInputFile(input)) << run.engine->LastErrMsg();
  run.Options(afterInput);
  run.Options({{"vcodec", "copy"}, {"acodec", "copy"}});
  EXPECT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  return run.Run();
}

TEST(CopyStart, BeginsAtAKeyFrameUnlessCopyinkf) {
  const std::string output = Scratch("trim.mkv");
  EngineRun run;
  ASSERT_TRUE(CopyRun(run, fixtures::Path("clip.mp4"), output, {{"ss", "1"}})) << run.engine->ErrorMessage();
  auto [start, key] = FirstPacket(output, "v");
  EXPECT_TRUE(key);
  const double trimmed = Probe(output).duration;
  EXPECT_LT(trimmed, 1.1);  // the first key frame at or after 1 s is 1.44 s
  EXPECT_GT(trimmed, 0.4);

  const std::string withInitial = Scratch("trim_inkf.mkv");
  EngineRun run2;
  ASSERT_TRUE(CopyRun(run2, fixtures::Path("clip.mp4"), withInitial, {{"ss", "1"}, {"copyinkf", "1"}}));
  EXPECT_FALSE(FirstPacket(withInitial, "v").second);
  EXPECT_NEAR(Probe(withInitial).duration, 1.0, 0.1);
}

TEST(Limits, RecordingTimeEndsTheOutput) {
  const std::string output = Scratch("limit_t.mp4");
  EngineRun run;
  ASSERT_TRUE(CopyRun(run, fixtures::Path("clip.mp4"), output, {{"t", "1"}}));
  EXPECT_NEAR(Probe(output).duration, 1.0, 0.1);
  EXPECT_EQ(run.engine->TotalDuration(), 1000);
}

TEST(Limits, SizeLimitStopsAtTheSize) {
  const std::string full = Scratch("limit_full.mkv"), limited = Scratch("limit_fs.mkv");
  EngineRun run;
  ASSERT_TRUE(CopyRun(run, fixtures::Path("clip.mp4"), full));
  EngineRun run2;
  ASSERT_TRUE(CopyRun(run2, fixtures::Path("clip.mp4"), limited, {{"fs", "20000"}}));
  EXPECT_GT(FileSizeW(limited), 20000);
  EXPECT_LT(FileSizeW(limited), FileSizeW(full) * 3 / 4);
  EXPECT_TRUE(Probe(limited).ok);
}

TEST(Join, ThreeInputsMakeOneFileOfTheirSum) {
  const std::string output = Scratch("joined.mkv");
  EngineRun run;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  run.Options({{"vcodec", "copy"}, {"acodec", "copy"}});
  ASSERT_EQ(run.engine->AddOutputFile(output, true), 3) << run.engine->LastErrMsg();
  const double single = Probe(fixtures::Path("clip.mp4")).duration;
  EXPECT_NEAR(run.engine->TotalDuration(), 3 * single * 1000, 3);
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  EXPECT_EQ(run.terminations, 1);
  const ProbeResult joined = Probe(output);
  EXPECT_EQ(joined.streams.size(), 2u);
  EXPECT_NEAR(joined.duration, 3 * single, 0.15);
  // One trailer: the whole file reads to its end without errors.
  EXPECT_EQ(RunCommand("ffprobe -v error -show_entries packet=pts -of csv=p=0 " + Quote(output) + " 2>&1 >/dev/null"), "");
}

TEST(Join, ASecondOutputIsRefused) {
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mkv")));
  run.Options({{"vcodec", "copy"}, {"acodec", "copy"}});
  ASSERT_EQ(run.engine->AddOutputFile(Scratch("join_a.mkv"), true), 2);
  EXPECT_EQ(run.engine->AddOutputFile(Scratch("join_b.mkv")), -1);
  EXPECT_EQ(run.engine->LastErrMsg(), "Cannot join more than one output file.");
}

TEST(Stop, DuringARunLeavesFinishedFalseAndStillWritesTheTrailer) {
  const std::string output = Scratch("stopped.mkv");
  EngineRun run;
  run.engine->SetReportInterval(0);
  int reports = 0;
  run.engine->ProgressCallback = [&](TCustomFFmpeg* sender, int, int, int, float, float, int64_t, int) {
    if (++reports == 5) sender->StopConvert(false);
  };
  EXPECT_FALSE(CopyRun(run, fixtures::Path("clip.mp4"), output));
  EXPECT_FALSE(run.engine->Finished());
  EXPECT_FALSE(run.engine->ErrorFlag());
  EXPECT_EQ(run.terminations, 1);
  const ProbeResult stopped = Probe(output);
  ASSERT_TRUE(stopped.ok);
  EXPECT_LT(stopped.duration, 1.5);
  EXPECT_EQ(RunCommand("ffprobe -v error -show_entries packet=pts -of csv=p=0 " + Quote(output) + " 2>&1 >/dev/null"), "");
}

TEST(Background, RunsOnItsThreadAndStopWaits) {
  media::SetMainThread();
  const std::string output = Scratch("background.mkv");
  EngineRun run;
  std::atomic<int> terminations{0};
  run.engine->TerminateCallback = [&](TCustomFFmpeg*) { ++terminations; };
  std::atomic<int> reports{0};
  run.engine->SetReportInterval(0);
  run.engine->ProgressCallback = [&](TCustomFFmpeg*, int, int, int, float, float, int64_t, int) { ++reports; };
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  run.Options({{"vcodec", "copy"}, {"acodec", "copy"}, {"re", "1"}});  // real time: 2 s unless stopped
  ASSERT_GT(run.engine->AddOutputFile(output), 0);
  TConvertThread* thread = run.engine->StartConvert(true, tpLower);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(run.engine->StartConvert(true), nullptr);  // started once per reset
  thread->Resume();
  run.engine->Pause();
  run.engine->Resume();
  // Stopped only once the thread has written something.
  ASSERT_TRUE(media::WaitServingMainThread([&] { return reports.load() > 0; }, std::chrono::seconds(10)));
  run.engine->Stop(true);
  EXPECT_EQ(run.engine->ConversionThread(), nullptr);
  EXPECT_TRUE(media::WaitServingMainThread([&] { return terminations.load() == 1; }, std::chrono::seconds(5)));
  EXPECT_FALSE(run.engine->Finished());
  EXPECT_TRUE(Probe(output).ok);
}

TEST(Background, APausedRunMakesNoProgress) {
  media::SetMainThread();
  EngineRun run;
  std::atomic<int> reports{0};
  run.engine->SetReportInterval(0);
  run.engine->ProgressCallback = [&](TCustomFFmpeg*, int, int, int, float, float, int64_t, int) { ++reports; };
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  run.Options({{"vcodec", "copy"}, {"acodec", "copy"}, {"re", "1"}});
  ASSERT_GT(run.engine->AddOutputFile(Scratch("paused.mkv")), 0);
  run.engine->StartConvert(true)->Resume();
  ASSERT_TRUE(media::WaitServingMainThread([&] { return reports.load() > 0; }, std::chrono::seconds(5)));
  run.engine->Pause();
  // The pass under way when Pause came may still report: the loop has
  // reached its head once the count stays put for a while.
  int atPause = -1;
  const auto movesWithin = [&](std::chrono::milliseconds window) {
    return fixtures::WaitUntil([&] { return reports.load() != atPause; }, window);
  };
  ASSERT_TRUE(fixtures::WaitUntil(
      [&] {
        atPause = reports.load();
        return !movesWithin(std::chrono::milliseconds(100));
      },
      std::chrono::seconds(10)));
  EXPECT_FALSE(movesWithin(std::chrono::milliseconds(300))) << "progress while paused";
  EXPECT_TRUE(run.engine->Running());
  run.engine->Resume();
  EXPECT_TRUE(media::WaitServingMainThread([&] { return reports.load() > atPause; }, std::chrono::seconds(5)));
  run.engine->Stop(true);
}

TEST(Stop, ATaskThatNeverRanGetsOneNotification) {
  EngineRun run;
  run.engine->Stop(true);
  EXPECT_EQ(run.terminations, 1);
  run.engine->Stop(true);
  EXPECT_EQ(run.terminations, 1);
  EXPECT_FALSE(run.engine->Finished());
  EXPECT_FALSE(run.engine->ErrorFlag());
}

TEST(Start, RefusesWithoutFilesWithOneNotification) {
  EngineRun noOutput;
  ASSERT_TRUE(noOutput.engine->AddInputFile(fixtures::Path("clip.mp4")));
  EXPECT_EQ(noOutput.engine->StartConvert(true), nullptr);
  EXPECT_TRUE(noOutput.engine->ErrorFlag());
  EXPECT_EQ(noOutput.engine->ErrorMessage(), "At least one output file must be specified");
  EXPECT_EQ(noOutput.terminations, 1);
  EXPECT_EQ(noOutput.engine->StartConvert(true), nullptr);
  EXPECT_EQ(noOutput.terminations, 1);
}

TEST(Disk, AMissingInputLeavesNoOutputBehind) {
  const std::string output = Scratch("from_missing.mkv");
  EngineRun run;
  const std::string missing = Scratch("no such file.mp4");
  EXPECT_FALSE(run.engine->AddInputFile(missing));
  EXPECT_EQ(run.engine->LastErrMsg(), missing + ": no such file or directory");
  run.Options({{"vcodec", "copy"}, {"acodec", "copy"}});
  ASSERT_GT(run.engine->AddOutputFile(output), 0);
  EXPECT_FALSE(run.Run());
  EXPECT_EQ(run.engine->ErrorMessage(), "At least one input file must be specified");
  EXPECT_FALSE(FileExists(output));
}

TEST(Disk, AnOutputThatEndedEmptyIsDeleted) {
  const std::string output = Scratch("empty_end.mkv");
  EngineRun run;
  ASSERT_TRUE(CopyRun(run, fixtures::Path("clip.mp4"), output, {{"map", "0.7"}}) == false);
  EXPECT_EQ(run.engine->ErrorMessage(), "Number of stream maps must match number of output streams");
  EXPECT_FALSE(FileExists(output));
}

TEST(Disk, AnInputIsNeverOverwritten) {
  const std::string input = Scratch("precious.mp4");
  ASSERT_EQ(std::system(("cp " + Quote(fixtures::Path("clip.mp4")) + " " + Quote(input)).c_str()), 0);
  const int64_t size = FileSizeW(input);
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(input));
  run.Options({{"vcodec", "copy"}, {"acodec", "copy"}});
  EXPECT_EQ(run.engine->AddOutputFile(input), -1);
  EXPECT_EQ(run.engine->LastErrMsg(), "Cannot overwrite the input file '" + input + "'");
  run.engine->ReleaseAll();
  EXPECT_EQ(FileSizeW(input), size);
}

TEST(Disk, OddFileNamesConvert) {
  const std::string output = Scratch(std::string("out ") + fixtures::kOddName);
  EngineRun run;
  ASSERT_TRUE(CopyRun(run, fixtures::Path(fixtures::kOddName), output)) << run.engine->ErrorMessage();
  EXPECT_TRUE(Probe(output).ok);
}

}  // namespace
}  // namespace strella::engine::testing

namespace strella::engine::testing {
namespace {

struct Report {
  int frames, fps, milliseconds;
  float quality, bitRate;
  int64_t size;
  int total;
};

int VideoPackets(const std::string& file) {
  return std::stoi(RunCommand("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                              "stream=nb_read_packets -of csv=p=0 " + Quote(file)));
}

std::vector<Report> RunReporting(const std::string& fixture, const std::string& output,
                                 const std::vector<std::pair<std::string, std::string>>& options) {
  EngineRun run;
  std::vector<Report> reports;
  run.engine->SetReportInterval(0);
  run.engine->ProgressCallback = [&](TCustomFFmpeg*, int frames, int fps, int ms, float q, float rate, int64_t size,
                                     int total) { reports.push_back({frames, fps, ms, q, rate, size, total}); };
  EXPECT_TRUE(run.engine->AddInputFile(fixtures::Path(fixture)));
  run.Options(options);
  EXPECT_GT(run.engine->AddOutputFile(output), 0);
  EXPECT_TRUE(run.Run()) << run.engine->ErrorMessage();
  return reports;
}

TEST(Progress, VideoReportsFramesAndTheLastReportTheWholeRun) {
  const std::string output = Scratch("progress.mkv");
  const auto reports = RunReporting("clip.mp4", output, {{"vcodec", "mpeg4"}, {"acodec", "copy"}});
  ASSERT_GT(reports.size(), 2u);
  for (const Report& r : reports) EXPECT_GE(r.frames, 1);
  const Report& last = reports.back();
  EXPECT_EQ(last.frames, VideoPackets(fixtures::Path("clip.mp4")));
  EXPECT_EQ(last.fps, 0);  // under a second
  EXPECT_GT(last.quality, 0.0f);
  EXPECT_NEAR(last.milliseconds, 2000, 100);
  EXPECT_EQ(last.size, media::FileSizeW(output));
  EXPECT_NEAR(last.total, 2000, 50);
  EXPECT_GT(last.bitRate, 0.0f);
}

TEST(Progress, AudioOnlyAndCopiedVideoHaveNoQuality) {
  const auto audio = RunReporting("clip.mp4", Scratch("progress_audio.mka"), {{"vn", "1"}, {"acodec", "copy"}});
  ASSERT_FALSE(audio.empty());
  EXPECT_EQ(audio.back().frames, -1);
  EXPECT_EQ(audio.back().fps, -1);
  EXPECT_FLOAT_EQ(audio.back().quality, -1.0f);
  EXPECT_GT(audio.back().milliseconds, 1900);
  const auto copied = RunReporting("clip.mp4", Scratch("progress_copy.mkv"), {{"vcodec", "copy"}, {"acodec", "copy"}});
  ASSERT_FALSE(copied.empty());
  EXPECT_FLOAT_EQ(copied.back().quality, -1.0f);
  EXPECT_EQ(copied.back().frames, VideoPackets(fixtures::Path("clip.mp4")));
}

TEST(Progress, ReportsAreThrottledAndAnAudioRunHasNoFrames) {
  const std::string output = Scratch("progress_throttled.mp2");
  EngineRun run;
  std::vector<Report> reports;
  std::vector<std::chrono::steady_clock::time_point> arrivals;
  run.engine->SetReportInterval(200000);
  run.engine->ProgressCallback = [&](TCustomFFmpeg*, int frames, int fps, int ms, float q, float rate, int64_t size,
                                     int total) {
    reports.push_back({frames, fps, ms, q, rate, size, total});
    arrivals.push_back(std::chrono::steady_clock::now());
  };
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("tone.wav")));
  run.Options({{"acodec", "mp2"}, {"re", "1"}});  // two seconds of sound at its own pace
  ASSERT_GT(run.engine->AddOutputFile(output), 0);
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  ASSERT_GE(reports.size(), 5u);
  EXPECT_LE(reports.size(), 12u);
  for (size_t i = 1; i + 1 < arrivals.size(); ++i)  // the last report comes when the run ends
    EXPECT_GE(arrivals[i] - arrivals[i - 1], std::chrono::milliseconds(195)) << "report " << i;
  for (const Report& r : reports) EXPECT_EQ(r.frames, -1);
  EXPECT_EQ(reports.back().size, media::FileSizeW(output));
  EXPECT_NEAR(reports.back().milliseconds, 2000, 60);
}

}  // namespace
}  // namespace strella::engine::testing
