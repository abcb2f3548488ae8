// strella-cli's options and how they become the settings of the batch: each
// choice is checked against what the chosen profile offers.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/settings_model.h"

namespace CLI {
class App;
}

namespace strella::cli {

struct TCliOptions {
  std::vector<std::string> files;
  std::string outputFolder;
  std::string profile;
  std::string videoQuality;
  std::string audioQuality;
  std::string videoCodec;
  std::string videoBitrate;
  std::string size;
  std::string frameRate;
  std::string audioCodec;
  std::string audioBitrate;
  std::string sampleRate;
  std::string channels;
  std::string letterbox;
  std::string aspect;
  std::optional<int> volume;
  std::optional<int> loudness;  // LUFS
  bool overwrite = false;
  bool listProfiles = false;
  bool probe = false;
  int jobs = 1;
  std::string shard;  // "K/N"
  std::string shardBy = "count";
  std::string report;
  bool skipExisting = false;
  bool noVerify = false;  // outputs take their names without being read back
  std::string watch;  // a folder converted as files arrive, until stopped
  bool verbose = false;
  std::string logLevel = "info";
  std::string preset;      // a preset file to start from
  std::string savePreset;  // where to save the choices as a preset, then end
};

void AddOptions(CLI::App& AApp, TCliOptions& AOptions);

// The index of the item AGiven names: its text as the list shows it (letter
// case aside) or its number alone ("1200" for "1200 Kbps"); -1 when none.
int MatchChoice(const app::TDropDown& AList, const std::string& AGiven);

// Applies the options to the settings the way a user would pick them.
// Returns an empty text, or the message for the first option that does not fit.
std::string ApplyOptions(const TCliOptions& AOptions, app::TSettingsModel& AModel, app::TPreferences& APrefs);

// A list the job reads a number from must have a selection, and a chosen
// codec must have its encoder, or every row would fail: the message naming
// the options that choose one (or the missing encoder), or empty.
std::string CheckJobReady(const app::TSettingsModel& AModel);

// Makes sure the output folder exists, creating it with its parents; the
// message when it cannot be made or names something else, or empty.
std::string PrepareOutputFolder(const std::string& AFolder);

// Writes the choices as a preset file: 0, or 1 (a file that cannot be
// written) or 2 (choices that make no job) with the reason on the error output.
int SavePreset(const std::string& AFileName, const app::TSettingsModel& AModel, const app::TPreferences& APrefs);

// Every profile with its choices; "*" marks the preselected one.
void ListProfiles(std::ostream& AOut);

}  // namespace strella::cli
