#include "cli/cli_farm.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

#include "app/settings_model.h"
#include "fixtures.h"
#include "run_program.h"

namespace strella::cli {
namespace {

namespace fs = std::filesystem;

TEST(Shard, ParsesKOfN) {
  const struct {
    const char* text;
    std::optional<std::pair<int, int>> expected;
  } cases[] = {{"1/1", std::pair{1, 1}}, {"2/3", std::pair{2, 3}}, {"3/3", std::pair{3, 3}},
               {"0/3", std::nullopt},    {"4/3", std::nullopt},    {"1/0", std::nullopt},
               {"2", std::nullopt},      {"a/b", std::nullopt},    {"-1/3", std::nullopt}};
  for (const auto& c : cases) {
    const std::optional<TShard> shard = ParseShard(c.text);
    ASSERT_EQ(shard.has_value(), c.expected.has_value()) << c.text;
    if (shard) {
      EXPECT_EQ(std::pair(shard->Index, shard->Count), *c.expected) << c.text;
    }
  }
}

// The paths of a part of the named files.
std::vector<std::string> ShardOf(const std::vector<std::string>& AFiles, TShard AShard, bool ABySize = false) {
  AShard.BySize = ABySize;
  std::vector<app::TFileToAdd> files;
  for (const std::string& file : AFiles) files.push_back({file});
  std::vector<std::string> part;
  for (const app::TFileToAdd& file : SelectShard(files, AShard)) part.push_back(file.Path);
  return part;
}

TEST(Shard, PartsCoverEveryFileOnceWhateverTheOrderGiven) {
  const std::vector<std::string> files = {"/m/e.avi", "/m/a.avi", "/n/a.avi", "/m/c.avi", "/m/b.avi", "/m/d.avi",
                                          "/m/./f.avi"};
  std::vector<std::string> reversed(files.rbegin(), files.rend());
  std::multiset<std::string> all;
  for (int k = 1; k <= 3; ++k) {
    const std::vector<std::string> part = ShardOf(files, {k, 3});
    EXPECT_EQ(part, ShardOf(reversed, {k, 3})) << k;
    EXPECT_TRUE(std::is_sorted(part.begin(), part.end()));
    all.insert(part.begin(), part.end());
  }
  EXPECT_EQ(all, (std::multiset<std::string>{"/m/a.avi", "/m/b.avi", "/m/c.avi", "/m/d.avi", "/m/e.avi",
                                             "/m/f.avi", "/n/a.avi"}));
  EXPECT_EQ(ShardOf(files, {1, 3}), (std::vector<std::string>{"/m/a.avi", "/m/d.avi", "/n/a.avi"}));
}

std::vector<nlohmann::json> ReadReports(const std::string& folder) {
  std::vector<nlohmann::json> rows;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".jsonl") continue;
    std::ifstream file(entry.path());
    for (std::string line; std::getline(file, line);) rows.push_back(nlohmann::json::parse(line));
  }
  return rows;
}

