// How far a row of the file list has come. Each state has one display text,
// which the Progress column shows and the kept file list stores, and one
// stable name for files that should not depend on the display.
#pragma once

#include <optional>
#include <string>

namespace strella::app {

enum class TRowStatus {
  Waiting,      // not converted yet: no text
  Converting,   // the Progress column shows the percentage instead
  Done,         // "Done": converted, real data written
  Failed,       // "Fail": the conversion failed while it ran
  SetUpFailed,  // "Failed": the job could not be set up, so it never started
  Aborted,      // "Abort": stopped by the user or a signal
  Unreadable,   // "Error": the file could not be opened when it was added
  Skipped,      // "Skipped": the command line found its complete output already there
  Stopped,      // "Stopped": the program ended while the row converted
};

// The text the Progress column shows; empty for Waiting and Converting.
const std::string& RowStatusText(TRowStatus AStatus);
// The state a display text stands for; nothing for other text (a percentage, say).
std::optional<TRowStatus> RowStatusFromText(const std::string& AText);

// A lower-case name that never changes ("done", "setup-failed"), and back.
const std::string& RowStatusName(TRowStatus AStatus);
std::optional<TRowStatus> RowStatusFromName(const std::string& AName);

// The conversion of the row ran and came to an end, one way or another.
bool RowEnded(TRowStatus AStatus);
// The row could not be converted ("Fail" or "Failed").
bool RowFailed(TRowStatus AStatus);

}  // namespace strella::app
