// Every profile, with the choices it preselects, converts a short clip with
// video and audio through strella-cli; ffprobe judges each output against the
// choices the settings lists show for that profile. The modern video profiles
// are held to more: pixel format, the hvc1 tag, the index at the front of an
// MP4, and the picture's likeness to the source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/encoder_converter.h"
#include "app/profile_catalogue.h"
#include "app/settings_model.h"
#include "cli/cli_batch.h"
#include "fixtures.h"
#include "run_program.h"

namespace strella::cli {
namespace {

constexpr int kSourceWidth = 320, kSourceHeight = 240;  // clip.mp4
constexpr double kSourceDuration = 2.0;
constexpr const char* kSourceSampleRate = "44100";  // clip.mp4's sound, kept by "Auto"
constexpr const char* kSourceChannels = "2";

// What ffprobe should report for the output of one profile.
struct Expected {
  std::string extension;
  std::string formatName;
  std::string brand;  // the start of an ISO media file's major brand
  std::string videoCodec;  // empty for an audio profile
  std::string size;
  double frameRate = 0;
  std::string audioCodec;
  std::string sampleRate;
  std::string channels;
  // Checked where set (the modern profiles).
  std::string pixelFormat;
  std::string videoTag;
  bool moovFirst = false;  // the index before the media data
  double minSsim = 0;      // of the picture against the source
};

std::string LeadingDigits(const std::string& text) {
  std::string digits;
  for (char ch : text) {
    if (!std::isdigit(static_cast<unsigned char>(ch)) && ch != '.' && ch != 'x') break;
    digits += ch;
  }
  return digits;
}

// The name ffprobe gives the codec a list entry stands for.
std::string ProbedCodecName(const std::string& listText, const std::string& formatKey, bool video) {
  static const std::map<std::string, std::string> names = {
      {"msmpeg4", "msmpeg4v3"}, {"flv", "flv1"},          {"mpeg4_qt", "mpeg4"},   {"wmv3x", "wmv2"},
      {"xvid", "mpeg4"},        {"divx", "mpeg4"},        {"libopencore_amrnb", "amr_nb"},
      {"mpeg4aac_qt", "aac"},   {"mpeg4aac", "aac"},      {"wma7x", "wmav2"}};
  std::string key;
  for (char ch : listText) key += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (key.empty()) {  // a profile without a codec choice gets the container's own default
    static const std::map<std::string, std::pair<std::string, std::string>> defaults = {
        {"MP4", {"h264", "aac"}}, {"AVI", {"mpeg4", "mp3"}}, {"MPG", {"mpeg1video", "mp2"}}};
    const auto& pair = defaults.at(formatKey);
    return video ? pair.first : pair.second;
  }
  const auto it = names.find(key);
  return it == names.end() ? key : it->second;
}

std::string ProbedFormatName(const std::string& formatKey) {
  static const std::map<std::string, std::string> names = {
      {"3GP", "mov,mp4,m4a,3gp,3g2,mj2"}, {"3G2", "mov,mp4,m4a,3gp,3g2,mj2"}, {"MOV", "mov,mp4,m4a,3gp,3g2,mj2"},
      {"MP4", "mov,mp4,m4a,3gp,3g2,mj2"}, {"M4A", "mov,mp4,m4a,3gp,3g2,mj2"}, {"ASF", "asf"},
      {"WMV", "asf"},                     {"WMA", "asf"},                     {"AVI", "avi"},
      {"VOB", "mpeg"},                    {"MPG", "mpeg"},                    {"FLV", "flv"},
      {"RM", "rm"},                       {"RA", "rm"},                       {"SWF", "swf"},
      {"AAC", "aac"},                     {"AC3", "ac3"},                     {"MP2", "mp3"},
      {"MP3", "mp3"},                     {"OGG", "ogg"},                     {"WAV", "wav"},
      {"AMR", "amr"},                     {"MKV", "matroska,webm"},           {"WEBM", "matroska,webm"},
      {"OPUS", "ogg"},                    {"FLAC", "flac"}};
  return names.at(formatKey);
}

double ProbedFrameRate(const std::string& listText) {
  const std::string number = LeadingDigits(listText);
  return number.empty() ? 25 : std::atof(number.c_str());  // "Auto" (or no choice) keeps 25 frames a second
}

// "30000/1001" as a number.
double RatioValue(const std::string& ratio) {
  const size_t slash = ratio.find('/');
  const double den = slash == std::string::npos ? 1 : std::atof(ratio.c_str() + slash + 1);
  return den == 0 ? 0 : std::atof(ratio.c_str()) / den;
}

// The settings lists as the window fills them after the user picked the profile.
struct ProfileSettings {
  explicit ProfileSettings(const app::Quality& profile) : model(lists.Controls()) {
    model.Initialize();
    lists.Controls().ComboOutputFormat->SelectText(std::string(profile.DisplayName));
    model.OutputFormatChanged();
  }
  app::TListSettingsControls lists;
  app::TSettingsModel model;
};

Expected ExpectedFor(const app::Quality& profile) {
  const ProfileSettings settings(profile);
  const app::TSettingsModel& model = settings.model;
  const app::TSettingsControls& c = settings.lists.Controls();
  const std::string key(profile.FormatKey);
  Expected e;
  for (char ch : key) e.extension += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  e.formatName = ProbedFormatName(key);
  static const std::map<std::string, std::string> brands = {
      {"3GP", "3gp"}, {"3G2", "3g2"}, {"MOV", "qt"}, {"MP4", "isom"}, {"M4A", "M4A"}};
  if (const auto it = brands.find(key); it != brands.end()) e.brand = it->second;
  if (!model.isAudio()) {
    e.videoCodec = ProbedCodecName(c.ComboVideoCodec->Text(), key, true);
    const std::string size = LeadingDigits(c.ComboVideoSize->Text());
    e.size = size.empty() ? std::to_string(kSourceWidth) + "x" + std::to_string(kSourceHeight) : size;
    e.frameRate = ProbedFrameRate(c.ComboVideoFrameRate->Text());
  }
  e.audioCodec = ProbedCodecName(c.ComboAudioCodec->Text(), key, false);
  const std::string rate = c.ComboSamplingRate->Text(), channels = c.ComboAudioChannels->Text();
  e.sampleRate = rate == "Auto" ? kSourceSampleRate : LeadingDigits(rate);
  e.channels = channels == "Auto" ? kSourceChannels : channels == "Mono" ? "1" : "2";
  if (profile.RowNumber >= app::kClassicProfileCount && !model.isAudio()) {
    e.pixelFormat = "yuv420p";
    e.minSsim = 0.95;
    e.moovFirst = key == "MP4";
    if (e.videoCodec == "hevc" && key == "MP4") e.videoTag = "hvc1";
  }
  return e;
}

// Whether the file's top-level "moov" box comes before its "mdat" box.
bool MoovBeforeMdat(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  for (;;) {
    unsigned char header[16];
    if (!in.read(reinterpret_cast<char*>(header), 8)) return false;
    const std::string type(reinterpret_cast<char*>(header) + 4, 4);
    if (type == "moov") return true;
    if (type == "mdat") return false;
    uint64_t size = (uint64_t{header[0]} << 24) | (header[1] << 16) | (header[2] << 8) | header[3];
    if (size == 1) {  // a 64-bit size follows the type
      if (!in.read(reinterpret_cast<char*>(header) + 8, 8)) return false;
      size = 0;
      for (int i = 8; i < 16; ++i) size = (size << 8) | header[i];
      in.seekg(static_cast<std::streamoff>(size) - 16, std::ios::cur);
    } else {
      in.seekg(static_cast<std::streamoff>(size) - 8, std::ios::cur);
    }
  }
}

// The structural similarity of the output's pictures to the source's (1 is equal).
double Ssim(const std::string& output, const std::string& source) {
  const std::string log =
      Shell("ffmpeg -hide_banner -nostats -i " + Quote(output) + " -i " + Quote(source) +
            " -lavfi \"[0:v][1:v]ssim\" -f null -")
          .second;
  const size_t all = log.rfind("All:");
  return all == std::string::npos ? 0 : std::atof(log.c_str() + all + 4);
}

// "key=value" lines of ffprobe for the first video and audio stream and the container.
std::map<std::string, std::string> ProbeOutput(const std::string& file) {
  std::map<std::string, std::string> fields;
  for (const char* stream : {"v:0", "a:0"}) {
    const std::string prefix = stream[0] == 'v' ? "video." : "audio.";
    const std::string text =
        Shell("ffprobe -v error -select_streams " + std::string(stream) +
              " -show_entries stream=codec_name,codec_tag_string,pix_fmt,width,height,sample_rate,channels"
              " -of default=nw=1 " +
              Quote(file))
            .second;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) fields[prefix + line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  std::istringstream lines(
      Shell("ffprobe -v error -show_entries format=format_name,duration:format_tags=major_brand -of default=nw=1 " +
            Quote(file))
          .second);
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) fields["format." + line.substr(0, eq)] = line.substr(eq + 1);
  }
  return fields;
}

// The container's duration, or where it gives none (SWF) the end of the last packet.
double Duration(const std::string& file, const std::string& containerDuration) {
  if (containerDuration != "N/A" && containerDuration != "(missing)") return std::atof(containerDuration.c_str());
  std::istringstream lines(
      Shell("ffprobe -v error -show_entries packet=pts_time,duration_time -of csv=p=0 " + Quote(file)).second);
  double end = 0;
  for (std::string line; std::getline(lines, line);) {
    const size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    end = std::max(end, std::atof(line.c_str()) + std::atof(line.c_str() + comma + 1));
  }
  return end;
}

class ProfileConversion : public ::testing::TestWithParam<int> {
 protected:
  const app::Quality& profile() const { return app::ProfileTable[static_cast<size_t>(GetParam())]; }
  std::string OutputFolder() const { return fixtures::ScratchDir("cli_profile_" + std::to_string(GetParam())); }

