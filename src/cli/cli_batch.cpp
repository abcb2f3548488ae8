#include "cli/cli_batch.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include "app/batch_queue.h"
#include "app/file_list.h"
#include "media/main_thread.h"
#include "media/text_helpers.h"

namespace strella::cli {

namespace {

std::atomic<bool> stop_requested{false};
std::atomic<int> stop_signal{0};
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
class TConsoleView : public app::TBatchView {
 public:
  TConsoleView(std::ostream& out, const app::TFileList& list) : out_(out), list_(list), live_(::isatty(1)) {}

  void ShowInformation(const std::string& AText) override {
    EndLine();
    out_ << AText << "\n";
  }
  void SetStatusText(const std::string& AText) override { status_ = AText; }
  void RowChanged(int ARow, int ACurrentRow) {
    if (ARow != ACurrentRow || ARow < 0 || ARow >= list_.Count()) return;
    const app::TFileRow& row = list_.Row(ARow);
    const std::string& progress = row.Columns[app::fcProgress];
    const bool ended = progress == "Done" || progress == "Fail" || progress == "Abort" || progress == "Failed";
    if ((!live_ && !ended) || (ended && ARow == ended_row_)) return;
    if (ended) ended_row_ = ARow;
    const std::string line = media::Format("[%d] %s  %s  %s  frames %s  %s", ARow, media::ExtractFileName(row.Caption).c_str(),
                                           progress.c_str(), row.Columns[app::fcTimeRemaining].c_str(),
                                           row.Columns[app::fcFrames].c_str(), status_.c_str());
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
  std::ostream& out_;
  const app::TFileList& list_;
  bool live_;
  bool open_ = false;
  int ended_row_ = -1;  // the row whose end was shown last
  std::string status_;
};

void PrintTable(std::ostream& out, const app::TFileList& list) {
  const std::string indent(13, ' ');
  out << "\n" << Cell("Row", 5) << Cell("Status", 8) << "File\n";
  for (int i = 0; i < list.Count(); ++i) {
    const app::TFileRow& row = list.Row(i);
    std::string status = row.Columns[app::fcProgress];
    if (!row.Checked) status = "-";
    out << Cell(std::to_string(i), 5) << Cell(status.empty() ? "(not run)" : status, 8) << row.Caption;
    if (status == "Done") out << " -> " << row.OutputFile;
    if (!row.Message.empty()) out << "\n" << indent << row.Message;
    out << "\n";
    PrintNotes(out, row, indent);
  }
}

bool AllCheckedDone(const app::TFileList& list) {
  for (const app::TFileRow& row : list.Rows()) {
    if (row.Checked && row.Columns[app::fcProgress] != "Done") return false;
  }
  return true;
}

}  // namespace

void RequestStop(int ASignal) {
  if (ASignal != 0) stop_signal = ASignal;
  stop_requested = true;
}

int StopSignal() { return stop_signal; }

int ProbeFiles(const std::vector<std::string>& AFiles, const std::string& AFormatKey, std::ostream& AOut) {
  app::TFileList list;
  AddAndWait(list, AFiles, AFormatKey);
  AOut << Cell("Size", 12) << Cell("Duration", 11) << Cell("Output", 8) << Cell("Progress", 10) << "Video Files\n";
  bool allRead = true;
  for (const app::TFileRow& row : list.Rows()) {
    const auto& col = row.Columns;
    AOut << Cell(col[app::fcSize] == " " ? "(no video)" : col[app::fcSize], 12) << Cell(col[app::fcDuration], 11)
         << Cell(col[app::fcOutput], 8) << Cell(col[app::fcProgress], 10) << row.Caption << "\n";
    allRead = allRead && col[app::fcProgress] != "Error";
  }
  return allRead ? 0 : 1;
}

int RunBatch(const std::vector<std::string>& AFiles, app::TSettingsModel& AModel, app::TPreferences& APrefs,
             app::TConverter& AConverter, std::ostream& AOut, std::ostream* AVerboseLog) {
  stop_requested = false;
  stop_signal = 0;
  app::TFileList list;
  TConsoleView view(AOut, list);
  app::TBatchQueue queue(list, AModel, APrefs, AConverter, view);
  if (AVerboseLog)
    queue.JobLog.OnLine = [&](const app::TJobLogLine& ALine) {
      view.EndLine();
      *AVerboseLog << app::FormatJobLogLine(ALine) << "\n" << std::flush;
    };
  queue.AddVideo(AFiles, app::CreateMediaProbe());
  media::WaitServingMainThread([&] { return !list.AddingFiles(); });
  list.WaitForAdding();
  list.OnChanged = [&](int row) { view.RowChanged(row, queue.CurrentRow); };
  if (!queue.ConvertNow()) return 2;
  while (queue.Running()) {
    if (stop_requested && queue.Busy) queue.Stop();
    if (stop_requested) break;
    queue.Tick();
    media::WaitServingMainThread([] { return stop_requested.load(); }, milliseconds(100));
  }
  // A stopped job's end may still be on its way.
  media::WaitServingMainThread([] { return false; }, milliseconds(200));
  view.EndLine();
  // A finished batch said its summary; a stopped one says it here.
  if (queue.StoppedByUser || stop_requested) AOut << app::BatchSummary(list) << "\n";
  PrintTable(AOut, list);
  return AllCheckedDone(list) ? 0 : 1;
}

}  // namespace strella::cli
