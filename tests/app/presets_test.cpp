#include "app/presets.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/settings_model.h"
#include "fixtures.h"

namespace strella::app {
namespace {

// The settings lists after the user picked a profile, as the window fills them.
struct Lists {
  explicit Lists(const char* key) : model(lists.Controls()) {
    model.Initialize();
    ApplyJobSettings(Defaults(key), model, prefs);
  }
  static JobSettings Defaults(const char* key) { return ParsePreset(std::string("{\"profile\": \"") + key + "\"}"); }
  const TSettingsControls& c() const { return lists.Controls(); }
  TListSettingsControls lists;
  TSettingsModel model;
  TPreferences prefs;
};

TEST(Presets, ChoicesComeBackAsTheyWereChosen) {
  Lists chosen("mp4-h264");
  chosen.c().ComboVideoQuality->SelectText("Higher");
  chosen.model.QualityChanged(*chosen.c().ComboVideoQuality);
  chosen.c().ComboVideoSize->SelectText("1280x720");
  chosen.c().ComboVideoFrameRate->SelectText("29.97 fps");
  chosen.c().ComboAudioBitrate->SelectText("192 Kbps");
  chosen.c().ComboAudioChannels->SelectText("Mono");
  chosen.c().ComboBoxLetterbox->SetItemIndex(0);
  chosen.prefs.SpinVolume = 140;
  const JobSettings settings = JobSettingsFrom(chosen.model, chosen.prefs);
  EXPECT_EQ(settings.VideoRate, (TRateControl{0, 20}));
  EXPECT_EQ(settings.FrameSize, (TFrameSize{1280, 720}));
  EXPECT_EQ(settings.FrameRate, (TFrameRate{2997, 100}));

  const JobSettings read = ParsePreset(PresetText(settings));
  Lists loaded("3gp");
  ApplyJobSettings(read, loaded.model, loaded.prefs);
  const JobSettings again = JobSettingsFrom(loaded.model, loaded.prefs);
  EXPECT_EQ(again.ProfileKey(), "mp4-h264");
  EXPECT_EQ(again.VideoCodec, settings.VideoCodec);
  EXPECT_EQ(again.VideoRate, settings.VideoRate);
  EXPECT_EQ(again.FrameSize, settings.FrameSize);
  EXPECT_EQ(again.FrameRate, settings.FrameRate);
  EXPECT_EQ(again.AudioBitrate, 192000);
  EXPECT_EQ(again.Channels, 1);
  EXPECT_FALSE(again.Letterbox);
  EXPECT_EQ(again.Volume, 140);
  EXPECT_EQ(loaded.c().ComboVideoQuality->Text(), "Higher");
}

TEST(Presets, AnAudioProfileKeepsNoVideoAndALosslessOneNoBitrate) {
  const std::string text = PresetText(Lists::Defaults("flac"));
  EXPECT_EQ(text.find("\"video\""), std::string::npos) << text;
  EXPECT_EQ(text.find("bitrate"), std::string::npos) << text;
  EXPECT_EQ(ParsePreset(text).SampleRate, 0) << "the source's rate";
  EXPECT_EQ(ParsePreset(text).Channels, 0) << "the source's channels";
  EXPECT_FALSE(ParsePreset(text).Loudness);
  JobSettings podcast = Lists::Defaults("flac");
  podcast.Loudness = -16;
  EXPECT_EQ(ParsePreset(PresetText(podcast)).Loudness, -16);
}

TEST(Presets, APresetThatCannotBeUsedIsRefusedWithItsReasonAndLine) {
  struct Case {
    const char* text;
    const char* reason;
    int line;
  };
  const Case cases[] = {
      {"{\n  \"profile\": \"mp4-h264\",\n  \"video\": {\"quality\": 20,}\n}", "not valid JSON", 3},
      {"[1, 2]", "not a preset: the file holds no JSON object", 1},
      {"{\n\n  \"profile\": \"mp5\"\n}", "The profile \"mp5\" is not known", 3},
      {"{\"profile\": \"mp4-h264\",\n \"video\": {\n  \"bitrate\": 1234000}}",
       "The profile \"MP4 - H.264 + AAC (*.mp4)\" offers no video bitrate \"1234 Kbps\"", 3},
      {"{\"profile\": \"3gp\",\n \"audio\": {\"channels\": 2}}",
       "The profile \"3GP - Mobile Video Format (*.3gp)\" offers no channels \"2\"", 2},
      {"{\"profile\": \"wav\",\n \"audio\": {\"sample_rate\": \"fast\"}}", "\"sample_rate\" has a value of the wrong kind", 2},
      {"{\"profile\": \"mp4-h264\", \"video\": {\"size\": \"big\"}}", "The size \"big\" is not WIDTHxHEIGHT or \"source\"", 1},
      {"{\"profile\": \"mp3\",\n \"audio\": {\n  \"loudness\": 3}}", "The loudness 3 LUFS is not -70 to -5 LUFS", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ParsePreset(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const TPresetError& error) {
      EXPECT_EQ(std::string(error.what()).find(c.reason), 0u) << error.what();
      EXPECT_EQ(error.Line, c.line);
    }
  }
}

TEST(Presets, FilesAreWrittenWholeAndARefusalNamesTheFile) {
  const std::string folder = fixtures::ScratchDir("presets_files");
  const std::string file = folder + "/mine.json";
  ASSERT_EQ(WritePresetFile(file, Lists::Defaults("webm-vp9")), "");
  EXPECT_EQ(ReadPresetFile(file).ProfileKey(), "webm-vp9");
  std::ofstream(folder + "/broken.json") << "{\n\"profile\": 3\n}";
  try {
    ReadPresetFile(folder + "/broken.json");
    ADD_FAILURE() << "accepted";
  } catch (const TPresetError& error) {
    EXPECT_EQ(std::string(error.what()), folder + "/broken.json:2: not a preset: it names no \"profile\"");
  }
  EXPECT_NE(WritePresetFile(folder, Lists::Defaults("mp3")), "") << "a folder is no preset file";
  EXPECT_NE(WritePresetFile("/proc/no-such/p.json", Lists::Defaults("mp3")), "");
}

}  // namespace
}  // namespace strella::app
