// Batches that must never destroy or misreport: outputs planned against the
// batch's inputs, runs sharing a folder, signals, leftovers of killed runs,
// long and protocol-like names, named pipes and a full disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "fixtures.h"
#include "run_program.h"

namespace strella::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Copy(const std::string& from, const std::string& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  return to;
}

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// ffprobe's view of a file; "file:" keeps names with colons from reading as protocols.
std::string ProbeEntries(const std::string& file, const std::string& entries) {
  return Shell("ffprobe -v error -show_entries " + entries + " -of csv=p=0 " +
               Quote("file:" + fs::absolute(file).string()))
      .second;
}

bool HasPartialFile(const std::string& dir) {
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename().string().find(".partial") != std::string::npos) return true;
  return false;
}

int ExitStatus(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliSafety, OverwritingNeverDestroysAnInputOrAnotherRowsResult) {
  const std::string dir = fixtures::ScratchDir("cli_safety_overwrite");
  for (const char* folder : {"d1", "d2"}) fs::create_directory(dir + "/" + folder);
  const std::string clipAvi = Copy(fixtures::Path("clip.avi"), dir + "/d1/clip.avi");
  const std::string before = ReadAll(clipAvi);
  const struct {
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
  } cases[] = {
      {{Copy(fixtures::Path("clip.mp4"), dir + "/d2/clip.mp4"), clipAvi}, {"d1/clip-1.avi", "d1/clip-2.avi"}},
      {{Copy(fixtures::Path("clip.mp4"), dir + "/d2/x.mp4"), Copy(fixtures::Path("tone.wav"), dir + "/d2/x.mkv")},
       {"d1/x.avi", "d1/x-1.avi"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"-p", "3", "--overwrite", "-o", dir + "/d1"};
    args.insert(args.end(), c.inputs.begin(), c.inputs.end());
    const auto [status, log] = RunCli(args);
    EXPECT_EQ(status, 0) << log;
    for (size_t i = 0; i < c.inputs.size(); ++i)
      EXPECT_NE(log.find(c.inputs[i] + " -> " + dir + "/" + c.outputs[i]), std::string::npos) << log;
  }
  EXPECT_EQ(ReadAll(clipAvi), before) << "an input of the batch was overwritten";
  EXPECT_EQ(ProbeEntries(dir + "/d1/x.avi", "stream=codec_type"), "video\naudio\n");
  EXPECT_EQ(ProbeEntries(dir + "/d1/x-1.avi", "stream=codec_type"), "audio\n");
}

TEST(CliSafety, ThreeRunsIntoOneFolderKeepTheirOwnOutputs) {
  const fixtures::FixtureSpec recipe = fixtures::VideoClip("short_160.mp4", 160, 120, 0.4);
  const std::string input = fixtures::Make(recipe);
  const std::string dir = fixtures::ScratchDir("cli_safety_concurrent");
  const std::vector<std::string> sizes = {"176x144", "320x240", "352x288"};
  for (int round = 0; round < 30; ++round) {
    const std::string out = dir + "/out";
    fs::remove_all(out);
    fs::create_directory(out);
    std::vector<pid_t> runs;
    for (size_t i = 0; i < sizes.size(); ++i)
      runs.push_back(SpawnCli({"-p", "8", "--size", sizes[i], "--letterbox", "none", "-o", out, input},
                           dir + "/run" + std::to_string(i) + ".log"));
    for (size_t i = 0; i < runs.size(); ++i)
      ASSERT_EQ(ExitStatus(runs[i]), 0) << "round " << round << ": " << ReadAll(dir + "/run" + std::to_string(i) + ".log");
    std::set<std::string> made;
    for (const char* name : {"short_160.mp4", "short_160-1.mp4", "short_160-2.mp4"}) {
      const std::string info = ProbeEntries(out + "/" + name, "stream=width,height:format=duration");
      std::istringstream lines(info);
      std::string size, duration;
      std::getline(lines, size);  // the video stream's; the format's duration comes last
      for (std::string line; std::getline(lines, line);)
        if (!line.empty()) duration = line;
      // A complete output holds its whole 0.4 s; its size is one run's own setting.
      ASSERT_FALSE(duration.empty()) << "round " << round << ": " << name << " " << info;
      EXPECT_NEAR(std::stod(duration), 0.4, 0.15) << "round " << round << ": " << name;
      std::replace(size.begin(), size.end(), ',', 'x');
      made.insert(size);
    }
    ASSERT_EQ(made, std::set<std::string>(sizes.begin(), sizes.end())) << "round " << round;
    ASSERT_FALSE(HasPartialFile(out)) << "round " << round;
  }
}

TEST(CliSafety, TermAndHangUpStopLikeStop) {
  const std::string input = fixtures::Make(LongClipRecipe());
  for (const int signal : {SIGTERM, SIGHUP}) {
    const std::string out = fixtures::ScratchDir("cli_safety_signal_" + std::to_string(signal));
    const std::string log = out + "/../cli_signal_" + std::to_string(signal) + ".log";
    const pid_t pid = SpawnCli({"-p", "8", "-o", out, input, fixtures::Path("clip.mp4")}, log);
    ASSERT_TRUE(fixtures::WaitUntil([&] { return HasPartialFile(out); }));
    ::kill(pid, signal);
    const int status = ExitStatus(pid);
    const std::string output = ReadAll(log);
    EXPECT_EQ(status, 128 + signal) << output;
    EXPECT_NE(output.find("Abort   " + input), std::string::npos) << output;
    EXPECT_TRUE(fs::is_empty(out)) << output;
  }
}

TEST(CliSafety, ASecondStopSignalDoesNotCutTheCleanStopShort) {
  const std::string input = fixtures::Make(LongClipRecipe());
  const std::string out = fixtures::ScratchDir("cli_safety_second_signal");
  const std::string log = out + "/../cli_second_signal.log";
  const pid_t pid = SpawnCli({"-p", "8", "-o", out, input}, log);
  ASSERT_TRUE(fixtures::WaitUntil([&] { return HasPartialFile(out); }));
  // As timeout does: the child, then its group a moment later. The gap is
  // the point here: the second signal lands while the first stop is under way.
  ::kill(pid, SIGTERM);
  std::this_thread::sleep_for(5ms);
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  const std::string output = ReadAll(log);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << output;
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM) << output;
  EXPECT_NE(output.find("Abort   " + input), std::string::npos) << output;
  EXPECT_TRUE(fs::is_empty(out)) << output;
}

