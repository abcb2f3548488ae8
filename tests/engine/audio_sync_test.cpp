// Audio against video: sound that starts late stays where it belongs with
// `async` 1, and rate and channel conversions keep the sound's length. Judged
// by decoding the output with the ffmpeg program.
#include <gtest/gtest.h>

#include <cstdlib>

#include "test_support.h"

namespace strella::engine::testing {
namespace {

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("audio_sync") + "/" + name; }

double StartTime(const std::string& file, const std::string& kind) {
  return std::atof(RunCommand("ffprobe -v error -select_streams " + kind +
                              ":0 -show_entries stream=start_time -of csv=p=0 " + Quote(file) + " 2>/dev/null")
                       .c_str());
}

// Where the tone begins and ends, in seconds of the file's video clock.
struct Sound {
  double onset = -1, end = -1;
};

Sound MeasureSound(const std::string& file, int sampleRate) {
  const std::string raw = RunCommand("ffmpeg -v error -i " + Quote(file) + " -map 0:a:0 -ac 1 -f s16le - 2>/dev/null");
  const auto* samples = reinterpret_cast<const int16_t*>(raw.data());
  const size_t count = raw.size() / 2;
  size_t first = 0;
  while (first < count && std::abs(samples[first]) < 2000) ++first;
  const double start = StartTime(file, "a") - StartTime(file, "v");
  Sound sound;
  if (first < count) sound.onset = start + static_cast<double>(first) / sampleRate;
  sound.end = start + static_cast<double>(count) / sampleRate;
  return sound;
}

struct SyncCase {
  const char* label;
  fixtures::FixtureSpec input;
  std::vector<std::pair<std::string, std::string>> options;
  const char* audio;  // "sample rate,channels" of the output
};
void PrintTo(const SyncCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

fixtures::FixtureSpec Clip(const char* name, double duration, int rate, int channels, double offset) {
  fixtures::FixtureSpec recipe{name};
  recipe.duration = duration;
  recipe.video = fixtures::VideoSpec{};
  recipe.video->width = 160;
  recipe.video->height = 120;
  recipe.audio = fixtures::AudioSpec{};
  recipe.audio->sample_rate = rate;
  recipe.audio->channels = channels;
  recipe.audio->start_offset = offset;
  return recipe;
}

class AudioSync : public ::testing::TestWithParam<SyncCase> {};

TEST_P(AudioSync, TheSoundStartsAndEndsWhereTheInputsDoes) {
  const SyncCase& c = GetParam();
  const std::string input = fixtures::Make(c.input), output = Scratch(std::string(c.label) + ".mp4");
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(input)) << run.engine->LastErrMsg();
  run.Options({{"vcodec", "mpeg4"}, {"acodec", "aac"}, {"ar", "44100"}, {"ac", "2"}});
  run.Options(c.options);
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  EXPECT_EQ(StreamInfo(output, "a", "sample_rate,channels"), c.audio);
  const Sound in = MeasureSound(input, c.input.audio->sample_rate), out = MeasureSound(output, 44100);
  EXPECT_NEAR(in.onset, c.input.audio->start_offset, 0.04);
  EXPECT_NEAR(out.onset, in.onset, 0.04);
  EXPECT_NEAR(out.end, in.end, 0.04);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, AudioSync,
    ::testing::Values(SyncCase{"LateAudio", Clip("late_audio_60s.mp4", 60, 44100, 2, 0.5), {{"async", "1"}}, "44100,2"},
                      SyncCase{"Surround48k", Clip("surround_48k.mp4", 2, 48000, 6, 0), {}, "44100,2"},
                      SyncCase{"Mono", Clip("mono_44k.mp4", 2, 44100, 1, 0), {}, "44100,2"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace strella::engine::testing
