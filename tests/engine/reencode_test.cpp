// Re-encoding end to end: decoding, the audio path (rate, channels, sample
// format, framing) and the video path (scaling, cropping, padding, rate).
#include <gtest/gtest.h>

#include <algorithm>

#include "media/text_helpers.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("reencode") + "/" + name; }

struct EncodeCase {
  const char* label;
  const char* input;
  const char* output;
  std::vector<std::pair<std::string, std::string>> options;
  const char* video;  // "codec,width,height" or empty for no video
  const char* audio;  // "codec,sample_rate,channels" or empty
};
void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class Reencode : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(Reencode, WritesWhatWasAskedWithTheInputsDuration) {
  const EncodeCase& c = GetParam();
  const std::string input = fixtures::Path(c.input), output = Scratch(c.output);
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(input, c.options, output));
  EXPECT_EQ(StreamInfo(output, "v", "codec_name,width,height"), c.video);
  EXPECT_EQ(StreamInfo(output, "a", "codec_name,sample_rate,channels"), c.audio);
  EXPECT_NEAR(Probe(output).duration, Probe(input).duration, 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Reencode,
    ::testing::Values(
        EncodeCase{"SameGeometry", "clip.mp4", "same.mp4", {{"vcodec", "mpeg4"}, {"acodec", "aac"}}, "mpeg4,320,240",
                   "aac,44100,2"},
        EncodeCase{"ScaledMonoResampled", "clip.avi", "scaled.mkv",
                   {{"vcodec", "mpeg4"}, {"s", "160x120"}, {"acodec", "mp2"}, {"ar", "22050"}, {"ac", "1"}},
                   "mpeg4,160,120", "mp2,22050,1"},
        EncodeCase{"CroppedAndPadded", "clip.mp4", "letterbox.avi",
                   {{"vcodec", "mpeg4"}, {"croptop", "8"}, {"cropbottom", "8"}, {"padtop", "16"}, {"padbottom", "16"},
                    {"padcolor", "255"}, {"acodec", "pcm_s16le"}},
                   "mpeg4,320,256", "pcm_s16le,44100,2"},
        EncodeCase{"FrameRateAndPixelFormat", "clip.mkv", "rate.mkv",
                   {{"vcodec", "mjpeg"}, {"pix_fmt", "yuvj422p"}, {"r", "10"}, {"acodec", "copy"}}, "mjpeg,320,240",
                   "mp3,44100,2"},
        EncodeCase{"FilterGraph", "clip.mp4", "filtered.mkv",
                   {{"vcodec", "mpeg4"}, {"vfilters", "hflip,crop=200:100"}, {"an", "1"}}, "mpeg4,200,100", ""},
        EncodeCase{"FilterGraphWithPadding", "clip.mp4", "filtered_pad.mkv",
                   {{"vcodec", "mpeg4"}, {"vfilters", "hflip"}, {"padtop", "8"}, {"padbottom", "8"}, {"an", "1"}},
                   "mpeg4,320,256", ""},
        EncodeCase{"PhoneWithAmrNb", "clip.mp4", "phone.3gp",
                   {{"vcodec", "h263"}, {"s", "176x144"}, {"acodec", "libopencore_amrnb"}, {"ab", "12200"}},
                   "h263,176,144", "amr_nb,8000,1"},
        EncodeCase{"AudioOnly", "tone.wav", "tone.mp2", {{"acodec", "mp2"}, {"ab", "128000"}}, "", "mp2,44100,2"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Reencode, PadColourFillsTheBorders) {
  const std::string output = Scratch("red.mkv");
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("video_only.mp4")));
  run.Options({{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}, {"padtop", "16"}, {"padcolor", "255"}, {"vframes", "1"}});
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  // The first luma byte is red's luma in a limited-range picture (81), and
  // a player shows the pad as the red asked for.
  const std::string luma = RunCommand("ffmpeg -v error -i " + Quote(output) +
                                      " -frames:v 1 -f rawvideo -pix_fmt yuv420p - 2>/dev/null | head -c 1 | od -An -tu1");
  EXPECT_EQ(std::stoi(luma), 81);
  const std::string rgb = RunCommand("ffmpeg -v error -i " + Quote(output) +
                                     " -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null | head -c 3 | od -An -tu1");
  int r = 0, g = 0, b = 0;
  ASSERT_EQ(std::sscanf(rgb.c_str(), "%d %d %d", &r, &g, &b), 3);
  EXPECT_GE(r, 250);
  EXPECT_LE(g, 5);
  EXPECT_LE(b, 5);
}

