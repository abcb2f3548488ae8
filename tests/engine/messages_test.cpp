// Messages of opening files and of the set-up of a run, through the public
// operations: each case configures an engine and names the text it must give.
#include <gtest/gtest.h>

#include <functional>

#include "media/text_helpers.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("messages") + "/" + name; }

using Options = std::vector<std::pair<std::string, std::string>>;

// Opens clip.mp4 with the options before it, then the output with the options
// before that; returns the first failure's text.
struct FileCase {
  const char* label;
  Options beforeInput;
  Options beforeOutput;
  std::string output;  // file name within the scratch folder
  std::string message;
};
void PrintTo(const FileCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class OpenFailure : public ::testing::TestWithParam<FileCase> {};

TEST_P(OpenFailure, GivesItsMessage) {
  const FileCase& c = GetParam();
  EngineRun run;
  try {
    run.Options(c.beforeInput);
    if (!run.engine->AddInputFile(fixtures::Path("clip.mp4"))) {
      EXPECT_EQ(run.engine->LastErrMsg(), c.message);
      return;
    }
    run.Options(c.beforeOutput);
    const std::string output = Scratch(c.output);
    EXPECT_EQ(run.engine->AddOutputFile(output), -1);
    std::string expected = c.message;
    if (auto at = expected.find("%OUT%"); at != std::string::npos) expected.replace(at, 5, output);
    EXPECT_EQ(run.engine->LastErrMsg(), expected);
    EXPECT_FALSE(media::FileExists(output));
  } catch (const FFmpegException& e) {
    ADD_FAILURE() << "raised " << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, OpenFailure,
    ::testing::Values(
        FileCase{"UnknownDecoder", {{"vcodec", "nosuchcodec"}}, {}, "", "Unknown decoder 'nosuchcodec'"},
        FileCase{"DecoderOfTheWrongKind", {{"acodec", "mpeg4"}}, {}, "", "Invalid decoder type 'mpeg4'"},
        FileCase{"UnknownContainer", {}, {}, "out.nosuchext", "Unable to find a suitable output format for '%OUT%'"},
        FileCase{"UnknownEncoder", {}, {{"vcodec", "nosuchcodec"}}, "out.mkv", "new_video_stream fail: Unknown encoder 'nosuchcodec'"},
        FileCase{"EncoderOfTheWrongKind", {}, {{"acodec", "mpeg4"}}, "out.mkv", "new_audio_stream fail: Invalid encoder type 'mpeg4'"},
        FileCase{"CropWithFilters", {}, {{"vfilters", "hflip"}, {"croptop", "2"}}, "out.mkv",
                 "Cannot enable crop options and filters at the same time."},
        FileCase{"PadWithResizingFilters", {}, {{"vfilters", "hflip,Scale=100:100"}, {"padtop", "2"}}, "out.mkv",
                 "Cannot enable pad options and the filters which resize frame at the same time. (crop, rotate, "
                 "scale, transpose, etc.)"},
        FileCase{"UnwritableFolder", {}, {{"vcodec", "copy"}}, "no such folder/out.mkv",
                 "Could not open '%OUT%': No such file or directory"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(OpenFailure, ATwentyFirstInputIsRefused) {
  EngineRun run;
  for (int i = 0; i < MAX_FILE_COUNT; ++i) ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  EXPECT_FALSE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  EXPECT_EQ(run.engine->LastErrMsg(), "Too many input files: at most 20 are allowed");
}

TEST(OpenFailure, AnUnreadableInputNamesTheFile) {
  EngineRun run;
  const std::string empty = fixtures::Path("empty.mp4");
  EXPECT_FALSE(run.engine->AddInputFile(empty));
  EXPECT_EQ(run.engine->LastErrMsg().rfind(empty + ": ", 0), 0u) << run.engine->LastErrMsg();
}

// Runs that fail in their set-up, with the message of the terminate notification.
struct RunCase {
  const char* label;
  std::vector<std::string> inputs;  // fixture names
  Options beforeOutput;
  Options afterOutput;
  std::function<void(TCustomFFmpeg&)> prepare;
  std::string message;
};
void PrintTo(const RunCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class SetUpFailure : public ::testing::TestWithParam<RunCase> {};

TEST_P(SetUpFailure, EndsTheRunWithItsMessage) {
  const RunCase& c = GetParam();
  EngineRun run;
  for (const auto& input : c.inputs) ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path(input)));
  run.Options(c.beforeOutput);
  const std::string output = Scratch(std::string(c.label) + ".mkv");
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  run.Options(c.afterOutput);
  if (c.prepare) c.prepare(*run.engine);
  EXPECT_FALSE(run.Run());
  EXPECT_TRUE(run.engine->ErrorFlag());
  EXPECT_EQ(run.engine->ErrorMessage(), c.message);
  EXPECT_EQ(run.terminations, 1);
  EXPECT_FALSE(media::FileExists(output));  // nothing was written: the empty output is gone
}

const Options kCopyBoth = {{"vcodec", "copy"}, {"acodec", "copy"}};

INSTANTIATE_TEST_SUITE_P(
    Messages, SetUpFailure,
    ::testing::Values(
        RunCase{"MapCount", {"clip.mp4"}, kCopyBoth, {{"map", "0.0"}}, nullptr,
                "Number of stream maps must match number of output streams"},
        RunCase{"MapInput", {"clip.mp4"}, kCopyBoth, {{"map", "0.0"}, {"map", "0.5"}}, nullptr,
                "Could not find input stream #0.5"},
        RunCase{"MapSync", {"clip.mp4"}, kCopyBoth, {{"map", "0.0"}, {"map", "0.1:1.0"}}, nullptr,
                "Could not find sync stream #1.0"},
        RunCase{"MapKind", {"clip.mp4"}, kCopyBoth, {{"map", "0.1"}, {"map", "0.0"}}, nullptr,
                "Codec type mismatch for mapping #0.1 (Audio) -> #0.0 (Video)"},
        RunCase{"NoStreams", {"clip.mp4"}, {{"vn", "1"}, {"an", "1"}}, {}, nullptr,
                "Output file #0 does not contain any stream"},
        RunCase{"NoMatchingInput", {"tone.wav"}, {{"acodec", "copy"}}, {{"vcodec", "copy"}, {"newvideo", ""}}, nullptr,
                "Could not find input stream matching output stream #0.1 (Video)"},
        RunCase{"CopyWithVolume", {"clip.mp4"}, kCopyBoth, {{"vol", "512"}}, nullptr,
                "-acodec copy and -vol are incompatible (frames are not decoded)"},
        RunCase{"CopyWithPreview", {"clip.mp4"}, kCopyBoth, {}, [](TCustomFFmpeg& e) { e.SetPreviewFlags(kPreviewBitmap); },
                "-vcodec copy and PostHooks are incompatible (frames are not decoded)"},
        RunCase{"CopyWithCustomHook", {"clip.mp4"}, kCopyBoth, {},
                [](TCustomFFmpeg& e) {
                  e.CustomHookCallback = [](TCustomFFmpeg*, media::TBitmap*, int, int64_t, bool&, bool&) {};
                },
                "-vcodec copy and CustomHook are incompatible (frames are not decoded)"},
        RunCase{"MetaOutput", {"clip.mp4"}, kCopyBoth, {{"map_meta_data", "3:0"}}, nullptr,
                "Invalid output file index 3 map_meta_data(3,0)"},
        RunCase{"MetaInput", {"clip.mp4"}, kCopyBoth, {{"map_meta_data", "0:5"}}, nullptr,
                "Invalid input file index 5 map_meta_data(0,5)"},
        RunCase{"EncoderRefusesRate", {"clip.mp4"}, {{"vcodec", "mpeg1video"}, {"r", "7"}, {"force_fps", "1"}, {"an", "1"}},
                {}, nullptr,
                "Error while opening encoder for output stream #0.0 (Video) - maybe incorrect parameters such as "
                "bit_rate, rate, width or height"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace strella::engine::testing
