#include <gtest/gtest.h>


#include "cli/cli_options.h"
#include "fixtures.h"
#include "run_program.h"

namespace strella::cli {
namespace {

struct Result {
  int status = -1;
  std::string output;  // stdout and stderr together
};

Result RunCliResult(const std::vector<std::string>& args) {
  auto [status, output] = RunCli(args);
  return {status, output};
}

TEST(CliProgram, ListsEveryProfileWithItsChoices) {
  const Result r = RunCliResult({"--list-profiles"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("0  3GP - Mobile Video Format (*.3gp)  (.3gp)"), std::string::npos);
  EXPECT_NE(r.output.find("46  Zune WMV Windows Media Video (*.wmv)  (.wmv)"), std::string::npos);
  EXPECT_NE(r.output.find("frame rate:     Auto*, 11 fps, 15 fps"), std::string::npos);
  EXPECT_NE(r.output.find("audio bitrate:  320 Kbps, 192 Kbps, 128 Kbps, 64 Kbps, 48 Kbps  (none preselected)"),
            std::string::npos);
}

TEST(CliProgram, RejectsChoicesTheProfileDoesNotOfferAndListsTheValidOnes) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"-p", "8", "--video-bitrate", "999"},
       "--video-bitrate \"999\" is not offered by \"MP4 - MPEG4 Video (*.mp4)\". Valid choices: 2500 Kbps, 1500 Kbps, "
       "1200 Kbps, 768 Kbps, 512 Kbps"},
      {{"--profile", "3GP - Mobile Video Format (*.3gp)", "--channels", "Stereo"}, "Valid choices: Mono"},
      {{"-p", "55"}, "--profile \"55\" names no profile"},
      {{"-p", "25", "--size", "320x240"}, "offers no such choice"},
      {{"--video-quality", "Best"}, "Valid choices: Highest, Higher, Normal, Lower, Lowest"},
      {{"-p", "41", "--sample-rate", "4800"}, "Valid choices: 48000 Hz"},
      {{"--volume", "50"}, "--volume 50 is not valid"},
      {{"--letterbox", "wide"}, "Valid choices: none, add"},
      {{"--aspect", "21:9"}, "Valid choices: Auto, 4:3, 16:9"},
      {{"-p", "43", "/no/such/file.avi"}, "\"Xbox360 AVI Video (*.avi)\" leaves no choice selected for --audio-bitrate or --audio-quality"},
      {{"-p", "14", "--video-quality", "lower", "/no/such/file.avi"}, "no choice selected for --video-bitrate or --video-quality; "
                                                 "choose one. Valid choices: 1150 Kbps, 1000 Kbps, 768 Kbps"},
  };
  for (const Case& c : cases) {
    const Result r = RunCliResult(c.args);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
}

TEST(CliProgram, ProbeShowsTheFileListColumns) {
  const Result r = RunCliResult({"--probe", "-p", "8", fixtures::Path("clip.mp4"), "/no/such/file.avi", fixtures::Path("tone.wav")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("320x240     00:00:02   MP4               " + fixtures::Path("clip.mp4")), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("Error     /no/such/file.avi"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("(no video)  00:00:02   MP4"), std::string::npos) << r.output;
}

TEST(MatchChoice, ByTextOrByItsNumberAlone) {
  app::TListDropDown list;
  for (const char* item : {"Original Size", "352x288 (CIF)", "1200 Kbps", "29.97 fps", "7.4 Kbps"}) list.Add(item);
  EXPECT_EQ(MatchChoice(list, "original size"), 0);
  EXPECT_EQ(MatchChoice(list, "352x288"), 1);
  EXPECT_EQ(MatchChoice(list, "352x288 (CIF)"), 1);
  EXPECT_EQ(MatchChoice(list, "1200"), 2);
  EXPECT_EQ(MatchChoice(list, "1200 kbps"), 2);
  EXPECT_EQ(MatchChoice(list, "29.97"), 3);
  EXPECT_EQ(MatchChoice(list, "7.4"), 4);
  EXPECT_EQ(MatchChoice(list, "120"), -1);
  EXPECT_EQ(MatchChoice(list, ""), -1);
}

TEST(ApplyOptions, PicksLikeTheUserAndLinksQualityAndBitrate) {
  app::TListSettingsControls lists;
  app::TSettingsModel model(lists.Controls());
  model.Initialize();
  app::TPreferences prefs;
  TCliOptions o;
  o.profile = "wmv - windows media video (*.wmv)";
  o.audioQuality = "lowest";
  o.videoBitrate = "2000";
  o.size = "352x288";
  o.letterbox = "none";
  o.volume = 0;
  o.overwrite = true;
  o.outputFolder = "/out";
  ASSERT_EQ(ApplyOptions(o, model, prefs), "");
  const app::TSettingsControls& c = lists.Controls();
  EXPECT_EQ(model.CurrentFormatKey, "WMV");
  EXPECT_EQ(c.ComboVideoQuality->Text(), "Higher");
  EXPECT_EQ(c.ComboAudioBitrate->Text(), "48 Kbps");
  EXPECT_EQ(c.ComboVideoSize1->Text(), "352x288 (CIF)");
  EXPECT_EQ(c.ComboBoxLetterbox->Text(), "None");
  EXPECT_EQ(prefs.SpinVolume, 0);
  EXPECT_TRUE(prefs.Overwrite);
  EXPECT_EQ(prefs.OutputFolder, "/out");
}

}  // namespace
}  // namespace strella::cli
