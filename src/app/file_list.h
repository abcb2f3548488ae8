// The batch list: one row per input file with its check box and six columns.
// Rows change on the main thread only; the worker that adds files posts each
// new row to it and never waits.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/media_files.h"
#include "app/row_status.h"
#include "engine/verify_output.h"
#include "media/probe.h"
#include "media/main_thread.h"

namespace strella::app {

enum TFileColumn { fcSize, fcDuration, fcOutput, fcTimeRemaining, fcProgress, fcFrames };

// What the list knows of a media file from its probe.
struct TProbeResult {
  bool HasVideo = false;
  int Width = 0;
  int Height = 0;
  int64_t DurationUS = -1;  // -1 when unknown
  bool CoverArt = false;    // the video stream is an attached picture
  int SampleAspectNum = 0, SampleAspectDen = 1;  // 0 when unknown (square pixels assumed)
  int FrameRateNum = 0, FrameRateDen = 1;        // the average rate; 0 when unknown
  bool VariableFrameRate = false;                // pictures at irregular times: the average parts from the base rate
  int64_t FileSizeBytes = -1;                    // -1 when unknown
  int VideoStreams = 0, AudioStreams = 0, SubtitleStreams = 0;
  // Every stream with its language, title and default mark; empty for a row
  // restored from a list that did not keep them (the engine then chooses).
  std::vector<media::TTrackInfo> Tracks;
  std::string Error;        // why the file could not be opened

  // A duration under a whole second counts as unknown, as the Duration column
  // shows it ("00:00:00").
  bool DurationKnown() const { return DurationUS >= 1000000; }
};

struct TFileRow {
  std::string Caption;  // the input file's full path
  bool Checked = true;
  // The display texts, indexed by TFileColumn. The Progress entry is not kept
  // here: ColumnText makes it from Status and Percent.
  std::array<std::string, 6> Columns;
  std::string OutputFile;  // where the last conversion of the row went
  std::string Message;     // why the last conversion of the row failed
  // What the user should know of the last conversion although it may have
  // succeeded: substitutions, warnings, renamed outputs. Kept until the row's next run.
  std::vector<std::string> Notes;
  TRowStatus Status = TRowStatus::Waiting;
  int Percent = 0;  // how far a Converting row has come, 0 to 100
  // The probe's result when the row was added (or what a restored row's
  // columns tell of it).
  TProbeResult Probe;
  // Below the output folder: where the file lay below a folder the user added,
  // when the folder structure is kept ("" otherwise).
  std::string OutputSubfolder;
  // What reading the last conversion's output back found; empty when it was not verified.
  std::optional<engine::TVerifiedOutput> Verified;
};

// The text of a column: the Progress column shows the status's text, or the
// percentage while the row converts.
std::string ColumnText(const TFileRow& ARow, TFileColumn AColumn);
// A message with its reason first, so a narrow column shows it: one that
// starts with the file's path ("/long/path/a.mp4: reason") becomes
// "reason — a.mp4"; any other stays as it is.
std::string ReasonFirst(const std::string& AMessage, const std::string& AFileName);
// The Size column's text: "WxH", or a blank when the file has no video.
std::string FrameSizeText(const TProbeResult& AProbe);
// What the Size ("WxH", a blank without video) and Duration ("hh:mm:ss")
// texts tell of a file: all that a file list kept by an older release holds.
TProbeResult ProbeFromColumns(const std::array<std::string, 6>& AColumns);

class TFileProbe {
 public:
  virtual ~TFileProbe() = default;
  // False when the file cannot be opened as media.
  virtual bool Probe(const std::string& AFileName, TProbeResult& AResult) = 0;
};

// Why AFileName cannot be an input ("is a named pipe", "is a folder"), or
// empty: only regular files (and links to them) are read. A missing file is
// left to the probe, which names it so.
std::string InputRefusal(const std::string& AFileName);

// The probe of the media layer.
std::unique_ptr<TFileProbe> CreateMediaProbe();
// How long AFileName really lasts, read to its end (microseconds); -1 when it
// cannot be opened or holds no timed packet.
int64_t MeasureMediaDurationUS(const std::string& AFileName);

// The open dialog's filter entries, "All Supported Files" first. The blanks
// inside the pattern lists are part of the text.
struct TFileFilter {
  const char* Description;
  const char* Patterns;
};
extern const std::array<TFileFilter, 23> kOpenDialogFilters;
// The entries joined as description "|" patterns "|", one after another.
std::string OpenDialogFilter();

// Hours, minutes and seconds of at least two digits each.
std::string FormatHMS(char ASeparator, double ASeconds);
// The columns of a newly added row; an unreadable file is Unreadable ("Error").
TFileRow MakeFileRow(const std::string& AFileName, bool AOpened, const TProbeResult& AProbe,
                     const std::string& AFormatKey);

// The log tag of the thread that adds files: what it logs (files skipped or
// unreadable, the libraries' complaints about them) belongs to no row yet but
// is kept in the batch's log.
inline constexpr int64_t kAddingFilesLogTag = -2;

class TFileList;

// Takes out of AFiles those the list holds already and second mentions among
// them (the same file under another name counts as the same); returns how many.
int DropListedFiles(std::vector<TFileToAdd>& AFiles, const TFileList& AList);

class TFileList {
 public:
  TFileList() = default;
  ~TFileList();
  TFileList(const TFileList&) = delete;
  TFileList& operator=(const TFileList&) = delete;

