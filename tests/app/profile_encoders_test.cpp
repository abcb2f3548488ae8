// A profile whose encoder the libraries lack: refused by the settings, the
// saved setting and the job builder, with the reason. The lookup seam stands
// in for libraries built without libx265 or libx264.
#include "app/profile_encoders.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/job_builder.h"
#include "app/settings_persistence.h"
#include "fixtures.h"

namespace strella::app {
namespace {

constexpr const char* kHevcMp4 = "MP4 - H.265/HEVC + AAC (*.mp4)";
constexpr const char* kHevcMkv = "MKV - H.265/HEVC + Opus (*.mkv)";
constexpr const char* kNoX265 = "needs the libx265 encoder, which the installed FFmpeg lacks";

class MissingEncoder : public ::testing::Test {
 protected:
  MissingEncoder() : model(lists.Controls()) { model.Initialize(); }
  void LookUpWithout(const std::string& encoder) {
    LookUpProfileEncoders([encoder](const std::string& name) { return name != encoder; });
  }
  ~MissingEncoder() override {
    LookUpProfileEncoders([](const std::string&) { return true; });
  }
  void Choose(const std::string& name) {
    ASSERT_TRUE(lists.Controls().ComboOutputFormat->SelectText(name)) << name;
    model.OutputFormatChanged();
  }
  TListSettingsControls lists;
  TSettingsModel model;
};

TEST_F(MissingEncoder, DisablesExactlyTheProfilesThatNeedIt) {
  LookUpWithout("libx265");
  for (const Quality& profile : ProfileTable) {
    const bool hevc = profile.DisplayName == kHevcMp4 || profile.DisplayName == kHevcMkv;
    EXPECT_EQ(ProfileUnavailableReason(profile), hevc ? kNoX265 : "") << profile.DisplayName;
  }
  // libopencore_amrnb is the engine's own when the libraries have none.
  LookUpWithout("libopencore_amrnb");
  EXPECT_EQ(ProfileUnavailableReason(ProfileTable[0]), "needs the libopencore_amrnb encoder, which the installed FFmpeg lacks");
  fixtures::EnsureLibraries();
  LookUpProfileEncoders(LoadedEncoders());
  for (const Quality& profile : ProfileTable) EXPECT_EQ(ProfileUnavailableReason(profile), "") << profile.DisplayName;
}

TEST_F(MissingEncoder, ChoosingTheProfileKeepsThePreviousOne) {
  LookUpWithout("libx265");
  Choose("WebM - VP9 + Opus (*.webm)");
  const int chosen = lists.Controls().ComboOutputFormat->ItemIndex();
  Choose(kHevcMp4);
  EXPECT_EQ(lists.Controls().ComboOutputFormat->ItemIndex(), chosen);
  EXPECT_EQ(lists.Controls().ComboVideoCodec->Text(), "vp9");
}

TEST_F(MissingEncoder, ASavedSettingFallsBackTo3GP) {
  TMemorySettingsStore store;
  TPreferences prefs;
  TWindowSettings window;
  LoadSettings(store, model, prefs, window);  // the first run writes every value
  store.values["Profile"] = "mkv-hevc-opus";
  LookUpWithout("libx265");
  LoadSettings(store, model, prefs, window);
  EXPECT_EQ(lists.Controls().ComboOutputFormat->Text(), "3GP - Mobile Video Format (*.3gp)");
  EXPECT_EQ(model.SavedFormatIndex, kDefaultFormatEntry);
  LookUpProfileEncoders([](const std::string&) { return true; });
  LoadSettings(store, model, prefs, window);
  EXPECT_EQ(lists.Controls().ComboOutputFormat->Text(), kHevcMkv);
}

TEST_F(MissingEncoder, AJobAskingForItIsRefusedWithTheReason) {
  Choose("MP4 - MPEG4 Video (*.mp4)");
  ASSERT_TRUE(lists.Controls().ComboVideoCodec->SelectText("h264"));
  LookUpWithout("libx264");
  TFileRow row;
  row.Caption = "/tmp/clip.avi";
  row.Probe = {true, 320, 240, 2000000};
  TPreferences prefs;
  prefs.OutputFolder = "/tmp";
  try {
    BuildJob(row, model, prefs);
    FAIL() << "the job was built";
  } catch (const TJobError& error) {
    EXPECT_STREQ(error.what(), "The video codec \"h264\" needs the libx264 encoder, which the installed FFmpeg lacks");
  }
}

}  // namespace
}  // namespace strella::app
