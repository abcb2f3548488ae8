// The modern profiles beyond what every profile is checked for: constant
// quality and its steps, tags and covers carried over, and a profile whose
// encoder the libraries lack.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "app/profile_encoders.h"
#include "app/settings_model.h"
#include "cli/cli_options.h"
#include "fixtures.h"
#include "media/ff.h"
#include "run_program.h"

namespace strella::cli {
namespace {

constexpr const char* kH264 = "MP4 - H.264 + AAC (*.mp4)";

std::string Convert(const std::string& folder, const std::vector<std::string>& options, const std::string& input) {
  std::vector<std::string> args = options;
  args.insert(args.end(), {"-o", folder, input});
  const auto [status, log] = RunCli(args);
  EXPECT_EQ(status, 0) << log;
  return log;
}

// The bytes of the file's video packets.
uintmax_t VideoBytes(const std::string& file) {
  std::istringstream sizes(
      Shell("ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 " + Quote(file)).second);
  uintmax_t total = 0;
  for (std::string line; std::getline(sizes, line);) total += std::strtoull(line.c_str(), nullptr, 10);
  return total;
}

std::string Contents(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ModernProfiles, H264NormalIsConstantQuality23AndTheStepsOrderTheSizes) {
  const std::string input = fixtures::Path("grain.mp4");
  std::map<std::string, uintmax_t> sizes;
  for (const char* quality : {"Higher", "Normal", "Lower"}) {
    const std::string folder = fixtures::ScratchDir(std::string("modern_h264_") + quality);
    Convert(folder, {"-p", kH264, "--video-quality", quality}, input);
    const std::string output = folder + "/grain.mp4";
    sizes[quality] = VideoBytes(output);
    // x264 writes its settings into the stream: rate control and factor.
    const std::string stream = Contents(output);
    if (std::string(quality) == "Normal") {
      EXPECT_NE(stream.find("rc=crf"), std::string::npos);
      EXPECT_NE(stream.find("crf=23.0"), std::string::npos);
      EXPECT_NE(stream.find("subme=7"), std::string::npos) << "the medium preset";
    }
  }
  EXPECT_GT(sizes["Higher"], sizes["Normal"]);
  EXPECT_GT(sizes["Normal"], sizes["Lower"]);
}

TEST(ModernProfiles, AFixedBitrateStaysSelectable) {
  const std::string folder = fixtures::ScratchDir("modern_h264_bitrate");
  Convert(folder, {"-p", kH264, "--video-bitrate", "600"}, fixtures::Path("clip.mp4"));
  const std::string stream = Contents(folder + "/clip.mp4");
  EXPECT_EQ(stream.find("rc=crf"), std::string::npos);
  EXPECT_NE(stream.find("bitrate=600"), std::string::npos);
}

// The file's tags (an Ogg file keeps them with its stream) and whether it
// holds an attached picture, as ffprobe reads them.
std::map<std::string, std::string> ProbedTags(const std::string& file, bool& cover) {
  const std::string text =
      Shell("ffprobe -v error -show_entries format_tags:stream_tags:stream_disposition=attached_pic -of flat " +
            Quote(file))
          .second;
  cover = text.find("disposition.attached_pic=1") != std::string::npos;
  std::map<std::string, std::string> tags;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t start = line.find(".tags.");
    const size_t eq = line.find('=');
    if (start == std::string::npos || eq == std::string::npos) continue;
    std::string key = line.substr(start + 6, eq - start - 6);
    for (char& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    tags[key] = value;
  }
  return tags;
}

struct TagCase {
  std::string fixture;
  std::string profile;
  std::string extension;
  bool cover;
};

TEST(ModernProfiles, TagsAndCoversAreCarriedOver) {
  const std::vector<TagCase> cases = {
      {"tagged.mkv", kH264, "mp4", false},
      {"tagged.mkv", "MKV - H.265/HEVC + Opus (*.mkv)", "mkv", false},
      {"tagged_cover.flac", "FLAC - Lossless Audio (*.flac)", "flac", true},
      {"tagged_cover.flac", "M4A - Apple Lossless (*.m4a)", "m4a", true},
      {"tagged_cover.flac", "Opus Audio (*.opus)", "opus", true},
  };
  for (const TagCase& tc : cases) {
    SCOPED_TRACE(tc.profile);
    const std::string folder = fixtures::ScratchDir("modern_tags_" + tc.extension);
    const std::string input = fixtures::Path(tc.fixture);
    Convert(folder, {"-p", tc.profile}, input);
    bool cover = false;
    const auto tags = ProbedTags(folder + "/" + std::filesystem::path(input).stem().string() + "." + tc.extension, cover);
    for (const auto& [key, value] : fixtures::kFixtureTags) {
      const auto it = tags.find(key);
      ASSERT_NE(it, tags.end()) << key;
      // A container may keep the time to the second only.
      EXPECT_EQ(it->second.substr(0, 19), value.substr(0, 19)) << key;
    }
    EXPECT_EQ(cover, tc.cover);
  }
}

// The libraries' encoder lookup, through the loader's function table, with
// one encoder hidden as libraries built without it would be.
class HiddenEncoder : public ::testing::Test {
 protected:
  void Hide(const std::string& name) {
    fixtures::EnsureLibraries();
    hidden_ = name;
    real_ = ff::avcodec_find_encoder_by_name;
    ff::avcodec_find_encoder_by_name = [](const char* encoder) -> const AVCodec* {
      return encoder == hidden_ ? nullptr : real_(encoder);
    };
    app::LookUpProfileEncoders(app::LoadedEncoders());
  }
  ~HiddenEncoder() override {
    if (real_) ff::avcodec_find_encoder_by_name = real_;
    app::LookUpProfileEncoders(app::LoadedEncoders());
  }
  // ApplyOptions's message, else CheckJobReady's.
  static std::string Refusal(const TCliOptions& options) {
    app::TListSettingsControls lists;
    app::TSettingsModel model(lists.Controls());
    model.Initialize();
    app::TPreferences prefs;
    const std::string error = ApplyOptions(options, model, prefs);
    return error.empty() ? CheckJobReady(model) : error;
  }
  static inline std::string hidden_;
  static inline decltype(ff::avcodec_find_encoder_by_name) real_ = nullptr;
};

TEST_F(HiddenEncoder, AProfileWithoutItsEncoderIsListedAsUnavailableAndRefused) {
  Hide("libx265");
  std::ostringstream listing;
  ListProfiles(listing);
  const std::string reason = "needs the libx265 encoder, which the installed FFmpeg lacks";
  EXPECT_NE(listing.str().find("48  MP4 - H.265/HEVC + AAC (*.mp4)  (.mp4)  [unavailable: " + reason + "]"),
            std::string::npos)
      << listing.str();
  EXPECT_NE(listing.str().find("47  MP4 - H.264 + AAC (*.mp4)  (.mp4)\n"), std::string::npos);

  TCliOptions options;
  options.profile = "49";
  EXPECT_EQ(Refusal(options), "--profile \"MKV - H.265/HEVC + Opus (*.mkv)\" " + reason);
  options.profile = "47";
  EXPECT_EQ(Refusal(options), "");
}

TEST_F(HiddenEncoder, ACodecChoiceWithoutItsEncoderRefusesTheRun) {
  Hide("libx264");
  TCliOptions options;
  options.profile = "MP4 - MPEG4 Video (*.mp4)";
  options.videoCodec = "h264";
  EXPECT_EQ(Refusal(options), "The video codec \"h264\" needs the libx264 encoder, which the installed FFmpeg lacks");
  options.videoCodec = "mpeg4";
  EXPECT_EQ(Refusal(options), "");
}

// x264's settings as it writes them into the stream ("cabac=1 ref=3 ... crf=20.0 ...").
std::string X264Settings(const std::string& file) {
  const std::string stream = Contents(file);
  const size_t start = stream.find("x264 - core");
  return start == std::string::npos ? std::string() : std::string(stream.c_str() + start);
}

TEST(Presets, APresetConvertsAsTheOptionsItWasSavedFrom) {
  const std::string input = fixtures::Path("grain.mp4");
  const std::string folder = fixtures::ScratchDir("cli_presets");
  const std::string preset = folder + "/higher.json";
  const auto [saved, savedLog] = RunCli({"-p", kH264, "--video-quality", "Higher", "--save-preset", preset});
  ASSERT_EQ(saved, 0) << savedLog;
  EXPECT_NE(Contents(preset).find("\"profile\": \"mp4-h264\""), std::string::npos) << Contents(preset);

  Convert(folder + "/options", {"-p", kH264, "--video-quality", "Higher"}, input);
  Convert(folder + "/preset", {"--preset", preset}, input);
  const std::string byOptions = X264Settings(folder + "/options/grain.mp4");
  EXPECT_NE(byOptions.find("crf=20.0"), std::string::npos) << byOptions;
  EXPECT_EQ(X264Settings(folder + "/preset/grain.mp4"), byOptions);
  EXPECT_EQ(VideoBytes(folder + "/preset/grain.mp4"), VideoBytes(folder + "/options/grain.mp4"));

  // Options beside the preset override it.
  Convert(folder + "/override", {"--preset", preset, "--video-quality", "Normal"}, input);
  EXPECT_NE(X264Settings(folder + "/override/grain.mp4").find("crf=23.0"), std::string::npos);

  // A broken preset is refused with the file, the line and the reason; nothing is converted.
  std::ofstream(folder + "/broken.json") << "{\n  \"profile\": \"mp4-h264\",\n  \"audio\": {\"bitrate\": 1}\n}\n";
  const auto [status, log] = RunCli({"--preset", folder + "/broken.json", "-o", folder + "/broken", input});
  EXPECT_EQ(status, 2) << log;
  EXPECT_NE(log.find("broken.json:3: The profile \"MP4 - H.264 + AAC (*.mp4)\" offers no audio bitrate \"0.001 Kbps\""),
            std::string::npos)
      << log;
  EXPECT_FALSE(std::filesystem::exists(folder + "/broken/grain.mp4"));
}

}  // namespace
}  // namespace strella::cli
