// TBitmap's layout and its BMP files, read back by the ffmpeg program.
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "media/bitmap.h"

using namespace strella::media;
namespace fx = strella::fixtures;

namespace {

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The picture as the ffmpeg program decodes it: packed BGR rows, top to bottom.
std::vector<uint8_t> DecodeWithFfmpeg(const std::string& file) {
  const std::string command =
      "ffmpeg -nostdin -v error -i " + ShellQuote(file) + " -f rawvideo -pix_fmt bgr24 - 2>/dev/null";
  std::vector<uint8_t> bytes;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    uint8_t buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    pclose(pipe);
  }
  return bytes;
}

void Paint(TBitmap& bitmap) {
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width() * 3; ++x) bitmap.ScanLine(y)[x] = static_cast<uint8_t>(y * 40 + x * 7 + 1);
}

}  // namespace

TEST(Bitmap, RowsArePaddedToFourBytes) {
  const struct {
    int width, stride;
  } cases[] = {{1, 4}, {4, 12}, {5, 16}, {7, 24}, {320, 960}};
  for (auto c : cases) {
    TBitmap bitmap(c.width, 3);
    EXPECT_EQ(bitmap.Stride(), c.stride) << c.width;
    EXPECT_EQ(bitmap.ScanLine(2) - bitmap.Bits(), 2 * c.stride);
  }
  TBitmap bitmap(2, 2);
  bitmap.ScanLine(1)[0] = 9;
  bitmap.SetSize(2, 2);
  EXPECT_EQ(bitmap.ScanLine(1)[0], 9) << "the same size keeps the picture";
  bitmap.SetSize(3, 2);
  EXPECT_EQ(bitmap.ScanLine(1)[0], 0);
  EXPECT_THROW(bitmap.SetSize(-1, 2), std::invalid_argument);
}

TEST(Bitmap, SavedFileReadsBackWithTheSamePixels) {
  const std::string dir = fx::ScratchDir("bitmap_save");
  for (int width : {7, 8, 33}) {
    TBitmap bitmap(width, 5);
    Paint(bitmap);
    const std::string file = dir + "/snap shot ü " + std::to_string(width) + ".bmp";
    ASSERT_TRUE(bitmap.SaveToFile(file)) << bitmap.LastErrMsg();
    EXPECT_EQ(std::filesystem::file_size(file), 54u + bitmap.Stride() * 5u);
    std::vector<uint8_t> expected;
    for (int y = 0; y < 5; ++y) expected.insert(expected.end(), bitmap.ScanLine(y), bitmap.ScanLine(y) + width * 3);
    EXPECT_EQ(DecodeWithFfmpeg(file), expected) << width;
  }
}

TEST(Bitmap, SaveFailuresAreReported) {
  const std::string dir = fx::ScratchDir("bitmap_save_fail");
  TBitmap empty;
  EXPECT_FALSE(empty.SaveToFile(dir + "/empty.bmp"));
  EXPECT_EQ(empty.LastErrMsg(), dir + "/empty.bmp: the bitmap is empty");
  EXPECT_FALSE(std::filesystem::exists(dir + "/empty.bmp"));

  TBitmap bitmap(4, 4);
  EXPECT_FALSE(bitmap.SaveToFile(dir + "/no folder/x.bmp"));
  EXPECT_EQ(bitmap.LastErrMsg(), dir + "/no folder/x.bmp: No such file or directory");
  EXPECT_FALSE(bitmap.SaveToFile(dir));
  EXPECT_EQ(bitmap.LastErrMsg(), dir + ": Is a directory");
}

TEST(Bitmap, FailedWriteKeepsTheFileThatWasThere) {
  const std::string file = fx::ScratchDir("bitmap_write_fail") + "/snapshot.bmp";
  TBitmap small(2, 2);
  ASSERT_TRUE(small.SaveToFile(file));
  const auto before = DecodeWithFfmpeg(file);
  // A file-size limit makes the bigger picture's write fail halfway.
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit limit = old;
  limit.rlim_cur = 100;
  setrlimit(RLIMIT_FSIZE, &limit);
  TBitmap big(64, 64);
  const bool saved = big.SaveToFile(file);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(saved);
  EXPECT_EQ(big.LastErrMsg(), file + ": File too large");
  EXPECT_EQ(DecodeWithFfmpeg(file), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(file).parent_path()),
                          std::filesystem::directory_iterator{}),
            1)
      << "no temporary file is left";
}
