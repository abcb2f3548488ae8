#include "app/profile_catalogue.h"

#include "app/text_utils.h"

namespace strella::app {

namespace {

const std::string kSeparator(5, ' ');

// Each group: its header and separator, its rows in table order, and a
// separator before the next group.
std::vector<std::string> BuildOutputFormatEntries() {
  std::vector<std::string> entries;
  for (size_t i = 0; i < ProfileTable.size(); ++i) {
    const Quality& row = ProfileTable[i];
    if (i == 0 || ProfileTable[i - 1].Group != row.Group) {
      if (i > 0) entries.push_back(kSeparator);
      entries.push_back(std::string(12, ' ') + std::string(GroupHeader(row.Group)));
      entries.push_back(kSeparator);
    }
    entries.emplace_back(row.DisplayName);
  }
  return entries;
}

constexpr std::string_view kModernSizes = "Original Sizedefault-3840x2160-2560x1440-1920x1080-1280x720-854x480-640x360";
constexpr std::string_view kModernFrameRates =
    "Autodefault-60 fps-59.94 fps-50 fps-30 fps-29.97 fps-25 fps-24 fps-23.976 fps";
constexpr std::string_view kLosslessSampleRates =
    "Autodefault-96000 Hz-48000 Hz-44100 Hz-32000 Hz-22050 Hz-16000 Hz-8000 Hz";

}  // namespace

const std::array<Quality, kProfileCount> ProfileTable = {{
    {"3GP - Mobile Video Format (*.3gp)", "3gp", pgGeneralVideo, kMonoOnly, "", "3GP",
     {512000, 256000, 120000, 80000, 40000},
     {12200, 10200, 7400, 5900, 4750},
     "h263default-mpeg4", "120 Kbpsdefault", "1408x1152-704x576-352x288-176x144default-128x96", "Autodefault-11-15", "libopencore_amrnb", "7.4 Kbpsdefault", "8000 HzONLY",
     0},
    {"3G2 - Mobile Video Format (*.3g2)", "3g2", pgGeneralVideo, kMonoOnly, "", "3G2",
     {512000, 256000, 120000, 80000, 40000},
     {12200, 10200, 7400, 5900, 4750},
     "h263default-mpeg4", "120 Kbpsdefault", "1408x1152-704x576-352x288-176x144default-128x96", "Autodefault-11-15", "libopencore_amrnb", "7.4 Kbpsdefault", "8000 HzONLY",
     1},
    {"ASF - Advance Streaming Format (*.asf)", "asf", pgGeneralVideo, 0, "", "ASF",
     {2000000, 1500000, 1200000, 768000, 512000},
     {320000, 192000, 128000, 64000, 32000},
     "msmpeg4", "1200default", "Original Sizedefault", "", "mp3", "128default", "48000default",
     2},
    {"AVI - Audio Video Interleave (*.avi)", "avi", pgGeneralVideo, 0, "", "AVI",
     {2500000, 1500000, 1200000, 512000, 256000},
     {320000, 192000, 128000, 64000, 48000},
     "mpeg4default-h264", "1200default", "Original Sizedefault", "", "pcm_s16ledefault-mp3-ac3", "128default", "44100default",
     3},
    {"AVI - DivX Video (*.avi)", "avi-divx", pgGeneralVideo, 0, "DIVX", "AVI",
     {2500000, 1500000, 1200000, 512000, 256000},
     {320000, 192000, 128000, 64000, 48000},
     "mpeg4", "1200default", "Original Sizedefault", "", "MP3", "128default", "44100default",
     4},
    {"DVD - VOB (*.vob)", "dvd-vob", pgGeneralVideo, 0, "", "VOB",
     {8000000, 6000000, 5000000, 4000000, 3000000},
     {448000, 160000, 96000, 56000, 32000},
     "mpeg2video", "5000default", "720x480default-704x576-640x480-480x272-352x240-352x288-176x144-128x96", "29.97 fpsdefault-25 fps", "ac3", "448default", "48000default",
     5},
    {"FLV - Flash Flv Video (*.flv)", "flv", pgGeneralVideo, 0, "", "FLV",
     {1200000, 512000, 368000, 200000, 120000},
     {160000, 128000, 96000, 64000, 48000},
     "flv", "368default", "Original Sizedefault", "15", "MP3", "96default", "44100 Hzdefault-22050 Hz-11025 Hz",
     6},
    {"MOV - QuickTime Video (*.mov)", "mov", pgGeneralVideo, 0, "", "MOV",
     {2500000, 2000000, 1200000, 768000, 512000},
     {256000, 192000, 128000, 80000, 64000},
     "mpeg4_qt", "1200default", "Original Sizedefault", "", "mpeg4aac_qt", "128default", "48000default",
     7},
    {"MP4 - MPEG4 Video (*.mp4)", "mp4-mpeg4", pgGeneralVideo, 0, "", "MP4",
     {2500000, 1500000, 1200000, 768000, 512000},
     {256000, 192000, 128000, 80000, 64000},
     "mpeg4default-h264", "1500 Kbpsdefault", "Original Sizedefault", "", "mpeg4aac", "128default", "48000default",
     8},
    {"MPEG-1 Movie (*.mpg)", "mpeg1", pgGeneralVideo, 0, "", "MPG",
     {2000000, 1600000, 1200000, 1000000, 768000},
     {224000, 192000, 128000, 80000, 64000},
     "mpeg1video", "1600 Kbpsdefault", "320x240default", "", "mp2", "192default", "44100default",
     9},
    {"MPEG-2 Movie (*.mpg)", "mpeg2", pgGeneralVideo, 0, "", "MPG",
     {2000000, 1600000, 1200000, 1000000, 768000},
     {224000, 192000, 128000, 80000, 64000},
     "mpeg2video", "1600 Kbpsdefault", "320x240default", "", "mp2", "192default", "44100default",
     10},
    {"RM - Real Video (*.rm)", "rm", pgGeneralVideo, 0, "", "RM",
     {1200000, 512000, 384000, 256000, 128000},
     {160000, 128000, 96000, 64000, 48000},
     "rv10default-rv20", "384default", "320x240default", "", "ac3", "128default", "44100default",
     11},
    {"Super Video CD (*.mpg)", "svcd", pgGeneralVideo, 0, "", "MPG",
     {2500000, 2040000, 2000000, 1500000, 768000},
     {320000, 224000, 160000, 96000, 32000},
     "mpeg2video", "2040default", "486x576-486x480default", "29.97 fpsdefault-25 fps", "mp2", "224default", "44100default",
     12},
    {"SWF - Flash Swf Video (*.swf)", "swf", pgGeneralVideo, 0, "", "SWF",
     {800000, 400000, 200000, 128000, 100000},
     {160000, 128000, 96000, 64000, 48000},
     "flv", "200default", "Original Sizedefault", "15", "MP3", "96default", "44100 Hzdefault-22050 Hz-11025 Hz",
     13},
    {"Video CD (*.mpg)", "vcd", pgGeneralVideo, 0, "", "MPG",
     {1150000, 1000000, 1000000, 768000, 768000},
     {320000, 160000, 96000, 56000, 32000},
     "mpeg1video", "1150default", "704x576-640x480-480x272-352x240default-352x288-176x144-128x96", "29.97 fpsdefault-25 fps", "mp2", "320default", "44100default",
     14},
    {"WMV - Windows Media Video (*.wmv)", "wmv", pgGeneralVideo, 0, "", "WMV",
     {4000000, 2000000, 1500000, 1200000, 768000},
     {256000, 192000, 128000, 80000, 48000},
     "wmv3x", "1500 Kbpsdefault", "Original Sizedefault", "", "wma7x", "128default", "48000default",
     15},
    {"HD ASF Video (*.asf)", "hd-asf", pgHighDefinition, 0, "", "ASF",
     {20000000, 15000000, 12000000, 8000000, 6000000},
     {512000, 256000, 128000, 96000, 64000},
     "msmpeg4", "12000default", "1920x1080-1440x720-1280x720default-960x540", "60 fps-50 fps-30 fps-29.97 fpsdefault-25 fps-24 fps-20 fps-12 fps-11 fps", "mp3", "128default", "44100 Hzdefault",
     16},
    {"HD AVI Video (*.avi)", "hd-avi", pgHighDefinition, 0, "", "AVI",
     {20000000, 15000000, 12000000, 8000000, 6000000},
     {512000, 256000, 128000, 96000, 64000},
     "mpeg4default-h264-DivX", "12000default", "1920x1080-1440x720-1280x720default-960x540", "60 fps-50 fps-30 fps-29.97 fpsdefault-25 fps-24 fps-20 fps-12 fps-11 fps", "pcm_s16ledefault-mp3-ac3", "128default", "44100default",
     17},
    {"HD MPEG-2 Movie (*.mpg)", "hd-mpeg2", pgHighDefinition, 0, "", "MPG",
     {20000000, 15000000, 12000000, 8000000, 6000000},
     {512000, 256000, 128000, 96000, 64000},
     "mpeg2video", "12000default", "1920x1080-1440x720-1280x720default-960x540", "60 fps-50 fps-30 fps-29.97 fpsdefault-25 fps-24 fps-20 fps-12 fps-11 fps", "mp2", "128default", "44100default",
     18},
    {"HD MP4 - MPEG4 Video (*.mp4)", "hd-mp4", pgHighDefinition, 0, "", "MP4",
     {20000000, 15000000, 12000000, 8000000, 6000000},
     {512000, 256000, 128000, 96000, 64000},
     "mpeg4default-h264", "12000default", "1920x1080-1440x720-1280x720default-960x540", "60 fps-50 fps-30 fps-29.97 fpsdefault-25 fps-24 fps-20 fps-12 fps-11 fps", "mpeg4aac", "128default", "44100default",
     19},
    {"HD WMV - Windows Media Video (*.wmv)", "hd-wmv", pgHighDefinition, 0, "", "WMV",
     {20000000, 15000000, 12000000, 8000000, 6000000},
     {512000, 256000, 128000, 96000, 64000},
     "wmv3x", "12000default", "1920x1080-1440x720-1280x720default-960x540", "60 fps-50 fps-30 fps-29.97 fpsdefault-25 fps-24 fps-20 fps-12 fps-11 fps", "wma7x", "128default", "44100default",
     20},
    {"AAC - Advance Audio Coding (*.aac)", "aac", pgGeneralAudio, kAudioOnly, "", "AAC",
     {0, 0, 0, 0, 0},
     {256000, 224000, 192000, 128000, 64000},
     "", "", "", "", "aac", "192default", "48000default",
     21},
    {"AC3 - Dolby Digital Audio (*.ac3)", "ac3", pgGeneralAudio, kAudioOnly, "", "AC3",
     {0, 0, 0, 0, 0},
     {320000, 256000, 192000, 128000, 64000},
     "", "", "", "", "ac3", "192default", "48000default",
     22},
    {"M4A - Mpeg4 Audio File (*.m4a)", "m4a-aac", pgGeneralAudio, kAudioOnly|kKeepsCoverArt, "", "M4A",
     {0, 0, 0, 0, 0},
     {320000, 256000, 192000, 128000, 64000},
     "", "", "", "", "mpeg4aac", "192default", "48000default",
     23},
    {"MP2 - Mpeg Layer2 Audio (*.mp2)", "mp2", pgGeneralAudio, kAudioOnly, "", "MP2",
     {0, 0, 0, 0, 0},
     {320000, 256000, 192000, 128000, 64000},
     "", "", "", "", "mp2", "192default", "48000default",
     24},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "mp3", pgGeneralAudio, kAudioOnly|kKeepsCoverArt, "", "MP3",
     {0, 0, 0, 0, 0},
     {320000, 256000, 192000, 128000, 64000},
     "", "", "", "", "mp3", "192default", "48000default",
     25},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "ogg-vorbis", pgGeneralAudio, kAudioOnly, "", "OGG",
     {0, 0, 0, 0, 0},
     {320000, 256000, 192000, 128000, 64000},
     "", "", "", "", "vorbis", "192default", "48000default",
     26},
    {"RA - Real Audio (*.ra)", "ra", pgGeneralAudio, kAudioOnly, "", "RA",
     {0, 0, 0, 0, 0},
     {320000, 256000, 192000, 128000, 64000},
     "", "", "", "", "ac3", "192default", "48000default",
     27},
    {"WAV - Waveform Audio (*.wav)", "wav", pgGeneralAudio, kAudioOnly, "", "WAV",
     {0, 0, 0, 0, 0},
     {320000, 256000, 192000, 128000, 64000},
     "", "", "", "", "pcm_s16le", "192default", "44100default",
     28},
    {"WMA - Windows Media Audio (*.wma)", "wma", pgGeneralAudio, kAudioOnly, "", "WMA",
     {0, 0, 0, 0, 0},
     {320000, 256000, 192000, 128000, 64000},
     "", "", "", "", "wma7x", "192default", "48000default",
     29},
    {"Apple TV (*.mp4)", "apple-tv", pgApple, 0, "", "MP4",
     {2500000, 1500000, 1200000, 800000, 512000},
     {256000, 128000, 64000, 48000, 32000},
     "mpeg4", "1500 Kbpsdefault", "640x480ONLY", "", "mpeg4aac", "128default", "44100default",
     30},
    {"iPod (*.mp4)", "ipod", pgApple, 0, "", "MP4",
     {2500000, 1500000, 1200000, 512000, 256000},
     {320000, 192000, 128000, 96000, 64000},
     "mpeg4", "1200default", "320x240ONLY", "", "mpeg4aac", "128default", "44100default",
     31},
    {"iPod Touch (*.mp4)", "ipod-touch", pgApple, 0, "", "MP4",
     {2500000, 1500000, 1200000, 800000, 512000},
     {256000, 192000, 128000, 80000, 64000},
     "mpeg4", "1200 Kbpsdefault", "480x320ONLY", "", "mpeg4aac", "128default", "44100default",
     32},
    {"iPod Video For TV (*.mp4)", "ipod-tv", pgApple, 0, "", "MP4",
     {2500000, 1500000, 1200000, 800000, 512000},
     {256000, 192000, 128000, 96000, 64000},
     "mpeg4", "2500 Kbpsdefault", "640x480ONLY", "", "mpeg4aac", "128default", "44100default",
     33},
    {"iPhone (*.mp4)", "iphone", pgApple, 0, "", "MP4",
     {2500000, 1500000, 1200000, 800000, 512000},
     {256000, 192000, 128000, 80000, 64000},
     "mpeg4", "1200 Kbpsdefault", "480x320ONLY", "", "mpeg4aac", "128default", "44100default",
     34},
    {"BlackBerry MPEG-4 Video (*.mp4)", "blackberry-mp4", pgMiscellaneous, 0, "", "MP4",
     {768000, 512000, 300000, 200000, 120000},
     {112000, 96000, 80000, 64000, 40000},
     "mpeg4", "300default", "320x240-240x180-176x144default", "24 fpsONLY", "mpeg4aac", "80default", "44100default",
     35},
    {"BlackBerry AVI Video (*.avi)", "blackberry-avi", pgMiscellaneous, 0, "", "AVI",
     {512000, 300000, 200000, 120000, 80000},
     {256000, 192000, 80000, 64000, 48000},
     "h263", "300default", "176x144ONLY", "24 fpsONLY", "mpeg4aac", "80default", "44100default",
     36},
    {"BlackBerry 3GP Video (*.3gp)", "blackberry-3gp", pgMiscellaneous, kMonoOnly, "", "3GP",
     {512000, 256000, 120000, 80000, 40000},
     {12200, 10200, 7400, 5900, 4750},
     "h263default-mpeg4", "120 Kbpsdefault", "352x288-320x240-176x144default-128x96", "Autodefault-11-15", "amr_nbdefault-mpeg4aac", "7.4 Kbpsdefault", "8000 HzONLY",
     37},
    {"BlackBerry AMR Audio (*.amr)", "blackberry-amr", pgMiscellaneous, kAudioOnly|kMonoOnly, "", "AMR",
     {512000, 300000, 200000, 120000, 80000},
     {12200, 10200, 7400, 5900, 4750},
     "", "", "", "", "amr_nb", "7.4 Kbpsdefault", "8000 HzONLY",
     38},
    {"General Pocket PC Video (*.wmv)", "pocket-pc-wmv", pgMiscellaneous, 0, "", "WMV",
     {1500000, 1200000, 768000, 256000, 512000},
     {256000, 192000, 128000, 80000, 48000},
     "wmv3x", "768default", "720x576-640x480-320x240default", "29.97 fpsONLY", "wma7x", "128default", "44100default",
     39},
    {"PSP Video (*.mp4)", "psp", pgMiscellaneous, 0, "", "MP4",
     {768000, 512000, 384000, 216000, 128000},
     {160000, 128000, 96000, 64000, 48000},
     "xvid", "384default", "368x208default-320x240-160x112", "29.97 fpsONLY", "mpeg4aac", "96default", "48000ONLY",
     40},
    {"PS3 Video (*.mp4)", "ps3", pgMiscellaneous, 0, "", "MP4",
     {3000000, 2500000, 2000000, 1500000, 1200000},
     {256000, 192000, 128000, 80000, 64000},
     "h264", "2000default", "1920x1080-1280x720-720x480default-640x480", "29.97 fpsONLY", "mpeg4aac", "128default", "48000ONLY",
     41},
    {"Xbox360 MPEG4 Video (*.mp4)", "xbox360-mp4", pgMiscellaneous, 0, "", "MP4",
     {2500000, 1500000, 1200000, 768000, 512000},
     {256000, 192000, 128000, 80000, 64000},
     "", "", "", "", "", "", "",
     42},
    {"Xbox360 AVI Video (*.avi)", "xbox360-avi", pgMiscellaneous, 0, "", "AVI",
     {2500000, 1500000, 1200000, 512000, 256000},
     {320000, 192000, 128000, 64000, 48000},
     "", "", "", "", "", "", "",
     43},
    {"Xbox360 MPEG2 Video (*.mpg)", "xbox360-mpeg2", pgMiscellaneous, 0, "", "MPG",
     {2000000, 1600000, 1200000, 1000000, 768000},
     {224000, 192000, 128000, 80000, 64000},
     "", "", "", "", "", "", "",
     44},
    {"Zune Mpeg4 Video (*.mp4)", "zune-mp4", pgMiscellaneous, 0, "", "MP4",
     {2000000, 1500000, 768000, 512000, 256000},
     {256000, 192000, 128000, 80000, 64000},
     "mpeg4-h264", "768default", "640x480-320x240default", "29.97 fpsONLY", "mpeg4aac", "128default", "44100default",
     45},
    {"Zune WMV Windows Media Video (*.wmv)", "zune-wmv", pgMiscellaneous, 0, "", "WMV",
     {2000000, 1500000, 1200000, 768000, 256000},
     {256000, 192000, 128000, 80000, 48000},
     "wmv3x", "1500default", "640x480-320x240default", "29.97 fpsONLY", "wma7x", "128default", "44100default",
     46},
    // Today's formats. The bitrate list offers the constant-quality steps first;
    // the speed presets are the encoders' balanced ones.
    {"MP4 - H.264 + AAC (*.mp4)", "mp4-h264", pgModernVideo, 0, "", "MP4",
     {8000000, 5000000, 2500000, 1200000, 600000},
     {256000, 192000, 160000, 128000, 96000},
     "h264", "CRF 23default", kModernSizes, kModernFrameRates, "aac", "160default", "48000 Hzdefault-44100 Hz",
     47, {18, 20, 23, 26, 28}, "preset=medium\nmovflags=+faststart"},
    {"MP4 - H.265/HEVC + AAC (*.mp4)", "mp4-hevc", pgModernVideo, 0, "", "MP4",
     {6000000, 4000000, 2000000, 1000000, 500000},
     {256000, 192000, 160000, 128000, 96000},
     "hevc", "CRF 28default", kModernSizes, kModernFrameRates, "aac", "160default", "48000 Hzdefault-44100 Hz",
     48, {22, 25, 28, 31, 34}, "preset=medium\nvtag=hvc1\nmovflags=+faststart"},
    {"MKV - H.265/HEVC + Opus (*.mkv)", "mkv-hevc-opus", pgModernVideo, 0, "", "MKV",
     {6000000, 4000000, 2000000, 1000000, 500000},
     {256000, 192000, 128000, 96000, 64000},
     "hevc", "CRF 28default", kModernSizes, kModernFrameRates, "opus", "128default", "48000 HzONLY",
     49, {22, 25, 28, 31, 34}, "preset=medium"},
    {"WebM - VP9 + Opus (*.webm)", "webm-vp9", pgModernVideo, 0, "", "WEBM",
     {6000000, 4000000, 2000000, 1000000, 500000},
     {256000, 192000, 128000, 96000, 64000},
     "vp9", "CRF 31default", kModernSizes, kModernFrameRates, "opus", "128default", "48000 HzONLY",
     50, {24, 28, 31, 35, 40}, "cpu-used=3\nrow-mt=1"},
    {"WebM - AV1 + Opus (*.webm)", "webm-av1", pgModernVideo, 0, "", "WEBM",
     {5000000, 3000000, 1500000, 800000, 400000},
     {256000, 192000, 128000, 96000, 64000},
     "av1", "CRF 35default", kModernSizes, kModernFrameRates, "opus", "128default", "48000 HzONLY",
     51, {25, 30, 35, 40, 45}, "preset=8"},
    {"Opus Audio (*.opus)", "opus", pgModernAudio, kAudioOnly|kKeepsCoverArt, "", "OPUS",
     {0, 0, 0, 0, 0},
     {256000, 192000, 128000, 96000, 64000},
     "", "", "", "", "opus", "128default", "48000 HzONLY",
     52},
    // Lossless: no bitrate to choose.
    {"FLAC - Lossless Audio (*.flac)", "flac", pgModernAudio, kAudioOnly|kKeepsCoverArt|kKeepsSourceSound, "", "FLAC",
     {0, 0, 0, 0, 0},
     {0, 0, 0, 0, 0},
     "", "", "", "", "flac", "", kLosslessSampleRates,
     53, {}},
    {"M4A - Apple Lossless (*.m4a)", "m4a-alac", pgModernAudio, kAudioOnly|kKeepsCoverArt|kKeepsSourceSound, "", "M4A",
     {0, 0, 0, 0, 0},
     {0, 0, 0, 0, 0},
     "", "", "", "", "alac", "", kLosslessSampleRates,
     54, {}},
}};

