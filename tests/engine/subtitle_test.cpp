// Subtitle streams end to end: copied, re-encoded into another text format,
// or left out with `sn`. The peer program reads each result back as SubRip
// text, so every cue's text, start and end are judged at once.
#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

namespace strella::engine::testing {
namespace {

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("subtitle") + "/" + name; }

// Two cues over a short video-only clip, as SubRip in Matroska or as timed text in MP4.
std::string SubtitledClip(const std::string& name, const std::string& codec) {
  fixtures::FixtureSpec recipe{name};
  recipe.video = fixtures::VideoSpec{};
  recipe.subtitles = {{0.2, 0.9, "First cue"}, {1.1, 1.7, "Second cue"}};
  recipe.subtitle_codec = codec;
  return fixtures::Make(recipe);
}

const char* const kCuesAsSubRip =
    "1\n00:00:00,200 --> 00:00:00,900\nFirst cue\n\n"
    "2\n00:00:01,100 --> 00:00:01,700\nSecond cue\n\n";

// The first subtitle stream of the file as SubRip text; empty without one.
std::string CuesOf(const std::string& file) {
  std::string text = RunCommand("ffmpeg -v error -i " + Quote(file) + " -map 0:s:0 -f srt - 2>/dev/null");
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

struct SubtitleCase {
  const char* label;
  const char* input;  // "mkv" (SubRip) or "mp4" (timed text)
  const char* output;
  std::vector<std::pair<std::string, std::string>> options;
  const char* codec;  // of the output's subtitle stream; empty: none
};
void PrintTo(const SubtitleCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class Subtitles : public ::testing::TestWithParam<SubtitleCase> {};

TEST_P(Subtitles, KeepEveryCueOrNone) {
  const SubtitleCase& c = GetParam();
  const std::string input = std::string(c.input) == "mkv" ? SubtitledClip("subtitled.mkv", "subrip")
                                                          : SubtitledClip("subtitled.mp4", "mov_text");
  ASSERT_EQ(CuesOf(input), kCuesAsSubRip) << "fixture";
  const std::string output = Scratch(c.output);
  auto options = c.options;
  options.insert(options.begin(), {"vcodec", "copy"});
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(input, options, output));
  EXPECT_EQ(StreamInfo(output, "s", "codec_name"), c.codec);
  EXPECT_EQ(CuesOf(output), *c.codec ? kCuesAsSubRip : "");
  EXPECT_EQ(StreamInfo(output, "v", "codec_name"), "mpeg4");
}

INSTANTIATE_TEST_SUITE_P(
    Engine, Subtitles,
    ::testing::Values(SubtitleCase{"CopiedIntoMatroska", "mkv", "copy.mkv", {{"scodec", "copy"}}, "subrip"},
                      SubtitleCase{"SubRipToAss", "mkv", "ass.mkv", {{"scodec", "ass"}}, "ass"},
                      SubtitleCase{"SubRipToTimedText", "mkv", "text.mp4", {{"scodec", "mov_text"}}, "mov_text"},
                      SubtitleCase{"TimedTextToSubRip", "mp4", "srt.mkv", {{"scodec", "subrip"}}, "subrip"},
                      SubtitleCase{"MatroskaDefault", "mp4", "default.mkv", {}, "ass"},
                      SubtitleCase{"DroppedWithSn", "mkv", "none.mkv", {{"sn", "1"}}, ""}),
    [](const auto& info) { return std::string(info.param.label); });

// The subtitle packets' times of the first subtitle stream, one per line.
std::string PacketTimes(const std::string& file) {
  return RunCommand("ffprobe -v error -select_streams s:0 -show_entries packet=pts_time -of csv=p=0 " + Quote(file) +
                    " 2>/dev/null");
}

// Bitmap cues re-encoded to DVB: each cue becomes a picture packet at its
// start and a clearing packet at its end, which the container gives (the
// bitmaps' own page time-out is 30 s).
TEST(Subtitles, BitmapCuesReencodedToDvbShowAndClearEachCue) {
  const std::string input = SubtitledClip("subtitled_dvb.mkv", "dvb_subtitle");
  ASSERT_EQ(StreamInfo(input, "s", "codec_name"), "dvb_subtitle") << "fixture";
  const std::string output = Scratch("dvb.mkv");
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(input, {{"vcodec", "copy"}, {"scodec", "dvbsub"}}, output));
  EXPECT_EQ(StreamInfo(output, "s", "codec_name"), "dvb_subtitle");
  EXPECT_EQ(PacketTimes(output), "0.200000\n0.900000\n1.100000\n1.700000\n");
}

// Picture cues into a text encoder: each is refused and left out with a
// warning; the picture is still written and the run finishes.
TEST(Subtitles, ACueTheEncoderCannotTakeIsLeftOutAndTheRunFinishes) {
  const std::string input = SubtitledClip("subtitled_dvb.mkv", "dvb_subtitle");
  const std::string output = Scratch("refused_cues.mkv");
  LogLines warnings("cannot encode was left out");
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(input, {{"vcodec", "copy"}, {"scodec", "ass"}}, output));
  EXPECT_FALSE(warnings.Lines().empty());
  EXPECT_EQ(StreamInfo(output, "v", "codec_name"), "mpeg4");
  EXPECT_GT(Probe(output).duration, 1.5);
}

}  // namespace
}  // namespace strella::engine::testing
