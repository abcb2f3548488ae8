#include "app/session_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

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
  TFileList list;
  list.Append(TFileRow{"/v/done.avi", true, {"320x240", "00:00:02", "MP4", "", "Done", "50"}, "/o/done.mp4", "", {"a note"}});
  list.Append(TFileRow{"/v/running é.avi", true, {"640x480", "00:01:00", "MP4", "0:00:40", "33%", "500"}, "/o/r.mp4", "", {}});
  list.Append(TFileRow{"/v/off.avi", false, {" ", "00:00:09", "MP4", "", "Fail", ""}, "", "Error while encoding", {}});
  ASSERT_TRUE(session.Save(list, [](int row) { return row == 1; }, error)) << error;
  ASSERT_FALSE(fs::exists(session.FileName() + ".tmp." + std::to_string(::getpid())));

  TFileList next;
  ASSERT_EQ(TSessionList(session.FileName()).Restore(next, error), 3) << error;
  EXPECT_EQ(RestoredMessage(3), "Restored 3 files from the last session");
  EXPECT_EQ(next.Row(0).Columns, list.Row(0).Columns);
  EXPECT_EQ(next.Row(0).OutputFile, "/o/done.mp4");
  EXPECT_EQ(next.Row(0).Notes, std::vector<std::string>{"a note"});
  EXPECT_EQ(next.Row(1).Caption, "/v/running é.avi");
  EXPECT_EQ(next.Row(1).Columns, (std::array<std::string, 6>{"640x480", "00:01:00", "MP4", "", kStoppedStatus, ""}));
  EXPECT_EQ(next.Row(1).OutputFile, "");
  EXPECT_EQ(next.Row(1).Notes.size(), 1u);
  EXPECT_FALSE(next.Row(2).Checked);
  EXPECT_EQ(next.Row(2).Message, "Error while encoding");
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
