// Frame hooks and preview during a run: `vhook` modules and their time
// ranges, the before-hook and custom-hook callbacks, deinterlacing, and the
// throttled preview bitmaps.
#include <gtest/gtest.h>

#include <cstring>

#include "media/bitmap.h"
#include "test_support.h"

namespace strella::engine::testing {
namespace {

std::string Scratch(const std::string& name) { return fixtures::ScratchDir("hooks") + "/" + name; }

// Luma of the top-left pixel of each picture of a raw yuv420p output (all frames).
std::vector<int> FirstLuma(const std::string& file, int width, int height) {
  const std::string raw = RunCommand("ffmpeg -v error -i " + Quote(file) + " -f rawvideo -pix_fmt yuv420p - 2>/dev/null");
  const size_t frame = static_cast<size_t>(width) * height * 3 / 2;
  std::vector<int> luma;
  for (size_t at = 0; at + frame <= raw.size(); at += frame) luma.push_back(static_cast<unsigned char>(raw[at]));
  return luma;
}

std::vector<int> RunRaw(EngineRun& run, const std::string& output, int frames,
                        const std::vector<std::pair<std::string, std::string>>& options = {}) {
  EXPECT_TRUE(run.engine->AddInputFile(fixtures::Path("video_only.mp4")));
  run.Options({{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}, {"vframes", std::to_string(frames)}});
  run.Options(options);
  EXPECT_GT(run.engine->AddOutputFile(output), 0) << run.engine->LastErrMsg();
  EXPECT_TRUE(run.Run()) << run.engine->ErrorMessage();
  return FirstLuma(output, 320, 240);
}

TEST(Hooks, ModulesRunOnlyInsideTheirTimeRanges) {
  EngineRun plain;
  const auto original = RunRaw(plain, Scratch("plain.mkv"), 12);
  ASSERT_EQ(original.size(), 12u);
  EngineRun hooked;
  hooked.engine->ParseOption("vhook", fixtures::HookModulePath("process_only_hook.so"));
  hooked.engine->SetHookRanges({{160000, 280000}});  // frames 4 to 7 at 25 fps
  const auto luma = RunRaw(hooked, Scratch("hooked.mkv"), 12);
  ASSERT_EQ(luma.size(), 12u);
  for (int i = 0; i < 12; ++i) {
    const bool inside = i >= 4 && i <= 7;
    EXPECT_EQ(luma[i], inside ? 255 - original[i] : original[i]) << "frame " << i;
  }
}

TEST(Hooks, BeforeHookSteersAndAnExceptionStopsTheModules) {
  EngineRun plain;
  const auto original = RunRaw(plain, Scratch("plain2.mkv"), 6);
  EngineRun hooked;
  hooked.engine->ParseOption("vhook", fixtures::HookModulePath("process_only_hook.so"));
  int calls = 0;
  hooked.engine->BeforeHookCallback = [&](TCustomFFmpeg*, int64_t, THookAction& action) {
    ++calls;
    if (calls == 2) action = haIgnore;
    else if (calls == 3) action = haContinue;
    else if (calls == 4) throw std::runtime_error("enough");
  };
  const auto luma = RunRaw(hooked, Scratch("before.mkv"), 6);
  ASSERT_EQ(luma.size(), 6u);
  EXPECT_EQ(calls, 4);
  const std::vector<bool> inverted = {true, false, true, false, false, false};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(luma[i], inverted[i] ? 255 - original[i] : original[i]) << "frame " << i;
}

TEST(Hooks, CustomHookPaintsAndCanStopItself) {
  EngineRun hooked;
  int calls = 0;
  hooked.engine->CustomHookCallback = [&](TCustomFFmpeg*, media::TBitmap* bitmap, int frame, int64_t, bool& update,
                                          bool& stop) {
    ++calls;
    EXPECT_EQ(frame, calls);
    EXPECT_EQ(bitmap->Width(), 320);
    for (int y = 0; y < bitmap->Height(); ++y) std::memset(bitmap->ScanLine(y), 255, bitmap->Width() * 3);
    update = calls != 2;  // the second picture is left as it was
    stop = calls == 3;
  };
  const auto luma = RunRaw(hooked, Scratch("custom.mkv"), 5);
  ASSERT_EQ(luma.size(), 5u);
  EXPECT_EQ(calls, 3);
  EXPECT_GE(luma[0], 234);  // white
  EXPECT_LT(luma[1], 234);
  EXPECT_GE(luma[2], 234);
  EXPECT_LT(luma[3], 234);
}

TEST(Hooks, DeinterlacingBlendsTheOddLines) {
  EngineRun run;
  const auto luma = RunRaw(run, Scratch("deinterlaced.mkv"), 2, {{"deinterlace", "1"}});
  EXPECT_EQ(luma.size(), 2u);
}

TEST(Preview, BitmapsArriveAtMostOncePerInterval) {
  EngineRun run;
  std::vector<int> frames;
  int64_t lastPts = -1;
  run.engine->SetPreviewFlags(kPreviewBitmap);
  run.engine->PreviewBitmapCallback = [&](TCustomFFmpeg*, media::TBitmap* bitmap, int frame, int64_t pts) {
    EXPECT_EQ(bitmap->Width(), 320);
    EXPECT_EQ(bitmap->Height(), 240);
    EXPECT_GT(pts, lastPts);
    lastPts = pts;
    frames.push_back(frame);
  };
  run.Options({{"re", "1"}});  // two seconds of pictures at their own pace
  RunRaw(run, Scratch("preview.mkv"), 50);
  EXPECT_GE(frames.size(), 10u);
  EXPECT_LE(frames.size(), 21u);
}

TEST(Preview, AWindowThatCannotOpenClearsItsFlag) {
  EngineRun run;
  run.engine->SetPreviewFlags(kPreviewWindow);  // no window factory installed in the tests
  RunRaw(run, Scratch("preview_window.mkv"), 5);
  EXPECT_EQ(run.engine->PreviewFlags() & kPreviewWindow, 0);
}

}  // namespace
}  // namespace strella::engine::testing
