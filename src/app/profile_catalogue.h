// The fixed catalogue of output profiles: one row per selectable entry of the
// output-format list, with the two bitrate ladders of the quality presets and
// the choice cells that say what the settings lists offer for that profile.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "app/drop_down.h"

namespace strella::app {

// The groups of the output-format list, in the order the list shows them.
enum TProfileGroup { pgGeneralVideo, pgHighDefinition, pgGeneralAudio, pgApple, pgMiscellaneous, pgModernVideo,
                     pgModernAudio };
// The header line of a group as the list shows it.
std::string_view GroupHeader(TProfileGroup AGroup);

// What a profile is, beside what its lists offer.
enum TProfileFlag : unsigned {
  kAudioOnly = 1,      // no video settings; a video input gives its sound
  kMonoOnly = 2,       // one channel is all the format holds
  kKeepsCoverArt = 4,  // an audio container that stores a cover picture: an input's cover is copied
  kKeepsSourceSound = 8,  // lossless: "Auto" (the source's rate and channels) leads its audio lists
};

// One output profile. A choice cell is "", a single value, a value ending in
// "ONLY" (the one fixed choice), a value ending in "default" (the preselection
// within a list built elsewhere), or several values joined by "-". The cells
// are read once, when the catalogue loads (profile_choices.h).
struct Quality {
  std::string_view DisplayName;
  std::string_view Key;  // stable name of the profile in settings and presets ("mp4-h264")
  TProfileGroup Group;
  unsigned Flags;              // TProfileFlag bits
  std::string_view CodecTag;   // the video stream's tag in the container ("DIVX"), or empty
  std::string_view FormatKey;  // lower-cased with a leading "." it is the file extension
  std::array<int, 5> VideoLadder;  // bit/s, "Highest" to "Lowest"; 0 none
  std::array<int, 5> AudioLadder;
  std::string_view VideoCodecCell;
  std::string_view VideoBitrateCell;
  std::string_view FrameSizeCell;
  std::string_view FrameRateCell;
  std::string_view AudioCodecCell;
  std::string_view AudioBitrateCell;
  std::string_view SampleRateCell;
  int RowNumber;
  // Rows after the first 47 only.
  // Constant-quality values (the encoder's "crf") for "Highest" to "Lowest";
  // with them the bitrate list offers these before its fixed bitrates. 0 none.
  std::array<int, 5> QualityLadder{};
  // Option lines every job of the profile hands the engine ("name=value" per line).
  std::string_view EncoderOptions{};

  bool Has(TProfileFlag AFlag) const { return (Flags & AFlag) != 0; }
};

// The first release's rows; the rows after them came later, so that every
// stored index into the format list kept its meaning.
inline constexpr int kClassicProfileCount = 47;
inline constexpr int kProfileCount = 55;
extern const std::array<Quality, kProfileCount> ProfileTable;

// The first row whose DisplayName equals AName exactly, or nullptr.
const Quality* FindProfile(std::string_view AName);
// The row of a stable key, or nullptr.
const Quality* FindProfileByKey(std::string_view AKey);
// The profile a user names on a command line: its key, its display name (letter
// case and surrounding spaces aside) or its number (its row); nullptr when none.
const Quality* MatchProfile(std::string_view AGiven);

// The entries of the output-format list, headers and separators included:
// the first release's 61, then the groups "Modern Video" and "Modern Audio".
const std::vector<std::string>& OutputFormatEntries();
// Fills the list with OutputFormatEntries and selects entry 3, "3G2 - Mobile Video Format (*.3g2)".
void FillOutputFormat(TDropDown& AList);
inline constexpr int kInitialFormatEntry = 3;
// "3GP - Mobile Video Format (*.3gp)", the format of a first run.
inline constexpr int kDefaultFormatEntry = 2;

// Headers and separators contain two consecutive blanks or "---".
bool IsSelectableFormatEntry(std::string_view AText);

}  // namespace strella::app
