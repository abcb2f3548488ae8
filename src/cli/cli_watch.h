// A watched folder: media files that arrive in it (or below it) are converted
// once they are complete, into the same subfolders of the output folder,
// until a stop signal ends the run.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

#include "cli/cli_batch.h"

namespace strella::cli {

struct TWatchOptions {
  std::string folder;
  // A file whose size and time have not changed for this long is complete.
  std::chrono::milliseconds settle{2000};
  std::chrono::milliseconds scanInterval{1000};
};

// Runs until a stop is asked for; outputs that exist and are complete are
// skipped, so a restart converts nothing twice. A file that failed is tried
// again only once it changes. Returns 0, or 1 when the folder cannot be read.
int WatchFolder(const TWatchOptions& AWatch, app::TSettingsModel& AModel, app::TPreferences& APrefs,
                app::TConverter& AConverter, std::ostream& AOut, TBatchOptions ABatch);

}  // namespace strella::cli
