// Targets and presets on a real engine: the disc and camcorder files they
// produce, judged by ffprobe, and the preset errors a user meets.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

#include <gtest/gtest.h>

#include "encoder/encoder.h"
#include "engine/engine_state.h"
#include "engine/presets_targets.h"
#include "fixtures.h"
#include "media/ff.h"
#include "media/logger.h"
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
    media::ProcessThreadMessages();  // the run's end notice
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
  EXPECT_EQ(fixtures::ShownFrameRate(dir_ + "/pal.vob"), "25/1");
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
  EXPECT_EQ(fixtures::ShownFrameRate(dir_ + "/ntsc.mpg"), "30000/1001");
  EXPECT_NE(probe.find("codec_name=mp2"), std::string::npos) << probe;
  EXPECT_NE(probe.find("sample_rate=44100"), std::string::npos) << probe;

  encoder_.ClearTasks();
  out = DefaultOutputOptions();
  out.ExtOptions = "target=film-vcd\nt=1";
  ASSERT_TRUE(Convert("film.mpg", out)) << encoder_.LastErrMsg() << message_;
  probe = Probe(dir_ + "/film.mpg");
  EXPECT_NE(probe.find("width=352|height=240"), std::string::npos) << probe;
  EXPECT_EQ(fixtures::ShownFrameRate(dir_ + "/film.mpg"), "24000/1001");
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

namespace {

// An engine with one input opened (none for an empty name).
std::unique_ptr<engine::TCustomFFmpeg> EngineWithInput(const std::string& input) {
  fixtures::EnsureLibraries();
  media::SetMainThread();
  engine::InstallPresetsAndTargets();
  auto e = std::make_unique<engine::TCustomFFmpeg>();
  e->Reset();
  if (!input.empty()) {
    EXPECT_TRUE(e->AddInputFile(input)) << e->LastErrMsg();
  }
  return e;
}

int64_t VideoTemplateInt(engine::TCustomFFmpeg& e, const char* name) {
  int64_t value = -1;
  ff::av_opt_get_int(e.State().option_contexts.codec[0], name, 0, &value);
  return value;
}

std::string RateText(const AVRational& rate) {
  return std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

std::string FixtureAt(int fpsNum, int fpsDen) {
  return fixtures::Make({.file_name = "encoder_rate_" + std::to_string(fpsNum) + ".mp4",
                         .duration = 0.5,
                         .video = fixtures::VideoSpec{.width = 64, .height = 48,
                                                      .fps_num = fpsNum, .fps_den = fpsDen}});
}

}  // namespace

TEST(TargetOption, NamedNormsSetTheTargetValues) {
  struct Case {
    const char* target;
    int width, height;
    const char* rate;
    int64_t gop;
    int sampleRate;
    const char* videoCodec;
  };
  const Case cases[] = {{"pal-dvd", 720, 576, "25/1", 15, 48000, "mpeg2video"},
                        {"ntsc-vcd", 352, 240, "30000/1001", 18, 44100, "mpeg1video"},
                        {"film-vcd", 352, 240, "24000/1001", 18, 44100, "mpeg1video"},
                        {" pal-svcd ", 480, 576, "25/1", 15, 44100, "mpeg2video"}};
  for (const auto& c : cases) {
    auto e = EngineWithInput(fixtures::Path("clip.mp4"));
    e->ParseOption("target", c.target);
    const auto& opt = e->State().opt;
    EXPECT_EQ(opt.frame_width, c.width) << c.target;
    EXPECT_EQ(opt.frame_height, c.height) << c.target;
    EXPECT_EQ(RateText(opt.frame_rate), c.rate) << c.target;
    EXPECT_EQ(VideoTemplateInt(*e, "g"), c.gop) << c.target;
    EXPECT_EQ(opt.audio_sample_rate, c.sampleRate) << c.target;
    EXPECT_EQ(opt.video_codec_name, c.videoCodec) << c.target;
  }
  auto dvd = EngineWithInput(fixtures::Path("clip.mp4"));
  dvd->ParseOption("target", "pal-dvd");
  EXPECT_EQ(VideoTemplateInt(*dvd, "b"), 6000000);
  EXPECT_EQ(dvd->State().opt.audio_codec_name, "ac3");
  ASSERT_NE(dvd->State().opt.file_oformat, nullptr);
  EXPECT_STREQ(dvd->State().opt.file_oformat->name, "dvd");
}

TEST(TargetOption, AspectIsAssumedOnlyWhenNoneIsSet) {
  std::vector<std::string> lines;
  media::TFFLogger::Instance().SetOnLog(
      [&](const void*, uint64_t, int64_t, media::TLogLevel, const std::string& line) {
        lines.push_back(line);
      });
  auto e = EngineWithInput("");  // no input: no aspect yet
  e->ParseOption("target", "pal-dvd");
  EXPECT_NEAR(e->State().opt.frame_aspect_ratio, 16.0 / 9.0, 1e-4);
  auto withInput = EngineWithInput(fixtures::Path("clip.mp4"));
  withInput->ParseOption("target", "ntsc-vcd");
  EXPECT_NEAR(withInput->State().opt.frame_aspect_ratio, 4.0 / 3.0, 1e-4);  // the input's
  media::ProcessThreadMessages();
  media::TFFLogger::Instance().SetOnLog(nullptr);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.find("Assuming 16:9 for aspect ratio") != std::string::npos;
                          }),
            1);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.find("Assuming 4:3") != std::string::npos;
                          }),
            0);
}

