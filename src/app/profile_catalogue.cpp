#include "app/profile_catalogue.h"

#include "app/text_utils.h"

namespace strella::app {

namespace {

std::string Header(const std::string& text) { return std::string(12, ' ') + text; }
const std::string kSeparator(5, ' ');

std::vector<std::string> Section(const std::string& header, std::vector<std::string> names,
                                 bool trailingSeparator) {
  std::vector<std::string> entries{Header(header), kSeparator};
  entries.insert(entries.end(), names.begin(), names.end());
  if (trailingSeparator) entries.push_back(kSeparator);
  return entries;
}

std::vector<std::string> BuildOutputFormatEntries() {
  std::vector<std::string> entries;
  auto append = [&entries](const std::vector<std::string>& section) {
    entries.insert(entries.end(), section.begin(), section.end());
  };
  append(Section("----- General Video Formats -----",
                 {"3GP - Mobile Video Format (*.3gp)", "3G2 - Mobile Video Format (*.3g2)",
                  "ASF - Advance Streaming Format (*.asf)", "AVI - Audio Video Interleave (*.avi)",
                  "AVI - DivX Video (*.avi)", "DVD - VOB (*.vob)", "FLV - Flash Flv Video (*.flv)",
                  "MOV - QuickTime Video (*.mov)", "MP4 - MPEG4 Video (*.mp4)",
                  "MPEG-1 Movie (*.mpg)", "MPEG-2 Movie (*.mpg)", "RM - Real Video (*.rm)",
                  "Super Video CD (*.mpg)", "SWF - Flash Swf Video (*.swf)", "Video CD (*.mpg)",
                  "WMV - Windows Media Video (*.wmv)"},
                 true));
  append(Section("----- High Definition Video -----",
                 {"HD ASF Video (*.asf)", "HD AVI Video (*.avi)", "HD MPEG-2 Movie (*.mpg)",
                  "HD MP4 - MPEG4 Video (*.mp4)", "HD WMV - Windows Media Video (*.wmv)"},
                 true));
  append(Section("----- General Audio Formats -----",
                 {"AAC - Advance Audio Coding (*.aac)", "AC3 - Dolby Digital Audio (*.ac3)",
                  "M4A - Mpeg4 Audio File (*.m4a)", "MP2 - Mpeg Layer2 Audio (*.mp2)",
                  "MP3 - Mpeg Layer3 Audio (*.mp3)", "OGG - Ogg Vorbis Audio (*.ogg)",
                  "RA - Real Audio (*.ra)", "WAV - Waveform Audio (*.wav)",
                  "WMA - Windows Media Audio (*.wma)"},
                 true));
  append(Section("----- Apple iPod & iPhones -----   ",
                 {"Apple TV (*.mp4)", "iPod (*.mp4)", "iPod Touch (*.mp4)",
                  "iPod Video For TV (*.mp4)", "iPhone (*.mp4)"},
                 true));
  append(Section("-----     Miscellaneous     -----",
                 {"BlackBerry MPEG-4 Video (*.mp4)", "BlackBerry AVI Video (*.avi)",
                  "BlackBerry 3GP Video (*.3gp)", "BlackBerry AMR Audio (*.amr)",
                  "General Pocket PC Video (*.wmv)", "PSP Video (*.mp4)", "PS3 Video (*.mp4)",
                  "Xbox360 MPEG4 Video (*.mp4)", "Xbox360 AVI Video (*.avi)",
                  "Xbox360 MPEG2 Video (*.mpg)", "Zune Mpeg4 Video (*.mp4)",
                  "Zune WMV Windows Media Video (*.wmv)"},
                 true));
  append(Section("----- Modern Video -----",
                 {"MP4 - H.264 + AAC (*.mp4)", "MP4 - H.265/HEVC + AAC (*.mp4)", "MKV - H.265/HEVC + Opus (*.mkv)",
                  "WebM - VP9 + Opus (*.webm)", "WebM - AV1 + Opus (*.webm)"},
                 true));
  append(Section("----- Modern Audio -----",
                 {"Opus Audio (*.opus)", "FLAC - Lossless Audio (*.flac)", "M4A - Apple Lossless (*.m4a)"}, false));
  return entries;
}

constexpr std::string_view kModernSizes = "Original Sizedefault-3840x2160-2560x1440-1920x1080-1280x720-854x480-640x360";
constexpr std::string_view kModernFrameRates =
    "Autodefault-60 fps-59.94 fps-50 fps-30 fps-29.97 fps-25 fps-24 fps-23.976 fps";
constexpr std::string_view kLosslessSampleRates =
    "96000 Hz-48000 Hz-44100 Hzdefault-32000 Hz-22050 Hz-16000 Hz-8000 Hz";

}  // namespace

const std::array<Quality, kProfileCount> ProfileTable = {{
    {"3GP - Mobile Video Format (*.3gp)", "3GP",
     {"512", "256", "120", "80", "40"},
     {"12.2", "10.2", "7.4", "5.9", "4.75"},
     "h263default-mpeg4", "120 KBpsdefault", "1408x1152-704x576-352x288-176x144default-128x96", "Autodefault-11-15", "libopencore_amrnb", "7.4 Kbpsdefault", "8000 HzONLY",
     0},
    {"3G2 - Mobile Video Format (*.3g2)", "3G2",
     {"512", "256", "120", "80", "40"},
     {"12.2", "10.2", "7.4", "5.9", "4.75"},
     "h263default-mpeg4", "120 KBpsdefault", "1408x1152-704x576-352x288-176x144default-128x96", "Autodefault-11-15", "libopencore_amrnb", "7.4 Kbpsdefault", "8000 HzONLY",
     1},
    {"ASF - Advance Streaming Format (*.asf)", "ASF",
     {"2000", "1500", "1200", "768", "512"},
     {"320", "192", "128", "64", "32"},
     "msmpeg4", "1200default", "Original Sizedefault", "", "mp3", "128default", "48000default",
     2},
    {"AVI - Audio Video Interleave (*.avi)", "AVI",
     {"2500", "1500", "1200", "512", "256"},
     {"320", "192", "128", "64", "48"},
     "mpeg4default-h264", "1200default", "Original Sizedefault", "", "pcm_s16ledefault-mp3-ac3", "128default", "44100default",
     3},
    {"AVI - DivX Video (*.avi)", "AVI",
     {"2500", "1500", "1200", "512", "256"},
     {"320", "192", "128", "64", "48"},
     "mpeg4", "1200default", "Original Sizedefault", "", "MP3", "128default", "44100default",
     4},
    {"DVD - VOB (*.vob)", "VOB",
     {"8000", "6000", "5000", "4000", "3000"},
     {"448", "160", "96", "56", "32"},
     "mpeg2video", "5000default", "720x480default-704x576-640x480-480x272-352x240-352x288-176x144-128x96", "29.97 fpsdefault-25 fps", "ac3", "448default", "48000default",
     5},
    {"FLV - Flash Flv Video (*.flv)", "FLV",
     {"1200", "512", "368", "200", "120"},
     {"160", "128", "96", "64", "48"},
     "flv", "368default", "Original Sizedefault", "15", "MP3", "96default", "44100 Hzdefault-22050 Hz-11025 Hz",
     6},
    {"MOV - QuickTime Video (*.mov)", "MOV",
     {"2500", "2000", "1200", "768", "512"},
     {"256", "192", "128", "80", "64"},
     "mpeg4_qt", "1200default", "Original Sizedefault", "", "mpeg4aac_qt", "128default", "48000default",
     7},
    {"MP4 - MPEG4 Video (*.mp4)", "MP4",
     {"2500", "1500", "1200", "768", "512"},
     {"256", "192", "128", "80", "64"},
     "mpeg4default-h264", "1500 Kbpsdefault", "Original Sizedefault", "", "mpeg4aac", "128default", "48000default",
     8},
    {"MPEG-1 Movie (*.mpg)", "MPG",
     {"2000", "1600", "1200", "1000", "768"},
     {"224", "192", "128", "80", "64"},
     "mpeg1video", "1600 Kbpsdefault", "320x240default", "", "mp2", "192default", "44100default",
     9},
    {"MPEG-2 Movie (*.mpg)", "MPG",
     {"2000", "1600", "1200", "1000", "768"},
     {"224", "192", "128", "80", "64"},
     "mpeg2video", "1600 Kbpsdefault", "320x240default", "", "mp2", "192default", "44100default",
     10},
    {"RM - Real Video (*.rm)", "RM",
     {"1200", "512", "384", "256", "128"},
     {"160", "128", "96", "64", "48"},
     "rv10default-rv20", "384default", "320x240default", "", "ac3", "128default", "44100default",
     11},
    {"Super Video CD (*.mpg)", "MPG",
     {"2500", "2040", "2000", "1500", "768"},
     {"320", "224", "160", "96", "32"},
     "mpeg2video", "2040default", "486x576-486x480default", "29.97 fpsdefault-25 fps", "mp2", "224default", "44100default",
     12},
    {"SWF - Flash Swf Video (*.swf)", "SWF",
     {"800", "400", "200", "128", "100"},
     {"160", "128", "96", "64", "48"},
     "flv", "200default", "Original Sizedefault", "15", "MP3", "96default", "44100 Hzdefault-22050 Hz-11025 Hz",
     13},
    {"Video CD (*.mpg)", "MPG",
     {"1150", "1000", "1000", "768", "768"},
     {"320", "160", "96", "56", "32"},
     "mpeg1video", "1150default", "704x576-640x480-480x272-352x240default-352x288-176x144-128x96", "29.97 fpsdefault-25 fps", "mp2", "320default", "44100default",
     14},
    {"WMV - Windows Media Video (*.wmv)", "WMV",
     {"4000", "2000", "1500", "1200", "768"},
     {"256", "192", "128", "80", "48"},
     "wmv3x", "1500 Kbpsdefault", "Original Sizedefault", "", "wma7x", "128default", "48000default",
     15},
    {"HD ASF Video (*.asf)", "ASF",
     {"20000", "15000", "12000", "8000", "6000"},
     {"512", "256", "128", "96", "64"},
     "msmpeg4", "12000default", "1920x1080-1440x720-1280x720default-960x540", "60 fps-50 fps-30 fps-29.97 fpsdefault-25 fps-24 fps-20 fps-12 fps-11 fps", "mp3", "128default", "44100 Hzdefault",
     16},
    {"HD AVI Video (*.avi)", "AVI",
     {"20000", "15000", "12000", "8000", "6000"},
     {"512", "256", "128", "96", "64"},
     "mpeg4default-h264-DivX", "12000default", "1920x1080-1440x720-1280x720default-960x540", "60 fps-50 fps-30 fps-29.97 fpsdefault-25 fps-24 fps-20 fps-12 fps-11 fps", "pcm_s16ledefault-mp3-ac3", "128default", "44100default",
     17},
    {"HD MPEG-2 Movie (*.mpg)", "MPG",
     {"20000", "15000", "12000", "8000", "6000"},
     {"512", "256", "128", "96", "64"},
     "mpeg2video", "12000default", "1920x1080-1440x720-1280x720default-960x540", "60 fps-50 fps-30 fps-29.97 fpsdefault-25 fps-24 fps-20 fps-12 fps-11 fps", "mp2", "128default", "44100default",
     18},
    {"HD MP4 - MPEG4 Video (*.mp4)", "MP4",
     {"20000", "15000", "12000", "8000", "6000"},
     {"512", "256", "128", "96", "64"},
     "mpeg4default-h264", "12000default", "1920x1080-1440x720-1280x720default-960x540", "60 fps-50 fps-30 fps-29.97 fpsdefault-25 fps-24 fps-20 fps-12 fps-11 fps", "mpeg4aac", "128default", "44100default",
     19},
    {"HD WMV - Windows Media Video (*.wmv)", "WMV",
     {"20000", "15000", "12000", "8000", "6000"},
     {"512", "256", "128", "96", "64"},
     "wmv3x", "12000default", "1920x1080-1440x720-1280x720default-960x540", "60 fps-50 fps-30 fps-29.97 fpsdefault-25 fps-24 fps-20 fps-12 fps-11 fps", "wma7x", "128default", "44100default",
     20},
    {"AAC - Advance Audio Coding (*.aac)", "AAC",
     {"", "", "", "", ""},
     {"256", "224", "192", "128", "64"},
     "", "", "", "", "aac", "192default", "48000default",
     21},
    {"AC3 - Dolby Digital Audio (*.ac3)", "AC3",
     {"", "", "", "", ""},
     {"320", "256", "192", "128", "64"},
     "", "", "", "", "ac3", "192default", "48000default",
     22},
    {"M4A - Mpeg4 Audio File (*.m4a)", "M4A",
     {"", "", "", "", ""},
     {"320", "256", "192", "128", "64"},
     "", "", "", "", "mpeg4aac", "192default", "48000default",
     23},
    {"MP2 - Mpeg Layer2 Audio (*.mp2)", "MP2",
     {"", "", "", "", ""},
     {"320", "256", "192", "128", "64"},
     "", "", "", "", "mp2", "192default", "48000default",
     24},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3",
     {"", "", "", "", ""},
     {"320", "256", "192", "128", "64"},
     "", "", "", "", "mp3", "192default", "48000default",
     25},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "OGG",
     {"", "", "", "", ""},
     {"320", "256", "192", "128", "64"},
     "", "", "", "", "vorbis", "192default", "48000default",
     26},
    {"RA - Real Audio (*.ra)", "RA",
     {"", "", "", "", ""},
     {"320", "256", "192", "128", "64"},
     "", "", "", "", "ac3", "192default", "48000default",
     27},
    {"WAV - Waveform Audio (*.wav)", "WAV",
     {"", "", "", "", ""},
     {"320", "256", "192", "128", "64"},
     "", "", "", "", "pcm_s16le", "192default", "41000default",
     28},
    {"WMA - Windows Media Audio (*.wma)", "WMA",
     {"", "", "", "", ""},
     {"320", "256", "192", "128", "64"},
     "", "", "", "", "wma7x", "192default", "48000default",
     29},
    {"Apple TV (*.mp4)", "MP4",
     {"2500", "1500", "1200", "800", "512"},
     {"256", "128", "64", "48", "32"},
     "mpeg4", "1500 Kbpsdefault", "640x480ONLY", "", "mpeg4aac", "128default", "44100default",
     30},
    {"iPod (*.mp4)", "MP4",
     {"2500", "1500", "1200", "512", "256"},
     {"320", "192", "128", "96", "64"},
     "mpeg4", "1200default", "320x240ONLY", "", "mpeg4aac", "128default", "44100default",
     31},
    {"iPod Touch (*.mp4)", "MP4",
     {"2500", "1500", "1200", "800", "512"},
     {"256", "192", "128", "80", "64"},
     "mpeg4", "1200 Kbpsdefault", "480x320ONLY", "", "mpeg4aac", "128default", "44100default",
     32},
    {"iPod Video For TV (*.mp4)", "MP4",
     {"2500", "1500", "1200", "800", "512"},
     {"256", "192", "128", "96", "64"},
     "mpeg4", "2500 Kbpsdefault", "640x480ONLY", "", "mpeg4aac", "128default", "44100default",
     33},
    {"iPhone (*.mp4)", "MP4",
     {"2500", "1500", "1200", "800", "512"},
     {"256", "192", "128", "80", "64"},
     "mpeg4", "1200 Kbpsdefault", "480x320ONLY", "", "mpeg4aac", "128default", "44100default",
     34},
    {"BlackBerry MPEG-4 Video (*.mp4)", "MP4",
     {"768", "512", "300", "200", "120"},
     {"112", "96", "80", "64", "40"},
     "mpeg4", "300default", "320x240-240x180-176x144default", "24 fpsONLY", "mpeg4aac", "80default", "44100default",
     35},
    {"BlackBerry AVI Video (*.avi)", "AVI",
     {"512", "300", "200", "120", "80"},
     {"256", "192", "80", "64", "48"},
     "h263", "300default", "176x144ONLY", "24 fpsONLY", "mpeg4aac", "80default", "44100default",
     36},
    {"BlackBerry 3GP Video (*.3gp)", "3GP",
     {"512", "256", "120", "80", "40"},
     {"12.2", "10.2", "7.4", "5.9", "4.75"},
     "h263default-mpeg4", "120 KBpsdefault", "352x288-320x240-176x144default-128x96", "Autodefault-11-15", "amr_nbdefault-mpeg4aac", "7.4 Kbpsdefault", "8000 HzONLY",
     37},
    {"BlackBerry AMR Audio (*.amr)", "AMR",
     {"512", "300", "200", "120", "80"},
     {"12.2", "10.2", "7.4", "5.9", "4.75"},
     "", "", "", "", "amr_nb", "7.4 Hzdefault", "8000 HzONLY",
     38},
    {"General Pocket PC Video (*.wmv)", "WMV",
     {"1500", "1200", "768", "256", "512"},
     {"256", "192", "128", "80", "48"},
     "wmv3x", "768default", "720x576-640x480-320x240default", "29.97 fpsONLY", "wma7x", "128default", "44100default",
     39},
    {"PSP Video (*.mp4)", "MP4",
     {"768", "512", "384", "216", "128"},
     {"160", "128", "96", "64", "48"},
     "xvid", "384default", "368x208default-320x240-160x112", "29.97 fpsONLY", "mpeg4aac", "96default", "48000ONLY",
     40},
    {"PS3 Video (*.mp4)", "MP4",
     {"3000", "2500", "2000", "1500", "1200"},
     {"256", "192", "128", "80", "64"},
     "h264", "2000default", "1920x1080-1280x720-720x480default-640x480", "29.97 fpsONLY", "mpeg4aac", "128default", "48000ONLY",
     41},
    {"Xbox360 MPEG4 Video (*.mp4)", "MP4",
     {"2500", "1500", "1200", "768", "512"},
     {"256", "192", "128", "80", "64"},
     "", "", "", "", "", "", "",
     42},
    {"Xbox360 AVI Video (*.avi)", "AVI",
     {"2500", "1500", "1200", "512", "256"},
     {"320", "192", "128", "64", "48"},
     "", "", "", "", "", "", "",
     43},
    {"Xbox360 MPEG2 Video (*.mpg)", "MPG",
     {"2000", "1600", "1200", "1000", "768"},
     {"224", "192", "128", "80", "64"},
     "", "", "", "", "", "", "",
     44},
    {"Zune Mpeg4 Video (*.mp4)", "MP4",
     {"2000", "1500", "768", "512", "256"},
     {"256", "192", "128", "80", "64"},
     "mpeg4-h264", "768default", "640x480-320x240default", "29.97 fpsONLY", "mpeg4aac", "128default", "44100default",
     45},
    {"Zune WMV Windows Media Video (*.wmv)", "WMV",
     {"2000", "1500", "1200", "768", "256"},
     {"256", "192", "128", "80", "48"},
     "wmv3x", "1500default", "640x480-320x240default", "29.97 fpsONLY", "wma7x", "128default", "44100default",
     46},
    // Today's formats. The bitrate list offers the constant-quality steps first;
    // the speed presets are the encoders' balanced ones.
    {"MP4 - H.264 + AAC (*.mp4)", "MP4",
     {"8000", "5000", "2500", "1200", "600"},
     {"256", "192", "160", "128", "96"},
     "h264", "CRF 23default", kModernSizes, kModernFrameRates, "aac", "160default", "48000 Hzdefault-44100 Hz",
     47, {"18", "20", "23", "26", "28"}, "preset=medium\nmovflags=+faststart"},
    {"MP4 - H.265/HEVC + AAC (*.mp4)", "MP4",
     {"6000", "4000", "2000", "1000", "500"},
     {"256", "192", "160", "128", "96"},
     "hevc", "CRF 28default", kModernSizes, kModernFrameRates, "aac", "160default", "48000 Hzdefault-44100 Hz",
     48, {"22", "25", "28", "31", "34"}, "preset=medium\nvtag=hvc1\nmovflags=+faststart"},
    {"MKV - H.265/HEVC + Opus (*.mkv)", "MKV",
     {"6000", "4000", "2000", "1000", "500"},
     {"256", "192", "128", "96", "64"},
     "hevc", "CRF 28default", kModernSizes, kModernFrameRates, "opus", "128default", "48000 HzONLY",
     49, {"22", "25", "28", "31", "34"}, "preset=medium"},
    {"WebM - VP9 + Opus (*.webm)", "WEBM",
     {"6000", "4000", "2000", "1000", "500"},
     {"256", "192", "128", "96", "64"},
     "vp9", "CRF 31default", kModernSizes, kModernFrameRates, "opus", "128default", "48000 HzONLY",
     50, {"24", "28", "31", "35", "40"}, "cpu-used=3\nrow-mt=1"},
    {"WebM - AV1 + Opus (*.webm)", "WEBM",
     {"5000", "3000", "1500", "800", "400"},
     {"256", "192", "128", "96", "64"},
     "av1", "CRF 35default", kModernSizes, kModernFrameRates, "opus", "128default", "48000 HzONLY",
     51, {"25", "30", "35", "40", "45"}, "preset=8"},
    {"Opus Audio (*.opus)", "OPUS",
     {"", "", "", "", ""},
     {"256", "192", "128", "96", "64"},
     "", "", "", "", "opus", "128default", "48000 HzONLY",
     52},
    // Lossless: no bitrate to choose.
    {"FLAC - Lossless Audio (*.flac)", "FLAC",
     {"", "", "", "", ""},
     {"", "", "", "", ""},
     "", "", "", "", "flac", "", kLosslessSampleRates,
     53, {}, "", true},
    {"M4A - Apple Lossless (*.m4a)", "M4A",
     {"", "", "", "", ""},
     {"", "", "", "", ""},
     "", "", "", "", "alac", "", kLosslessSampleRates,
     54, {}, "", true},
}};

const Quality* FindProfile(std::string_view AName) {
  for (const Quality& row : ProfileTable) {
    if (row.DisplayName == AName) return &row;
  }
  return nullptr;
}

const Quality* MatchProfile(std::string_view AGiven) {
  if (const auto number = ParseWhole(AGiven))
    return *number >= 0 && *number < kProfileCount ? &ProfileTable[static_cast<size_t>(*number)] : nullptr;
  const std::string given = LowerCase(Trim(AGiven));
  for (const Quality& profile : ProfileTable) {
    if (LowerCase(profile.DisplayName) == given) return &profile;
  }
  return nullptr;
}

const std::vector<std::string>& OutputFormatEntries() {
  static const std::vector<std::string> entries = BuildOutputFormatEntries();
  return entries;
}

void FillOutputFormat(TDropDown& AList) {
  AList.Clear();
  for (const std::string& entry : OutputFormatEntries()) AList.Add(entry);
  AList.SetItemIndex(kInitialFormatEntry);
}

bool IsSelectableFormatEntry(std::string_view AText) {
  return AText.find("  ") == std::string_view::npos && AText.find("---") == std::string_view::npos;
}

}  // namespace strella::app