// Mean luma of each row of the first and last decoded pictures.
std::vector<std::vector<double>> RowLuma(const std::string& file, int width, int height) {
  const std::string raw = RunCommand("ffmpeg -v error -i " + Quote(file) + " -f rawvideo -pix_fmt gray - 2>/dev/null");
  const size_t frame = static_cast<size_t>(width) * height;
  std::vector<std::vector<double>> pictures;
  for (size_t at : {size_t{0}, raw.size() < frame ? 0 : raw.size() - frame}) {
    if (raw.size() < frame) break;
    std::vector<double> rows;
    for (int y = 0; y < height; ++y) {
      double sum = 0;
      for (int x = 0; x < width; ++x) sum += static_cast<unsigned char>(raw[at + static_cast<size_t>(y) * width + x]);
      rows.push_back(sum / width);
    }
    pictures.push_back(rows);
  }
  return pictures;
}

TEST(Reencode, LetterboxBarsAreBlackWhereThePaddingIs) {
  const std::string output = Scratch("letterbox.mp4");
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  run.Options({{"vcodec", "mpeg4"}, {"qscale", "2"}, {"s", "352x196"}, {"padtop", "46"}, {"padbottom", "46"},
               {"an", "1"}});
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  ASSERT_EQ(StreamInfo(output, "v", "width,height"), "352,288");
  const auto pictures = RowLuma(output, 352, 288);
  ASSERT_EQ(pictures.size(), 2u);
  for (const auto& rows : pictures) {
    // Black is luma 16; the picture's rows average far above it.
    for (int y = 0; y < 46; ++y) EXPECT_LT(rows[y], 20) << "row " << y;
    for (int y = 46; y < 242; ++y) EXPECT_GT(rows[y], 60) << "row " << y;
    for (int y = 242; y < 288; ++y) EXPECT_LT(rows[y], 20) << "row " << y;
  }
}

TEST(Reencode, AFilterGraphThatCannotBeBuiltEndsTheRun) {
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  run.Options({{"vcodec", "mpeg4"}, {"vfilters", "nosuchfilter"}, {"an", "1"}});
  ASSERT_GT(run.engine->AddOutputFile(Scratch("bad_filter.mkv")), 0);
  EXPECT_FALSE(run.Run());
  EXPECT_EQ(run.engine->ErrorMessage(), "Error opening filters!");
}

TEST(Reencode, FrameLimitAndRecordingTime) {
  const std::string output = Scratch("limited.mp4");
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  run.Options({{"vcodec", "mpeg4"}, {"vframes", "10"}, {"an", "1"}});
  ASSERT_GT(run.engine->AddOutputFile(output), 0);
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  EXPECT_EQ(RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 " +
                       Quote(output)),
            "10\n");
}

TEST(Reencode, VideoStatisticsGetOneLinePerPicture) {
  const std::string stats = Scratch("stats.log");
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("video_only.mp4")));
  run.Options({{"vcodec", "mpeg4"}, {"vframes", "5"}, {"psnr", "1"}, {"vstats_file", stats}});
  ASSERT_GT(run.engine->AddOutputFile(Scratch("stats.mkv")), 0);
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  const std::string text = RunCommand("cat " + Quote(stats));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
  EXPECT_EQ(text.rfind("frame=     1 q= ", 0), 0u) << text;
  EXPECT_NE(text.find("PSNR= "), std::string::npos);
  EXPECT_NE(text.find("type= I"), std::string::npos);
}

TEST(Reencode, TwoPassWritesAndReadsItsLog) {
  const std::string folder = fixtures::ScratchDir("twopass");
  const std::string previous = media::GetCurrentDir();
  ASSERT_TRUE(media::SetCurrentDir(folder));
  for (const char* pass : {"1", "2"}) {
    EngineRun run;
    ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("video_only.mp4")));
    run.Options({{"vcodec", "mpeg4"}, {"pass", pass}, {"b", "200000"}});
    ASSERT_GT(run.engine->AddOutputFile(folder + "/pass" + pass + ".mp4"), 0);
    EXPECT_TRUE(run.Run()) << run.engine->ErrorMessage();
    EXPECT_TRUE(media::FileExists(folder + "/ffmpeg2pass-0.log"));
  }
  media::SetCurrentDir(previous);
  EXPECT_GT(media::FileSizeW(folder + "/ffmpeg2pass-0.log"), 0);
  EXPECT_TRUE(Probe(folder + "/pass2.mp4").ok);
}

TEST(Reencode, JoinModeReencodesThreeInputs) {
  const std::string output = Scratch("joined.mp4");
  EngineRun run;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  run.Options({{"vcodec", "mpeg4"}, {"acodec", "aac"}});
  ASSERT_EQ(run.engine->AddOutputFile(output, true), 3);
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  EXPECT_NEAR(Probe(output).duration, 3 * Probe(fixtures::Path("clip.mp4")).duration, 0.2);
}

}  // namespace
}  // namespace strella::engine::testing
