// The batch without a window: adds the files, runs the queue on a 100 ms tick,
// shows a progress line for the running row and a table of every row at the end.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/batch_queue.h"
#include "app/converter.h"
#include "app/settings_model.h"

namespace strella::cli {

// Prints the file list's columns for each file; 0 when every file could be read.
int ProbeFiles(const std::vector<std::string>& AFiles, const std::string& AFormatKey, std::ostream& AOut);

struct TBatchOptions {
  bool skipExisting = false;  // rows whose output exists are not converted
  std::string reportFile;     // a JSON line per row, when set
  // Converters for the slots beyond the first (APrefs.SimultaneousConversions).
  app::TConverterFactory makeConverter;
  // Every line the jobs log is written there as it comes, when set.
  std::ostream* verboseLog = nullptr;
  // A stop asked before the batch starts ends it at once (a watched folder's later batches).
  bool keepStopRequest = false;
};

// Converts the files, each output in the subfolder the file was found in; 0 only when every checked row ends "Done" (a skipped row counts as done).
int RunBatch(const std::vector<app::TFileToAdd>& AFiles, app::TSettingsModel& AModel, app::TPreferences& APrefs,
             app::TConverter& AConverter, std::ostream& AOut, const TBatchOptions& AOptions = {});

// Asks a running batch to stop as the window's Stop answered Yes (from a
// signal handler); ASignal is the signal that asked, 0 for none. True when
// the caller may end the program instead: a third request once the stop has
// removed the partial files.
bool RequestStop(int ASignal = 0);
// The signal that stopped the batch, 0 when none did.
int StopSignal();
// True once a stop has been asked for.
bool StopRequested();

}  // namespace strella::cli
