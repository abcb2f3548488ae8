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

// One output profile. A choice cell is "", a single value, a value ending in
// "ONLY" (the one fixed choice), a value ending in "default" (the preselection
// within a list built elsewhere), or several values joined by "-".
struct Quality {
  std::string_view DisplayName;
  std::string_view FormatKey;  // lower-cased with a leading "." it is the file extension
  std::array<std::string_view, 5> VideoLadder;  // kbps, "Highest" to "Lowest"
  std::array<std::string_view, 5> AudioLadder;
  std::string_view VideoCodecCell;
  std::string_view VideoBitrateCell;
  std::string_view FrameSizeCell;
  std::string_view FrameRateCell;
  std::string_view AudioCodecCell;
  std::string_view AudioBitrateCell;
  std::string_view SampleRateCell;
  int RowNumber;
};

inline constexpr int kProfileCount = 47;
extern const std::array<Quality, kProfileCount> ProfileTable;

// The first row whose DisplayName equals AName exactly, or nullptr.
const Quality* FindProfile(std::string_view AName);

// The 61 entries of the output-format list, headers and separators included.
const std::vector<std::string>& OutputFormatEntries();
// Fills the list with OutputFormatEntries and selects entry 3, "3G2 - Mobile Video Format (*.3g2)".
void FillOutputFormat(TDropDown& AList);
inline constexpr int kInitialFormatEntry = 3;
// "3GP - Mobile Video Format (*.3gp)", the format of a first run.
inline constexpr int kDefaultFormatEntry = 2;

// Headers and separators contain two consecutive blanks or "---".
bool IsSelectableFormatEntry(std::string_view AText);

}  // namespace strella::app
