// Sources as phones, HDR cameras and broadcasts make them, through the video
// filter graph: turned upright, colour described (HDR kept or tone-mapped),
// interlaced pictures deinterlaced; judged by ffprobe and by the libraries'
// own filters (idet), beside what the ffmpeg program makes of the same file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>

#include "test_support.h"

namespace strella::engine::testing {
namespace {

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("video_graph") + "/" + name; }

// Made once per build folder with the ffmpeg program; empty when it cannot be.
std::string MadeWithFfmpeg(const std::string& name, const std::vector<std::string>& commands) {
  for (const std::string& command : commands)
    if (std::string path = fixtures::MadeWithFfmpeg(name, command); !path.empty()) return path;
  return "";
}

// 320x240 stored, shown turned a quarter: the display matrix as phones write it.
std::string TurnedClip() {
  const std::string plain = MadeWithFfmpeg("upright_source.mp4", {"-f lavfi -i testsrc=size=320x240:rate=25 -t 1 "
                                                                  "-c:v mpeg4 -q:v 3"});
  // Newer ffmpeg programs take the rotation as an input option, older ones as a stream tag.
  return MadeWithFfmpeg("turned.mov", {"-display_rotation 90 -i " + Quote(plain) + " -c copy",
                                       "-i " + Quote(plain) + " -c copy -metadata:s:v:0 rotate=90"});
}

// The colour tags go on the pictures (setparams): newer ffmpeg programs tag
// the encoder from its pictures and drop -color_* options that disagree.
std::string HlgClip() {
  return MadeWithFfmpeg("hlg10.mkv", {"-f lavfi -i testsrc2=size=320x240:rate=25 -t 1 "
                                      "-vf setparams=range=tv:color_primaries=bt2020:color_trc=arib-std-b67:"
                                      "colorspace=bt2020nc -pix_fmt yuv420p10le -c:v libx265 -x265-params log-level=none"});
}

std::string Bt709Clip() {
  return MadeWithFfmpeg("bt709.mkv", {"-f lavfi -i testsrc2=size=320x240:rate=25 -t 1 "
                                      "-vf setparams=range=tv:color_primaries=bt709:color_trc=bt709:colorspace=bt709 "
                                      "-pix_fmt yuv420p -c:v libx264"});
}

// HDR10 graded on a 1000 cd/m² display, its brightest picture 1000 and its
// average 400: levels only the bitstream carries, as encoders write them.
std::string Hdr10Clip() {
  return MadeWithFfmpeg("hdr10.mkv", {"-f lavfi -i testsrc2=size=320x240:rate=25 -t 1 "
                                      "-vf setparams=range=tv:color_primaries=bt2020:color_trc=smpte2084:"
                                      "colorspace=bt2020nc -pix_fmt yuv420p10le -c:v libx265 -x265-params "
                                      "'log-level=none:hdr10=1:master-display=G(13250,34500)B(7500,3000)"
                                      "R(34000,16000)WP(15635,16450)L(10000000,1):max-cll=1000,400'"});
}

// Top field first, 25 frames of two fields from a 50-picture source: combed where anything moves.
std::string InterlacedClip() {
  return MadeWithFfmpeg("interlaced_moving.ts", {"-f lavfi -i testsrc2=size=320x240:rate=50 -t 1 "
                                          "-vf tinterlace=mode=interleave_top,setfield=tff -c:v mpeg2video "
                                          "-flags +ildct+ilme -top 1 -b:v 2M"});
}

// 30 pictures a second for one second, then 15 for one: 45 pictures, 22.5 a second on average.
std::string VariableRateClip() {
  return MadeWithFfmpeg("vfr_30_15.mp4", {"-f lavfi -i testsrc2=size=320x240:rate=30 -t 2 "
                                          "-vf select='lt(t\\,1)+not(mod(n\\,2))' -vsync vfr -c:v libx264 "
                                          "-preset ultrafast"});
}

// Every picture's time in milliseconds, in order.
std::vector<long> PictureTimes(const std::string& file) {
  std::vector<long> times;
  std::istringstream lines(RunCommand("ffprobe -v error -select_streams v:0 -show_entries frame=pts_time "
                                      "-of csv=p=0 " + Quote(file) + " 2>/dev/null"));
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line[0] != ',') times.push_back(std::lround(std::stod(line) * 1000));
  return times;
}

