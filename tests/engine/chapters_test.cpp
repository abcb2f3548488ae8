// Chapters go with the part of the input that is written: moved by the start
// time, cut at the recording time.
#include <gtest/gtest.h>

#include <fstream>

#include "test_support.h"

namespace strella::engine::testing {
namespace {

// clip.mkv with chapters "Opening" (0 to 1 s) and "Ending" (1 to 2 s), made once.
const std::string& ChapteredClip() {
  static const std::string clip = [] {
    const std::string folder = fixtures::ScratchDir("chapters_source");
    const std::string metadata = folder + "/chapters.txt";
    std::ofstream(metadata) << ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=Opening\n"
                               "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=Ending\n";
    const std::string path = folder + "/chaptered.mkv";
    RunCommand("ffmpeg -v error -y -i " + Quote(fixtures::Path("clip.mkv")) + " -i " + Quote(metadata) +
               " -map 0 -map_chapters 1 -c copy " + Quote(path));
    return path;
  }();
  return clip;
}

// Each chapter as "start,end,title" in seconds.
std::string Chapters(const std::string& file) {
  return RunCommand("ffprobe -v error -show_entries chapter=start_time,end_time:chapter_tags=title -of csv=p=0 " +
                    Quote(file) + " 2>/dev/null");
}

struct ChapterCase {
  const char* label;
  std::vector<std::pair<std::string, std::string>> options;
  const char* chapters;
};
void PrintTo(const ChapterCase& c, std::ostream* os) { *os << c.label; }

class ChapterTimes : public ::testing::TestWithParam<ChapterCase> {};

TEST_P(ChapterTimes, FollowTheWrittenPart) {
  const ChapterCase& c = GetParam();
  const std::string input = ChapteredClip();
  ASSERT_EQ(Chapters(input), "0.000000,1.000000,Opening\n1.000000,2.000000,Ending\n") << "fixture";
  const std::string output = fixtures::ScratchDir("chapters") + "/" + c.label + ".mkv";
  auto options = c.options;
  options.insert(options.begin(), {{"vcodec", "copy"}, {"acodec", "copy"}});
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(input, options, output));
  EXPECT_EQ(Chapters(output), c.chapters);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, ChapterTimes,
    ::testing::Values(ChapterCase{"Whole", {}, "0.000000,1.000000,Opening\n1.000000,2.000000,Ending\n"},
                      ChapterCase{"FromHalfASecond", {{"ss", "0.5"}}, "0.000000,0.500000,Opening\n0.500000,1.500000,Ending\n"},
                      ChapterCase{"FirstSecondOnly", {{"t", "0.8"}}, "0.000000,0.800000,Opening\n"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace strella::engine::testing
