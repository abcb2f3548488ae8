#include "app/settings_persistence.h"

#include <gtest/gtest.h>

namespace strella::app {
namespace {

const std::vector<std::string> kTenValues = {"Skin",         "Output Folder", "ComboOutputFormat", "Overwrite",
                                             "LetterBox",    "VideoQuality",  "AudioQuality",      "FormTop",
                                             "FormLeft",     "Tabsheet",      "SimultaneousConversions"};
// The ten and the number of conversions, then what a restart needs to show what the screen showed.
const std::vector<std::string> kAllValues = [] {
  std::vector<std::string> all = kTenValues;
  all.insert(all.end(), DetailedSettingNames().begin(), DetailedSettingNames().end());
  return all;
}();

// One start of the program: fresh lists, settings loaded from the store.
struct Session {
  explicit Session(TSettingsStore& store) : model(lists.Controls()) {
    model.Initialize();
    LoadSettings(store, model, prefs, window);
  }
  const TSettingsControls& c() const { return lists.Controls(); }
  TListSettingsControls lists;
  TSettingsModel model;
  TPreferences prefs;
  TWindowSettings window;
};

TEST(Settings, FirstRunSelects3GPNormalAndWritesEveryValue) {
  TMemorySettingsStore store;
  Session s(store);
  EXPECT_EQ(s.c().ComboOutputFormat->Text(), "3GP - Mobile Video Format (*.3gp)");
  EXPECT_EQ(s.model.CurrentFormatKey, "3GP");
  EXPECT_EQ(s.c().ComboVideoQuality->Text(), "Normal");
  EXPECT_EQ(s.c().ComboAudioQuality->Text(), "Normal");
  EXPECT_EQ(s.window.FormTop, 5);
  EXPECT_EQ(s.window.FormLeft, 150);
  EXPECT_EQ(s.prefs.OutputFolder, "");
  EXPECT_EQ(store.written, kAllValues);
  EXPECT_EQ(store.values["ComboOutputFormat"], "2");
  EXPECT_EQ(store.values["Skin"], "No Skin");
  EXPECT_EQ(store.values["LetterBox"], "1");
  EXPECT_EQ(store.opens, store.closes);
}

TEST(Settings, SavedChoicesComeBackOnTheNextStart) {
  TMemorySettingsStore store;
  {
    Session s(store);
    s.c().ComboOutputFormat->SelectText("WMV - Windows Media Video (*.wmv)");
    s.model.OutputFormatChanged();
    s.c().ComboVideoQuality->SetItemIndex(1);
    s.model.QualityChanged(*s.c().ComboVideoQuality);
    s.c().ComboAudioQuality->SetItemIndex(4);
    s.model.QualityChanged(*s.c().ComboAudioQuality);
    s.c().ComboBoxLetterbox->SetItemIndex(0);
    s.prefs = {"/home/user/Videos", true, 100, ProcessorCount(), -16};
    s.window = {"Opus (internal)", 40, 60, 2};
    store.written.clear();
    SaveSettings(store, s.model, s.prefs, s.window);
    EXPECT_EQ(store.written, kAllValues);
  }
  store.written.clear();
  Session next(store);
  EXPECT_TRUE(store.written.empty());
  EXPECT_EQ(next.c().ComboOutputFormat->Text(), "WMV - Windows Media Video (*.wmv)");
  EXPECT_EQ(next.c().ComboVideoQuality->Text(), "Higher");
  EXPECT_EQ(next.c().ComboVideoBitrate->Text(), "2000 Kbps");
  EXPECT_EQ(next.c().ComboAudioQuality->Text(), "Lowest");
  EXPECT_EQ(next.c().ComboAudioBitrate->Text(), "48 Kbps");
  EXPECT_EQ(next.c().ComboBoxLetterbox->Text(), "None");
  EXPECT_EQ(next.prefs.OutputFolder, "/home/user/Videos");
  EXPECT_TRUE(next.prefs.Overwrite);
  EXPECT_EQ(next.window.Skin, "Opus (internal)");
  EXPECT_EQ(next.window.FormTop, 40);
  EXPECT_EQ(next.window.FormLeft, 60);
  EXPECT_EQ(next.window.Tabsheet, 2);
  EXPECT_EQ(next.prefs.SimultaneousConversions, ProcessorCount());
  EXPECT_EQ(next.prefs.Loudness, -16);
}

// Stores written before the value existed keep their other choices.
TEST(Settings, SimultaneousConversionsMissingOrOutOfRange) {
  const struct {
    const char* stored;  // nullptr: no such value
    int expected;
  } cases[] = {{nullptr, 1}, {"0", 1}, {"-3", 1}, {"1", 1}, {"100000", ProcessorCount()}};
  for (const auto& c : cases) {
    TMemorySettingsStore store;
    { Session first(store); }
    store.values["Output Folder"] = "/data/out";
    if (c.stored) store.values["SimultaneousConversions"] = c.stored;
    else store.values.erase("SimultaneousConversions");
    Session s(store);
    EXPECT_EQ(s.prefs.SimultaneousConversions, c.expected) << (c.stored ? c.stored : "missing");
    EXPECT_EQ(s.prefs.OutputFolder, "/data/out");
  }
}

TEST(Settings, FormatIndexThatNamesNoProfileSelects3GP) {
  for (const char* stored : {"-1", "0", "18", "500"}) {
    TMemorySettingsStore store;
    { Session first(store); }
    store.values["ComboOutputFormat"] = stored;
    Session s(store);
    EXPECT_EQ(s.c().ComboOutputFormat->Text(), "3GP - Mobile Video Format (*.3gp)") << stored;
    EXPECT_EQ(s.model.SavedFormatIndex, 2);
  }
}

TEST(Settings, MissingValueGivesDefaultsButKeepsWhatWasRead) {
  TMemorySettingsStore store;
  { Session first(store); }
  store.values["Output Folder"] = "/data/out";
  store.values["ComboOutputFormat"] = "10";  // MP4
  store.values.erase("LetterBox");
  store.written.clear();
  Session s(store);
  EXPECT_EQ(s.prefs.OutputFolder, "/data/out");
  EXPECT_EQ(s.c().ComboOutputFormat->Text(), "3GP - Mobile Video Format (*.3gp)");
  EXPECT_EQ(store.written, kAllValues);
  EXPECT_EQ(store.values["Output Folder"], "/data/out");
}

TEST(Settings, SaveErrorsAreIgnoredAndTheKeyIsClosed) {
  struct FailingStore : TMemorySettingsStore {
    void WriteInteger(const std::string&, int) override { throw TSettingsError("read-only"); }
  } store;
  TListSettingsControls lists;
  TSettingsModel model(lists.Controls());
  model.Initialize();
  SaveSettings(store, model, TPreferences{}, TWindowSettings{});
  EXPECT_EQ(store.written, (std::vector<std::string>{"Skin", "Output Folder"}));
  EXPECT_EQ(store.opens, 1);
  EXPECT_EQ(store.closes, 1);
}

// A bit rate below the five presets has no quality; the restart shows it all
// the same. Values an older version did not keep are no first run.
TEST(Settings, RestartShowsTheDetailedChoicesAndOlderKeysStillLoad) {
  TMemorySettingsStore store;
  std::string bitrate, size;
  {
    Session s(store);
    s.c().ComboOutputFormat->SelectText("Xbox360 AVI Video (*.avi)");
    s.model.OutputFormatChanged();
    s.c().ComboVideoBitrate->SetItemIndex(8);
    s.model.QualityChanged(*s.c().ComboVideoBitrate);
    s.c().ComboVideoSize->SetItemIndex(4);
    s.model.VideoSizeChanged(*s.c().ComboVideoSize);
    s.prefs.SpinVolume = 160;
    s.window.FormWidth = 1000;
    s.window.Maximized = true;
    bitrate = s.c().ComboVideoBitrate->Text();
    size = s.c().ComboVideoSize1->Text();
    EXPECT_EQ(s.c().ComboVideoQuality->ItemIndex(), -1);
    SaveSettings(store, s.model, s.prefs, s.window);
  }
  Session next(store);
  EXPECT_EQ(next.c().ComboVideoBitrate->Text(), bitrate);
  EXPECT_EQ(next.c().ComboVideoQuality->ItemIndex(), -1);
  EXPECT_EQ(next.c().ComboVideoSize1->Text(), size);
  EXPECT_EQ(next.prefs.SpinVolume, 160);
  EXPECT_EQ(next.window.FormWidth, 1000);
  EXPECT_TRUE(next.window.Maximized);

  for (const std::string& name : DetailedSettingNames()) store.values.erase(name);
  store.written.clear();
  Session older(store);
  EXPECT_TRUE(store.written.empty());
  EXPECT_EQ(older.c().ComboOutputFormat->Text(), "Xbox360 AVI Video (*.avi)");
}

// The profile is kept by its key; a store of the previous release names it
// by its place in the format list, and loads to the same profile.
TEST(Settings, TheProfileIsKeptByItsKeyAndAnOldIndexStillLoads) {
  TMemorySettingsStore store;
  {
    Session s(store);
    s.c().ComboOutputFormat->SelectText("WebM - VP9 + Opus (*.webm)");
    s.model.OutputFormatChanged();
    SaveSettings(store, s.model, s.prefs, s.window);
  }
  EXPECT_EQ(store.values["Profile"], "webm-vp9");
  // A store whose index points elsewhere (a list that changed): the key wins.
  store.values["ComboOutputFormat"] = "2";
  EXPECT_EQ(Session(store).c().ComboOutputFormat->Text(), "WebM - VP9 + Opus (*.webm)");
  // The previous release wrote no key: "Zune WMV" sat at entry 60.
  store.values.erase("Profile");
  store.values["ComboOutputFormat"] = "60";
  Session old(store);
  EXPECT_EQ(old.c().ComboOutputFormat->Text(), "Zune WMV Windows Media Video (*.wmv)");
  EXPECT_EQ(old.model.CurrentProfile()->Key, "zune-wmv");
}

}  // namespace
}  // namespace strella::app
