// What the window and the command line say about a batch: the end notice's
// counts, the status line of the running row and the batch's percentage
// weighted by duration.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/file_list.h"

namespace strella::app {

// Rows of the batch by how they ended.
struct TBatchCounts {
  int Converted = 0;  // Done
  int Failed = 0;     // Failed, SetUpFailed
  int Stopped = 0;    // Aborted
  int NotRun = 0;     // checked rows a stopped batch did not reach
};
TBatchCounts CountResults(const TFileList& AList);

// "All converting jobs completed." when every row converted, else the counts:
// "5 converted, 2 failed.", "3 converted, 1 stopped, 2 not run.".
std::string BatchEndText(const TBatchCounts& ACounts);

// "Converting 2 of 7: clip.mp4".
std::string ConvertingText(int ANumber, int ATotal, const std::string& AFileName);

// "hh:mm:ss" (hours of any length) in milliseconds; nothing for other text.
std::optional<int64_t> ParseHMS(const std::string& AText);

// One row of a batch: its duration (nothing when unknown) and how far it has come.
struct TBatchShare {
  std::optional<int64_t> DurationMS;
  int Percent = 0;  // 0 to 100
};
// The batch's progress, 0 to 100, each row weighing with its duration; a row
// of unknown duration weighs as much as the mean known one (all alike when
// none is known).
int BatchPercent(const std::vector<TBatchShare>& AShares);

}  // namespace strella::app
