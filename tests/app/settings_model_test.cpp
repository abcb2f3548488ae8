#include "app/settings_model.h"

#include <gtest/gtest.h>

namespace strella::app {
namespace {

using Items = std::vector<std::string>;

class SettingsModelTest : public ::testing::Test {
 protected:
  SettingsModelTest() : model(lists.Controls()) { model.Initialize(); }

  // Picks a format entry as the user would.
  void Choose(const std::string& name) {
    ASSERT_TRUE(c().ComboOutputFormat->SelectText(name)) << name;
    model.OutputFormatChanged();
  }
  void Pick(TDropDown* list, int index) {
    list->SetItemIndex(index);
    model.QualityChanged(*list);
  }
  const TSettingsControls& c() const { return lists.Controls(); }

  TListSettingsControls lists;
  TSettingsModel model;
};

struct FillCase {
  std::string profile;
  Items videoCodecs;
  std::string videoCodec;
  Items videoBitrates;
  std::string videoBitrate;
  size_t sizeCount;
  std::string size;
  Items frameRates;
  std::string frameRate;
  Items audioCodecs;
  Items audioBitrates;
  std::string audioBitrate;
  Items sampleRates;
  std::string sampleRate;
  Items channels;
};

const Items kStdRates = {"Auto", "30.0 fps", "29.97 fps", "25.0 fps", "23.975 fps", "15.0 fps", "14.985 fps"};
const Items kModernRates = {"Auto",   "60 fps", "59.94 fps", "50 fps",    "30 fps",
                            "29.97 fps", "25 fps", "24 fps",  "23.976 fps"};
const Items kStdSampleRates = {"96000 Hz", "54000 Hz", "48000 Hz", "44100 Hz",
                               "32000 Hz", "22050 Hz", "16000 Hz", "8000 Hz"};

TEST_F(SettingsModelTest, FillsTheTellingProfiles) {
  const std::vector<FillCase> cases = {
      {"3GP - Mobile Video Format (*.3gp)", {"h263", "mpeg4"}, "h263",
       {"512 Kbps", "256 Kbps", "120 Kbps", "80 Kbps", "40 Kbps"}, "120 Kbps", 5, "176x144",
       {"Auto", "11 fps", "15 fps"}, "Auto", {"libopencore_amrnb"},
       {"12.2 Kbps", "10.2 Kbps", "7.4 Kbps", "5.9 Kbps", "4.75 Kbps"}, "7.4 Kbps", {"8000 Hz"}, "8000 Hz", {"Mono"}},
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", {}, "", {}, "", 0, "", {}, "", {"mp3"},
       {"320 Kbps", "256 Kbps", "192 Kbps", "128 Kbps", "64 Kbps"}, "192 Kbps", kStdSampleRates, "48000 Hz",
       {"Stereo", "Mono"}},
      {"Video CD (*.mpg)", {"mpeg1video"}, "mpeg1video", {"1150 Kbps", "1000 Kbps", "768 Kbps"}, "1150 Kbps", 7,
       "352x240", {"29.97 fps", "25 fps"}, "29.97 fps", {"mp2"},
       {"320 Kbps", "160 Kbps", "96 Kbps", "56 Kbps", "32 Kbps"}, "320 Kbps", kStdSampleRates, "44100 Hz",
       {"Stereo", "Mono"}},
      {"Xbox360 AVI Video (*.avi)", {""}, "",
       {"192 Kbps", "200 Kbps", "256 Kbps", "384 Kbps", "512 Kbps", "640 Kbps", "768 Kbps", "1000 Kbps",
        "1200 Kbps", "1500 Kbps", "1600 Kbps", "2000 Kbps", "2500 Kbps"},
       "192 Kbps", 23, "Original Size", kStdRates, "Auto", {""},
       {"320 Kbps", "192 Kbps", "128 Kbps", "64 Kbps", "48 Kbps"}, "", kStdSampleRates, "96000 Hz",
       {"Stereo", "Mono"}},
      {"iPod (*.mp4)", {"mpeg4"}, "mpeg4", {"2500 Kbps", "1500 Kbps", "1200 Kbps", "512 Kbps", "256 Kbps"},
       "1200 Kbps", 1, "320x240", kStdRates, "Auto", {"mpeg4aac"},
       {"320 Kbps", "192 Kbps", "128 Kbps", "96 Kbps", "64 Kbps"}, "128 Kbps", kStdSampleRates, "44100 Hz",
       {"Stereo", "Mono"}},
      {"HD MPEG-2 Movie (*.mpg)", {"mpeg2video"}, "mpeg2video",
       {"20000 Kbps", "15000 Kbps", "12000 Kbps", "8000 Kbps", "6000 Kbps"}, "12000 Kbps", 4, "1280x720",
       {"60 fps", "50 fps", "30 fps", "29.97 fps", "25 fps", "24 fps", "20 fps", "12 fps", "11 fps"}, "29.97 fps",
       {"mp2"}, {"512 Kbps", "256 Kbps", "128 Kbps", "96 Kbps", "64 Kbps"}, "128 Kbps", kStdSampleRates,
       "44100 Hz", {"Stereo", "Mono"}},
      {"FLV - Flash Flv Video (*.flv)", {"flv"}, "flv", {"1200 Kbps", "512 Kbps", "368 Kbps", "200 Kbps", "120 Kbps"},
       "368 Kbps", 23, "Original Size", {"15 fps"}, "15 fps", {"MP3"},
       {"160 Kbps", "128 Kbps", "96 Kbps", "64 Kbps", "48 Kbps"}, "96 Kbps", {"44100 Hz", "22050 Hz", "11025 Hz"},
       "44100 Hz", {"Stereo", "Mono"}},
      {"BlackBerry AMR Audio (*.amr)", {}, "", {}, "", 0, "", {}, "", {"amr_nb"},
       {"12.2 Kbps", "10.2 Kbps", "7.4 Kbps", "5.9 Kbps", "4.75 Kbps"}, "7.4 Kbps", {"8000 Hz"}, "8000 Hz",
       {"Mono"}},
      {"WAV - Waveform Audio (*.wav)", {}, "", {}, "", 0, "", {}, "", {"pcm_s16le"},
       {"320 Kbps", "256 Kbps", "192 Kbps", "128 Kbps", "64 Kbps"}, "192 Kbps", kStdSampleRates, "44100 Hz",
       {"Stereo", "Mono"}},
      {"PS3 Video (*.mp4)", {"h264"}, "h264", {"3000 Kbps", "2500 Kbps", "2000 Kbps", "1500 Kbps", "1200 Kbps"},
       "2000 Kbps", 4, "720x480", {"29.97 fps"}, "29.97 fps", {"mpeg4aac"},
       {"256 Kbps", "192 Kbps", "128 Kbps", "80 Kbps", "64 Kbps"}, "128 Kbps", {"48000 Hz"}, "48000 Hz",
       {"Stereo", "Mono"}},
      // Constant quality first, then fixed bitrates; sizes up to 3840x2160.
      {"MP4 - H.264 + AAC (*.mp4)", {"h264"}, "h264",
       {"CRF 18", "CRF 20", "CRF 23", "CRF 26", "CRF 28", "8000 Kbps", "5000 Kbps", "2500 Kbps", "1200 Kbps",
        "600 Kbps"},
       "CRF 23", 7, "Original Size", kModernRates, "Auto", {"aac"},
       {"256 Kbps", "192 Kbps", "160 Kbps", "128 Kbps", "96 Kbps"}, "160 Kbps", {"48000 Hz", "44100 Hz"},
       "48000 Hz", {"Stereo", "Mono"}},
      {"WebM - VP9 + Opus (*.webm)", {"vp9"}, "vp9",
       {"CRF 24", "CRF 28", "CRF 31", "CRF 35", "CRF 40", "6000 Kbps", "4000 Kbps", "2000 Kbps", "1000 Kbps",
        "500 Kbps"},
       "CRF 31", 7, "Original Size", kModernRates, "Auto", {"opus"},
       {"256 Kbps", "192 Kbps", "128 Kbps", "96 Kbps", "64 Kbps"}, "128 Kbps", {"48000 Hz"}, "48000 Hz",
       {"Stereo", "Mono"}},
      {"Opus Audio (*.opus)", {}, "", {}, "", 0, "", {}, "", {"opus"},
       {"256 Kbps", "192 Kbps", "128 Kbps", "96 Kbps", "64 Kbps"}, "128 Kbps", {"48000 Hz"}, "48000 Hz",
       {"Stereo", "Mono"}},
      // Lossless: no bitrate; the source's rate and channels unless chosen.
      {"FLAC - Lossless Audio (*.flac)", {}, "", {}, "", 0, "", {}, "", {"flac"}, {}, "",
       {"Auto", "96000 Hz", "48000 Hz", "44100 Hz", "32000 Hz", "22050 Hz", "16000 Hz", "8000 Hz"}, "Auto",
       {"Auto", "Stereo", "Mono"}},
  };
  for (const FillCase& fc : cases) {
    SCOPED_TRACE(fc.profile);
    Choose(fc.profile);
    EXPECT_EQ(c().ComboVideoCodec->Items(), fc.videoCodecs);
    EXPECT_EQ(c().ComboVideoCodec->Text(), fc.videoCodec);
    EXPECT_EQ(c().ComboVideoBitrate->Items(), fc.videoBitrates);
    EXPECT_EQ(c().ComboVideoBitrate->Text(), fc.videoBitrate);
    EXPECT_EQ(static_cast<size_t>(c().ComboVideoSize->Count()), fc.sizeCount);
    EXPECT_EQ(c().ComboVideoSize->Text().substr(0, fc.size.size()), fc.size);
    EXPECT_EQ(c().ComboVideoSize1->Items(), c().ComboVideoSize->Items());
    EXPECT_EQ(c().ComboVideoSize1->ItemIndex(), c().ComboVideoSize->ItemIndex());
    EXPECT_EQ(c().ComboVideoFrameRate->Items(), fc.frameRates);
    EXPECT_EQ(c().ComboVideoFrameRate->Text(), fc.frameRate);
    EXPECT_EQ(c().ComboAudioCodec->Items(), fc.audioCodecs);
    EXPECT_EQ(c().ComboAudioBitrate->Items(), fc.audioBitrates);
    EXPECT_EQ(c().ComboAudioBitrate->Text(), fc.audioBitrate);
    EXPECT_EQ(c().ComboSamplingRate->Items(), fc.sampleRates);
    EXPECT_EQ(c().ComboSamplingRate->Text(), fc.sampleRate);
    EXPECT_EQ(c().ComboAudioChannels->Items(), fc.channels);
    EXPECT_EQ(c().ComboAudioChannels->ItemIndex(), 0);
    // The quality lists show the preset of the bit rates the profile selects.
    for (auto [quality, bitrate] : {std::pair{c().ComboVideoQuality, c().ComboVideoBitrate},
                                    std::pair{c().ComboAudioQuality, c().ComboAudioBitrate}})
      EXPECT_EQ(quality->ItemIndex(), bitrate->ItemIndex() < quality->Count() ? bitrate->ItemIndex() : -1);
  }
}

TEST_F(SettingsModelTest, SizesSelectTheMarkedValueWhereverItStands) {
  Choose("Zune Mpeg4 Video (*.mp4)");
  EXPECT_EQ(c().ComboVideoSize->Text(), "320x240");
  EXPECT_EQ(c().ComboVideoSize->ItemIndex(), 1);
  EXPECT_EQ(c().ComboVideoSize1->ItemIndex(), 1);
  Choose("Super Video CD (*.mpg)");
  EXPECT_EQ(c().ComboVideoSize->Text(), "486x480");
  Choose("MPEG-1 Movie (*.mpg)");
  EXPECT_EQ(c().ComboVideoSize->Text(), "320x240 (VGA)");
}

TEST_F(SettingsModelTest, HeadersAndSeparatorsKeepThePreviousProfile) {
  Choose("MOV - QuickTime Video (*.mov)");
  const int chosen = c().ComboOutputFormat->ItemIndex();
  for (int entry : {0, 1, 18, 39, 47}) {
    c().ComboOutputFormat->SetItemIndex(entry);
    model.OutputFormatChanged();
    EXPECT_EQ(c().ComboOutputFormat->ItemIndex(), chosen);
    EXPECT_EQ(model.CurrentFormatKey, "MOV");
    EXPECT_EQ(c().ComboAudioCodec->Text(), "mpeg4aac_qt");
  }
}

TEST_F(SettingsModelTest, QualityAndBitrateFollowEachOtherByIndex) {
  Choose("Video CD (*.mpg)");
  Pick(c().ComboVideoQuality, 3);  // "Lower": the list has only three bitrates
  EXPECT_EQ(c().ComboVideoBitrate->ItemIndex(), -1);
  EXPECT_EQ(c().ComboVideoBitrate->Text(), "");
  Pick(c().ComboVideoBitrate, 1);
  EXPECT_EQ(c().ComboVideoQuality->Text(), "Higher");
  EXPECT_EQ(model.SavedVideoQuality, 1);

  Pick(c().ComboAudioQuality, 4);
  EXPECT_EQ(c().ComboAudioBitrate->Text(), "32 Kbps");
  EXPECT_EQ(model.SavedAudioQuality, 4);

  // Another profile: the bitrates show its preselection and the quality
  // lists follow them, so that both tabs show what a job will use.
  Choose("WMV - Windows Media Video (*.wmv)");
  EXPECT_EQ(c().ComboVideoQuality->Text(), "Normal");
  EXPECT_EQ(c().ComboAudioQuality->Text(), "Normal");
  EXPECT_EQ(model.SavedVideoQuality, 2);
  EXPECT_EQ(c().ComboVideoBitrate->Text(), "1500 Kbps");
  EXPECT_EQ(c().ComboAudioBitrate->Text(), "128 Kbps");

  Choose("ASF - Advance Streaming Format (*.asf)");
  Pick(c().ComboVideoBitrate, 0);
  EXPECT_EQ(c().ComboVideoQuality->Text(), "Highest");
}

TEST_F(SettingsModelTest, SizeListsMirrorEachOther) {
  Choose("MP4 - MPEG4 Video (*.mp4)");
  c().ComboVideoSize1->SetItemIndex(4);
  model.VideoSizeChanged(*c().ComboVideoSize1);
  EXPECT_EQ(c().ComboVideoSize->Text(), "640x480");
  c().ComboVideoSize->SetItemIndex(11);
  model.VideoSizeChanged(*c().ComboVideoSize);
  EXPECT_EQ(c().ComboVideoSize1->Text(), "352x288 (CIF)");
}

TEST_F(SettingsModelTest, ProfileChangeReportsTheFormatKey) {
  std::string reported;
  model.OnFormatKeyChanged = [&](const std::string& key) { reported = key; };
  Choose("OGG - Ogg Vorbis Audio (*.ogg)");
  EXPECT_EQ(reported, "OGG");
  EXPECT_TRUE(model.isAudio());
  EXPECT_EQ(model.SavedFormatIndex, c().ComboOutputFormat->ItemIndex());
}

TEST(CodecNames, MapToTodaysEncoders) {
  const std::vector<std::pair<std::string, std::string>> video = {
      {"h264", "libx264"}, {"xvid", "libxvid"}, {"DivX", "mpeg4"}, {"wmv3x", "wmv2"},
      {"mpeg4_qt", "mpeg4"}, {" H263 ", "h263"}, {"mpeg2video", "mpeg2video"}, {"rv20", "rv20"}};
  for (const auto& [shown, name] : video) EXPECT_EQ(MapVideoCodec(shown), name) << shown;
  const std::vector<std::pair<std::string, std::string>> audio = {
      {"aac", "aac"},       {"mpeg4aac", "aac"},          {"mpeg4aac_qt", "aac"},
      {"MP3", "libmp3lame"}, {"wma7x", "wmav2"},          {"amr_nb", "libopencore_amrnb"},
      {"vorbis", "libvorbis"}, {"libopencore_amrnb", "libopencore_amrnb"}, {"pcm_s16le", "pcm_s16le"}};
  for (const auto& [shown, name] : audio) EXPECT_EQ(MapAudioCodec(shown), name) << shown;
}

TEST(SpinToVolume, StepsAndTheOddTopStep) {
  const std::vector<std::pair<int, int>> steps = {{0, 0},     {20, 50},   {40, 100}, {60, 150},
                                                  {80, 200},  {100, 256}, {120, 300}, {180, 450},
                                                  {200, 600}, {50, 256},  {-20, 256}};
  for (const auto& [spin, volume] : steps) EXPECT_EQ(SpinToVolume(spin), volume) << spin;
}

TEST(IsAudioFormatKey, AudioContainersOnly) {
  for (const char* key : {"MP3", "mp2", "WMA", "M4A", "AMR", "WAV", "AC3", "OGG", "RA", "au", "AAC"})
    EXPECT_TRUE(IsAudioFormatKey(key)) << key;
  for (const char* key : {"MP4", "3GP", "AVI", "", "RM"}) EXPECT_FALSE(IsAudioFormatKey(key)) << key;
}

}  // namespace
}  // namespace strella::app
