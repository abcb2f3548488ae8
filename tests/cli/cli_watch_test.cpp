#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "fixtures.h"
#include "run_program.h"

namespace strella::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool HoldsHiddenFiles(const std::string& folder) {
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.path().filename().string().rfind('.', 0) == 0) return true;
  return false;
}

// A file written in pieces, as a slow copy or a download writes it, is converted
// once, whole, into the mirrored subfolder; a file that cannot be read is
// reported and the watch goes on; SIGTERM ends the run and leaves no partial file.
TEST(WatchedFolder, ConvertsAFileOnlyWhenCompleteAndEndsCleanlyOnTerm) {
  const std::string dir = fixtures::ScratchDir("watch");
  fs::create_directories(dir + "/in/sub");
  const std::string log = dir + "/watch.log";
  const pid_t pid = SpawnCli({"--watch", dir + "/in", "-o", dir + "/out", "-p", "25"}, log);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(fixtures::WaitUntil([&] { return ReadAll(log).find("Watching") != std::string::npos; }));

  std::ofstream(dir + "/in/broken.wav") << "RIFF, but nothing of a wave after it";
  const std::string whole = ReadAll(fixtures::Path("tone.wav"));
  const std::string slow = dir + "/in/sub/slow.wav";
  const std::string output = dir + "/out/sub/slow.mp3";
  {
    std::ofstream file(slow, std::ios::binary);
    const size_t piece = whole.size() / 4;
    for (size_t start = 0; start < whole.size(); start += piece) {
      file.write(whole.data() + start, static_cast<std::streamsize>(std::min(piece, whole.size() - start)));
      file.flush();
      EXPECT_FALSE(fs::exists(output)) << "converted before it was complete";
      std::this_thread::sleep_for(700ms);  // the writer's pace, shorter than the settle time
    }
  }
  ASSERT_TRUE(fixtures::WaitUntil([&] { return ReadAll(log).find("slow.mp3") != std::string::npos; }, 60s))
      << ReadAll(log);
  const auto [probed, duration] =
      Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(output));
  const auto [sourceProbed, sourceDuration] =
      Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(fixtures::Path("tone.wav")));
  EXPECT_NEAR(std::stod(duration), std::stod(sourceDuration), 0.1);
  EXPECT_NE(ReadAll(log).find("broken.wav"), std::string::npos) << ReadAll(log);

  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_TRUE(fixtures::WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << ReadAll(log);
  EXPECT_FALSE(HoldsHiddenFiles(dir + "/out"));
  // Each file was taken once: the converted one and the broken one, never again.
  const std::string text = ReadAll(log);
  EXPECT_EQ(text.find("slow.wav  Done"), text.rfind("slow.wav  Done")) << text;
}

}  // namespace
}  // namespace strella::cli
