// The audio filter graph of a re-encoded stream: resampling keeps every
// sample to the end, a downmix is as loud whatever sample format the encoder
// takes, and `vol` scales the sound. Sources are made with the ffmpeg
// program; results are judged by decoding them with it and by its
// volumedetect filter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "test_support.h"

namespace strella::engine::testing {
namespace {

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("audio_graph") + "/" + name; }

// Two seconds of a tone at 48 kHz in 16-bit PCM: 96000 samples a channel.
std::string Tone48k() {
  return fixtures::MadeWithFfmpeg("tone_48k_2s.wav", "-f lavfi -i sine=f=440:r=48000:d=2 -ac 2 -c:a pcm_s16le");
}

// A 5.1 source whose six channels each carry a tone of its own at -12 dBFS.
std::string Surround() {
  return fixtures::MadeWithFfmpeg("surround_tones.wav",
                      "-f lavfi -i \"aevalsrc=0.25*sin(2*PI*300*t)|0.25*sin(2*PI*400*t)|0.25*sin(2*PI*500*t)|"
                      "0.25*sin(2*PI*60*t)|0.25*sin(2*PI*700*t)|0.25*sin(2*PI*800*t):s=48000:c=5.1:d=3\" "
                      "-c:a pcm_s16le");
}

// Samples a channel of the first audio stream, decoded as it is stored.
int64_t DecodedSamples(const std::string& file, int channels) {
  const std::string raw = RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) + " -map 0:a:0 -f s16le - 2>/dev/null");
  return static_cast<int64_t>(raw.size()) / (2 * channels);
}

// volumedetect's mean and peak, in dB.
struct Level {
  double mean = 0, peak = 0;
};

Level Measure(const std::string& file) {
  const std::string log =
      RunCommand("ffmpeg -nostdin -hide_banner -i " + Quote(file) + " -map 0:a:0 -af volumedetect -f null - 2>&1");
  const auto value = [&](const std::string& key) {
    const size_t at = log.find(key);
    return at == std::string::npos ? 1000.0 : std::atof(log.c_str() + at + key.size());
  };
  return {value("mean_volume:"), value("max_volume:")};
}

struct RateCase {
  const char* label;
  int rate;
};
void PrintTo(const RateCase& c, std::ostream* os) { *os << c.label; }

class ResampledLength : public ::testing::TestWithParam<RateCase> {};

// The resampler holds back some samples (its filter's delay) until it is
// told the input has ended: they are the sound's last ones.
TEST_P(ResampledLength, EverySampleOfTheSourceReachesTheOutput) {
  const RateCase& c = GetParam();
  const std::string output = Scratch(std::string(c.label) + ".wav");
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(Tone48k(), {{"acodec", "pcm_s16le"}, {"ar", std::to_string(c.rate)}}, output));
  EXPECT_EQ(StreamInfo(output, "a", "sample_rate"), std::to_string(c.rate));
  EXPECT_NEAR(DecodedSamples(output, 2), 2 * c.rate, 1);
}

INSTANTIATE_TEST_SUITE_P(Rates, ResampledLength,
                         ::testing::Values(RateCase{"Down44100", 44100}, RateCase{"Up96000", 96000},
                                           RateCase{"Down8000", 8000}, RateCase{"Same48000", 48000}),
                         [](const auto& info) { return std::string(info.param.label); });

// libopus takes 16-bit samples, the AAC encoder floats: a downmix of the same
// 5.1 sound to stereo must come out equally loud from both.
TEST(AudioGraph, ADownmixIsAsLoudWhateverTheEncodersSampleFormat) {
  const std::string opus = Scratch("downmix.opus"), aac = Scratch("downmix.m4a"), pcm = Scratch("downmix.wav");
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(Surround(), {{"acodec", "libopus"}, {"ac", "2"}, {"ab", "128000"}}, opus));
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(Surround(), {{"acodec", "aac"}, {"ac", "2"}, {"ab", "128000"}}, aac));
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(Surround(), {{"acodec", "pcm_s16le"}, {"ac", "2"}}, pcm));
  EXPECT_EQ(StreamInfo(opus, "a", "channels"), "2");
  const Level fromOpus = Measure(opus), fromAac = Measure(aac), fromPcm = Measure(pcm);
  EXPECT_NEAR(fromOpus.mean, fromAac.mean, 1.0);
  EXPECT_NEAR(fromPcm.mean, fromAac.mean, 1.0);
  // Front, centre and surround add up on each side: louder than one tone, not clipped.
  EXPECT_GT(fromPcm.peak, -12.0);
  EXPECT_LT(fromPcm.peak, -0.5);
}

