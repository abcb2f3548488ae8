#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "media/ff.h"
#include "media/text_helpers.h"

using namespace strella::media;

TEST(FileNames, UrlsForTheLibrariesAreAbsoluteFilePaths) {
  const std::string cwd = GetCurrentDir() + "/";
  const struct {
    std::string name;
    std::string url;
  } cases[] = {
      {"/home/user/clip.avi", "file:/home/user/clip.avi"},
      {"/home/user/Видео 日本.mp4", "file:/home/user/Видео 日本.mp4"},
      {"clip.avi", "file:" + cwd + "clip.avi"},
      {"udp:clip.avi", "file:" + cwd + "udp:clip.avi"},
      {"UDP:clip.avi", "file:" + cwd + "UDP:clip.avi"},
      {"my clip: the end.avi", "file:" + cwd + "my clip: the end.avi"},
      {"./udp:clip.avi", "file:" + cwd + "./udp:clip.avi"},
      {"1:2.mp4", "file:" + cwd + "1:2.mp4"},
      {"subfile,,start,0,end,0,,:a.mp4", "file:" + cwd + "subfile,,start,0,end,0,,:a.mp4"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(NeedsUnicodeURL(c.name));
    EXPECT_EQ(FileNameToURL(c.name), c.url) << c.name;
    EXPECT_EQ(URLToFileName(FileNameToURL(c.name)), c.url.substr(5)) << c.name;
  }
  EXPECT_EQ(URLToFileName("unicode:utf8:"), "unicode:utf8:") << "13 bytes are not decoded";
  EXPECT_EQ(URLToFileName("unicode:utf8:/tmp/a.avi"), "/tmp/a.avi");
}

TEST(FileNames, ColonNamedFileOpensAsAFile) {
  strella::fixtures::EnsureLibraries();
  const std::string dir = strella::fixtures::ScratchDir("colon-name");
  std::filesystem::current_path(dir);
  for (const char* name : {"udp:clip.mp4", "1:2.mp4"}) {
    std::filesystem::copy_file(strella::fixtures::Path("clip.mp4"), name);
    AVFormatContext* input = nullptr;
    ASSERT_EQ(ff::avformat_open_input(&input, FileNameToURL(name).c_str(), nullptr, nullptr), 0) << name;
    ff::avformat_close_input(&input);
  }
}

TEST(OpenErrors, TextsForTodaysCodes) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {AVERROR_DEMUXER_NOT_FOUND, "a.xyz: Unknown format"},
      {AVERROR_MUXER_NOT_FOUND, "a.xyz: Unknown format"},
      {AVERROR_INVALIDDATA, "a.xyz: Error while parsing header"},
      {AVERROR(EINVAL), "a.xyz: Error while parsing header"},
      {AVERROR(ENOMEM), "a.xyz: memory allocation error occurred"},
      {AVERROR(EIO), "a.xyz: I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted."},
      {AVERROR(ENOENT), "a.xyz: no such file or directory"},
      {AVERROR(EPERM), "a.xyz: Operation not permitted"},
      {AVERROR(ENOSPC), "a.xyz: No space left on device"},
      {AVERROR_BUG, "a.xyz: Error while opening file"},
  };
  for (auto c : cases) EXPECT_EQ(OpenErrorText("a.xyz", c.code), c.text) << c.code;
  EXPECT_NE(OpenErrorText("img.jpg", AVERROR(EDOM)).find("use 'img%d.jpg'"), std::string::npos)
      << "doubled percent signs read as one";
}

TEST(OpenErrors, MissingFileThroughTheLibraries) {
  strella::fixtures::EnsureLibraries();
  AVFormatContext* input = nullptr;
  const std::string name = "/nonexistent/missing clip.avi";
  int code = ff::avformat_open_input(&input, FileNameToURL(name).c_str(), nullptr, nullptr);
  EXPECT_EQ(OpenErrorText(name, code), name + ": no such file or directory");
}

TEST(CodecDescriptions, KnownCodecTagAndBareTag) {
  strella::fixtures::EnsureLibraries();
  AVCodecParameters known{};
  known.codec_id = AV_CODEC_ID_MPEG4;
  EXPECT_EQ(CodecDescription(&known, false), "mpeg4(MPEG-4 part 2)");
  AVCodecParameters tagged{};
  tagged.codec_id = AV_CODEC_ID_NONE;
  tagged.codec_tag = MKTAG('X', 'Y', 'Z', 'W');
  EXPECT_EQ(CodecDescription(&tagged, false), "XYZW / 0x575A5958");
  AVCodecParameters bare{};
  bare.codec_id = AV_CODEC_ID_NONE;
  bare.codec_tag = 0x12;
  EXPECT_EQ(CodecDescription(&bare, false), "0x0012");
  AVCodecParameters ts{};
  ts.codec_id = AV_CODEC_ID_MPEG2TS;
  EXPECT_EQ(CodecDescription(&ts, false), "mpeg2ts");
}

TEST(TextHelpers, StreamKindNamesAndSplitAt) {
  EXPECT_EQ(StreamKindName(0), "Video");
  EXPECT_EQ(StreamKindName(4), "Attachment");
  EXPECT_EQ(StreamKindName(7), "Unknown");
  EXPECT_EQ(StreamKindName(-1), "Unknown");

  std::string s = "a=b=c", left;
  SplitAt(s, "=", true, left);
  EXPECT_EQ(left, "a");
  EXPECT_EQ(s, "b=c");
  SplitAt(s, "=", false, left);
  EXPECT_EQ(left, "b");
  EXPECT_EQ(s, "b=c");
  s = "none";
  SplitAt(s, "=", true, left);
  EXPECT_EQ(left, "none");
  EXPECT_EQ(s, "");
}

TEST(TextHelpers, PathsAndLargeFileSizes) {
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
  EXPECT_EQ(ExtractFilePath("/a/b/c.avi"), "/a/b/");
  EXPECT_EQ(ExtractFileName("/a/b/c.avi"), "c.avi");
  EXPECT_EQ(ExtractFileName("c.avi"), "c.avi");
  const std::string dir = strella::fixtures::ScratchDir("sizes");
  EXPECT_FALSE(FileExists(dir)) << "a folder is not a file";
  EXPECT_EQ(FileSizeW(dir + "/missing"), -1);
  const std::string big = dir + "/sparse.bin";
  std::filesystem::resize_file((std::ofstream(big), big), 3LL << 30);  // sparse 3 GiB
  EXPECT_TRUE(FileExists(big));
  EXPECT_EQ(FileSizeW(big), 3LL << 30);
}
