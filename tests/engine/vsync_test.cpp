// Frame-rate sync of the video path: at a constant rate (vsync 1) pictures
// are duplicated or dropped to fill the output rate, and the final report
// counts them; passthrough (vsync 0) writes every input picture once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "test_support.h"

namespace strella::engine::testing {
namespace {

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("vsync") + "/" + name; }

// Pictures in the first video stream, as ffprobe decodes them.
int DecodedFrames(const std::string& file) {
  const std::string count = RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                       "stream=nb_read_frames -of csv=p=0 " + Quote(file) + " 2>/dev/null");
  return count.empty() ? -1 : std::atoi(count.c_str());
}

struct SyncCase {
  const char* label;
  const char* vsync;
  int rate;  // of the output, from a 25 fps input
};
void PrintTo(const SyncCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class FrameRateSync : public ::testing::TestWithParam<SyncCase> {};

TEST_P(FrameRateSync, WritesTheRatesFramesAndCountsThem) {
  const SyncCase& c = GetParam();
  const std::string input = fixtures::Path("video_only.mp4");
  const int inputFrames = DecodedFrames(input);
  ASSERT_GT(inputFrames, 40) << "fixture";
  // Passthrough writes every picture that the output rate can tell apart
  // from the one before: all of them at a higher rate.
  const int atRate = static_cast<int>(std::lround(inputFrames * c.rate / 25.0));
  const int expected = std::string(c.vsync) == "0" ? std::min(inputFrames, atRate) : atRate;
  const std::string output = Scratch(std::string(c.label) + ".mp4");
  LogLines reports(" dup=");
  {
    EngineRun run;
    ASSERT_TRUE(run.engine->AddInputFile(input)) << run.engine->LastErrMsg();
    run.Options({{"vcodec", "mpeg4"}, {"vsync", c.vsync}, {"r", std::to_string(c.rate)}});
    ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
    run.engine->SetVerbosity(2);  // the report then carries the dup and drop counters
    ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  }

  const int written = DecodedFrames(output);
  EXPECT_NEAR(written, expected, 2);
  ASSERT_FALSE(reports.Lines().empty());
  const std::string& last = reports.Lines().back();
  int dup = -1, drop = -1;
  ASSERT_EQ(std::sscanf(last.c_str() + last.find(" dup="), " dup=%d drop=%d", &dup, &drop), 2) << last;
  EXPECT_NEAR(dup, std::max(0, expected - inputFrames), 2) << last;
  EXPECT_NEAR(drop, std::max(0, inputFrames - expected), 2) << last;
  EXPECT_EQ(written, inputFrames + dup - drop) << "the counters tell what was written";
}

INSTANTIATE_TEST_SUITE_P(Engine, FrameRateSync,
                         ::testing::Values(SyncCase{"ConstantUpTo30", "1", 30}, SyncCase{"ConstantDownTo15", "1", 15},
                                           SyncCase{"PassthroughAt30", "0", 30}, SyncCase{"PassthroughAt15", "0", 15}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace strella::engine::testing
