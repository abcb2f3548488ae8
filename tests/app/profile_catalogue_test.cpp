#include "app/profile_catalogue.h"

#include <gtest/gtest.h>

#include "app/profile_choices.h"
#include "app/settings_model.h"

namespace strella::app {
namespace {

// Every profile: its stable key and its place. Keys name profiles in saved
// settings and presets, so a key never changes once released.
struct TProfileRow {
  const char* key;
  const char* displayName;
};
const TProfileRow kProfiles[] = {
    {"3gp", "3GP - Mobile Video Format (*.3gp)"},
    {"3g2", "3G2 - Mobile Video Format (*.3g2)"},
    {"asf", "ASF - Advance Streaming Format (*.asf)"},
    {"avi", "AVI - Audio Video Interleave (*.avi)"},
    {"avi-divx", "AVI - DivX Video (*.avi)"},
    {"dvd-vob", "DVD - VOB (*.vob)"},
    {"flv", "FLV - Flash Flv Video (*.flv)"},
    {"mov", "MOV - QuickTime Video (*.mov)"},
    {"mp4-mpeg4", "MP4 - MPEG4 Video (*.mp4)"},
    {"mpeg1", "MPEG-1 Movie (*.mpg)"},
    {"mpeg2", "MPEG-2 Movie (*.mpg)"},
    {"rm", "RM - Real Video (*.rm)"},
    {"svcd", "Super Video CD (*.mpg)"},
    {"swf", "SWF - Flash Swf Video (*.swf)"},
    {"vcd", "Video CD (*.mpg)"},
    {"wmv", "WMV - Windows Media Video (*.wmv)"},
    {"hd-asf", "HD ASF Video (*.asf)"},
    {"hd-avi", "HD AVI Video (*.avi)"},
    {"hd-mpeg2", "HD MPEG-2 Movie (*.mpg)"},
    {"hd-mp4", "HD MP4 - MPEG4 Video (*.mp4)"},
    {"hd-wmv", "HD WMV - Windows Media Video (*.wmv)"},
    {"aac", "AAC - Advance Audio Coding (*.aac)"},
    {"ac3", "AC3 - Dolby Digital Audio (*.ac3)"},
    {"m4a-aac", "M4A - Mpeg4 Audio File (*.m4a)"},
    {"mp2", "MP2 - Mpeg Layer2 Audio (*.mp2)"},
    {"mp3", "MP3 - Mpeg Layer3 Audio (*.mp3)"},
    {"ogg-vorbis", "OGG - Ogg Vorbis Audio (*.ogg)"},
    {"ra", "RA - Real Audio (*.ra)"},
    {"wav", "WAV - Waveform Audio (*.wav)"},
    {"wma", "WMA - Windows Media Audio (*.wma)"},
    {"apple-tv", "Apple TV (*.mp4)"},
    {"ipod", "iPod (*.mp4)"},
    {"ipod-touch", "iPod Touch (*.mp4)"},
    {"ipod-tv", "iPod Video For TV (*.mp4)"},
    {"iphone", "iPhone (*.mp4)"},
    {"blackberry-mp4", "BlackBerry MPEG-4 Video (*.mp4)"},
    {"blackberry-avi", "BlackBerry AVI Video (*.avi)"},
    {"blackberry-3gp", "BlackBerry 3GP Video (*.3gp)"},
    {"blackberry-amr", "BlackBerry AMR Audio (*.amr)"},
    {"pocket-pc-wmv", "General Pocket PC Video (*.wmv)"},
    {"psp", "PSP Video (*.mp4)"},
    {"ps3", "PS3 Video (*.mp4)"},
    {"xbox360-mp4", "Xbox360 MPEG4 Video (*.mp4)"},
    {"xbox360-avi", "Xbox360 AVI Video (*.avi)"},
    {"xbox360-mpeg2", "Xbox360 MPEG2 Video (*.mpg)"},
    {"zune-mp4", "Zune Mpeg4 Video (*.mp4)"},
    {"zune-wmv", "Zune WMV Windows Media Video (*.wmv)"},
    {"mp4-h264", "MP4 - H.264 + AAC (*.mp4)"},
    {"mp4-hevc", "MP4 - H.265/HEVC + AAC (*.mp4)"},
    {"mkv-hevc-opus", "MKV - H.265/HEVC + Opus (*.mkv)"},
    {"webm-vp9", "WebM - VP9 + Opus (*.webm)"},
    {"webm-av1", "WebM - AV1 + Opus (*.webm)"},
    {"opus", "Opus Audio (*.opus)"},
    {"flac", "FLAC - Lossless Audio (*.flac)"},
    {"m4a-alac", "M4A - Apple Lossless (*.m4a)"},
};

TEST(ProfileCatalogue, EveryProfileHasItsKeyAndPlace) {
  ASSERT_EQ(std::size(kProfiles), ProfileTable.size());
  for (size_t i = 0; i < std::size(kProfiles); ++i) {
    const Quality* profile = FindProfileByKey(kProfiles[i].key);
    ASSERT_NE(profile, nullptr) << kProfiles[i].key;
    EXPECT_EQ(profile->DisplayName, kProfiles[i].displayName);
    EXPECT_EQ(profile->RowNumber, static_cast<int>(i));
    EXPECT_EQ(MatchProfile(kProfiles[i].key), profile);
  }
}

TEST(ProfileCatalogue, EveryDefaultNamesAnItemAndEveryItemHoldsAValue) {
  std::string problems;
  for (const std::string& problem : CatalogueProblems()) problems += problem + "\n";
  EXPECT_EQ(problems, "");
}

TEST(ProfileCatalogue, ADefaultThatNamesNoItemIsAFault) {
  Quality row = ProfileTable[28];  // WAV
  row.SampleRateCell = "41000default";
  EXPECT_EQ(ProblemsOf(row), std::vector<std::string>{"sample rate: the default \"41000\" names no item"});
  row = ProfileTable[0];
  row.VideoBitrateCell = "120 KBpsdefault";
  row.FrameRateCell = "Auto-fastdefault";
  EXPECT_EQ(ProblemsOf(row), (std::vector<std::string>{"video bitrate: the default \"120 KBps\" names no item",
                                                       "frame rate: the item \"fast fps\" holds no value"}));
}

// The defaults a user meets, as values: the slips once in the catalogue among them.
TEST(ProfileCatalogue, DefaultsAsValues) {
  const auto defaultOf = [](const auto& list) { return list.Items.at(static_cast<size_t>(list.Default)).Value; };
  for (const char* key : {"3gp", "3g2", "blackberry-3gp"}) {
    const TProfileChoices& c = ChoicesOf(*FindProfileByKey(key));
    EXPECT_EQ(defaultOf(c.VideoRates), (TRateControl{120000, -1})) << key;
    EXPECT_EQ(defaultOf(c.AudioBitrates), 7400) << key;
    EXPECT_EQ(defaultOf(c.Channels), 1) << key;
  }
  EXPECT_EQ(defaultOf(ChoicesOf(*FindProfileByKey("wav")).SampleRates), 44100);
  EXPECT_EQ(defaultOf(ChoicesOf(*FindProfileByKey("blackberry-amr")).AudioBitrates), 7400);
  const TProfileChoices& h264 = ChoicesOf(*FindProfileByKey("mp4-h264"));
  EXPECT_EQ(defaultOf(h264.VideoRates), (TRateControl{0, 23}));
  EXPECT_EQ(defaultOf(h264.VideoCodecs), "libx264");
  EXPECT_EQ(defaultOf(h264.FrameSizes), std::nullopt);
  EXPECT_TRUE(defaultOf(h264.FrameRates).IsSource());
  const TProfileChoices& dvd = ChoicesOf(*FindProfileByKey("dvd-vob"));
  EXPECT_EQ(defaultOf(dvd.FrameSizes), (TFrameSize{720, 480}));
  EXPECT_EQ(defaultOf(dvd.FrameRates), (TFrameRate{2997, 100}));
  // No audio bitrate preselected: the user must choose one.
  EXPECT_EQ(ChoicesOf(*FindProfileByKey("xbox360-mp4")).AudioBitrates.Default, -1);
  EXPECT_TRUE(ChoicesOf(*FindProfileByKey("flac")).AudioBitrates.Items.empty());
}

TEST(OutputFormatList, HeadersSeparatorsAndEveryProfileInTableOrder) {
  const auto& entries = OutputFormatEntries();
  // Stored settings of earlier releases name entries by place: the 75 known ones never move.
  ASSERT_GE(entries.size(), 75u);
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
  EXPECT_EQ(entries[74], "M4A - Apple Lossless (*.m4a)");

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
  EXPECT_EQ(list.Count(), static_cast<int>(entries.size()));
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
