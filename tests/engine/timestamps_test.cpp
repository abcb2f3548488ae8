// Damaged time stamps and outputs without data: a run never writes far past
// its input and never calls an empty file a result.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "media/text_helpers.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

struct JumpCase {
  const char* label;
  const char* extension;
  Options options;
};
void PrintTo(const JumpCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class StrayTimestamp : public ::testing::TestWithParam<JumpCase> {};

// One video packet of an MPEG program stream an hour ahead: the format knows
// no discontinuities, so the stamp is ignored instead of stretching the output.
TEST_P(StrayTimestamp, KeepsTheOutputAsLongAsTheInputWithAWarning) {
  const JumpCase& c = GetParam();
  const std::string input = fixtures::Path("dts_jump.mpg");
  const std::string output = fixtures::ScratchDir("dts_jump") + "/out." + c.extension;
  LogLines warnings("off the stream's course");
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(input, c.options, output));
  const ProbeResult in = Probe(input), out = Probe(output);
  ASSERT_TRUE(out.ok);
  EXPECT_NEAR(out.duration, in.duration, 1.0);
  EXPECT_FALSE(warnings.Lines().empty());
}

INSTANTIATE_TEST_SUITE_P(Paths, StrayTimestamp,
                         ::testing::Values(JumpCase{"Reencoded", "mp4", {{"vcodec", "mpeg4"}, {"acodec", "aac"}}},
                                           JumpCase{"Copied", "mkv", {{"vcodec", "copy"}, {"acodec", "copy"}}}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(StrayTimestamp, AnOutputRunningFarPastTheInputStops) {
  // Stamps followed without bound (a huge threshold): the guard on the output's length ends the run.
  const std::string output = fixtures::ScratchDir("dts_guard") + "/out.mp4";
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("dts_jump.mpg")));
  run.Options({{"dts_error_threshold", "100000"}, {"vcodec", "mpeg4"}});
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  EXPECT_FALSE(run.Run());
  EXPECT_NE(run.engine->ErrorMessage().find("more than a minute past the input's end"), std::string::npos)
      << run.engine->ErrorMessage();
}

TEST(EmptyOutput, ARunThatWritesNoPacketFailsAndLeavesNoFile) {
  const std::string output = fixtures::ScratchDir("empty_output") + "/out.mp4";
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  run.Options({{"ss", "30"}});  // after the input: nothing of the 2 s clip is kept
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  EXPECT_FALSE(run.Run());
  EXPECT_EQ(run.engine->ErrorMessage(), "The output holds no audio or video data");
  EXPECT_FALSE(media::FileExists(output));
}

TEST(EmptyOutput, ADeviceNamedAsTheOutputIsNeverRemoved) {
  // A null device of the test's own: the real /dev/null must never be at stake.
  const std::string device = fixtures::ScratchDir("device_output") + "/null";
  if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) GTEST_SKIP() << "cannot make a device node here";
  for (const Options& options : {Options{{"f", "null"}}, Options{{"f", "null"}, {"ss", "30"}}}) {
    EngineRun run;
    ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
    run.Options(options);
    ASSERT_GT(run.engine->AddOutputFile(device), 0) << run.engine->LastErrMsg();
    run.Run();
    struct stat info {};
    ASSERT_EQ(::lstat(device.c_str(), &info), 0) << options.size();
    EXPECT_TRUE(S_ISCHR(info.st_mode));
  }
}

}  // namespace
}  // namespace strella::engine::testing
