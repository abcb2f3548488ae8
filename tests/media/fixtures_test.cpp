// The generated media are what the other tests take them to be, judged by ffprobe.
#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "fixtures.h"

namespace {
std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Probe(const std::string& path, const std::string& entries) {
  std::string command = "ffprobe -v error -show_entries " + entries +
                        " -of default=noprint_wrappers=1 " + ShellQuote(path) + " 2>&1";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    pclose(pipe);
  }
  return output;
}
}  // namespace

TEST(Fixtures, StandardClipsHaveTheirStreams) {
  const struct {
    const char* name;
    const char* codecs;
  } cases[] = {
      {"clip.mp4", "codec_name=mpeg4\ncodec_name=aac\n"},
      {"clip.avi", "codec_name=mpeg4\ncodec_name=mp3\n"},
      {"clip.mkv", "codec_name=mpeg4\ncodec_name=mp3\n"},
      {"clip.mpg", "codec_name=mpeg1video\ncodec_name=mp2\n"},
      {"tone.wav", "codec_name=pcm_s16le\n"},
      {"tone.mp3", "codec_name=mp3\n"},
      {"video_only.mp4", "codec_name=mpeg4\n"},
      // A transport stream lists its program's streams a second time.
      {"data_stream.ts", "codec_name=mpeg2video\ncodec_name=klv\ncodec_name=mp2\n"
                         "codec_name=mpeg2video\ncodec_name=klv\ncodec_name=mp2\n"},
  };
  for (auto c : cases) {
    EXPECT_EQ(Probe(strella::fixtures::Path(c.name), "stream=codec_name"), c.codecs) << c.name;
  }
  const std::string duration = Probe(strella::fixtures::Path("clip.mp4"), "format=duration");
  EXPECT_NEAR(std::stod(duration.substr(duration.find('=') + 1)), 2.0, 0.1);
}

TEST(Fixtures, PalClipsCarryTheirSampleAspect) {
  EXPECT_EQ(Probe(strella::fixtures::Path("pal_sar16x15.mp4"), "stream=width,height,sample_aspect_ratio"),
            "width=720\nheight=576\nsample_aspect_ratio=16:15\n");
  EXPECT_EQ(Probe(strella::fixtures::Path("pal_square.mp4"), "stream=sample_aspect_ratio"),
            "sample_aspect_ratio=1:1\n");
}

TEST(Fixtures, BrokenAndOddlyNamedFiles) {
  EXPECT_EQ(std::filesystem::file_size(strella::fixtures::Path("empty.mp4")), 0u);
  EXPECT_LT(std::filesystem::file_size(strella::fixtures::Path("truncated.avi")),
            std::filesystem::file_size(strella::fixtures::Path("clip.avi")));
  EXPECT_NE(Probe(strella::fixtures::Path("truncated.mp4"), "format=duration").find("moov atom not found"),
            std::string::npos);
  EXPECT_EQ(Probe(strella::fixtures::Path(strella::fixtures::kOddName), "stream=codec_name"),
            "codec_name=mpeg4\ncodec_name=aac\n");
}
