#include "app/session_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <tuple>

#include "fixtures.h"

namespace strella::app {
namespace {

namespace fs = std::filesystem;

class SessionListTest : public ::testing::Test {
 protected:
  std::string folder = fixtures::ScratchDir("session_list");
  TSessionList session{folder + "/state/file-list.json"};
  std::string error;
};

TEST_F(SessionListTest, RowsComeBackAndAConvertingRowAsStopped) {
  TProbeResult probe{true, 320, 240, 2500000, false, 16, 15, 30000, 1001};
  probe.FileSizeBytes = 123456;
  probe.VideoStreams = probe.AudioStreams = 1;
  // The tracks a job chooses among: kind, codec, tags and marks.
  probe.Tracks = {{0, media::TTrackKind::Video, "mpeg4", "", "", true, false, false, true, 0},
                  {1, media::TTrackKind::Audio, "mp3", "fra", "Dialogue \"2\"", false, false, false, true, 2},
                  {2, media::TTrackKind::Subtitle, "hdmv_pgs_subtitle", "eng", "", false, false, true, false, 0}};
  TFileList list;
  list.Append(TFileRow{"/v/done.avi", true, {"320x240", "00:00:02", "MP4", "", "", "50"}, "/o/done.mp4", "",
                       {"a note"}, TRowStatus::Done, 0, probe, "trip/day 1"});
  list.Append(TFileRow{"/v/running é.avi", true, {"640x480", "00:01:00", "MP4", "0:00:40", "", "500"}, "/o/r.mp4", "",
                       {}, TRowStatus::Converting, 33, {}, "/etc"});
  list.Append(TFileRow{"/v/off.avi", false, {" ", "00:00:09", "MP4", "", "", ""}, "", "Error while encoding", {},
                       TRowStatus::Failed, 0, {}, "a/../../out"});
  ASSERT_TRUE(session.Save(list, [](int row) { return row == 1; }, error)) << error;
  ASSERT_FALSE(fs::exists(session.FileName() + ".tmp." + std::to_string(::getpid())));

  TFileList next;
  ASSERT_EQ(TSessionList(session.FileName()).Restore(next, error), 3) << error;
  EXPECT_EQ(RestoredMessage(3), "Restored 3 files from the last session");
  EXPECT_EQ(next.Row(0).Columns, list.Row(0).Columns);
  EXPECT_EQ(next.Row(0).Status, TRowStatus::Done);
  EXPECT_EQ(next.Column(0, fcProgress), "Done");
  EXPECT_EQ(next.Row(0).OutputFile, "/o/done.mp4");
  EXPECT_EQ(next.Row(0).Notes, std::vector<std::string>{"a note"});
  // A kept subfolder stays below the output folder: one leading elsewhere is dropped.
  EXPECT_EQ(next.Row(0).OutputSubfolder, "trip/day 1");
  EXPECT_EQ(next.Row(1).OutputSubfolder, "");
  EXPECT_EQ(next.Row(2).OutputSubfolder, "");
  // The probe's whole result comes back, the rate and the pixel shape too.
  const TProbeResult& back = next.Row(0).Probe;
  EXPECT_EQ(std::tie(back.HasVideo, back.Width, back.Height, back.DurationUS, back.CoverArt),
            std::make_tuple(true, 320, 240, int64_t{2500000}, false));
  EXPECT_EQ(std::tie(back.SampleAspectNum, back.SampleAspectDen, back.FrameRateNum, back.FrameRateDen),
            std::make_tuple(16, 15, 30000, 1001));
  EXPECT_EQ(std::tie(back.FileSizeBytes, back.VideoStreams, back.AudioStreams, back.SubtitleStreams),
            std::make_tuple(int64_t{123456}, 1, 1, 0));
  EXPECT_EQ(back.Tracks, probe.Tracks);
  EXPECT_EQ(next.Row(1).Caption, "/v/running é.avi");
  EXPECT_EQ(next.Row(1).Columns, (std::array<std::string, 6>{"640x480", "00:01:00", "MP4", "", "", ""}));
  EXPECT_EQ(next.Row(1).Status, TRowStatus::Stopped);
  EXPECT_EQ(next.Column(1, fcProgress), "Stopped");
  EXPECT_EQ(next.Row(1).OutputFile, "");
  EXPECT_EQ(next.Row(1).Notes.size(), 1u);
  EXPECT_FALSE(next.Row(2).Checked);
  EXPECT_EQ(next.Row(2).Status, TRowStatus::Failed);
  EXPECT_EQ(next.Row(2).Message, "Error while encoding");

  // The Progress column keeps its text in the file, which is all that the
  // previous release reads of a row's status.
  std::ifstream file(session.FileName());
  const nlohmann::json saved = nlohmann::json::parse(file);
  EXPECT_EQ(saved["rows"][0]["columns"][fcProgress], "Done");
  EXPECT_EQ(saved["rows"][1]["columns"][fcProgress], "");
  EXPECT_EQ(saved["rows"][2]["columns"][fcProgress], "Fail");
}

// A list as the previous release wrote it: the status only as the Progress
// column's text, and no probe result beside the Size and Duration texts.
TEST_F(SessionListTest, AListOfThePreviousReleaseLoads) {
  const std::string text = R"({"version": 1, "rows": [
    {"file": "/v/a.avi", "checked": true, "columns": ["640x480", "00:01:05", "MP4", "", "Done", "1625"],
     "output": "/o/a.mp4", "message": "", "notes": [], "converting": false},
    {"file": "/v/b.avi", "checked": true, "columns": [" ", "00:00:09", "MP4", "", "Fail", ""],
     "output": "", "message": "Error while encoding", "notes": [], "converting": false},
    {"file": "/v/c.avi", "checked": true, "columns": ["320x240", "Unknown", "MP4", "", "Failed", ""],
     "output": "", "message": "", "notes": [], "converting": false},
    {"file": "/v/d.avi", "checked": true, "columns": ["320x240", "00:00:00", "MP4", "", "Abort", ""],
     "output": "", "message": "", "notes": [], "converting": false},
    {"file": "/v/e.avi", "checked": true, "columns": ["", "", "MP4", "", "Error", ""],
     "output": "", "message": "/v/e.avi: Invalid data found", "notes": [], "converting": false},
    {"file": "/v/f.avi", "checked": true, "columns": ["320x240", "00:00:02", "MP4", "", "Stopped", ""],
     "output": "", "message": "", "notes": [], "converting": false},
    {"file": "/v/g.avi", "checked": true, "columns": ["320x240", "00:00:02", "MP4", "", "", ""],
     "output": "", "message": "", "notes": [], "converting": false},
    {"file": "/v/h.avi", "checked": true, "columns": ["320x240", "00:00:02", "MP4", "", "", ""],
     "output": "/o/h.mp4", "message": "", "notes": [], "converting": true}]})";
  fs::create_directories(fs::path(session.FileName()).parent_path());
  std::ofstream(session.FileName()) << text;
  TFileList next;
  ASSERT_EQ(session.Restore(next, error), 8) << error;
  EXPECT_EQ(error, "");
  const TRowStatus statuses[] = {TRowStatus::Done,       TRowStatus::Failed,  TRowStatus::SetUpFailed,
                                 TRowStatus::Aborted,    TRowStatus::Unreadable, TRowStatus::Stopped,
                                 TRowStatus::Waiting,    TRowStatus::Stopped};
  for (int row = 0; row < next.Count(); ++row) {
    EXPECT_EQ(next.Row(row).Status, statuses[row]) << next.Row(row).Caption;
    EXPECT_EQ(next.Column(row, fcProgress), RowStatusText(statuses[row])) << next.Row(row).Caption;
  }
  // What the Size and Duration texts tell stands in for the probe's result.
  struct Probed {
    bool video;
    int width, height;
    int64_t durationUS;
  };
  const Probed probed[] = {{true, 640, 480, 65000000}, {false, 0, 0, 9000000}, {true, 320, 240, -1},
                           {true, 320, 240, 0},        {false, 0, 0, -1}};
  for (int row = 0; row < 5; ++row) {
    const TProbeResult& probe = next.Row(row).Probe;
    EXPECT_EQ(std::tie(probe.HasVideo, probe.Width, probe.Height, probe.DurationUS),
              std::tie(probed[row].video, probed[row].width, probed[row].height, probed[row].durationUS))
        << next.Row(row).Caption;
  }
  EXPECT_TRUE(next.Row(0).Probe.DurationKnown());
  EXPECT_FALSE(next.Row(3).Probe.DurationKnown());  // "00:00:00" reads as unknown, as it always did
  EXPECT_EQ(next.Row(0).Columns[fcSize], "640x480");
  EXPECT_EQ(next.Row(0).Columns[fcDuration], "00:01:05");
}

