// The engine's own AMR-NB encoder stands in for "libopencore_amrnb" in the
// containers the mobile profiles write.
#include <gtest/gtest.h>

#include "engine/amrnb_encoder.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

std::string AudioInfo(const std::string& file) {
  std::string out = RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels"
                               " -of csv=p=0 " + Quote(file) + " 2>/dev/null");
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

TEST(AmrNbPath, MobileContainersGetAmrNbSpeech) {
  fixtures::EnsureLibraries();
  if (LibrariesHaveAmrNbEncoder()) GTEST_SKIP() << "the libraries bring their own AMR-NB encoder";
  const struct {
    const char* output;
    bool video;
  } cases[] = {{"mobile.3gp", true}, {"mobile.3g2", true}, {"speech.amr", false}};
  const std::string input = fixtures::Path("clip.mp4");
  for (auto c : cases) {
    const std::string output = fixtures::ScratchDir("amrnb-path") + "/" + c.output;
    EngineRun run;
    ASSERT_TRUE(run.engine->AddInputFile(input)) << run.engine->LastErrMsg();
    if (c.video)
      run.Options({{"vcodec", "h263"}, {"s", "176x144"}});
    else
      run.Options({{"vn", "1"}});
    run.Options({{"acodec", "libopencore_amrnb"}, {"ar", "8000"}, {"ac", "1"}, {"ab", "7400"}});
    ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
    ASSERT_TRUE(run.Run()) << c.output << ": " << run.engine->ErrorMessage();
    EXPECT_EQ(AudioInfo(output), "amr_nb,8000,1") << c.output;
    if (c.video) {
      EXPECT_NEAR(Probe(output).duration, Probe(input).duration, 0.2) << c.output;
    }
  }
}

TEST(AmrNbPath, OtherRatesAndLayoutsAreConvertedForIt) {
  fixtures::EnsureLibraries();
  if (LibrariesHaveAmrNbEncoder()) GTEST_SKIP() << "the libraries bring their own AMR-NB encoder";
  const std::string output = fixtures::ScratchDir("amrnb-convert") + "/stereo.3gp";
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("tone.wav")));
  run.Options({{"acodec", "libopencore_amrnb"}, {"ab", "12200"}});  // 44100 Hz stereo asked for
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  EXPECT_EQ(AudioInfo(output), "amr_nb,8000,1");
}

}  // namespace
}  // namespace strella::engine::testing
