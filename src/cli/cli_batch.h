// The batch without a window: adds the files, runs the queue on a 100 ms tick,
// shows a progress line for the running row and a table of every row at the end.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/converter.h"
#include "app/settings_model.h"

namespace strella::cli {

// Prints the file list's columns for each file; 0 when every file could be read.
int ProbeFiles(const std::vector<std::string>& AFiles, const std::string& AFormatKey, std::ostream& AOut);

// Converts the files; 0 only when every checked row ends "Done". With
// AVerboseLog every line the jobs log is written there as it comes.
int RunBatch(const std::vector<std::string>& AFiles, app::TSettingsModel& AModel, app::TPreferences& APrefs,
             app::TConverter& AConverter, std::ostream& AOut, std::ostream* AVerboseLog = nullptr);

// Asks a running batch to stop as the window's Stop answered Yes (from a
// signal handler); ASignal is the signal that asked, 0 for none.
void RequestStop(int ASignal = 0);
// The signal that stopped the batch, 0 when none did.
int StopSignal();

}  // namespace strella::cli