// `vol` 512 doubles each sample (+6 dB), 128 halves it, for integer and float samples alike.
TEST(AudioGraph, VolumeScalesTheSoundOfIntegerAndFloatSources) {
  const std::string source = Tone48k();
  const Level plain = Measure(source);
  struct Case {
    const char* codec;
    const char* vol;
    double gain;
  };
  for (const Case& c : {Case{"pcm_s16le", "512", 6.02}, Case{"pcm_s16le", "128", -6.02}, Case{"pcm_f32le", "512", 6.02}}) {
    SCOPED_TRACE(std::string(c.codec) + " vol " + c.vol);
    const std::string output = Scratch(std::string("vol_") + c.codec + "_" + c.vol + ".wav");
    ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(source, {{"acodec", c.codec}, {"vol", c.vol}}, output));
    EXPECT_NEAR(Measure(output).mean - plain.mean, c.gain, 0.2);
  }
}

// The user's filters (`af`) run in the graph, before the encoder's format.
TEST(AudioGraph, TheUsersFiltersRunInTheGraph) {
  const std::string output = Scratch("af.wav");
  ASSERT_NO_FATAL_FAILURE(
      ConvertWithOptions(Tone48k(), {{"acodec", "pcm_s16le"}, {"ar", "44100"}, {"af", "atrim=duration=1"}}, output));
  EXPECT_NEAR(DecodedSamples(output, 2), 44100, 1);
}

// The integrated loudness of the first audio stream by the ffmpeg program's ebur128 filter, in LUFS.
double IntegratedLoudness(const std::string& file) {
  const std::string log =
      RunCommand("ffmpeg -nostdin -hide_banner -i " + Quote(file) + " -map 0:a:0 -af ebur128 -f null - 2>&1");
  const size_t summary = log.rfind("Integrated loudness:");
  const size_t at = summary == std::string::npos ? summary : log.find("I:", summary);
  return at == std::string::npos ? 1000.0 : std::atof(log.c_str() + at + 2);
}

// Speech-like sound well below broadcast loudness: a tone that swells and fades.
std::string QuietProgramme() {
  return fixtures::MadeWithFfmpeg("quiet_programme.wav",
                      "-f lavfi -i \"aevalsrc=0.03*(1+0.5*sin(2*PI*0.5*t))*sin(2*PI*440*t):s=44100:c=stereo:d=8\" "
                      "-c:a pcm_s16le");
}

// `loudness` measures the source first and then applies one gain that brings
// it to the target; the row learns both figures from a note.
TEST(AudioGraph, LoudnessIsNormalisedToTheTargetInTwoPasses) {
  const std::string source = QuietProgramme();
  ASSERT_LT(IntegratedLoudness(source), -30);
  struct Case {
    const char* target;
    const char* codec;
    const char* extension;
  };
  for (const Case& c : {Case{"-23", "aac", "m4a"}, Case{"-16", "libmp3lame", "mp3"}}) {
    SCOPED_TRACE(c.target);
    const std::string output = Scratch(std::string("loudness") + c.target + "." + c.extension);
    LogLines notes("Loudness normalised");
    ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(source, {{"acodec", c.codec}, {"ar", "48000"}, {"loudness", c.target}}, output));
    EXPECT_NEAR(IntegratedLoudness(output), std::atof(c.target), 1.0);
    EXPECT_EQ(StreamInfo(output, "a", "sample_rate"), "48000");
    ASSERT_EQ(notes.Lines().size(), 1u);
    const std::string& note = notes.Lines()[0];
    const size_t input = note.find("the input was "), written = note.find("the output is ");
    ASSERT_NE(written, std::string::npos) << note;
    EXPECT_NEAR(std::atof(note.c_str() + input + 14), IntegratedLoudness(source), 1.0) << note;
    EXPECT_NEAR(std::atof(note.c_str() + written + 14), std::atof(c.target), 1.0) << note;
  }
}

TEST(AudioGraph, ALoudnessTargetOutsideTheScaleIsRefused) {
  for (const char* target : {"0", "-80", "loud"}) {
    EngineRun run;
    EXPECT_THROW(run.engine->ParseOption("loudness", target), FFmpegException) << target;
  }
}

}  // namespace
}  // namespace strella::engine::testing
