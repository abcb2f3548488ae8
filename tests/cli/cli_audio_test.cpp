// Sound through the profiles a user picks: the lossless profiles keep the
// source's rate, channels and bit depth unless told otherwise, and a 5.1
// source folded to stereo is as loud in the Opus profile as in the AAC one.
// Sources are made with the ffmpeg program; results are judged with ffprobe
// and its volumedetect filter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "fixtures.h"
#include "run_program.h"

namespace strella::cli {
namespace {

// Hi-res music: 96 kHz, 24 bits, 5.1, a tone of its own on each channel.
std::string HiResSurround() {
  return fixtures::MadeWithFfmpeg("hires_96k_24bit_51.flac",
                      "-f lavfi -i \"aevalsrc=0.2*sin(2*PI*300*t)|0.2*sin(2*PI*400*t)|0.2*sin(2*PI*500*t)|"
                      "0.2*sin(2*PI*60*t)|0.2*sin(2*PI*700*t)|0.2*sin(2*PI*800*t):s=96000:c=5.1:d=1\" "
                      "-c:a flac -sample_fmt s32 -bits_per_raw_sample 24");
}

std::string MonoVoice() {
  return fixtures::MadeWithFfmpeg("mono_44k_16bit.wav", "-f lavfi -i sine=f=300:r=44100:d=1 -c:a pcm_s16le");
}

// The same 5.1 at 48 kHz in AAC, as a film's sound comes.
std::string SurroundFilmSound() {
  return fixtures::MadeWithFfmpeg("surround_48k.m4a",
                      "-f lavfi -i \"aevalsrc=0.25*sin(2*PI*300*t)|0.25*sin(2*PI*400*t)|0.25*sin(2*PI*500*t)|"
                      "0.25*sin(2*PI*60*t)|0.25*sin(2*PI*700*t)|0.25*sin(2*PI*800*t):s=48000:c=5.1:d=3\" "
                      "-c:a aac -b:a 384k");
}

std::string ConvertOne(const std::string& folder, const std::vector<std::string>& options, const std::string& input,
                       const std::string& extension) {
  std::vector<std::string> args = options;
  args.insert(args.end(), {"-o", folder, input});
  const auto [status, log] = RunCli(args);
  EXPECT_EQ(status, 0) << log;
  return folder + "/" + std::filesystem::path(input).stem().string() + "." + extension;
}

std::string AudioInfo(const std::string& file) {
  std::string out = Shell("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels,"
                          "bits_per_raw_sample -of csv=p=0 " + Quote(file)).second;
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

double MeanVolume(const std::string& file) {
  const std::string log = Shell("ffmpeg -nostdin -hide_banner -i " + Quote(file) + " -map 0:a:0 -af volumedetect -f null -").second;
  const size_t at = log.find("mean_volume:");
  return at == std::string::npos ? 1000.0 : std::atof(log.c_str() + at + 12);
}

struct LosslessCase {
  const char* label;
  std::string (*source)();
  const char* profile;
  const char* extension;
  std::vector<std::string> options;
  const char* audio;  // ffprobe's "sample rate,channels,bits"
};

TEST(LosslessProfiles, KeepTheSourcesRateChannelsAndDepthUnlessAskedOtherwise) {
  constexpr const char* kFlac = "FLAC - Lossless Audio (*.flac)";
  constexpr const char* kAlac = "M4A - Apple Lossless (*.m4a)";
  const LosslessCase cases[] = {
      {"flac_hires", HiResSurround, kFlac, "flac", {}, "96000,6,24"},
      {"alac_hires", HiResSurround, kAlac, "m4a", {}, "96000,6,24"},
      {"flac_mono", MonoVoice, kFlac, "flac", {}, "44100,1,16"},
      {"alac_mono", MonoVoice, kAlac, "m4a", {}, "44100,1,16"},
      {"flac_chosen", HiResSurround, kFlac, "flac", {"--sample-rate", "48000 Hz", "--channels", "Stereo"}, "48000,2,24"},
  };
  for (const LosslessCase& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::string> options = {"-p", c.profile};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const std::string output = ConvertOne(fixtures::ScratchDir(std::string("lossless_") + c.label), options,
                                          c.source(), c.extension);
    EXPECT_EQ(AudioInfo(output), c.audio);
  }
}

TEST(DownmixLevel, FiveOneToStereoIsAsLoudInTheOpusProfilesAsInTheAacOnes) {
  const std::string source = SurroundFilmSound();
  const std::string opus = ConvertOne(fixtures::ScratchDir("downmix_opus"), {"-p", "Opus Audio (*.opus)"}, source, "opus");
  const std::string aac =
      ConvertOne(fixtures::ScratchDir("downmix_aac"), {"-p", "M4A - Mpeg4 Audio File (*.m4a)"}, source, "m4a");
  EXPECT_EQ(AudioInfo(opus).substr(0, 7), "48000,2");
  EXPECT_NEAR(MeanVolume(opus), MeanVolume(aac), 1.0);
}

double IntegratedLoudness(const std::string& file) {
  const std::string log = Shell("ffmpeg -nostdin -hide_banner -i " + Quote(file) + " -map 0:a:0 -af ebur128 -f null -").second;
  const size_t summary = log.rfind("Integrated loudness:");
  const size_t at = summary == std::string::npos ? summary : log.find("I:", summary);
  return at == std::string::npos ? 1000.0 : std::atof(log.c_str() + at + 2);
}

// A podcast recorded too quietly, brought to -16 LUFS; the report's notes give
// the loudness measured before and after.
TEST(Loudness, TheCommandLineNormalisesAndReportsBothFigures) {
  const std::string source = fixtures::MadeWithFfmpeg(
      "quiet_voice.wav", "-f lavfi -i \"aevalsrc=0.03*(1+0.5*sin(2*PI*0.5*t))*sin(2*PI*300*t):s=44100:c=mono:d=6\" "
                         "-c:a pcm_s16le");
  const std::string folder = fixtures::ScratchDir("loudness_cli"), report = folder + "/report.json";
  const std::string output = ConvertOne(folder, {"-p", "MP3 - Mpeg Layer3 Audio (*.mp3)", "--loudness=-16", "--report", report}, source, "mp3");
  EXPECT_NEAR(IntegratedLoudness(output), -16, 1.0);
  const std::string lines = Shell("cat " + Quote(report)).second;
  EXPECT_NE(lines.find("Loudness normalised to -16.0 LUFS: the input was -3"), std::string::npos) << lines;
  EXPECT_NE(lines.find("the output is -1"), std::string::npos) << lines;
  // Measuring the written file adds nothing else to the notes.
  EXPECT_EQ(lines.find("timestamps"), std::string::npos) << lines;

  const auto [status, log] = RunCli({"-p", "MP3 - Mpeg Layer3 Audio (*.mp3)", "--loudness=0", "-o", folder, source});
  EXPECT_NE(status, 0);
  EXPECT_NE(log.find("The loudness 0 LUFS is not -70 to -5 LUFS"), std::string::npos) << log;
}

}  // namespace
}  // namespace strella::cli
