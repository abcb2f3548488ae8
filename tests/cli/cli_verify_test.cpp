// Outputs read back before they take their name: the report says which were
// verified and how long each stream lasts; --no-verify leaves that out; a
// damaged source whose sound cannot be decoded never ends "Done".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "run_program.h"

namespace strella::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFlac = "FLAC - Lossless Audio (*.flac)";

nlohmann::json ReportRow(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return nlohmann::json::parse(line);
}

TEST(VerifiedReport, SaysEachStreamsLengthUnlessVerifyingIsOff) {
  const std::string dir = fixtures::ScratchDir("cli_verify_report");
  auto [status, log] = RunCli({"-p", "MP4 - MPEG4 Video (*.mp4)", "-o", dir + "/out", "--report", dir + "/on.jsonl",
                               fixtures::Path("clip.mp4")});
  ASSERT_EQ(status, 0) << log;
  nlohmann::json row = ReportRow(dir + "/on.jsonl");
  EXPECT_EQ(row["status"], "Done");
  EXPECT_EQ(row["verified"], true);
  ASSERT_EQ(row["stream_durations"].size(), 2u) << row.dump();
  for (const auto& stream : row["stream_durations"]) {
    EXPECT_NEAR(stream["seconds"].get<double>(), 2.0, 0.15) << row.dump();
    EXPECT_NEAR(stream["expected_seconds"].get<double>(), 2.0, 0.15) << row.dump();
  }
  EXPECT_EQ(row["stream_durations"][0]["type"], "video");
  EXPECT_EQ(row["stream_durations"][1]["type"], "audio");

  std::tie(status, log) = RunCli({"--no-verify", "--overwrite", "-p", kFlac, "-o", dir + "/out", "--report",
                                  dir + "/off.jsonl", fixtures::Path("tone.wav")});
  ASSERT_EQ(status, 0) << log;
  row = ReportRow(dir + "/off.jsonl");
  EXPECT_EQ(row["status"], "Done");
  EXPECT_EQ(row["verified"], false);
  EXPECT_FALSE(row.contains("stream_durations"));
}

// An MPEG-TS cut before its AC-3 track's first packet: the track has no parameters and no sound.
TEST(VerifiedReport, ASourceWithoutDecodableSoundLeavesNoFlac) {
  const std::string source =
      fixtures::MadeWithFfmpeg("verify_late_ac3.ts",
                               "-f lavfi -i testsrc=size=320x240:rate=25 -itsoffset 3 -f lavfi -i "
                               "sine=frequency=440:sample_rate=48000 -t 6 -c:v mpeg2video -c:a ac3 -f mpegts");
  ASSERT_FALSE(source.empty());
  const std::string dir = fixtures::ScratchDir("cli_verify_damaged");
  const std::string cut = dir + "/cut.ts";
  {
    std::ifstream in(source, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 10);
  }
  const auto [status, log] = RunCli({"-p", kFlac, "-o", dir + "/out", "--report", dir + "/r.jsonl", cut});
  EXPECT_EQ(status, 1) << log;
  const nlohmann::json row = ReportRow(dir + "/r.jsonl");
  EXPECT_NE(row["status"], "Done") << row.dump();
  EXPECT_EQ(row["verified"], false);
  EXPECT_TRUE(fs::is_empty(dir + "/out")) << "neither the output nor its partial file is left";
}

}  // namespace
}  // namespace strella::cli
