// An input whose pictures change size half way: the output keeps the size
// it was set to on every frame, loses no frame, and the change is logged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "test_support.h"

namespace strella::engine::testing {
namespace {

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("size_change") + "/" + name; }

constexpr int kInputFrames = 50;  // 2 s at 25 fps: 320x240, then 176x144 from 1 s on

std::string ResizingClip() {
  fixtures::FixtureSpec recipe{"resizing.ts"};
  recipe.video = fixtures::VideoSpec{};
  recipe.video->codec = "mpeg2video";
  recipe.video->later_width = 176;
  recipe.video->later_height = 144;
  return fixtures::Make(recipe);
}

// "WxH" of every decoded frame of the first video stream, in order.
std::vector<std::string> FrameSizes(const std::string& file) {
  std::istringstream lines(RunCommand("ffprobe -v error -select_streams v:0 -show_entries frame=width,height "
                                      "-of csv=p=0:s=x " + Quote(file) + " 2>/dev/null"));
  std::vector<std::string> sizes;
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && line.back() == 'x') line.pop_back();  // an empty side-data field
    if (!line.empty()) sizes.push_back(line);
  }
  return sizes;
}

// The top row of the first and of the last frame, each shrunk to 8 grey
// values: the fixture's colour bars give the same profile at any size.
std::pair<std::string, std::string> FirstAndLastTopRows(const std::string& file) {
  const std::string grey = RunCommand("ffmpeg -v error -i " + Quote(file) +
                                      " -vf scale=8:8:flags=area,format=gray -f rawvideo - 2>/dev/null");
  if (grey.size() < 64) return {};
  return {grey.substr(0, 8), grey.substr(grey.size() - 64, 8)};
}

struct SizeCase {
  const char* label;
  std::vector<std::pair<std::string, std::string>> options;
  const char* size;  // of every output frame
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.label; }  // the case's name, not its bytes

class SizeChange : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeChange, KeepsTheSetSizeOnEveryFrame) {
  const SizeCase& c = GetParam();
  const std::string input = ResizingClip();
  const std::vector<std::string> inputSizes = FrameSizes(input);
  // The decoder may drop the first picture of the new size while it re-sizes.
  ASSERT_NEAR(static_cast<double>(inputSizes.size()), kInputFrames, 1.0) << "fixture";
  ASSERT_EQ(inputSizes.front(), "320x240") << "fixture";
  ASSERT_EQ(inputSizes.back(), "176x144") << "fixture";

  LogLines changes("frame size changed");
  const std::string output = Scratch("resized.mp4");
  auto options = c.options;
  options.insert(options.begin(), {"vcodec", "mpeg4"});
  ASSERT_NO_FATAL_FAILURE(ConvertWithOptions(input, options, output));

  const std::vector<std::string> sizes = FrameSizes(output);
  EXPECT_NEAR(static_cast<double>(sizes.size()), kInputFrames, 1.0);
  EXPECT_EQ(std::count(sizes.begin(), sizes.end(), c.size), static_cast<long>(sizes.size())) << "a frame of another size";
  const auto [first, last] = FirstAndLastTopRows(output);
  ASSERT_EQ(last.size(), 8u);
  int worst = 0;
  for (size_t x = 0; x < 8; ++x)
    worst = std::max(worst, std::abs(static_cast<uint8_t>(last[x]) - static_cast<uint8_t>(first[x])));
  EXPECT_LE(worst, 12) << "the last picture is not the first one's bars";
  EXPECT_EQ(changes.Lines(), std::vector<std::string>{"Input Stream #0.0 frame size changed to 176x144, yuv420p"});
}

INSTANTIATE_TEST_SUITE_P(
    Engine, SizeChange,
    ::testing::Values(SizeCase{"ScaledThroughout", {{"s", "240x180"}}, "240x180"},
                      SizeCase{"FirstSizeKept", {}, "320x240"},
                      // the side bands keep their share of the width, so the bars stay where they were
                      SizeCase{"CroppedAndScaled",
                               {{"cropleft", "40"}, {"cropright", "40"}, {"croptop", "10"}, {"s", "240x180"}},
                               "240x180"},
                      SizeCase{"Padded", {{"padtop", "8"}, {"padbottom", "8"}}, "320x256"},
                      // the filters see the size they were set up for
                      SizeCase{"Filtered", {{"vfilters", "hflip"}}, "320x240"},
                      SizeCase{"FilteredAndScaled", {{"vfilters", "hflip"}, {"s", "240x180"}}, "240x180"},
                      SizeCase{"ResizedByTheFilters", {{"vfilters", "scale=160:120"}}, "160x120"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace strella::engine::testing
