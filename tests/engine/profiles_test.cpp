// Every codec and container pairing the output profiles ask for, judged by
// ffprobe: codec, picture size and rate, sample rate and channels, and a
// duration that matches the input's. Also the encoders' nearest offers for
// sample rates and channel layouts they do not list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "media/logger.h"
#include "media/main_thread.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("profiles") + "/" + name; }

struct ProfileCase {
  const char* label;
  const char* input;   // a standard fixture
  const char* output;  // file name: the extension picks the muxer
  Options options;
  const char* video;  // "codec,width,height,frame rate" or empty for none
  const char* audio;  // "codec,sample rate,channels" or empty for none
};
void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

// Seconds: the container's duration, or where its last packet ends when the
// container keeps none (swf).
double Duration(const std::string& file) {
  const double stored = Probe(file).duration;
  if (stored > 0) return stored;
  const std::string out = RunCommand("ffprobe -v error -show_entries packet=pts_time,duration_time -of csv=p=0 " +
                                     Quote(file) + " 2>/dev/null");
  double end = 0, pts = 0, duration = 0;
  for (const char* at = out.c_str(); std::sscanf(at, "%lf,%lf", &pts, &duration) == 2;) {
    end = std::max(end, pts + duration);
    at = std::strchr(at, '\n');
    if (!at) break;
    ++at;
  }
  return end;
}

class ProfileOutput : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileOutput, HasTheCodecsGeometryRatesAndDurationAskedFor) {
  const ProfileCase& c = GetParam();
  const std::string input = fixtures::Path(c.input), output = Scratch(c.output);
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(input, c.options, output));
  const std::string video = StreamInfo(output, "v", "codec_name,width,height");
  EXPECT_EQ(video.empty() ? video : video + "," + fixtures::ShownFrameRate(output), c.video);
  EXPECT_EQ(StreamInfo(output, "a", "codec_name,sample_rate,channels"), c.audio);
  EXPECT_NEAR(Duration(output), Probe(input).duration, 0.2);
}

const Options kAmr = {{"acodec", "libopencore_amrnb"}, {"ar", "8000"}, {"ac", "1"}, {"ab", "7400"}};

