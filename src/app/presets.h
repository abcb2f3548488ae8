// Presets: a batch's choices kept in a JSON file, the profile by its key and
// every choice by its value, so that a preset means the same conversion
// wherever it is loaded (the command line, the window, another machine).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "app/job_settings.h"

namespace strella::app {

class TSettingsModel;
struct TPreferences;

// Why a preset cannot be used, with the line of the file it concerns (0: the file as a whole).
class TPresetError : public std::runtime_error {
 public:
  TPresetError(const std::string& AReason, int ALine) : std::runtime_error(AReason), Line(ALine) {}
  int Line;
};

// The preset's text for these settings.
std::string PresetText(const JobSettings& ASettings);
// The settings a preset's text holds, each checked against what its profile
// offers; throws TPresetError for text that is not JSON, an unknown profile,
// or a choice the profile lacks.
JobSettings ParsePreset(const std::string& AText);

// Reads and parses a preset file; the reason names the file and its line.
JobSettings ReadPresetFile(const std::string& AFileName);
// Writes a preset file whole or not at all (a temporary file renamed over
// the name); empty, or the system's reason.
std::string WritePresetFile(const std::string& AFileName, const JobSettings& ASettings);

// Selects the preset's profile and choices in the lists, as a user would pick them.
void ApplyJobSettings(const JobSettings& ASettings, TSettingsModel& AModel, TPreferences& APrefs);

// $XDG_CONFIG_HOME/Quorvex/Strella Video Converter/presets, and the presets found there, sorted by name.
std::string PresetFolder();
struct TPresetEntry {
  std::string Name;      // the file's name without ".json"
  std::string FileName;  // full path
};
std::vector<TPresetEntry> ListPresets();

}  // namespace strella::app
