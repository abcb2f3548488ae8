// Real conversions through strella-cli, judged with ffprobe.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fcntl.h>
#include <fstream>

#include "fixtures.h"
#include "run_program.h"

namespace strella::cli {
namespace {

std::pair<int, std::string> Convert(const std::vector<std::string>& args) { return RunCli(args); }

std::string Probe(const std::string& file) {
  return Shell("ffprobe -v error -show_entries stream=codec_name,width,height,sample_rate,channels -of compact=p=0 " +
               Quote(file))
      .second;
}

std::string Copy(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  return to;
}

bool NoPartialFiles(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().filename().string().find(".partial") != std::string::npos) return false;
  }
  return true;
}

TEST(CliConvert, ProfilesGiveWhatTheyPromise) {
  const std::string out = fixtures::ScratchDir("cli_convert_profiles");
  auto [status, log] = Convert({"-p", "8", "-o", out, fixtures::Path("clip.mp4"), fixtures::Path("tone.wav")});
  ASSERT_EQ(status, 0) << log;
  EXPECT_EQ(Probe(out + "/clip.mp4"),
            "codec_name=mpeg4|width=320|height=240\ncodec_name=aac|sample_rate=48000|channels=2\n");
  EXPECT_EQ(Probe(out + "/tone.mp4"), "codec_name=aac|sample_rate=48000|channels=2\n");

  std::tie(status, log) = Convert({"-p", "MP3 - Mpeg Layer3 Audio (*.mp3)", "--sample-rate", "44100", "--channels",
                                   "mono", "-o", out, fixtures::Path("clip.mp4")});
  ASSERT_EQ(status, 0) << log;
  EXPECT_EQ(Probe(out + "/clip.mp3"), "codec_name=mp3|sample_rate=44100|channels=1\n");
  EXPECT_TRUE(NoPartialFiles(out));
}

TEST(CliConvert, LetterboxPadsToTheChosenSize) {
  const std::string out = fixtures::ScratchDir("cli_convert_letterbox");
  // 320x240 into 640x352: a 468x352 picture with 86 pixels left and right.
  auto [status, log] = Convert({"-p", "8", "--size", "640x352", "-o", out, fixtures::Path("clip.mp4")});
  ASSERT_EQ(status, 0) << log;
  EXPECT_NE(Probe(out + "/clip.mp4").find("width=640|height=352"), std::string::npos);
  std::tie(status, log) =
      Convert({"-p", "8", "--size", "640x352", "--letterbox", "none", "-o", out, fixtures::Path("clip.mp4")});
  ASSERT_EQ(status, 0) << log;
  EXPECT_NE(Probe(out + "/clip-1.mp4").find("width=640|height=352"), std::string::npos);
}

TEST(CliConvert, NeverOverwritesTheInputAndKeepsOtherFilesWithoutOverwrite) {
  const std::string dir = fixtures::ScratchDir("cli_convert_names");
  const std::string input = Copy(fixtures::Path("clip.mp4"), dir + "/clip.mp4");
  const auto size = std::filesystem::file_size(input);
  auto [status, log] = Convert({"-p", "8", "--overwrite", "-o", dir, input});
  ASSERT_EQ(status, 0) << log;
  EXPECT_EQ(std::filesystem::file_size(input), size);
  EXPECT_TRUE(std::filesystem::exists(dir + "/clip-1.mp4"));

  std::ofstream(dir + "/clip-2.mp4") << "keep me";
  std::tie(status, log) = Convert({"-p", "8", "-o", dir, input});
  ASSERT_EQ(status, 0) << log;
  EXPECT_TRUE(std::filesystem::exists(dir + "/clip-3.mp4"));
  EXPECT_EQ(std::filesystem::file_size(dir + "/clip-2.mp4"), 7u);
  EXPECT_TRUE(NoPartialFiles(dir));
}

TEST(CliConvert, FailedJobLeavesTheExistingFileAlone) {
  const std::string out = fixtures::ScratchDir("cli_convert_failed");
  std::ofstream(out + "/empty.mp4") << "precious";
  // With overwriting on, a job that cannot read its input must not replace the file.
  auto [status, log] = Convert({"-p", "8", "--overwrite", "-o", out, fixtures::Path("empty.mp4")});
  EXPECT_EQ(status, 1) << log;
  EXPECT_NE(log.find("Failed  " + fixtures::Path("empty.mp4")), std::string::npos) << log;
  EXPECT_EQ(std::filesystem::file_size(out + "/empty.mp4"), 8u);
  EXPECT_TRUE(NoPartialFiles(out));
}

}  // namespace
}  // namespace strella::cli


namespace strella::cli {
namespace {

TEST(CliConvert, CtrlCAbortsTheRowAndRemovesThePartialFile) {
  const std::string input = fixtures::Make(LongClipRecipe());
  const std::string out = fixtures::ScratchDir("cli_convert_interrupt");
  const std::string log = out + "/../cli_interrupt.log";
  const pid_t pid = SpawnCli({"-p", "8", "-o", out, input, fixtures::Path("clip.mp4")}, log);
  ASSERT_GT(pid, 0);

  // Interrupt once the first job is writing.
  ASSERT_TRUE(fixtures::WaitUntil([&] { return !NoPartialFiles(out); }));
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::ifstream file(log);
  const std::string output((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT) << output;  // as a shell reports a program the signal ended
  EXPECT_NE(output.find("Abort   " + input), std::string::npos) << output;
  EXPECT_NE(output.find("(not run) " + fixtures::Path("clip.mp4")), std::string::npos) << output;
  EXPECT_TRUE(std::filesystem::is_empty(out)) << output;
}

}  // namespace
}  // namespace strella::cli