// Three parts under GNU parallel convert each of nine files once; a rerun skips them all.
TEST(Shard, GnuParallelConvertsEveryFileOnceAndARerunSkipsThem) {
  const std::string in = fixtures::ScratchDir("farm_in");
  const std::string out = fixtures::ScratchDir("farm_out");
  const std::string reports = fixtures::ScratchDir("farm_reports");
  std::string files;
  for (int i = 1; i <= 9; ++i) {
    fixtures::FixtureSpec recipe;
    recipe.file_name = "farm_tone" + std::to_string(i) + ".wav";
    recipe.duration = 0.5;
    recipe.audio = fixtures::AudioSpec{44100, 2, "pcm_s16le", 0, 0, 200.0 + 50 * i};
    const std::string made = fixtures::Make(recipe);
    fs::copy_file(made, in + "/tone" + std::to_string(i) + ".wav");
    files += " " + Quote(in + "/tone" + std::to_string(i) + ".wav");
  }
  const auto run = [&](const std::string& extra) {
    return Shell("parallel --will-cite --halt never " + Quote(STRELLA_CLI_PROGRAM) + " -p 25 -o " + Quote(out) +
                 extra + " --shard {}/3 --report " + Quote(reports + "/part{}.jsonl") + files + " ::: 1 2 3");
  };

  const auto [status, output] = run("");
  ASSERT_EQ(status, 0) << output;
  std::vector<nlohmann::json> rows = ReadReports(reports);
  ASSERT_EQ(rows.size(), 9u) << output;
  std::set<std::string> inputs;
  for (const nlohmann::json& row : rows) {
    EXPECT_EQ(row["status"], "Done") << row.dump();
    EXPECT_GT(row["output_size"].get<int64_t>(), 0) << row.dump();
    EXPECT_GE(row["seconds"].get<double>(), 0.0);
    inputs.insert(row["input"].get<std::string>());
  }
  EXPECT_EQ(inputs.size(), 9u);
  std::set<std::string> outputs;
  for (const auto& entry : fs::directory_iterator(out)) outputs.insert(entry.path().filename().string());
  std::set<std::string> expected;
  for (int i = 1; i <= 9; ++i) expected.insert("tone" + std::to_string(i) + ".mp3");
  EXPECT_EQ(outputs, expected);  // each once: no "-1" copies, no partial files left
  const auto written = fs::last_write_time(out + "/tone5.mp3");

  const auto [again, output2] = run(" --skip-existing");
  ASSERT_EQ(again, 0) << output2;
  rows = ReadReports(reports);
  ASSERT_EQ(rows.size(), 9u);
  for (const nlohmann::json& row : rows) {
    EXPECT_EQ(row["status"], "Skipped") << row.dump();
    EXPECT_GT(row["output_size"].get<int64_t>(), 0) << row.dump();
  }
  outputs.clear();
  for (const auto& entry : fs::directory_iterator(out)) outputs.insert(entry.path().filename().string());
  EXPECT_EQ(outputs, expected);
  EXPECT_EQ(fs::last_write_time(out + "/tone5.mp3"), written);
}

// Two conversions at a time through the real encoder: inputs named alike in
// different folders still get an output each.
std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Profile 25 writes MP3: a report named like the output it is about must not replace it.
TEST(Report, IsRefusedWhereItWouldReplaceAnotherFile) {
  const std::string dir = fixtures::ScratchDir("farm_report_refused");
  const std::string input = dir + "/in.wav";
  fs::copy_file(fixtures::Path("tone.wav"), input);
  const std::string inputBytes = FileText(input);
  fs::create_directory(dir + "/out");
  ASSERT_EQ(::mkfifo((dir + "/pipe").c_str(), 0644), 0);
  std::ofstream(dir + "/notes.txt") << "a user's own notes";
  const bool root = ::geteuid() == 0;
  if (root) {
    EXPECT_EQ(::mknod((dir + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  }
  const struct {
    std::string report;
    std::string reason;
  } cases[] = {
      {input, "is an input of this batch"},
      {dir + "/out/in.mp3", "is an output of this batch"},
      {dir + "/pipe", "is not a regular file"},
      {dir + "/out", "is not a regular file"},
      {dir + "/notes.txt", "exists and is not a report"},
      {dir + "/missing/r.jsonl", "No such file or directory"},
      {root ? dir + "/null" : dir + "/pipe", "is not a regular file"},
  };
  for (const auto& c : cases) {
    const auto [status, log] = RunCli({"-p", "25", "-o", dir + "/out", "--report", c.report, input});
    EXPECT_EQ(status, 1) << c.report << log;
    EXPECT_NE(log.find(c.reason), std::string::npos) << c.report << log;
    EXPECT_FALSE(fs::exists(dir + "/out/in.mp3")) << "refused before converting: " << c.report;
  }
  EXPECT_EQ(FileText(input), inputBytes);
  EXPECT_EQ(FileText(dir + "/notes.txt"), "a user's own notes");
  EXPECT_TRUE(fs::is_fifo(dir + "/pipe"));
  if (root) {
    EXPECT_TRUE(fs::is_character_file(dir + "/null"));
  }
}

TEST(Report, ReplacesAnEarlierReportWithoutTouchingFilesBesideIt) {
  const std::string dir = fixtures::ScratchDir("farm_report_beside");
  std::ofstream(dir + "/victim") << "keep";
  fs::create_symlink(dir + "/victim", dir + "/r.jsonl.tmp");
  std::ofstream(dir + "/r.jsonl") << "{\"input\":\"an earlier run\"}\n";
  for (int run = 0; run < 2; ++run) {
    const auto [status, log] =
        RunCli({"-p", "25", "-o", dir + "/out", "--report", dir + "/r.jsonl", "--overwrite", fixtures::Path("tone.wav")});
    ASSERT_EQ(status, 0) << log;
    const nlohmann::json row = nlohmann::json::parse(FileText(dir + "/r.jsonl"));
    EXPECT_EQ(row["status"], "Done");
  }
  EXPECT_EQ(FileText(dir + "/victim"), "keep");
  EXPECT_TRUE(fs::is_symlink(dir + "/r.jsonl.tmp"));
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"out", "r.jsonl", "r.jsonl.tmp", "victim"}));
}

