// Results that match the source: odd picture sizes, the shape pixels are
// shown at, the source's frame rate, and what the run tells the user. Each
// case converts through strella-cli and is judged with ffprobe.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fixtures.h"
#include "run_program.h"

namespace strella::cli {
namespace {

const char* kMP4 = "MP4 - MPEG4 Video (*.mp4)";
const char* kAVI = "AVI - Audio Video Interleave (*.avi)";
const char* k3GP = "3GP - Mobile Video Format (*.3gp)";
const char* kMOV = "MOV - QuickTime Video (*.mov)";
const char* kMPEG1 = "MPEG-1 Movie (*.mpg)";

std::string VideoField(const std::string& file, const std::string& field) {
  std::string value = Shell("ffprobe -v error -select_streams v:0 -show_entries stream=" + field +
                            " -of default=nw=1:nk=1 " + Quote(file))
                          .second;
  while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
  return value;
}

double Ratio(const std::string& text) {
  const size_t split = text.find_first_of(":/");
  if (split == std::string::npos) return std::atof(text.c_str());
  const double den = std::atof(text.c_str() + split + 1);
  return den == 0 ? 0 : std::atof(text.c_str()) / den;
}

// Width x height times the sample aspect: the shape a player shows.
double DisplayAspect(const std::string& file) {
  const double width = std::atof(VideoField(file, "width").c_str());
  const double height = std::atof(VideoField(file, "height").c_str());
  const std::string sar = VideoField(file, "sample_aspect_ratio");
  const double pixel = sar.empty() || sar == "N/A" || sar == "0:1" ? 1.0 : Ratio(sar);
  return width * pixel / height;
}

// The mean brightness of two picture rows (from an even one) of the first picture.
double RowBrightness(const std::string& file, int row) {
  const std::string raw = Shell("ffmpeg -v quiet -i " + Quote(file) + " -vf crop=iw:2:0:" + std::to_string(row & ~1) +
                                ",format=gray -frames:v 1 -f rawvideo -")
                              .second;
  if (raw.empty()) return -1;
  double sum = 0;
  for (unsigned char pixel : raw) sum += pixel;
  return sum / static_cast<double>(raw.size());
}

using fixtures::VideoClip;

std::string Convert(const std::vector<std::string>& args, const std::string& out) {
  std::vector<std::string> all = {"-o", out};
  all.insert(all.end(), args.begin(), args.end());
  const auto [status, log] = RunCli(all);
  EXPECT_EQ(status, 0) << log;
  return log;
}

struct OddSizeCase {
  const char* label;
  bool gif;  // the 200x133 source is an animated GIF without sound
  const char* profile;
  const char* extension;
  const char* size;  // expected
};
void PrintTo(const OddSizeCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class OddSizes : public ::testing::TestWithParam<OddSizeCase> {};

TEST_P(OddSizes, BecomeTheNearestEvenSizeTheEncoderTakes) {
  const OddSizeCase& c = GetParam();
  fixtures::FixtureSpec recipe = c.gif ? VideoClip("odd_200x133.gif", 200, 133) : VideoClip("odd_321x241.mp4", 321, 241);
  if (c.gif) {
    recipe.video->codec = "gif";
    recipe.audio.reset();
  }
  const std::string input = fixtures::Make(recipe);
  const std::string out = fixtures::ScratchDir(std::string("odd_sizes_") + c.label);
  Convert({"-p", c.profile, input}, out);
  const std::string output = out + "/" + (c.gif ? "odd_200x133" : "odd_321x241") + c.extension;
  EXPECT_EQ(VideoField(output, "width") + "x" + VideoField(output, "height"), c.size);
  if (std::string(c.extension) != ".3gp") {
    // Made even, the picture is still shown at the source's shape.
    EXPECT_NEAR(DisplayAspect(output), c.gif ? 200.0 / 133 : 321.0 / 241, 0.01);
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, OddSizes,
                         ::testing::Values(OddSizeCase{"clip_mp4", false, kMP4, ".mp4", "320x240"},
                                           OddSizeCase{"clip_avi", false, kAVI, ".avi", "320x240"},
                                           OddSizeCase{"clip_3gp", false, k3GP, ".3gp", "176x144"},
                                           OddSizeCase{"gif_mp4", true, kMP4, ".mp4", "200x132"},
                                           OddSizeCase{"gif_avi", true, kAVI, ".avi", "200x132"},
                                           OddSizeCase{"gif_3gp", true, k3GP, ".3gp", "176x144"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(PixelShape, LetterboxAndOriginalSizeWorkOnTheShownShape) {
  fixtures::FixtureSpec dvd = VideoClip("pal_4x3_sar16x15.mp4", 720, 576);
  dvd.video->sar_num = 16, dvd.video->sar_den = 15;
  fixtures::FixtureSpec wide = VideoClip("pal_16x9_sar64x45.mp4", 720, 576);
  wide.video->sar_num = 64, wide.video->sar_den = 45;
  const std::string out = fixtures::ScratchDir("pixel_shape");

  // 4:3 shown in a 4:3 frame: filled, no bars.
  Convert({"-p", kMP4, "--size", "640x480", fixtures::Make(dvd)}, out);
  const std::string filled = out + "/pal_4x3_sar16x15.mp4";
  EXPECT_EQ(VideoField(filled, "width") + "x" + VideoField(filled, "height"), "640x480");
  EXPECT_NEAR(DisplayAspect(filled), 4.0 / 3, 0.01);
  EXPECT_GT(RowBrightness(filled, 2), 40) << "a bar at the top";
  EXPECT_GT(RowBrightness(filled, 477), 40) << "a bar at the bottom";

  // 16:9 shown in a 4:3 frame: a 640x360 picture between 60-row bars.
  Convert({"-p", kMP4, "--size", "640x480", fixtures::Make(wide)}, out);
  const std::string boxed = out + "/pal_16x9_sar64x45.mp4";
  EXPECT_NEAR(DisplayAspect(boxed), 4.0 / 3, 0.01);
  EXPECT_LT(RowBrightness(boxed, 2), 24) << "no bar at the top";
  EXPECT_LT(RowBrightness(boxed, 477), 24) << "no bar at the bottom";
  EXPECT_GT(RowBrightness(boxed, 240), 40);

  // Original Size keeps the stored size and the shape it is shown at.
  const std::string original = fixtures::ScratchDir("pixel_shape_original");
  Convert({"-p", kMP4, "--size", "Original Size", fixtures::Make(dvd), fixtures::Make(wide)}, original);
  EXPECT_EQ(VideoField(original + "/pal_4x3_sar16x15.mp4", "width"), "720");
  EXPECT_NEAR(DisplayAspect(original + "/pal_4x3_sar16x15.mp4"), 4.0 / 3, 0.01);
  EXPECT_NEAR(DisplayAspect(original + "/pal_16x9_sar64x45.mp4"), 16.0 / 9, 0.01);
}

struct RateCase {
  const char* label;
  int num, den;
  const char* profile;
  const char* extension;
  double expected;
};
void PrintTo(const RateCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class AutoFrameRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(AutoFrameRate, KeepsTheSourceRateOrTheNearestListedOne) {
  const RateCase& c = GetParam();
  fixtures::FixtureSpec recipe = VideoClip(std::string("rate_") + std::to_string(c.num) + "_" + std::to_string(c.den) + ".mp4", 160, 120);
  recipe.video->fps_num = c.num, recipe.video->fps_den = c.den;
  const std::string out = fixtures::ScratchDir(std::string("auto_rate_") + c.label);
  Convert({"-p", c.profile, fixtures::Make(recipe)}, out);
  const std::string output = out + "/" + recipe.file_name.substr(0, recipe.file_name.size() - 4) + c.extension;
  const std::string rate = fixtures::ShownFrameRate(output);
  EXPECT_NEAR(Ratio(rate), c.expected, 0.01) << rate;
}

INSTANTIATE_TEST_SUITE_P(
    Sources, AutoFrameRate,
    ::testing::Values(RateCase{"fps30_mp4", 30, 1, kMP4, ".mp4", 30}, RateCase{"fps24_mp4", 24, 1, kMP4, ".mp4", 24},
                      RateCase{"ntsc_mp4", 30000, 1001, kMP4, ".mp4", 29.97},
                      RateCase{"fps30_mov", 30, 1, kMOV, ".mov", 30}, RateCase{"fps24_mov", 24, 1, kMOV, ".mov", 24},
                      RateCase{"ntsc_mov", 30000, 1001, kMOV, ".mov", 29.97},
                      RateCase{"fps30_avi", 30, 1, kAVI, ".avi", 30}, RateCase{"fps24_avi", 24, 1, kAVI, ".avi", 24},
                      RateCase{"ntsc_avi", 30000, 1001, kAVI, ".avi", 29.97},
                      // MPEG-1 lists its rates: 20 is not among them, 23.976 is the nearest.
                      RateCase{"fps20_mpeg1", 20, 1, kMPEG1, ".mpg", 24000.0 / 1001},
                      RateCase{"fps24_mpeg1", 24, 1, kMPEG1, ".mpg", 24}),
    [](const auto& info) { return std::string(info.param.label); });

// The start of the last picture and the tone, in seconds from the first
// picture. Pictures are timed by their starts only: ffprobe 7 gives an mp4
// picture's duration where 5.1 gave none, which would move the end by one picture.
struct Timing {
  double videoEnd = 0, soundOnset = -1, soundEnd = -1;
};

Timing MeasureTiming(const std::string& file) {
  const double videoStart = std::atof(VideoField(file, "start_time").c_str());
  std::istringstream frames(Shell("ffprobe -v error -select_streams v:0 -show_entries frame=pts_time "
                                  "-of csv=p=0 " + Quote(file)).second);
  Timing timing;
  for (std::string line; std::getline(frames, line);) timing.videoEnd = std::max(timing.videoEnd, std::atof(line.c_str()));
  timing.videoEnd -= videoStart;
  const double audioStart = std::atof(
      Shell("ffprobe -v error -select_streams a:0 -show_entries stream=start_time -of default=nw=1:nk=1 " + Quote(file))
          .second.c_str());
  const std::string raw = Shell("ffmpeg -v error -i " + Quote(file) + " -map 0:a:0 -ac 1 -ar 8000 -f s16le - 2>/dev/null").second;
  const auto* samples = reinterpret_cast<const int16_t*>(raw.data());
  const size_t count = raw.size() / 2;
  size_t first = 0;
  while (first < count && std::abs(samples[first]) < 2000) ++first;
  if (first < count) timing.soundOnset = audioStart - videoStart + static_cast<double>(first) / 8000;
  timing.soundEnd = audioStart - videoStart + static_cast<double>(count) / 8000;
  return timing;
}

TEST(IrregularTimes, PicturesStayInSyncWithTheSound) {
  fixtures::FixtureSpec recipe = VideoClip("irregular_times_60s.mkv", 160, 120);
  recipe.duration = 60;
  recipe.video->irregular_times = true;
  recipe.audio->codec = "libmp3lame";
  const std::string input = fixtures::Make(recipe);
  const std::string out = fixtures::ScratchDir("irregular_times");
  Convert({"-p", kMP4, input}, out);
  const std::string output = out + "/irregular_times_60s.mp4";
  const double rate = Ratio(VideoField(output, "avg_frame_rate"));
  EXPECT_NEAR(rate, 6000.0 / 256, 0.5) << "the source's average rate";
  const Timing in = MeasureTiming(input), result = MeasureTiming(output);
  EXPECT_NEAR(result.videoEnd, in.videoEnd, 0.08);
  EXPECT_NEAR(result.soundOnset, in.soundOnset, 0.04);
  EXPECT_NEAR(result.soundEnd, in.soundEnd, 0.04);
}

TEST(RunReport, SubstitutionsAreShownAndFailuresCounted) {
  const std::string out = fixtures::ScratchDir("run_report");
  // MP2 cannot take 96000 Hz: the nearest rate is used and the row says so.
  auto [status, log] = RunCli({"-p", "MP2 - Mpeg Layer2 Audio (*.mp2)", "--sample-rate", "96000", "-o", out,
                               fixtures::Path("tone.wav")});
  EXPECT_EQ(status, 0) << log;
  EXPECT_NE(log.find("note: Encoder mp2 does not support 96000 Hz, using 48000 Hz"), std::string::npos) << log;
  EXPECT_NE(log.find("All converting jobs completed."), std::string::npos) << log;

  std::tie(status, log) = RunCli({"-v", "-p", kMP4, "-o", out, fixtures::Path("clip.mp4"), fixtures::Path("empty.mp4"),
                                  fixtures::Path("truncated.avi")});
  EXPECT_EQ(status, 1) << log;
  EXPECT_EQ(log.find("All converting jobs completed."), std::string::npos) << log;
  EXPECT_NE(log.find(" converted, "), std::string::npos) << log;
  EXPECT_NE(log.find(" failed"), std::string::npos) << log;
  // -v: the libraries' own lines, each with its file's name.
  EXPECT_NE(log.find("clip.mp4: "), std::string::npos) << log;
}

TEST(RunReport, OutputFolderIsCreatedWithItsParents) {
  const std::string out = fixtures::ScratchDir("run_report_folder") + "/new/deeper";
  const auto [status, log] = RunCli({"-p", "MP3 - Mpeg Layer3 Audio (*.mp3)", "-o", out, fixtures::Path("tone.wav")});
  EXPECT_EQ(status, 0) << log;
  EXPECT_TRUE(std::ifstream(out + "/tone.mp3").good()) << log;
}

}  // namespace
}  // namespace strella::cli
