// Targets and presets on a real engine: the disc and camcorder files they
// produce, judged by ffprobe, and the preset errors a user meets.
#include <cstdio>
#include <fstream>
#include <memory>

#include <gtest/gtest.h>

#include "encoder/encoder.h"
#include "engine/presets_targets.h"
#include "fixtures.h"
#include "media/main_thread.h"

using namespace strella;
using namespace strella::encoder;

namespace {

std::string Run(const std::string& command) {
  std::string output;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return output;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe.get())) output += buffer;
  return output;
}

// "codec_name=...|width=...|..." per stream, as ffprobe sees the file.
std::string Probe(const std::string& file) {
  return Run("ffprobe -v error -show_entries "
             "stream=codec_name,width,height,pix_fmt,r_frame_rate,sample_rate,channels "
             "-show_entries format=format_name -of compact=p=0 '" + file + "' 2>&1");
}

class TargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::EnsureLibraries();
    media::SetMainThread();
    ASSERT_TRUE(encoder_.LoadLibraries()) << encoder_.LastErrMsg();
    dir_ = fixtures::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    encoder_.OnTerminate = [this](int AIndex, bool AFinished, bool, const std::string& AMessage) {
      if (AIndex >= 0) {
        finished_ = AFinished;
        message_ = AMessage;
      }
    };
  }

  // Converts clip.mp4 (25 fps) with the record; true when the run finished.
  bool Convert(const std::string& name, TOutputOptions& out) {
    const int index = encoder_.AddInput(fixtures::Path("clip.mp4"));
    if (index < 0) return false;
    if (!encoder_.SetOutput(index, dir_ + "/" + name, out)) return false;
    encoder_.StartTasks(0);
    return finished_;
  }

  TFFmpegEncoder encoder_;
  std::string dir_;
  bool finished_ = false;
  std::string message_;
};

}  // namespace

TEST_F(TargetTest, PalDvdThroughTheRecordIsADvdProgramStream) {
  TOutputOptions out = DefaultOutputOptions();
  out.Target = 3;  // automatic norm: the 25 fps input gives PAL
  out.RecordingTimeMS = 1000;
  ASSERT_TRUE(Convert("pal.vob", out)) << encoder_.LastErrMsg() << message_;
  const std::string probe = Probe(dir_ + "/pal.vob");
  EXPECT_NE(probe.find("codec_name=mpeg2video|width=720|height=576"), std::string::npos) << probe;
  EXPECT_NE(probe.find("r_frame_rate=25/1"), std::string::npos) << probe;
  EXPECT_NE(probe.find("codec_name=ac3"), std::string::npos) << probe;
  EXPECT_NE(probe.find("sample_rate=48000"), std::string::npos) << probe;
  EXPECT_NE(probe.find("format_name=mpeg"), std::string::npos) << probe;
}

TEST_F(TargetTest, NtscAndFilmVcdOptions) {
  TOutputOptions out = DefaultOutputOptions();
  out.ExtOptions = "target=ntsc-vcd\nt=1";
  ASSERT_TRUE(Convert("ntsc.mpg", out)) << encoder_.LastErrMsg() << message_;
  std::string probe = Probe(dir_ + "/ntsc.mpg");
  EXPECT_NE(probe.find("codec_name=mpeg1video|width=352|height=240"), std::string::npos) << probe;
  EXPECT_NE(probe.find("r_frame_rate=30000/1001"), std::string::npos) << probe;
  EXPECT_NE(probe.find("codec_name=mp2"), std::string::npos) << probe;
  EXPECT_NE(probe.find("sample_rate=44100"), std::string::npos) << probe;

  encoder_.ClearTasks();
  out = DefaultOutputOptions();
  out.ExtOptions = "target=film-vcd\nt=1";
  ASSERT_TRUE(Convert("film.mpg", out)) << encoder_.LastErrMsg() << message_;
  probe = Probe(dir_ + "/film.mpg");
  EXPECT_NE(probe.find("width=352|height=240"), std::string::npos) << probe;
  EXPECT_NE(probe.find("r_frame_rate=24000/1001"), std::string::npos) << probe;
}

TEST_F(TargetTest, Dv50IsADvFileWith422Pictures) {
  TOutputOptions out = DefaultOutputOptions();
  out.ExtOptions = "target=dv50\nt=0.5";
  ASSERT_TRUE(Convert("clip.dv", out)) << encoder_.LastErrMsg() << message_;
  const std::string probe = Probe(dir_ + "/clip.dv");
  EXPECT_NE(probe.find("codec_name=dvvideo|width=720|height=576|pix_fmt=yuv422p"),
            std::string::npos) << probe;
  EXPECT_NE(probe.find("format_name=dv"), std::string::npos) << probe;
}

TEST_F(TargetTest, PresetErrorsReachLastErrMsg) {
  const int index = encoder_.AddInput(fixtures::Path("clip.mp4"));
  ASSERT_GE(index, 0);
  TOutputOptions out = DefaultOutputOptions();
  const std::string file = dir_ + "/bad.ffpreset";
  std::ofstream(file) << "b=1000000\nno_such_option_anywhere=5\n";
  out.ExtOptions = "vpre=" + file;
  EXPECT_FALSE(encoder_.SetOutput(index, dir_ + "/x.mp4", out));
  EXPECT_EQ(encoder_.LastErrMsg(),
            file + ": Invalid option or argument: \"no_such_option_anywhere=5\", parsed as "
                   "\"no_such_option_anywhere\" = \"5\"");

  // A preset row naming an option today's libraries lack fails the same way.
  out = DefaultOutputOptions();
  out.VideoCodec = "libx264";
  out.VideoPreset = "hq";
  EXPECT_FALSE(encoder_.SetOutput(index, dir_ + "/x.mp4", out));
  EXPECT_EQ(encoder_.LastErrMsg().rfind("libx264-hq: Invalid option or argument: ", 0), 0u)
      << encoder_.LastErrMsg();
}
