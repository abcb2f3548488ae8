// The window's logic that needs no window: where a frame goes, the batch's
// summary texts and weighted percentage, the folders a first start offers,
// folders turned into media files, colour contrast and play times.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/batch_summary.h"
#include "app/colour_contrast.h"
#include "app/media_files.h"
#include "app/text_utils.h"
#include "app/user_folders.h"
#include "app/window_placement.h"
#include "fixtures.h"

namespace strella::app {
namespace {

TEST(PlaceFrame, KeepsAReachableTitleBarAndMovesAnUnreachableOne) {
  const TRect left{0, 0, 1920, 1040}, right{1920, 0, 1280, 984};
  struct Case {
    const char* what;
    std::vector<TRect> screens;
    TRect frame, placed;
  };
  const Case cases[] = {
      {"on the first screen", {left, right}, {100, 50, 800, 600}, {100, 50, 800, 600}},
      {"on the second screen", {left, right}, {2000, 10, 800, 600}, {2000, 10, 800, 600}},
      {"the body may hang below", {left}, {100, 900, 800, 600}, {100, 900, 800, 600}},
      {"title above the top", {left}, {100, -20, 800, 600}, {100, 0, 800, 600}},
      {"second screen removed", {left}, {2000, 10, 800, 600}, {1120, 10, 800, 600}},
      {"across both screens", {left, right}, {1500, 10, 800, 600}, {1120, 10, 800, 600}},
      {"larger than the screen", {left}, {-50, -50, 2500, 1400}, {0, 0, 1920, 1040}},
      {"taller than the screen its title is on", {left}, {100, 100, 1200, 1200}, {100, 0, 1200, 1040}},
      {"a size kept on the larger screen", {left, right}, {2000, 100, 1300, 1000}, {1920, 0, 1280, 984}},
  };
  for (const Case& c : cases) EXPECT_EQ(PlaceFrame(c.frame, c.screens, 30), c.placed) << c.what;
}

TEST(BatchSummary, EndTextGivesCountsUnlessAllConverted) {
  EXPECT_EQ(BatchEndText({7, 0, 0}), "All converting jobs completed.");
  EXPECT_EQ(BatchEndText({5, 2, 0}), "5 converted, 2 failed.");
  EXPECT_EQ(BatchEndText({3, 0, 1}), "3 converted, 1 stopped.");
  EXPECT_EQ(BatchEndText({0, 1, 1}), "0 converted, 1 failed, 1 stopped.");
  EXPECT_EQ(BatchEndText({3, 0, 1, 2}), "3 converted, 1 stopped, 2 not run.");
  TFileList list;
  for (const TRowStatus status :
       {TRowStatus::Done, TRowStatus::Failed, TRowStatus::SetUpFailed, TRowStatus::Aborted, TRowStatus::Waiting,
        TRowStatus::Done, TRowStatus::Unreadable, TRowStatus::Stopped}) {
    TFileRow row;
    row.Status = status;
    list.Append(row);
  }
  const TBatchCounts counts = CountResults(list);
  EXPECT_EQ(counts.Converted, 2);
  EXPECT_EQ(counts.Failed, 2);
  EXPECT_EQ(counts.Stopped, 1);
  EXPECT_EQ(counts.NotRun, 1);
}

TEST(BatchSummary, StatusNamesTheRunningRow) {
  EXPECT_EQ(ConvertingText(2, 7, "/videos/Holiday in Lisbon.avi"), "Converting 2 of 7: Holiday in Lisbon.avi");
}

TEST(BatchSummary, PercentWeighsRowsByDuration) {
  EXPECT_EQ(ParseHMS("01:02:05"), 3725000);
  EXPECT_EQ(ParseHMS("100:00:00"), 360000000);
  EXPECT_EQ(ParseHMS("Unknown"), std::nullopt);
  EXPECT_EQ(ParseHMS(""), std::nullopt);
  struct Case {
    std::vector<TBatchShare> shares;
    int percent;
  };
  const Case cases[] = {
      {{}, 0},
      {{{60000, 100}, {60000, 50}}, 75},
      {{{10000, 100}, {90000, 0}}, 10},                    // a short row done is a tenth of the batch
      {{{90000, 50}, {10000, 0}}, 45},
      {{{std::nullopt, 100}, {20000, 0}, {40000, 0}}, 33},  // unknown weighs as the mean known
      {{{std::nullopt, 100}, {std::nullopt, 0}}, 50},
      {{{1000, 250}}, 100},
  };
  for (const Case& c : cases) EXPECT_EQ(BatchPercent(c.shares), c.percent);
}

TEST(UserFolders, VideosFolderOfTheDesktopElseHome) {
  const std::string text = "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n  XDG_VIDEOS_DIR=\"$HOME/Videos\"\n";
  EXPECT_EQ(VideosDirFromUserDirs(text, "/home/ana"), "/home/ana/Videos");
  EXPECT_EQ(VideosDirFromUserDirs("XDG_VIDEOS_DIR=\"/srv/films\"\n", "/home/ana"), "/srv/films");
  EXPECT_EQ(VideosDirFromUserDirs("XDG_MUSIC_DIR=\"$HOME/Music\"\n", "/home/ana"), "");

  const std::string home = fixtures::ScratchDir("user_folders");
  const std::string config = home + "/config";
  std::filesystem::create_directories(config);
  std::ofstream(config + "/user-dirs.dirs") << "XDG_VIDEOS_DIR=\"$HOME/Vidéos\"\n";
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  EXPECT_EQ(DefaultOutputFolder(), home);  // named, but not there
  std::filesystem::create_directories(home + "/Vidéos");
  EXPECT_EQ(DefaultOutputFolder(), home + "/Vidéos");
}

TEST(MediaFiles, FoldersGiveTheirMediaFilesInNameOrder) {
  const std::string dir = fixtures::ScratchDir("expand_folders");
  for (const char* name : {"b.MP4", "a.mkv", "notes.txt", "sub/c.webm", "sub/deeper/d.flac", "sub/cover.jpg"}) {
    std::filesystem::create_directories(std::filesystem::path(dir + "/" + name).parent_path());
    std::ofstream(dir + "/" + name) << "x";
  }
  std::filesystem::create_directory_symlink(dir, dir + "/sub/loop");  // a link back up is not followed
  const TExpandedPaths expanded = ExpandFolders({"/named/file.avi", dir}, {"mp4", "mkv", "webm", "flac"});
  std::vector<std::string> paths;
  for (const TFileToAdd& file : expanded.Files) paths.push_back(file.Path.substr(file.FromFolder ? dir.size() : 0));
  EXPECT_EQ(paths, (std::vector<std::string>{"/named/file.avi", "/a.mkv", "/b.MP4", "/sub/c.webm", "/sub/deeper/d.flac"}));
  EXPECT_FALSE(expanded.Files[0].FromFolder);
  EXPECT_TRUE(expanded.Files[1].FromFolder);
  std::vector<std::string> subfolders;
  for (const TFileToAdd& file : expanded.Files) subfolders.push_back(file.Subfolder);
  EXPECT_EQ(subfolders, (std::vector<std::string>{"", "", "", "sub", "sub/deeper"}));
  EXPECT_EQ(expanded.IgnoredInFolders, 2);
  EXPECT_EQ(ExtensionPatterns({"avi", "mkv"}), "*.avi *.mkv");
}

TEST(MediaFiles, ReadableExtensionsComeFromTheDemuxers) {
  fixtures::EnsureLibraries();
  const std::set<std::string> extensions = ReadableExtensions();
  for (const char* ext : {"mkv", "webm", "ts", "m2ts", "m4v", "flac", "opus", "mxf", "nut", "y4m", "wv"})
    EXPECT_TRUE(extensions.count(ext)) << ext;
  for (const char* ext : {"txt", "srt", "vtt", "png", "m3u8", "yuv"}) EXPECT_FALSE(extensions.count(ext)) << ext;
}

TEST(ColourContrast, FollowsTheGuidelinesFormula) {
  EXPECT_NEAR(ContrastRatio("#000000", "#ffffff"), 21.0, 1e-9);
  EXPECT_NEAR(ContrastRatio("#777777", "#ffffff"), 4.48, 0.01);
  EXPECT_NEAR(ContrastRatio("#ffffff", "#ffffff"), 1.0, 1e-9);
  EXPECT_THROW(ContrastRatio("white", "#000000"), std::invalid_argument);
}

TEST(FormatClock, ReadsAsPeopleReadPlayTimes) {
  const std::pair<long long, const char*> cases[] = {
      {-5, "0:00"}, {0, "0:00"}, {12999, "0:12"}, {90000, "1:30"}, {3723000, "1:02:03"}};
  for (const auto& [ms, text] : cases) EXPECT_EQ(FormatClock(ms), text);
}

}  // namespace
}  // namespace strella::app