TEST(SkipExisting, SkipsOnlyOutputsThatAreComplete) {
  const std::string dir = fixtures::ScratchDir("farm_skip_complete");
  for (const char* name : {"whole", "empty", "cut"}) fs::copy_file(fixtures::Path("tone.wav"), dir + "/" + name + ".wav");
  const std::string out = dir + "/out";
  ASSERT_EQ(RunCli({"-p", "25", "-o", out, dir + "/whole.wav"}).first, 0);
  std::ofstream(out + "/empty.mp3");  // a run killed before it wrote anything
  fs::copy_file(out + "/whole.mp3", out + "/cut.mp3");
  fs::resize_file(out + "/cut.mp3", fs::file_size(out + "/cut.mp3") / 3);  // a full disk
  const auto [status, log] = RunCli({"-p", "25", "-o", out, "--skip-existing", "--report", dir + "/r.jsonl",
                                     dir + "/whole.wav", dir + "/empty.wav", dir + "/cut.wav"});
  EXPECT_EQ(status, 0) << log;
  std::vector<std::string> statuses;
  std::ifstream report(dir + "/r.jsonl");
  for (std::string line; std::getline(report, line);) statuses.push_back(nlohmann::json::parse(line)["status"]);
  EXPECT_EQ(statuses, (std::vector<std::string>{"Skipped", "Done", "Done"})) << log;
  EXPECT_NE(log.find("empty.mp3\" cannot be read"), std::string::npos) << log;
  EXPECT_NE(log.find("cut.mp3\" lasts"), std::string::npos) << log;
}

TEST(Jobs, TwoAtATimeGiveEveryFileItsOwnOutput) {
  if (app::ProcessorCount() < 2) GTEST_SKIP() << "needs two processors";
  const std::string in = fixtures::ScratchDir("jobs_in");
  const std::string out = fixtures::ScratchDir("jobs_out");
  fs::create_directories(in + "/one");
  fs::create_directories(in + "/two");
  fs::copy_file(fixtures::Path("clip.mp4"), in + "/one/clip.mp4");
  fs::copy_file(fixtures::Path("clip.mp4"), in + "/two/clip.mp4");
  const auto [status, output] = RunCli({"-j", "2", "-p", "25", "-o", out, in + "/one/clip.mp4", in + "/two/clip.mp4",
                                        fixtures::Path("clip.avi"), fixtures::Path("tone.wav")});
  ASSERT_EQ(status, 0) << output;
  std::set<std::string> outputs;
  for (const auto& entry : fs::directory_iterator(out)) {
    outputs.insert(entry.path().filename().string());
    const auto [probed, streams] =
        Shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + Quote(entry.path().string()));
    EXPECT_EQ(streams, "mp3\n") << entry.path();
  }
  EXPECT_EQ(outputs, (std::set<std::string>{"clip.mp3", "clip-1.mp3", "clip-2.mp3", "tone.mp3"}));
}