const Quality* FindProfile(std::string_view AName) {
  for (const Quality& row : ProfileTable) {
    if (row.DisplayName == AName) return &row;
  }
  return nullptr;
}

const Quality* FindProfileByKey(std::string_view AKey) {
  for (const Quality& row : ProfileTable) {
    if (row.Key == AKey) return &row;
  }
  return nullptr;
}

std::string_view GroupHeader(TProfileGroup AGroup) {
  switch (AGroup) {
    case pgGeneralVideo: return "----- General Video Formats -----";
    case pgHighDefinition: return "----- High Definition Video -----";
    case pgGeneralAudio: return "----- General Audio Formats -----";
    case pgApple: return "----- Apple iPod & iPhones -----   ";
    case pgMiscellaneous: return "-----     Miscellaneous     -----";
    case pgModernVideo: return "----- Modern Video -----";
    case pgModernAudio: return "----- Modern Audio -----";
  }
  return {};
}

const Quality* MatchProfile(std::string_view AGiven) {
  if (const auto number = ParseWhole(AGiven))
    return *number >= 0 && *number < kProfileCount ? &ProfileTable[static_cast<size_t>(*number)] : nullptr;
  const std::string given = LowerCase(Trim(AGiven));
  if (const Quality* byKey = FindProfileByKey(given)) return byKey;
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
