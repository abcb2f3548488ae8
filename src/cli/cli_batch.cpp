#include "cli/cli_batch.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <optional>
#include <set>

#include "app/batch_queue.h"
#include "app/file_list.h"
#include "app/output_plan.h"
#include "app/job_builder.h"
#include "cli/cli_farm.h"
#include "media/main_thread.h"
#include "media/text_helpers.h"

namespace strella::cli {

namespace {

std::atomic<bool> stop_requested{false};
std::atomic<int> stop_signal{0};
std::atomic<int> stop_requests{0};
std::atomic<bool> stop_finished{false};  // the stopped jobs' partial files are gone
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

using std::chrono::milliseconds;

void AddAndWait(app::TFileList& list, const std::vector<std::string>& files, const std::string& formatKey) {
  list.AddFiles(files, app::CreateMediaProbe(), [formatKey] { return formatKey; });
  media::WaitServingMainThread([&] { return !list.AddingFiles(); });
  list.WaitForAdding();
}

// What the user should know of a row's conversion, one line each.
void PrintNotes(std::ostream& out, const app::TFileRow& row, const std::string& indent = "    ") {
  for (const std::string& note : row.Notes) out << indent << "note: " << note << "\n";
}

std::string Cell(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

// Messages go to the terminal; the live line is redrawn in place on a terminal only.
// Each row's end gets a line of its own; each row's time is taken from its start to its end.
class TConsoleView : public app::TBatchView {
 public:
  TConsoleView(std::ostream& out, const app::TFileList& list) : out_(out), list_(list), live_(::isatty(1)) {}

  void ShowInformation(const std::string& AText) override {
    EndLine();
    out_ << AText << "\n";
  }
  void SetStatusText(const std::string& AText) override { status_ = AText; }
  void FocusRow(int ARow) override {
    if (ARow < 0) return;
    if (started_.size() <= static_cast<size_t>(ARow)) started_.resize(static_cast<size_t>(ARow) + 1);
    if (!started_[static_cast<size_t>(ARow)]) started_[static_cast<size_t>(ARow)] = Clock::now();
  }
  void TickSoon() override { tick_requested_ = true; }
  // True once after each TickSoon.
  bool TakeTickRequest() { return tick_requested_.exchange(false); }

  void RowChanged(int ARow, const app::TBatchQueue& AQueue, std::vector<TRowRun>& ARuns) {
    if (ARow < 0 || ARow >= list_.Count()) return;
    const app::TFileRow& row = list_.Row(ARow);
    const std::string progress = app::ColumnText(row, app::fcProgress);
    const bool ended = app::RowEnded(row.Status);
    if (!ended && !(live_ && AQueue.IsRunning(ARow))) return;
    if (ended) {
      if (ended_.count(ARow)) return;
      ended_.insert(ARow);
      if (static_cast<size_t>(ARow) < started_.size() && started_[static_cast<size_t>(ARow)])
        ARuns.at(static_cast<size_t>(ARow)).Seconds =
            std::chrono::duration<double>(Clock::now() - *started_[static_cast<size_t>(ARow)]).count();
    }
    const std::string line = media::Format("[%d] %s  %s  %s  frames %s  %s", ARow, media::ExtractFileName(row.Caption).c_str(),
                                           progress.c_str(), row.Columns[app::fcTimeRemaining].c_str(),
                                           row.Columns[app::fcFrames].c_str(), ended ? "" : status_.c_str());
    if (live_) {
      out_ << "\r\033[K" << line << std::flush;
      open_ = !ended;
      if (ended) out_ << "\n";
    } else {
      out_ << line << "\n";
    }
    if (ended) PrintNotes(out_, row);
  }
  void EndLine() {
    if (open_) out_ << "\n";
    open_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& out_;
  const app::TFileList& list_;
  bool live_;
  bool open_ = false;
  std::set<int> ended_;  // rows whose end was shown
  std::vector<std::optional<Clock::time_point>> started_;
  std::atomic<bool> tick_requested_{false};
  std::string status_;
};

void PrintTable(std::ostream& out, const app::TFileList& list, const std::vector<TRowRun>& runs) {
  const std::string indent(13, ' ');
  out << "\n" << Cell("Row", 5) << Cell("Status", 8) << "File\n";
  for (int i = 0; i < list.Count(); ++i) {
    const app::TFileRow& row = list.Row(i);
    std::string status = app::ColumnText(row, app::fcProgress);
    if (!row.Checked)
      status = runs.at(static_cast<size_t>(i)).Skipped ? app::RowStatusText(app::TRowStatus::Skipped) : "-";
    out << Cell(std::to_string(i), 5) << Cell(status.empty() ? "(not run)" : status, 8) << row.Caption;
    if (row.Checked && row.Status == app::TRowStatus::Done) out << " -> " << row.OutputFile;
    if (!row.Message.empty()) out << "\n" << indent << row.Message;
    out << "\n";
    PrintNotes(out, row, indent);
  }
}

// True when AOutput opens as media and lasts as long as AInput, within a second:
// a file cut short by a killed run or a full disk is no finished output.
bool IsCompleteOutput(const std::string& AInput, const std::string& AOutput, std::string& AWhyNot) {
  const std::unique_ptr<app::TFileProbe> probe = app::CreateMediaProbe();
  app::TProbeResult input, output;
  if (!probe->Probe(AOutput, output)) {
    AWhyNot = "cannot be read" + (output.Error.empty() ? std::string() : ": " + output.Error);
    return false;
  }
  // Read to the end: a header (an MP3's frame count, say) still claims the length a cut file had.
  const int64_t lasts = app::MeasureMediaDurationUS(AOutput);
  if (lasts <= 0) {
    AWhyNot = "holds no audio or video data";
    return false;
  }
  if (!probe->Probe(AInput, input) || input.DurationUS < 0) return true;
  if (std::llabs(lasts - input.DurationUS) > 1000000) {
    AWhyNot = media::Format("lasts %.1f s of the input's %.1f s", lasts / 1e6, input.DurationUS / 1e6);
    return false;
  }
  return true;
}

// Unchecks the rows whose complete output exists already; they are reported as skipped.
void SkipExisting(app::TFileList& list, const app::TSettingsModel& model, const app::TPreferences& prefs,
                  std::vector<TRowRun>& runs, std::ostream& out) {
  for (int i = 0; i < list.Count(); ++i) {
    const std::string output =
        app::OutputFileFor(list.Row(i).Caption, app::OutputFolderOf(prefs.OutputFolder, list.Row(i).OutputSubfolder),
                           model.CurrentFormatKey, /*AOverwrite=*/true);
    if (!list.Row(i).Checked || ::access(output.c_str(), F_OK) != 0) continue;
    std::string whyNot;
    if (!IsCompleteOutput(list.Row(i).Caption, output, whyNot)) {
      out << "note: the existing output \"" << output << "\" " << whyNot << "; " << list.Row(i).Caption
          << " is converted again\n";
      continue;
    }
    list.SetChecked(i, false);
    list.SetResult(i, output, "");
    runs.at(static_cast<size_t>(i)).Skipped = true;
  }
}

bool AllCheckedDone(const app::TFileList& list) {
  for (const app::TFileRow& row : list.Rows()) {
    if (row.Checked && row.Status != app::TRowStatus::Done) return false;
  }
  return true;
}

}  // namespace

bool RequestStop(int ASignal) {
  if (ASignal != 0 && stop_signal == 0) stop_signal = ASignal;
  stop_requested = true;
  return ++stop_requests >= 3 && stop_finished;
}

int StopSignal() { return stop_signal; }

bool StopRequested() { return stop_requested; }

int ProbeFiles(const std::vector<std::string>& AFiles, const std::string& AFormatKey, std::ostream& AOut) {
  app::TFileList list;
  AddAndWait(list, AFiles, AFormatKey);
  AOut << Cell("Size", 12) << Cell("Duration", 11) << Cell("Output", 8) << Cell("Progress", 10) << "Video Files\n";
  bool allRead = true;
  for (const app::TFileRow& row : list.Rows()) {
    const auto& col = row.Columns;
    AOut << Cell(col[app::fcSize] == " " ? "(no video)" : col[app::fcSize], 12) << Cell(col[app::fcDuration], 11)
         << Cell(col[app::fcOutput], 8) << Cell(app::ColumnText(row, app::fcProgress), 10) << row.Caption << "\n";
    allRead = allRead && row.Status != app::TRowStatus::Unreadable;
  }
  return allRead ? 0 : 1;
}

int RunBatch(const std::vector<app::TFileToAdd>& AFiles, app::TSettingsModel& AModel, app::TPreferences& APrefs,
             app::TConverter& AConverter, std::ostream& AOut, const TBatchOptions& AOptions) {
  if (!AOptions.keepStopRequest) {
    stop_requested = false;
    stop_signal = 0;
    stop_requests = 0;
  }
  stop_finished = false;
  app::TFileList list;
  TConsoleView view(AOut, list);
  app::TBatchQueue queue(list, AModel, APrefs, AConverter, view);
  queue.MakeConverter = AOptions.makeConverter;
  if (AOptions.verboseLog)
    queue.JobLog.OnLine = [&](const app::TJobLogLine& ALine) {
      view.EndLine();
      *AOptions.verboseLog << app::FormatJobLogLine(ALine) << "\n" << std::flush;
    };
  list.OnAddingFinished = [&](int, int ASkipped) {
    if (ASkipped > 0) AOut << "note: " << ASkipped << " files in the folders given cannot be read as media; left out\n";
  };
  queue.AddVideo(AFiles, app::CreateMediaProbe());
  media::WaitServingMainThread([&] { return !list.AddingFiles(); });
  list.WaitForAdding();
  std::vector<TRowRun> runs(static_cast<size_t>(list.Count()));
  if (AOptions.skipExisting) SkipExisting(list, AModel, APrefs, runs, AOut);
  list.OnChanged = [&](int row) { view.RowChanged(row, queue, runs); };
  const bool anything = list.AnyChecked() || !AOptions.skipExisting;
  if (!anything) AOut << "Nothing to convert: every output exists.\n";
  if (anything && !queue.ConvertNow()) return 2;
  while (queue.Running()) {
    if (stop_requested && queue.Busy) queue.Stop();
    if (stop_requested) break;
    queue.Tick();
    if (!queue.Running()) break;
    // A job's end asks for the next tick at once, so the next row starts without waiting.
    media::WaitServingMainThread([&] { return stop_requested.load() || view.TakeTickRequest(); }, milliseconds(100));
  }
  // The stopped jobs' end notices and last log lines are waiting in the inbox.
  media::ProcessThreadMessages();
  stop_finished = true;
  view.EndLine();
  // A finished batch said its summary; a stopped one says it here.
  if (queue.StoppedByUser || stop_requested) AOut << app::BatchSummary(list) << "\n";
  PrintTable(AOut, list, runs);
  int status = AllCheckedDone(list) ? 0 : 1;
  if (!AOptions.reportFile.empty()) {
    std::string error;
    if (!WriteReportFile(AOptions.reportFile, list, runs, error)) {
      AOut << error << "\n";
      status = 1;
    }
  }
  return status;
}

}  // namespace strella::cli