// One large file and many small ones: by count, one part gets the large file
// and half the small ones; by size, the large file's part gets nothing else.
TEST(Shard, BySizeBalancesTheBytesOfEachPart) {
  const std::string dir = fixtures::ScratchDir("shard_by_size");
  std::vector<std::string> files = {dir + "/big.wav"};
  std::ofstream(files[0]) << std::string(6000, 'x');
  for (int i = 0; i < 6; ++i) {
    files.push_back(dir + "/small" + std::to_string(i) + ".wav");
    std::ofstream(files.back()) << std::string(1000, 'x');
  }
  const auto bytesOf = [](const std::vector<std::string>& part) {
    int64_t total = 0;
    for (const std::string& file : part) total += static_cast<int64_t>(fs::file_size(file));
    return total;
  };
  std::multiset<std::string> all;
  for (int k = 1; k <= 2; ++k) {
    const std::vector<std::string> part = ShardOf(files, {k, 2}, true);
    EXPECT_EQ(bytesOf(part), 6000) << k;
    EXPECT_TRUE(std::is_sorted(part.begin(), part.end()));
    EXPECT_EQ(part, ShardOf({files.rbegin(), files.rend()}, {k, 2}, true));
    all.insert(part.begin(), part.end());
  }
  EXPECT_EQ(all, std::multiset<std::string>(files.begin(), files.end()));
  EXPECT_EQ(bytesOf(ShardOf(files, {1, 2})), 9000);  // by count, for comparison
}

// A folder given brings the media below it; the outputs keep its subfolders,
// so files of one name in different folders never meet. Parts of a farm split the files, not the folders.
TEST(Folders, AFolderTreeIsMirroredBelowTheOutputFolder) {
  const std::string dir = fixtures::ScratchDir("folder_tree");
  for (const char* name : {"in/x.wav", "in/a/x.wav", "in/b/x.wav", "in/b/deep/y.wav"}) {
    fs::create_directories(fs::path(dir + "/" + name).parent_path());
    fs::copy_file(fixtures::Path("tone.wav"), dir + "/" + name);
  }
  std::ofstream(dir + "/in/a/notes.txt") << "not media";
  const std::set<std::string> expected = {"x.mp3", "a/x.mp3", "b/x.mp3", "b/deep/y.mp3"};
  const auto outputsIn = [](const std::string& out) {
    std::set<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(out))
      if (entry.is_regular_file()) found.insert(fs::relative(entry.path(), out).string());
    return found;
  };
  const auto [status, log] = RunCli({"-p", "25", "-o", dir + "/out", dir + "/in"});
  ASSERT_EQ(status, 0) << log;
  EXPECT_NE(log.find("1 files in the folders given are not media files"), std::string::npos) << log;
  EXPECT_EQ(outputsIn(dir + "/out"), expected) << log;
  std::set<std::string> parts;
  for (const char* shard : {"1/2", "2/2"}) {
    const auto [partStatus, partLog] = RunCli({"-p", "25", "-o", dir + "/farm", "--shard", shard, dir + "/in"});
    ASSERT_EQ(partStatus, 0) << partLog;
  }
  EXPECT_EQ(outputsIn(dir + "/farm"), expected);
}

// Two slots opening library encoders at the same time once hung the run for good (a
// worker logging while the main thread probed). Many short runs, each bounded by a kill.
TEST(Jobs, TwoSlotsToLibraryEncodersFinishEveryRun) {
  if (app::ProcessorCount() < 2) GTEST_SKIP() << "needs two processors";
  const std::string in = fixtures::ScratchDir("two_slots_in");
  std::vector<std::string> clips;
  for (int i = 0; i < 8; ++i) {
    clips.push_back(in + "/clip" + std::to_string(i) + ".mp4");
    fs::copy_file(fixtures::Path("clip.mp4"), clips.back());
  }
  for (const char* profile : {"47", "50"}) {
    for (int run = 0; run < 8; ++run) {
      const std::string out = fixtures::ScratchDir("two_slots_out");
      std::string command = "timeout -s KILL 120 " + Quote(STRELLA_CLI_PROGRAM) + " -j 2 -p " + profile + " -o " + Quote(out);
      for (const std::string& clip : clips) command += " " + Quote(clip);
      const auto [status, output] = Shell(command);
      ASSERT_EQ(status, 0) << "profile " << profile << ", run " << run << " (137: hung and killed)\n" << output;
      ASSERT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 8) << output;
    }
  }
}

}  // namespace
}  // namespace strella::cli