std::string Convert(const std::string& input, const std::string& output,
                    const std::vector<std::pair<std::string, std::string>>& options) {
  const std::string path = Scratch(output);
  std::remove(path.c_str());
  ConvertWithOptions(input, options, path);
  return path;
}

// Grey 16x16 thumbnails of every picture, as raw bytes: a picture's content at any size.
std::string Thumbnails(const std::string& file, const std::string& extra = "") {
  return RunCommand("ffmpeg -v error " + extra + " -i " + Quote(file) +
                    " -vf scale=16:16:flags=area,format=gray -f rawvideo - 2>/dev/null");
}

// Largest difference of two equally long byte strings; 255 when they differ in length.
int LargestDifference(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return 255;
  int largest = 0;
  for (size_t i = 0; i < a.size(); ++i)
    largest = std::max(largest, std::abs(static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i])));
  return largest;
}

// idet's count of the pictures it judged interlaced (top or bottom first) and progressive.
// Newer ffmpeg programs print a first, empty count from a graph they configure
// before the pictures arrive: the last count is the one over the file.
std::pair<int, int> InterlacedAndProgressive(const std::string& file) {
  const std::string out = RunCommand("ffmpeg -hide_banner -nostats -i " + Quote(file) +
                                     " -vf idet -f null - 2>&1 | grep 'Multi frame detection' | tail -n 1");
  int tff = 0, bff = 0, progressive = 0;
  const size_t at = out.find("TFF:");
  if (at == std::string::npos ||
      std::sscanf(out.c_str() + at, "TFF: %d BFF: %d Progressive: %d", &tff, &bff, &progressive) != 3)
    return {-1, -1};
  return {tff + bff, progressive};
}

TEST(Rotation, TurnedClipComesOutUprightWithoutLeftOverRotation) {
  const std::string input = TurnedClip();
  ASSERT_FALSE(input.empty()) << "the ffmpeg program could not make the turned clip";
  ASSERT_NE(RunCommand("ffprobe -v error -show_streams " + Quote(input)).find("rotation="), std::string::npos);
  for (const char* output : {"upright.mkv", "upright.mp4"}) {
    SCOPED_TRACE(output);
    const std::string path = Convert(input, output, {{"vcodec", "mpeg4"}, {"an", "1"}});
    EXPECT_EQ(StreamInfo(path, "v", "width,height"), "240,320");
    EXPECT_EQ(RunCommand("ffprobe -v error -show_streams " + Quote(path)).find("rotation="), std::string::npos);
    // Picture by picture as the ffmpeg program shows the source (it turns it upright by default).
    EXPECT_LE(LargestDifference(Thumbnails(path), Thumbnails(input)), 24);
  }
}

TEST(Rotation, SizeAndLetterboxApplyToTheUprightPicture) {
  const std::string input = TurnedClip();
  ASSERT_FALSE(input.empty());
  // A 4:3 frame around a portrait picture: bars left and right of the upright picture.
  const std::string path = Convert(input, "letterboxed.mkv",
                                   {{"vcodec", "mpeg4"}, {"s", "120x160"}, {"padleft", "100"}, {"padright", "100"},
                                    {"an", "1"}});
  EXPECT_EQ(StreamInfo(path, "v", "width,height"), "320,160");
  const std::string reference = Thumbnails(input);
  const std::string inner = RunCommand("ffmpeg -v error -i " + Quote(path) +
                                       " -vf crop=120:160:100:0,scale=16:16:flags=area,format=gray -f rawvideo - "
                                       "2>/dev/null");
  EXPECT_LE(LargestDifference(inner, reference), 24);
}

