#include "app/profile_catalogue.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "app/text_utils.h"

namespace strella::app {
namespace {

std::vector<std::map<std::string, std::string>> ReadCatalogue() {
  std::ifstream file(std::string(STRELLA_APP_TEST_DATA) + "/profile-catalogue.tsv");
  std::string line;
  std::getline(file, line);
  const std::vector<std::string> header = SplitText(line, '\t');
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(file, line)) {
    const std::vector<std::string> cells = SplitText(line, '\t');
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < header.size() && i < cells.size(); ++i) row[header[i]] = cells[i];
    rows.push_back(row);
  }
  return rows;
}

TEST(ProfileTable, MatchesTheCatalogueFieldByField) {
  const auto rows = ReadCatalogue();
  // The catalogue's rows come first; later profiles follow them.
  ASSERT_EQ(rows.size(), static_cast<size_t>(kClassicProfileCount));
  for (size_t i = 0; i < rows.size(); ++i) {
    auto row = rows[i];
    const Quality& q = ProfileTable[i];
    SCOPED_TRACE(row["DisplayName"]);
    // The one deliberate difference: 4800 Hz is no rate any AAC encoder takes.
    if (row["DisplayName"] == "PS3 Video (*.mp4)") {
      EXPECT_EQ(row["SampleRateCell"], "4800ONLY");
      row["SampleRateCell"] = "48000ONLY";
    }
    EXPECT_EQ(std::to_string(q.RowNumber), row["RowNumber"]);
    EXPECT_EQ(q.RowNumber, static_cast<int>(i));
    EXPECT_EQ(q.DisplayName, row["DisplayName"]);
    EXPECT_EQ(q.FormatKey, row["FormatKey"]);
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ(q.VideoLadder[k], row["VideoLadder" + std::to_string(k + 1)]);
      EXPECT_EQ(q.AudioLadder[k], row["AudioLadder" + std::to_string(k + 1)]);
    }
    EXPECT_EQ(q.VideoCodecCell, row["VideoCodecCell"]);
    EXPECT_EQ(q.VideoBitrateCell, row["VideoBitrateCell"]);
    EXPECT_EQ(q.FrameSizeCell, row["FrameSizeCell"]);
    EXPECT_EQ(q.FrameRateCell, row["FrameRateCell"]);
    EXPECT_EQ(q.AudioCodecCell, row["AudioCodecCell"]);
    EXPECT_EQ(q.AudioBitrateCell, row["AudioBitrateCell"]);
    EXPECT_EQ(q.SampleRateCell, row["SampleRateCell"]);
  }
}

TEST(OutputFormatList, HeadersSeparatorsAndEveryProfileInTableOrder) {
  const auto& entries = OutputFormatEntries();
  ASSERT_EQ(entries.size(), 75u);
  EXPECT_EQ(entries[0], std::string(12, ' ') + "----- General Video Formats -----");
  EXPECT_EQ(entries[1], std::string(5, ' '));
  EXPECT_EQ(entries[2], "3GP - Mobile Video Format (*.3gp)");
  EXPECT_EQ(entries[18], std::string(5, ' '));
  EXPECT_EQ(entries[39], std::string(12, ' ') + "----- Apple iPod & iPhones -----   ");
  EXPECT_EQ(entries[47], std::string(12, ' ') + "-----     Miscellaneous     -----");
  // The first 61 entries keep their places; two groups follow.
  EXPECT_EQ(entries[60], "Zune WMV Windows Media Video (*.wmv)");
  EXPECT_EQ(entries[61], std::string(5, ' '));
  EXPECT_EQ(entries[62], std::string(12, ' ') + "----- Modern Video -----");
  EXPECT_EQ(entries[64], "MP4 - H.264 + AAC (*.mp4)");
  EXPECT_EQ(entries[70], std::string(12, ' ') + "----- Modern Audio -----");
  EXPECT_EQ(entries.back(), "M4A - Apple Lossless (*.m4a)");

  int next = 0;
  for (const std::string& entry : entries) {
    if (!IsSelectableFormatEntry(entry)) continue;
    const Quality* row = FindProfile(entry);
    ASSERT_NE(row, nullptr) << entry;
    EXPECT_EQ(row->RowNumber, next++);
  }
  EXPECT_EQ(next, kProfileCount);

  TListDropDown list;
  FillOutputFormat(list);
  EXPECT_EQ(list.Count(), 75);
  EXPECT_EQ(list.Text(), "3G2 - Mobile Video Format (*.3g2)");
  EXPECT_EQ(list.Item(kDefaultFormatEntry), "3GP - Mobile Video Format (*.3gp)");
}

TEST(FindProfile, IsExactAndCaseSensitive) {
  EXPECT_NE(FindProfile("MP4 - MPEG4 Video (*.mp4)"), nullptr);
  EXPECT_EQ(FindProfile("mp4 - mpeg4 video (*.mp4)"), nullptr);
  EXPECT_EQ(FindProfile(" MP4 - MPEG4 Video (*.mp4)"), nullptr);
  EXPECT_EQ(FindProfile("MP4 - MPEG4 Video (*.mp4) "), nullptr);
  EXPECT_EQ(FindProfile(""), nullptr);
}

}  // namespace
}  // namespace strella::app