TEST(CliSafety, AnInputCutShortDuringItsConversionFails) {
  const std::string dir = fixtures::ScratchDir("cli_safety_shrink");
  const std::string input = Copy(fixtures::Make(LongClipRecipe()), dir + "/long.mp4");
  const std::string out = dir + "/out";
  fs::create_directory(out);
  const pid_t pid = SpawnCli({"-p", "8", "-o", out, input}, dir + "/log");
  ASSERT_TRUE(fixtures::WaitUntil([&] { return HasPartialFile(out); }));
  fs::resize_file(input, 0);
  const int status = ExitStatus(pid);
  const std::string output = ReadAll(dir + "/log");
  EXPECT_EQ(status, 1) << output;
  EXPECT_NE(output.find("The input shrank"), std::string::npos) << output;
  EXPECT_TRUE(fs::is_empty(out)) << output;
}

TEST(CliSafety, OnlyAKilledRunsPartialIsRemoved) {
  const std::string input = fixtures::Make(LongClipRecipe());
  const std::string out = fixtures::ScratchDir("cli_safety_stale");
  const pid_t killed = SpawnCli({"-p", "8", "-o", out, input}, out + "/../cli_safety_stale.log");
  ASSERT_TRUE(fixtures::WaitUntil([&] { return HasPartialFile(out); }));
  ::kill(killed, SIGKILL);
  ExitStatus(killed);
  const std::string held = out + "/.running.partial-2.mkv";
  const int fd = ::open(held.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  // Files of the user's whose names only look like ours.
  const std::vector<std::string> users = {".notes.txt", ".mine.partial.mp3", ".other.partial.txt", ".y.partial"};
  for (const std::string& name : users) std::ofstream(out + "/" + name) << "not ours";
  const auto [status, log] = RunCli({"-p", "8", "-o", out, fixtures::Path("clip.mp4")});
  ::close(fd);
  EXPECT_EQ(status, 0) << log;
  EXPECT_FALSE(fs::exists(out + "/.long_720p.partial.mp4"));
  EXPECT_TRUE(fs::exists(held));
  for (const std::string& name : users) EXPECT_EQ(ReadAll(out + "/" + name), "not ours") << name;
}

TEST(CliSafety, AFolderWithoutLocksConvertsWithOneTemporaryFile) {
  const std::string out = fixtures::ScratchDir("cli_safety_no_locks");
  const auto [status, log] = Shell("LD_PRELOAD=" + Quote(STRELLA_NO_LOCK_SHIM) +
                                   " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 " + Quote(STRELLA_CLI_PROGRAM) +
                                   " -p 8 -o " + Quote(out) + " " + Quote(fixtures::Path("clip.mp4")));
  EXPECT_EQ(status, 0) << log;
  EXPECT_NE(log.find("takes no file locks"), std::string::npos) << log;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(out)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"clip.mp4"}) << log;
}

TEST(CliSafety, ANameOfTwoHundredFiftyBytesConverts) {
  const std::string dir = fixtures::ScratchDir("cli_safety_long");
  fs::create_directory(dir + "/out");
  const std::string name = std::string(246, 'n') + ".mp4";
  const std::string input = Copy(fixtures::Path("clip.mp4"), dir + "/" + name);
  const auto [status, log] = RunCli({"-p", "8", "-o", dir + "/out", input});
  EXPECT_EQ(status, 0) << log;
  EXPECT_EQ(ProbeEntries(dir + "/out/" + name, "stream=codec_type"), "video\naudio\n") << log;
}