TEST_F(SessionListTest, AnEmptyListLeavesNothingToRestore) {
  TFileList list;
  list.Append(TFileRow{"/v/a.avi", true, {}, "", "", {}});
  ASSERT_TRUE(session.Save(list, nullptr, error));
  ASSERT_TRUE(fs::exists(session.FileName()));
  list.Clear();
  ASSERT_TRUE(session.Save(list, nullptr, error));
  EXPECT_FALSE(fs::exists(session.FileName()));
  TFileList next;
  EXPECT_EQ(session.Restore(next, error), 0);
  EXPECT_EQ(error, "");
}

std::vector<std::string> BrokenCopies(const std::string& fileName) {
  std::vector<std::string> copies;
  for (const auto& entry : fs::directory_iterator(fs::path(fileName).parent_path()))
    if (entry.path().filename().string().rfind("file-list.json.broken-", 0) == 0) copies.push_back(entry.path());
  return copies;
}

std::string Text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(SessionListTest, AListThatCannotBeReadIsKeptAsideNeverDeleted) {
  const std::string cases[] = {"{\"rows\": [{\"file\": ", "", "[1, 2]", "{\"rows\": 3}",
                               "{\"rows\": [{\"file\": \"/v/\xff.avi\"}]}"};
  for (const std::string& text : cases) {
    fs::remove_all(fs::path(session.FileName()).parent_path());
    fs::create_directories(fs::path(session.FileName()).parent_path());
    std::ofstream(session.FileName(), std::ios::binary) << text;
    TFileList next;
    error.clear();
    EXPECT_EQ(session.Restore(next, error), 0) << text;
    EXPECT_NE(error.find("cannot be read"), std::string::npos) << text;
    // The empty list saved next must not take the user's list with it.
    ASSERT_TRUE(session.Save(next, nullptr, error));
    const std::vector<std::string> copies = BrokenCopies(session.FileName());
    ASSERT_EQ(copies.size(), 1u) << text;
    EXPECT_EQ(Text(copies[0]), text);
    EXPECT_NE(error.find(copies[0]), std::string::npos) << error;
  }
}

TEST_F(SessionListTest, RowsWithWrongFieldsAreLeftOutOneByOne) {
  const std::string longName(PATH_MAX, 'n');
  const std::string text = "{\"version\": 1, \"rows\": [{\"file\": \"/v/a.avi\"}, {\"file\": 7}, "
                           "{\"file\": \"/v/b.avi\", \"checked\": \"yes\"}, {\"file\": \"/" + longName + "\"}, "
                           "{\"file\": \"/v/c.avi\", \"checked\": false}]}";
  fs::create_directories(fs::path(session.FileName()).parent_path());
  std::ofstream(session.FileName()) << text;
  TFileList next;
  EXPECT_EQ(session.Restore(next, error), 2);
  ASSERT_EQ(next.Count(), 2);
  EXPECT_EQ(next.Row(0).Caption, "/v/a.avi");
  EXPECT_EQ(next.Row(1).Caption, "/v/c.avi");
  EXPECT_NE(error.find("3 rows that cannot be read"), std::string::npos) << error;
  ASSERT_EQ(BrokenCopies(session.FileName()).size(), 1u);
  EXPECT_EQ(Text(BrokenCopies(session.FileName())[0]), text);
}
}  // namespace
}  // namespace strella::app