struct ColourCase {
  const char* label;
  std::string (*input)();
  std::vector<std::pair<std::string, std::string>> options;
  const char* output;
  // pix_fmt,color_range,color_space,color_transfer,color_primaries as ffprobe shows them
  const char* expected;
};
void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.label; }

class Colour : public ::testing::TestWithParam<ColourCase> {};

TEST_P(Colour, OutputDescribesItsColours) {
  const ColourCase& c = GetParam();
  const std::string input = c.input();
  ASSERT_FALSE(input.empty()) << "the ffmpeg program could not make the source";
  auto options = c.options;
  options.emplace_back("an", "1");
  const std::string path = Convert(input, c.output, options);
  EXPECT_EQ(StreamInfo(path, "v", "pix_fmt,color_range,color_space,color_transfer,color_primaries"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, Colour,
    ::testing::Values(
        ColourCase{"HlgStaysHdrInHevc", HlgClip, {{"vcodec", "libx265"}, {"x265-params", "log-level=none"}},
                   "hlg.mkv", "yuv420p10le,tv,bt2020nc,arib-std-b67,bt2020"},
        ColourCase{"HlgStaysHdrInVp9", HlgClip, {{"vcodec", "libvpx-vp9"}, {"deadline", "realtime"}, {"cpu-used", "8"}},
                   "hlg.webm", "yuv420p10le,tv,bt2020nc,arib-std-b67,bt2020"},
        ColourCase{"HlgToneMappedForH264", HlgClip, {{"vcodec", "libx264"}, {"preset", "ultrafast"}}, "sdr.mp4",
                   "yuv420p,tv,bt709,bt709,bt709"},
        ColourCase{"HlgToneMappedForMpeg4", HlgClip, {{"vcodec", "mpeg4"}}, "sdr.mkv", "yuv420p,tv,bt709,bt709,bt709"},
        ColourCase{"Bt709KeptInH264", Bt709Clip, {{"vcodec", "libx264"}, {"preset", "ultrafast"}}, "bt709.mp4",
                   "yuv420p,tv,bt709,bt709,bt709"},
        ColourCase{"Bt709KeptInMpeg4", Bt709Clip, {{"vcodec", "mpeg4"}}, "bt709.mkv", "yuv420p,tv,bt709,bt709,bt709"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Colour, ToneMappedPicturesAreNotWashedOut) {
  const std::string input = HlgClip();
  ASSERT_FALSE(input.empty());
  const std::string path = Convert(input, "tonemapped.mkv", {{"vcodec", "libx264"}, {"preset", "ultrafast"}, {"an", "1"}});
  // Beside the ffmpeg program's own tone mapping of the same source.
  const std::string reference = RunCommand(
      "ffmpeg -v error -i " + Quote(input) +
      " -vf zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
      "zscale=t=bt709:m=bt709:r=tv,format=yuv420p,scale=16:16:flags=area,format=gray -f rawvideo - 2>/dev/null");
  EXPECT_LE(LargestDifference(Thumbnails(path), reference), 16);
}

// A side data field ffprobe shows as "key=N" or "key=N/D" (containers store
// reduced fractions, bitstreams the encoder's units); NaN when it is missing.
double SideDataValue(const std::string& text, const std::string& key) {
  const size_t at = text.find("\n" + key + "=");
  if (at == std::string::npos) return std::nan("");
  double num = 0, den = 1;
  if (std::sscanf(text.c_str() + at + key.size() + 2, "%lf/%lf", &num, &den) < 1 || den == 0) return std::nan("");
  return num / den;
}

TEST(Colour, Hdr10LightLevelsStayWithTheHdrPictures) {
  const std::string input = Hdr10Clip();
  ASSERT_FALSE(input.empty()) << "the ffmpeg program could not make the source";
  const auto firstPicture = [](const std::string& file) {
    return RunCommand("ffprobe -v error -select_streams v -read_intervals %+#1 -show_frames " + Quote(file));
  };
  ASSERT_DOUBLE_EQ(SideDataValue(firstPicture(input), "max_content"), 1000);
  struct {
    const char* output;
    std::vector<std::pair<std::string, std::string>> options;
    bool inPictures;  // the encoder writes them into the bitstream too
  } cases[] = {{"hdr10.mkv", {{"vcodec", "libx265"}, {"x265-params", "log-level=none"}}, true},
               {"hdr10.webm", {{"vcodec", "libvpx-vp9"}, {"deadline", "realtime"}, {"cpu-used", "8"}}, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    auto options = c.options;
    options.emplace_back("an", "1");
    const std::string path = Convert(input, c.output, options);
    EXPECT_EQ(StreamInfo(path, "v", "color_transfer"), "smpte2084");
    const auto expectLevels = [](const std::string& text) {
      EXPECT_DOUBLE_EQ(SideDataValue(text, "max_luminance"), 1000) << text;
      EXPECT_DOUBLE_EQ(SideDataValue(text, "green_x"), 0.265);
      EXPECT_DOUBLE_EQ(SideDataValue(text, "white_point_y"), 0.329);
      EXPECT_DOUBLE_EQ(SideDataValue(text, "max_content"), 1000);
      EXPECT_DOUBLE_EQ(SideDataValue(text, "max_average"), 400);
    };
    // In the container, for players that read them there, and in the pictures where the encoder writes them.
    expectLevels(RunCommand("ffprobe -v error -select_streams v -show_streams " + Quote(path)));
    if (c.inPictures) expectLevels(firstPicture(path));
  }
}

TEST(Interlacing, InterlacedSourceIsDeinterlacedUnlessTheOutputKeepsFields) {
  const std::string input = InterlacedClip();
  ASSERT_FALSE(input.empty());
  const auto [sourceInterlaced, sourceProgressive] = InterlacedAndProgressive(input);
  ASSERT_GT(sourceInterlaced, 20) << "the fixture is not combed";

  const std::string progressive = Convert(input, "deinterlaced.mkv", {{"vcodec", "mpeg4"}, {"b", "2000000"}, {"an", "1"}});
  const auto [interlaced, whole] = InterlacedAndProgressive(progressive);
  // idet takes a few still moments for combing; the source had none of them.
  EXPECT_LE(interlaced, 5);
  EXPECT_GE(whole, 20);
  EXPECT_NE(StreamInfo(progressive, "v", "field_order"), "tt");

  // MPEG-2 stores fields (DVD, SVCD): the fields stay as they were.
  const std::string fields = Convert(input, "fields.mpg", {{"vcodec", "mpeg2video"}, {"b", "4000000"}, {"an", "1"}});
  EXPECT_GT(InterlacedAndProgressive(fields).first, 20);
}

TEST(VariableFrameRate, PicturesKeepTheirTimesWhereTheContainerHoldsThem) {
  const std::string input = VariableRateClip();
  ASSERT_FALSE(input.empty());
  const std::vector<long> source = PictureTimes(input);
  ASSERT_EQ(source.size(), 45u) << "fixture";
  for (const char* output : {"vfr.mp4", "vfr.mkv", "vfr.mov"}) {
    SCOPED_TRACE(output);
    // As a job with "Auto" asks: the average rate, and each picture at its own time.
    const std::string path = Convert(input, output, {{"vcodec", "libx264"}, {"preset", "ultrafast"}, {"r", "45/2"},
                                                      {"vsync", "2"}, {"an", "1"}});
    const std::vector<long> times = PictureTimes(path);
    ASSERT_EQ(times.size(), source.size());
    for (size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i] - times[0], source[i] - source[0], 2) << i;
  }
  // A rate the user picks is the rate written.
  const std::string fixed = Convert(input, "fixed.mp4", {{"vcodec", "libx264"}, {"preset", "ultrafast"}, {"r", "30"},
                                                         {"an", "1"}});
  EXPECT_NEAR(static_cast<double>(PictureTimes(fixed).size()), 59, 1);  // 30 a second up to the last picture, at 1.93 s
}

}  // namespace
}  // namespace strella::engine::testing
