// Stream copy end to end: remuxing each fixture into the common containers,
// trimming, limits and join mode, judged with ffprobe.
#include <gtest/gtest.h>

#include <cmath>

#include "media/text_helpers.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

struct RemuxCase {
  const char* fixture;
  const char* extension;
};
// The case in test output in words, not the struct's bytes.
void PrintTo(const RemuxCase& c, std::ostream* os) { *os << c.fixture << " to " << c.extension; }

class Remux : public ::testing::TestWithParam<RemuxCase> {};

TEST_P(Remux, CopiesEveryStreamWithItsDuration) {
  const RemuxCase c = GetParam();
  const std::string input = fixtures::Path(c.fixture);
  const std::string output = fixtures::ScratchDir("remux") + "/out." + c.extension;
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(input)) << run.engine->LastErrMsg();
  run.Options({{"vcodec", "copy"}, {"acodec", "copy"}});
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  EXPECT_TRUE(run.Run()) << run.engine->ErrorMessage();
  EXPECT_EQ(run.terminations, 1);
  const ProbeResult in = Probe(input), out = Probe(output);
  ASSERT_TRUE(out.ok) << output;
  ASSERT_EQ(out.streams.size(), in.streams.size());
  for (size_t i = 0; i < in.streams.size(); ++i) {
    EXPECT_EQ(out.streams[i].kind, in.streams[i].kind);
    EXPECT_EQ(out.streams[i].codec, in.streams[i].codec);
  }
  EXPECT_NEAR(out.duration, in.duration, 1.0 / 25 + 0.03);
}

INSTANTIATE_TEST_SUITE_P(Containers, Remux,
                         ::testing::Values(RemuxCase{"clip.mp4", "mkv"}, RemuxCase{"clip.mp4", "mp4"},
                                           RemuxCase{"clip.avi", "mkv"}, RemuxCase{"clip.avi", "avi"},
                                           RemuxCase{"clip.mkv", "avi"}, RemuxCase{"clip.mkv", "mkv"},
                                           RemuxCase{"clip.mpg", "mpg"}, RemuxCase{"clip.mpg", "mkv"},
                                           RemuxCase{"clip.mp4", "avi"}, RemuxCase{"clip.avi", "mpg"}),
                         [](const auto& info) {
                           std::string name = std::string(info.param.fixture) + "_to_" + info.param.extension;
                           for (char& ch : name) if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

TEST(RemuxFilters, BitstreamFiltersRunOnCopiedPackets) {
  const std::string output = fixtures::ScratchDir("remux") + "/filtered.avi";
  EngineRun run;
  ASSERT_TRUE(run.engine->AddInputFile(fixtures::Path("clip.mp4")));
  run.Options({{"vcodec", "copy"}, {"acodec", "copy"}, {"vbsf", "dump_extra"}, {"vbsf", "null"}, {"absf", "null"}});
  ASSERT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  ASSERT_TRUE(run.Run()) << run.engine->ErrorMessage();
  const ProbeResult out = Probe(output);
  EXPECT_EQ(out.streams.size(), 2u);
  EXPECT_NEAR(out.duration, Probe(fixtures::Path("clip.mp4")).duration, 0.07);
}

}  // namespace
}  // namespace strella::engine::testing