TEST(TargetOption, AutomaticNormFollowsTheInputAndFallsBack) {
  auto ntsc = EngineWithInput(FixtureAt(30000, 1001));
  ntsc->ParseOption("target", "dvd");
  EXPECT_EQ(ntsc->State().opt.frame_height, 480);
  auto odd = EngineWithInput(FixtureAt(12, 1));
  odd->ParseOption("target", "dvd");  // the option falls back to NTSC
  EXPECT_EQ(odd->State().opt.frame_height, 480);
  auto dv50 = EngineWithInput(fixtures::Path("clip.mp4"));
  dv50->ParseOption("target", "dv50");
  EXPECT_EQ(dv50->State().opt.frame_pix_fmt, AV_PIX_FMT_YUV422P);
  EXPECT_EQ(dv50->State().opt.frame_height, 576);
  auto none = EngineWithInput("");
  try {
    none->ParseOption("target", "dvd");
    ADD_FAILURE();
  } catch (const engine::FFmpegException& e) {
    EXPECT_STREQ(e.what(), "frame_rate is invalid.");
  }
}

TEST_F(TargetTest, RecordFallsBackToItsDefaultNorm) {
  const int index = encoder_.AddInput(FixtureAt(12, 1));
  ASSERT_GE(index, 0);
  TFFmpeg& task = *encoder_.Task(index);
  task.OutputOptions = DefaultOutputOptions();
  task.OutputOptions.Target = 3;
  task.OutputOptions.FrameRate = "12";  // a field wins over the target
  task.ApplyOutputOptions();
  EXPECT_EQ(task.State().opt.frame_height, 576);
  EXPECT_EQ(RateText(task.State().opt.frame_rate), "12/1");
}

TEST(PresetOption, FilesAndCodecPrefixedRows) {
  const std::string dir = fixtures::ScratchDir("preset_files");
  const std::string file = dir + "/my preset.ffpreset";
  std::ofstream(file) << "\r\n  g=7\r\nvcodec=mpeg4\r\nbf = 2\r\n";  // "bf " is no option
  auto e = EngineWithInput(fixtures::Path("clip.mp4"));
  try {
    e->ParseOption("vpre", file);
    ADD_FAILURE();
  } catch (const engine::FFmpegException& error) {
    EXPECT_EQ(std::string(error.what()),
              file + ": Invalid option or argument: \"bf = 2\", parsed as \"bf \" = \" 2\"");
  }
  // The lines before the faulty one stay applied, the codec line through its handler.
  EXPECT_EQ(VideoTemplateInt(*e, "g"), 7);
  EXPECT_EQ(e->State().opt.video_codec_name, "mpeg4");

  // A name without a row of its own is tried with the codec in front.
  auto prefixed = EngineWithInput("");
  prefixed->ParseOption("vcodec", "libx264");
  try {
    prefixed->ParseOption("vpre", "main");  // "libx264-main": flags2 is gone from the libraries
    ADD_FAILURE();
  } catch (const engine::FFmpegException& error) {
    EXPECT_STREQ(error.what(),
                 "libx264-main: Invalid option or argument: \"flags2=-dct8x8\", parsed as "
                 "\"flags2\" = \"-dct8x8\"");
  }
  auto audio = EngineWithInput("");
  audio->ParseOption("acodec", "aac");
  try {
    audio->ParseOption("apre", "hq");
    ADD_FAILURE();
  } catch (const engine::FFmpegException& error) {
    EXPECT_STREQ(error.what(), "Preset \"aac-hq\" not found");
  }
}
