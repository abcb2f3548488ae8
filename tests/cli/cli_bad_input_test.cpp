// Real batches through strella-cli with a corrupt file among good ones, an
// output folder that cannot be written, and file names that trip up URL and
// shell handling.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fixtures.h"
#include "run_program.h"

namespace strella::cli {
namespace {

namespace fs = std::filesystem;

std::string Copy(const std::string& from, const std::string& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  return to;
}

std::string StreamsOf(const std::string& file) {
  return Shell("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + Quote(file)).second;
}

TEST(CliBadInput, CorruptFileInTheMiddleFailsAloneAndTheBatchGoesOn) {
  const std::string dir = fixtures::ScratchDir("cli_bad_corrupt");
  const std::string corrupt = dir + "/corrupt.mp4";
  {
    // A valid start followed by garbage: the header claims a file that is not there.
    std::ifstream clip(fixtures::Path("clip.mp4"), std::ios::binary);
    std::string head(64, '\0');
    clip.read(head.data(), static_cast<std::streamsize>(head.size()));
    std::ofstream(corrupt, std::ios::binary) << head << std::string(4096, '\x5a');
  }
  const std::string out = dir + "/out";
  fs::create_directory(out);
  const auto [status, log] =
      RunCli({"-p", "8", "-o", out, fixtures::Path("clip.mp4"), corrupt, fixtures::Path("clip.avi")});
  EXPECT_EQ(status, 1) << log;
  EXPECT_NE(log.find("Done    " + fixtures::Path("clip.mp4")), std::string::npos) << log;
  EXPECT_NE(log.find("Failed  " + corrupt + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Done    " + fixtures::Path("clip.avi")), std::string::npos) << log;
  EXPECT_EQ(StreamsOf(out + "/clip.mp4"), "video\naudio\n");
  EXPECT_EQ(StreamsOf(out + "/clip-1.mp4"), "video\naudio\n");
  EXPECT_FALSE(fs::exists(out + "/corrupt.mp4"));
}

// Runs strella-cli as a user the permission bits apply to: root writes
// through them, so as root the program runs as "nobody".
std::pair<int, std::string> RunCliWithoutPrivileges(const std::vector<std::string>& args) {
  std::string command = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  command += Quote(STRELLA_CLI_PROGRAM);
  for (const std::string& arg : args) command += " " + Quote(arg);
  return Shell(command);
}

// Whether RunCliWithoutPrivileges can start the program on the input: as
// root it needs setpriv, and "nobody" must reach both (a tree under a
// private folder such as /root is out of its reach).
bool CanRunWithoutPrivileges(const std::string& input) {
  if (::geteuid() != 0) return true;
  return Shell("setpriv --reuid=65534 --regid=65534 --clear-groups test -x " + Quote(STRELLA_CLI_PROGRAM) +
               " -a -r " + Quote(input)).first == 0;
}

TEST(CliBadInput, FolderWithoutWriteAccessIsRefusedBeforeTheBatch) {
  const std::string dir = fixtures::ScratchDir("cli_bad_readonly");
  const std::string input = Copy(fixtures::Path("clip.mp4"), dir + "/clip.mp4");
  const std::string out = dir + "/locked";
  fs::create_directory(out);
  ::chmod(dir.c_str(), 0755);
  ::chmod(input.c_str(), 0644);
  ::chmod(out.c_str(), 0555);
  if (!CanRunWithoutPrivileges(input))
    GTEST_SKIP() << "running as root without setpriv, or with the program out of reach of an unprivileged user: "
                    "permission bits would not stop the writes";
  const auto [status, log] = RunCliWithoutPrivileges({"-p", "8", "-o", out, input, input});
  EXPECT_EQ(status, 2) << log;
  EXPECT_NE(log.find("The output folder \"" + out + "\""), std::string::npos) << log;
  EXPECT_NE(log.find("cannot be written to!"), std::string::npos) << log;
  EXPECT_TRUE(fs::is_empty(out));
  ::chmod(out.c_str(), 0755);
}

TEST(CliBadInput, FolderBelowARegularFileIsRefusedBeforeTheBatch) {
  const std::string dir = fixtures::ScratchDir("cli_bad_below_file");
  std::ofstream(dir + "/plain.txt") << "not a folder";
  const auto [status, log] = RunCli({"-p", "8", "-o", dir + "/plain.txt/out", fixtures::Path("clip.mp4")});
  EXPECT_NE(status, 0) << log;
  EXPECT_NE(log.find("cannot be created: Not a directory"), std::string::npos) << log;
  EXPECT_EQ(fs::file_size(dir + "/plain.txt"), 12u);
}

TEST(CliBadInput, AnUnusableOutputFolderEndsWithTheSystemsReason) {
  const std::string dir = fixtures::ScratchDir("cli_bad_unusable");
  fs::create_symlink(dir + "/loop_b", dir + "/loop_a");
  fs::create_symlink(dir + "/loop_a", dir + "/loop_b");
  fs::create_directory(dir + "/closed");
  ::chmod(dir.c_str(), 0755);
  ::chmod((dir + "/closed").c_str(), 0700);  // searchable by its owner only
  const struct {
    std::string folder;
    bool withoutPrivileges;
    std::string reason;
  } cases[] = {
      {dir + "/loop_a", false, "Too many levels of symbolic links"},
      {dir + "/loop_a/out", false, "Too many levels of symbolic links"},
      {dir + "/closed/out", true, "Permission denied"},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> args = {"-p", "8", "-o", c.folder, fixtures::Path("clip.mp4")};
    if (c.withoutPrivileges && !CanRunWithoutPrivileges(fixtures::Path("clip.mp4")))
      continue;  // no way to drop root here
    const auto [status, log] = c.withoutPrivileges ? RunCliWithoutPrivileges(args) : RunCli(args);
    EXPECT_EQ(status, 1) << c.folder << log;
    EXPECT_NE(log.find(c.reason), std::string::npos) << c.folder << log;
  }
}

TEST(CliBadInput, AnEmptyShardOrReportIsRefused) {
  for (const char* option : {"--shard", "--report"}) {
    const auto [status, log] = RunCli({"-p", "8", "-o", fixtures::ScratchDir("cli_bad_empty"), option, "",
                                       fixtures::Path("clip.mp4")});
    EXPECT_EQ(status, 2) << option;
    EXPECT_NE(log.find(std::string(option) + ": is empty"), std::string::npos) << log;
  }
}

TEST(CliBadInput, NamesWithBlanksQuotesColonsAndNonLatinLettersConvert) {
  const std::string dir = fixtures::ScratchDir("cli_bad_names");
  const std::string folder = dir + "/out: 'ü' \"日本\"";
  fs::create_directory(folder);
  const std::string odd = Copy(fixtures::Path("clip.mp4"), dir + "/it's a \"clip\": Ünïcødé 日本語.mp4");
  // A relative name with a colon looks like a URL scheme ("c:") to the libraries.
  Copy(fixtures::Path("clip.mp4"), dir + "/c:lip.mp4");
  const auto [status, log] =
      Shell("cd " + Quote(dir) + " && " + Quote(STRELLA_CLI_PROGRAM) + " -p 8 -o " + Quote(folder) + " " +
            Quote(odd) + " c:lip.mp4");
  ASSERT_EQ(status, 0) << log;
  EXPECT_EQ(StreamsOf(folder + "/it's a \"clip\": Ünïcødé 日本語.mp4"), "video\naudio\n") << log;
  EXPECT_EQ(StreamsOf(folder + "/c:lip.mp4"), "video\naudio\n") << log;
}

}  // namespace
}  // namespace strella::cli