TEST(CliSafety, AnOutputNameTooLongForTheFolderFailsBeforeConverting) {
  const std::string dir = fixtures::ScratchDir("cli_safety_too_long");
  fs::create_directory(dir + "/out");
  // 255 bytes as a .ts; the .mp4 output's name would be 256.
  const std::string input = Copy(fixtures::Path("clip.mkv"), dir + "/" + std::string(252, 'n') + ".ts");
  const auto [status, log] = RunCli({"-p", "8", "-o", dir + "/out", input, fixtures::Path("clip.mp4")});
  EXPECT_EQ(status, 1) << log;
  EXPECT_NE(log.find("its name is 256 bytes long, the folder allows 255"), std::string::npos) << log;
  EXPECT_NE(log.find("Done    " + fixtures::Path("clip.mp4")), std::string::npos) << log;
}

TEST(CliSafety, NamesThatLookLikeProtocolsConvertTheirOwnContent) {
  const std::string dir = fixtures::ScratchDir("cli_safety_protocols");
  fs::create_directory(dir + "/12:00");
  Copy(fixtures::Path("clip.mp4"), dir + "/1:2.mp4");
  Copy(fixtures::Path("clip.mp4"), dir + "/subfile,,start,0,end,0,,:a.mp4");
  Copy(fixtures::Path("tone.wav"), dir + "/a.mp4");  // what the protocol reading would open instead
  const auto [status, log] = Shell("cd " + Quote(dir) + " && " + Quote(STRELLA_CLI_PROGRAM) +
                                   " -p 8 -o 12:00 1:2.mp4 'subfile,,start,0,end,0,,:a.mp4'");
  EXPECT_EQ(status, 0) << log;
  for (const char* name : {"1:2.mp4", "subfile,,start,0,end,0,,:a.mp4"})
    EXPECT_EQ(ProbeEntries(dir + "/12:00/" + name, "stream=codec_type,width"), "video,320\naudio\n") << name << log;
}

TEST(CliSafety, AnImageNameWithAPatternIsThatOneFile) {
  const std::string dir = fixtures::ScratchDir("cli_safety_pattern");
  // A 30-picture sequence p001.jpg... at 96x80, and beside it one 64x48 picture named like its pattern.
  ASSERT_EQ(Shell("cd " + Quote(dir) + " && ffmpeg -v error -f lavfi -i testsrc=s=96x80 -frames:v 30 'p%03d.jpg' && "
                  "ffmpeg -v error -f lavfi -i testsrc=s=64x48 -frames:v 1 -update 1 'file:p%03d.jpg'").first, 0);
  const std::string input = dir + "/p%03d.jpg";
  const auto [probed, listing] = RunCli({"--probe", input});
  EXPECT_NE(listing.find("64x48"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("96x80"), std::string::npos) << listing;
  const auto [status, log] = RunCli({"-p", "8", "-o", dir + "/out", input});
  EXPECT_EQ(status, 0) << log;
  EXPECT_EQ(ProbeEntries(dir + "/out/p%03d.mp4", "stream=nb_frames"), "1\n") << log;
}

TEST(CliSafety, ANamedPipeIsRefusedAtOnceAndTheBatchGoesOn) {
  const std::string dir = fixtures::ScratchDir("cli_safety_fifo");
  const std::string pipe = dir + "/pipe.mp4";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  fs::create_directory(dir + "/out");
  // timeout: a batch that opened the pipe would wait for a writer for ever.
  const auto [status, log] = Shell("timeout 120 " + Quote(STRELLA_CLI_PROGRAM) + " -p 8 -o " + Quote(dir + "/out") +
                                   " " + Quote(pipe) + " " + Quote(fixtures::Path("clip.mp4")));
  EXPECT_EQ(status, 1) << log;
  EXPECT_NE(log.find(pipe + ": is a named pipe"), std::string::npos) << log;
  EXPECT_NE(log.find("Done    " + fixtures::Path("clip.mp4")), std::string::npos) << log;
}

TEST(CliSafety, AFullDiskGivesTheSystemsReasonAndLeavesNothing) {
  const std::string out = fixtures::ScratchDir("cli_safety_full");
  if (::mount("strella-test", out.c_str(), "tmpfs", 0, "size=16k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
  const auto [status, log] = RunCli({"-p", "8", "-o", out, fixtures::Path("clip.mp4")});
  const bool empty = fs::is_empty(out);
  ::umount(out.c_str());
  EXPECT_EQ(status, 1) << log;
  EXPECT_NE(log.find("No space left on device"), std::string::npos) << log;
  EXPECT_TRUE(empty) << log;
}

}  // namespace
}  // namespace strella::cli
