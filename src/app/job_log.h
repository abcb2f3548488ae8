// Every log line of a batch's jobs, kept per row: the engine's and the
// libraries' lines reach the log sink on the conversion threads; each thread
// carries the tag of the job it runs (media::TThreadLogTag) and each line the
// tag it was logged under, so a line finds its row. Warnings and worse also become the row's notes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "media/logger.h"

namespace strella::app {

struct TJobLogLine {
  int Row = -1;              // -1: a line of no job
  std::string FileName;      // the row's file name, without its folder
  int64_t TimeMS = 0;        // wall-clock time, milliseconds since the epoch
  media::TLogLevel Level = media::llInfo;
  std::string Text;
};

// "[12:04:31] clip.mp4: warning: text"
std::string FormatJobLogLine(const TJobLogLine& ALine);

class TJobLog {
 public:
  explicit TJobLog(TFileList& AList);
  ~TJobLog();
  TJobLog(const TJobLog&) = delete;
  TJobLog& operator=(const TJobLog&) = delete;

  // Takes the log sink's lines (one job log per process at a time).
  void Attach();
  void Detach();

  // The tag the threads of a row's job carry; 0 is no job.
  static int64_t TagOfRow(int ARow) { return ARow + 1; }
  // A new run of the row: its notes are cleared.
  void BeginRow(int ARow);
  // Adds a line of the batch's own about the row (its result); never a note.
  void Add(int ARow, media::TLogLevel ALevel, const std::string& AText);

  const std::vector<TJobLogLine>& Lines() const { return lines_; }
  std::vector<TJobLogLine> LinesOfRow(int ARow) const;
  void Clear();

  // Each new line, on the main thread (the command line's stream, the window's view).
  std::function<void(const TJobLogLine&)> OnLine;

 private:
  void Receive(int64_t ATag, media::TLogLevel ALevel, const std::string& AText);
  void Keep(int ARow, media::TLogLevel ALevel, const std::string& AText, bool ANote);

  TFileList& list_;
  bool attached_ = false;
  std::vector<TJobLogLine> lines_;
};

}  // namespace strella::app
