// Outputs read back before a run ends well (`verify`): whole outputs are
// verified with each stream's length, whatever delay, priming, trim or
// irregular picture times they have; an output that a faulty muxer (the
// engine's packet-write seam) cut short or left without sound fails with the
// reason and leaves no file.
#include <gtest/gtest.h>

#include <ostream>

#include "engine/verify_output.h"
#include "media/ff.h"
#include "media/text_helpers.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

using media::TTrackKind;
using Options = std::vector<std::pair<std::string, std::string>>;

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("verify_output") + "/" + name; }

fixtures::FixtureSpec Clip(const char* name, double duration) {
  fixtures::FixtureSpec recipe = fixtures::VideoClip(name, 160, 120, duration);
  recipe.audio->codec = "libmp3lame";
  return recipe;
}

fixtures::FixtureSpec LateSound() {
  fixtures::FixtureSpec recipe = Clip("verify_late_sound.mkv", 3);
  recipe.audio->start_offset = 0.5;
  return recipe;
}

fixtures::FixtureSpec IrregularPictures() {
  fixtures::FixtureSpec recipe = Clip("verify_irregular.mkv", 3);
  recipe.video->irregular_times = true;
  return recipe;
}

fixtures::FixtureSpec Tone() {
  fixtures::FixtureSpec recipe{"verify_tone.wav"};
  recipe.duration = 3;
  recipe.audio = fixtures::AudioSpec{};
  recipe.audio->codec = "pcm_s16le";
  return recipe;
}

struct GoodCase {
  const char* label;
  fixtures::FixtureSpec input;
  Options options;  // after the input
  const char* extension;
  double video, audio;  // seconds each stream should last; 0: none
};
void PrintTo(const GoodCase& c, std::ostream* os) { *os << c.label; }

const Options kVideo = {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"ar", "44100"}, {"ac", "2"}};

class VerifiedOutput : public ::testing::TestWithParam<GoodCase> {};

TEST_P(VerifiedOutput, IsReadBackWithEachStreamsLength) {
  const GoodCase& c = GetParam();
  const std::string output = Scratch(std::string(c.label) + c.extension);
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Make(c.input))) << run.engine->LastErrMsg();
  run.Options(c.options);
  run.Options({{"verify", "1"}});
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  const std::vector<TVerifiedOutput>& verified = VerifiedOutputs(*run.engine);
  ASSERT_EQ(verified.size(), 1u);
  EXPECT_EQ(verified[0].FileName, output);
  size_t timed = 0;
  for (const TVerifiedStream& stream : verified[0].Streams) {
    SCOPED_TRACE(DescribeVerifiedOutput(verified[0]));
    ASSERT_TRUE(stream.Timed);
    ++timed;
    // A trim ends at the first packet at or after its end.
    const double expected = stream.Kind == TTrackKind::Video ? c.video : c.audio;
    EXPECT_NEAR(stream.ExpectedUS / 1e6, expected, 0.15);
    // Repeated pictures of a constant rate may make it a little longer, never shorter.
    EXPECT_GE(stream.MeasuredUS / 1e6, stream.ExpectedUS / 1e6 - 0.06);
    EXPECT_LE(stream.MeasuredUS / 1e6, stream.ExpectedUS / 1e6 + 0.1);
  }
  EXPECT_EQ(timed, size_t{c.video > 0} + size_t{c.audio > 0});
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, VerifiedOutput,
    ::testing::Values(
        // AAC's priming samples in MP4, which an edit list hides.
        GoodCase{"Whole", Clip("verify_clip.mkv", 3), kVideo, ".mp4", 3, 3},
        GoodCase{"Trimmed", Clip("verify_clip.mkv", 3), {{"ss", "1"}, {"t", "1.5"}, {"vcodec", "mpeg4"}, {"acodec", "aac"}},
                 ".mp4", 1.6, 1.6},
        GoodCase{"LateSound", LateSound(), kVideo, ".mp4", 3, 2.5},
        // Kept as they are (vsync 2) and put on a constant rate.
        GoodCase{"IrregularKept", IrregularPictures(), {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}, {"vsync", "2"}},
                 ".mkv", 3, 3},
        GoodCase{"IrregularConstant", IrregularPictures(), {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}, {"r", "25"}},
                 ".avi", 3, 3},
        GoodCase{"SoundOnly", Tone(), {{"acodec", "libmp3lame"}}, ".mp3", 0, 3}),
    [](const ::testing::TestParamInfo<GoodCase>& info) { return std::string(info.param.label); });

struct FaultCase {
  const char* label;
  TPacketWriteCallback fault;
  const char* reason;
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.label; }

class FaultyOutput : public ::testing::TestWithParam<FaultCase> {};

// The same fault with and without `verify`: only the verified run fails, and its output is gone.
TEST_P(FaultyOutput, FailsTheRunAndLeavesNothing) {
  const FaultCase& c = GetParam();
  for (const bool verify : {false, true}) {
    SCOPED_TRACE(verify ? "verified" : "not verified");
    const std::string output = Scratch(std::string(c.label) + (verify ? "_verified.mp4" : ".mp4"));
    EngineRun run;
    ASSERT_TRUE(run.engine->AddInputFile(fixtures::Make(Clip("verify_clip.mkv", 3))));
    run.Options(kVideo);
    if (verify) run.Options({{"verify", "1"}});
    ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
    run.engine->PacketWriteCallback = c.fault;
    const bool finished = run.Run();
    EXPECT_EQ(run.terminations, 1);
    if (!verify) {
      EXPECT_TRUE(finished) << run.engine->ErrorMessage();
      EXPECT_TRUE(media::FileExists(output));
      continue;
    }
    EXPECT_FALSE(finished);
    EXPECT_TRUE(run.engine->ErrorFlag());
    EXPECT_NE(run.engine->ErrorMessage().find(c.reason), std::string::npos) << run.engine->ErrorMessage();
    EXPECT_TRUE(VerifiedOutputs(*run.engine).empty());
    EXPECT_FALSE(media::FileExists(output));
  }
}

bool Before(int64_t pts, double seconds) { return pts == AV_NOPTS_VALUE || pts < seconds * 1e6; }

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultyOutput,
    ::testing::Values(
        FaultCase{"WritingStopsEarly", [](TCustomFFmpeg*, int, int64_t pts) { return Before(pts, 1.2); },
                  "The output's video lasts 1.2"},
        FaultCase{"SoundCutShort", [](TCustomFFmpeg*, int stream, int64_t pts) { return stream != 1 || Before(pts, 2); },
                  "The output's audio lasts 2.0"},
        // MP4 keeps no track for a stream without a packet.
        FaultCase{"SoundLost", [](TCustomFFmpeg*, int stream, int64_t) { return stream != 1; },
                  "The output lacks its audio"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace strella::engine::testing