Options With(Options options, const Options& more) {
  options.insert(options.end(), more.begin(), more.end());
  return options;
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, ProfileOutput,
    ::testing::Values(
        ProfileCase{"Mpeg4AmrIn3gp", "clip.mp4", "mpeg4.3gp",
                    With({{"vcodec", "mpeg4"}, {"s", "352x288"}, {"r", "15"}}, kAmr), "mpeg4,352,288,15/1",
                    "amr_nb,8000,1"},
        ProfileCase{"H263AmrIn3g2", "clip.mp4", "h263.3g2",
                    With({{"vcodec", "h263"}, {"s", "176x144"}, {"r", "15"}}, kAmr), "h263,176,144,15/1",
                    "amr_nb,8000,1"},
        ProfileCase{"Mpeg4AmrIn3g2", "clip.mp4", "mpeg4.3g2", With({{"vcodec", "mpeg4"}, {"s", "176x144"}}, kAmr),
                    "mpeg4,176,144,25/1", "amr_nb,8000,1"},
        ProfileCase{"Msmpeg4Mp3InAsf", "clip.mp4", "msmpeg4.asf",
                    {{"vcodec", "msmpeg4"}, {"acodec", "libmp3lame"}, {"ar", "48000"}}, "msmpeg4v3,320,240,25/1",
                    "mp3,48000,2"},
        ProfileCase{"DivxPcmInAvi", "clip.mp4", "divx.avi",
                    {{"vcodec", "mpeg4"}, {"vtag", "DIVX"}, {"acodec", "pcm_s16le"}}, "mpeg4,320,240,25/1",
                    "pcm_s16le,44100,2"},
        ProfileCase{"H264Mp3InAvi", "clip.mp4", "h264.avi",
                    {{"vcodec", "libx264"}, {"acodec", "libmp3lame"}, {"r", "29.97"}}, "h264,320,240,30000/1001",
                    "mp3,44100,2"},
        ProfileCase{"XvidAc3InAvi", "clip.mp4", "xvid.avi", {{"vcodec", "libxvid"}, {"acodec", "ac3"}},
                    "mpeg4,320,240,25/1", "ac3,44100,2"},
        ProfileCase{"Mpeg2Ac3InVob", "clip.mp4", "dvd.vob",
                    {{"vcodec", "mpeg2video"}, {"s", "720x480"}, {"r", "29.97"}, {"acodec", "ac3"}, {"ar", "48000"}},
                    "mpeg2video,720,480,30000/1001", "ac3,48000,2"},
        ProfileCase{"FlvMp3InFlv", "clip.mp4", "flash.flv",
                    {{"vcodec", "flv"}, {"r", "15"}, {"acodec", "libmp3lame"}, {"ar", "22050"}}, "flv1,320,240,15/1",
                    "mp3,22050,2"},
        ProfileCase{"FlvMp3InSwf", "clip.mp4", "flash.swf",
                    {{"vcodec", "flv"}, {"r", "15"}, {"acodec", "libmp3lame"}, {"ar", "44100"}}, "flv1,320,240,15/1",
                    "mp3,44100,2"},
        ProfileCase{"Mpeg4AacInMov", "clip.avi", "apple.mov",
                    {{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"ar", "48000"}}, "mpeg4,320,240,25/1", "aac,48000,2"},
        ProfileCase{"Mpeg4AacInMp4", "clip.avi", "mpeg4.mp4",
                    {{"vcodec", "mpeg4"}, {"s", "640x480"}, {"acodec", "aac"}, {"ar", "48000"}}, "mpeg4,640,480,25/1",
                    "aac,48000,2"},
        ProfileCase{"Mpeg1Mp2InMpg", "clip.mp4", "mpeg1.mpg",
                    {{"vcodec", "mpeg1video"}, {"s", "352x240"}, {"r", "29.97"}, {"acodec", "mp2"}},
                    "mpeg1video,352,240,30000/1001", "mp2,44100,2"},
        ProfileCase{"Mpeg2Mp2InMpg", "clip.mp4", "mpeg2.mpg", {{"vcodec", "mpeg2video"}, {"acodec", "mp2"}},
                    "mpeg2video,320,240,25/1", "mp2,44100,2"},
        ProfileCase{"Rv10Ac3InRm", "clip.mp4", "real10.rm", {{"vcodec", "rv10"}, {"acodec", "ac3"}},
                    "rv10,320,240,25/1", "ac3,44100,2"},
        ProfileCase{"Rv20Ac3InRm", "clip.mp4", "real20.rm", {{"vcodec", "rv20"}, {"acodec", "ac3"}},
                    "rv20,320,240,25/1", "ac3,44100,2"},
        ProfileCase{"Wmv2Wmav2InWmv", "clip.mp4", "windows.wmv",
                    {{"vcodec", "wmv2"}, {"acodec", "wmav2"}, {"ar", "48000"}}, "wmv2,320,240,25/1", "wmav2,48000,2"},
        ProfileCase{"AdtsAac", "tone.wav", "tone.aac", {{"acodec", "aac"}, {"ar", "48000"}}, "", "aac,48000,2"},
        ProfileCase{"Ac3", "tone.wav", "tone.ac3", {{"acodec", "ac3"}, {"ar", "48000"}}, "", "ac3,48000,2"},
        ProfileCase{"M4a", "tone.wav", "tone.m4a", {{"acodec", "aac"}, {"ar", "48000"}}, "", "aac,48000,2"},
        ProfileCase{"Mp2", "tone.wav", "tone48.mp2", {{"acodec", "mp2"}, {"ar", "48000"}}, "", "mp2,48000,2"},
        ProfileCase{"Mp3", "tone.wav", "tone.mp3", {{"acodec", "libmp3lame"}, {"ar", "48000"}}, "", "mp3,48000,2"},
        ProfileCase{"OggVorbis", "tone.wav", "tone.ogg", {{"acodec", "libvorbis"}, {"ar", "48000"}}, "",
                    "vorbis,48000,2"},
        ProfileCase{"RealAudioAc3", "tone.wav", "tone.ra", {{"acodec", "ac3"}, {"ar", "48000"}}, "", "ac3,48000,2"},
        ProfileCase{"Wav", "clip.mp4", "sound.wav", {{"acodec", "pcm_s16le"}, {"ar", "41000"}}, "",
                    "pcm_s16le,41000,2"},
        ProfileCase{"Wma", "tone.wav", "tone.wma", {{"acodec", "wmav2"}, {"ar", "48000"}}, "", "wmav2,48000,2"},
        ProfileCase{"Amr", "tone.mp3", "tone.amr", kAmr, "", "amr_nb,8000,1"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ProfileOutput, DivxTagReachesTheAviHeader) {
  const std::string output = Scratch("tagged.avi");
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("video_only.mp4")));
  run.Options({{"vcodec", "mpeg4"}, {"vtag", "DIVX"}, {"vframes", "5"}});
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  EXPECT_EQ(StreamInfo(output, "v", "codec_tag_string"), "DIVX");
}