  void ExpectOutputMatches(const std::string& file, const Expected& e) {
    const auto probed = ProbeOutput(file);
    auto field = [&](const std::string& name) {
      const auto it = probed.find(name);
      return it == probed.end() ? std::string("(missing)") : it->second;
    };
    EXPECT_EQ(field("format.format_name"), e.formatName);
    const std::string brand = field("format.TAG:major_brand");
    if (!e.brand.empty()) {
      EXPECT_EQ(brand.rfind(e.brand, 0), 0u) << brand;
    }
    if (e.videoCodec.empty()) {
      EXPECT_EQ(probed.count("video.codec_name"), 0u) << "an audio profile wrote a video stream";
    } else {
      EXPECT_EQ(field("video.codec_name"), e.videoCodec);
      EXPECT_EQ(field("video.width") + "x" + field("video.height"), e.size);
      // 29.97 may be stored as 2997/100 or as 30000/1001.
      const std::string rate = fixtures::ShownFrameRate(file);
      EXPECT_NEAR(RatioValue(rate), e.frameRate, 0.01) << rate;
      if (!e.pixelFormat.empty()) {
        EXPECT_EQ(field("video.pix_fmt"), e.pixelFormat);
      }
      if (!e.videoTag.empty()) {
        EXPECT_EQ(field("video.codec_tag_string"), e.videoTag);
      }
      if (e.moovFirst) {
        EXPECT_TRUE(MoovBeforeMdat(file));
      }
      if (e.minSsim > 0) {
        EXPECT_GE(Ssim(file, fixtures::Path("clip.mp4")), e.minSsim);
      }
    }
    EXPECT_EQ(field("audio.codec_name"), e.audioCodec);
    EXPECT_EQ(field("audio.sample_rate"), e.sampleRate);
    EXPECT_EQ(field("audio.channels"), e.channels);
    EXPECT_NEAR(Duration(file, field("format.duration")), kSourceDuration, 0.2);
  }
};

TEST_P(ProfileConversion, PreselectedChoicesGiveWhatTheListsShow) {
  Expected expected = ExpectedFor(profile());
  const std::string out = OutputFolder();
  const std::string input = fixtures::Path("clip.mp4");
  std::vector<std::string> args = {"-p", std::to_string(profile().RowNumber), "-o", out, input};
  if (profile().AudioBitrateCell.empty() && profile().AudioLadder[0] > 0) {
    // Nothing preselected: the program says which choice is missing before it starts ...
    auto [status, log] = RunCli(args);
    EXPECT_EQ(status, 2) << log;
    EXPECT_NE(log.find("leaves no choice selected for --audio-bitrate or --audio-quality; choose one"),
              std::string::npos)
        << log;
    // ... the queue itself fails the row without converting ...
    ProfileSettings settings(profile());
    app::TPreferences prefs;
    prefs.OutputFolder = out;
    std::string error;
    const auto converter = app::CreateEncoderConverter(error);
    ASSERT_TRUE(converter) << error;
    std::ostringstream table;
    EXPECT_EQ(RunBatch({{input}}, settings.model, prefs, *converter, table), 1);
    EXPECT_NE(table.str().find("Failed  " + input), std::string::npos) << table.str();
    EXPECT_NE(table.str().find("No audio bitrate is selected"), std::string::npos) << table.str();
    EXPECT_TRUE(std::filesystem::is_empty(out));
    // ... and converts once a bitrate is given. The preselected 96000 Hz is
    // beyond the MP3 and MP2 encoders that AVI and MPG get: they take the
    // nearest rate those encoders offer.
    args.insert(args.begin(), {"--audio-bitrate", "128"});
    if (expected.audioCodec != "aac") expected.sampleRate = "48000";
  }
  const auto [status, log] = RunCli(args);
  ASSERT_EQ(status, 0) << log;
  ExpectOutputMatches(out + "/clip." + expected.extension, expected);
}

std::string RowName(const ::testing::TestParamInfo<int>& info) {
  const app::Quality& profile = app::ProfileTable[static_cast<size_t>(info.param)];
  std::string name = (profile.RowNumber < 10 ? "Row0" : "Row") + std::to_string(profile.RowNumber) + "_";
  bool gap = false;
  for (char ch : profile.DisplayName) {
    if (ch == '(') break;
    if (std::isalnum(static_cast<unsigned char>(ch))) {
      if (gap && name.back() != '_') name += '_';
      name += ch;
      gap = false;
    } else {
      gap = true;
    }
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryProfile, ProfileConversion, ::testing::Range(0, app::kProfileCount), RowName);

}  // namespace
}  // namespace strella::cli