  int Count() const { return static_cast<int>(rows_.size()); }
  const TFileRow& Row(int AIndex) const { return rows_.at(static_cast<size_t>(AIndex)); }
  const std::vector<TFileRow>& Rows() const { return rows_; }

  void Append(TFileRow ARow);
  // Appends many rows with one change for the whole list.
  void AppendRows(std::vector<TFileRow> ARows);
  void Remove(int AIndex);
  void Clear();
  void SetChecked(int AIndex, bool AChecked);
  void CheckAll(bool AChecked);
  // Any column but Progress, which SetStatus and SetProgress set.
  void SetColumn(int AIndex, TFileColumn AColumn, const std::string& AText);
  void SetStatus(int AIndex, TRowStatus AStatus);
  // The row converts and has come APercent (0 to 100) of the way.
  void SetProgress(int AIndex, int APercent);
  void SetResult(int AIndex, const std::string& AOutputFile, const std::string& AMessage);
  void SetVerified(int AIndex, std::optional<engine::TVerifiedOutput> AVerified);
  // Adds a note to the row unless it already holds the same text.
  void AddNote(int AIndex, const std::string& ANote);
  void ClearNotes(int AIndex);
  std::string Column(int AIndex, TFileColumn AColumn) const { return ColumnText(Row(AIndex), AColumn); }
  // Clears the given columns of every row AWhich picks (all without it;
  // Progress: back to Waiting); an unreadable file stays Unreadable.
  void ClearColumns(std::initializer_list<TFileColumn> AColumns,
                    const std::function<bool(const TFileRow&)>& AWhich = nullptr);
  // Writes the format key into every row's Output column.
  void SetOutputColumn(const std::string& AFormatKey);
  bool AnyChecked() const;

  // The user selected a row; ignored while a batch runs (ABusy).
  void Select(int AIndex, bool ABusy);
  int SelectedRow = -1;
  std::string PreviewFile;  // the selected row's caption

  // Probes the files on a worker thread and appends a checked row for each,
  // in order. Does nothing (false) while an earlier call still adds files.
  // AFormatKey is asked on the main thread for each row, so a profile change
  // during the run reaches the later rows.
  bool AddFiles(std::vector<std::string> AFiles, std::unique_ptr<TFileProbe> AProbe,
                std::function<std::string()> AFormatKey);
  // The same for files named or found in folders: a file found in a folder
  // that cannot be read is skipped instead of listed.
  bool AddFiles(std::vector<TFileToAdd> AFiles, std::unique_ptr<TFileProbe> AProbe,
                std::function<std::string()> AFormatKey);
  // True from AddFiles until the main thread has taken the run's last row.
  bool AddingFiles() const { return adding_; }
  // Waits for the worker's end; rows it posted are added when the main thread drains its inbox.
  void WaitForAdding();

  // Called on the main thread after any change (-1: the rows as a whole).
  std::function<void(int)> OnChanged;
  // Called on the main thread when a run of AddFiles has ended: rows added,
  // files of folders skipped because they could not be read.
  std::function<void(int AAdded, int ASkipped)> OnAddingFinished;

 private:
  void Changed(int AIndex);
  void RunAddFiles(std::vector<TFileToAdd> files, std::unique_ptr<TFileProbe> probe,
                   std::function<std::string()> formatKey);

  std::vector<TFileRow> rows_;
  std::atomic<bool> adding_{false};
  std::atomic<bool> cancelled_{false};  // the list is going: the worker stops at the next file
  std::thread worker_;
  media::TMainThreadMailbox mailbox_;
};

}  // namespace strella::app
