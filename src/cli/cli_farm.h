// What spreads a batch over several processes or machines: a deterministic
// share of the file list, rows skipped when their output exists, and a JSON
// report per row that a scheduler's jobs can leave side by side.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/file_list.h"

namespace strella::cli {

struct TShard {
  int Index = 1;  // 1 to Count
  int Count = 1;
  bool BySize = false;  // parts of about equal total size rather than of equal count
};

// "K/N" with 1 <= K <= N; nothing for any other text.
std::optional<TShard> ParseShard(const std::string& AText);

// The K-th of N parts of the files (named, or found in folders), each given as
// its full path and the part in path order. By count: sorted by full path,
// every N-th from the K-th on. By size: the largest file first, each to the
// part that holds the least so far (the lowest K of equals), sizes from stat.
// Every file falls in exactly one part whatever order the files were given in.
std::vector<app::TFileToAdd> SelectShard(const std::vector<app::TFileToAdd>& AFiles, const TShard& AShard);

// What the report says of a row beyond the file list.
struct TRowRun {
  bool Skipped = false;    // its output existed (--skip-existing)
  double Seconds = 0;      // wall time from taking the row to its end
};

// One JSON object per line and row: input, output, status, message, notes,
// duration, output_size, seconds, verified (the output was read back in full)
// and, when it was, stream_durations.
void WriteReport(std::ostream& AOut, const app::TFileList& AList, const std::vector<TRowRun>& ARuns);
// Why AFileName cannot take the report of a batch reading AInputs and writing
// AOutputs; empty when it can. A report is never one of the batch's files, a
// device, pipe or folder, nor an existing file that is not a report.
std::string ReportFileProblem(const std::string& AFileName, const std::vector<std::string>& AInputs,
                              const std::vector<std::string>& AOutputs);
// The report written into a new hidden file beside AFileName (created
// exclusively, never through a link), flushed to the disk and renamed onto
// AFileName; false with AError and the system's reason.
bool WriteReportFile(const std::string& AFileName, const app::TFileList& AList, const std::vector<TRowRun>& ARuns,
                     std::string& AError);

}  // namespace strella::cli