// What an encoder does not list becomes its nearest offer, with a warning.
struct NearestCase {
  const char* label;
  const char* codec;
  const char* output;
  const char* asked_rate;
  const char* asked_channels;
  const char* audio;    // "codec,sample rate,channels" as written
  const char* warning;  // empty when nothing had to change
};
void PrintTo(const NearestCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class NearestOffer : public ::testing::TestWithParam<NearestCase> {};

TEST_P(NearestOffer, IsTakenAndLogged) {
  const NearestCase& c = GetParam();
  media::SetMainThread();
  std::vector<std::string> warnings;
  media::TFFLogger::Instance().SetOnLog([&](const void*, uint64_t, int64_t, media::TLogLevel level, const std::string& text) {
    if (level == media::llWarning) warnings.push_back(text);
  });
  const std::string output = Scratch(c.output);
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("tone.wav")));
  run.Options({{"acodec", c.codec}, {"ar", c.asked_rate}, {"ac", c.asked_channels}, {"t", "0.5"}});
  const int added = run.engine->AddOutputFile(output);
  media::ProcessThreadMessages();
  media::TFFLogger::Instance().SetOnLog(nullptr);
  ASSERT_GT(added, 0) << run.engine->LastErrMsg();
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  EXPECT_EQ(StreamInfo(output, "a", "codec_name,sample_rate,channels"), c.audio);
  if (*c.warning)
    EXPECT_EQ(warnings, std::vector<std::string>{c.warning});
  else
    EXPECT_TRUE(warnings.empty()) << warnings[0];
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, NearestOffer,
    ::testing::Values(
        NearestCase{"Mp2At96000", "mp2", "r96.mp2", "96000", "2", "mp2,48000,2",
                    "Encoder mp2 does not support 96000 Hz, using 48000 Hz"},
        NearestCase{"Mp3At96000", "libmp3lame", "r96.mp3", "96000", "2", "mp3,48000,2",
                    "Encoder libmp3lame does not support 96000 Hz, using 48000 Hz"},
        NearestCase{"AacAt4800", "aac", "r4800.m4a", "4800", "2", "aac,7350,2",
                    "Encoder aac does not support 4800 Hz, using 7350 Hz"},
        NearestCase{"Ac3At22050", "ac3", "r22050.ac3", "22050", "2", "ac3,32000,2",
                    "Encoder ac3 does not support 22050 Hz, using 32000 Hz"},
        NearestCase{"Mp2InSixChannels", "mp2", "six.mp2", "44100", "6", "mp2,44100,2",
                    "Encoder mp2 does not support 5.1, using stereo"},
        NearestCase{"Mp3MonoAt8000", "libmp3lame", "mono8k.mp3", "8000", "1", "mp3,8000,1", ""}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace strella::engine::testing
