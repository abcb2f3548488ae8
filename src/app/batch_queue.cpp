#include "app/batch_queue.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "app/batch_summary.h"
#include "app/job_builder.h"
#include "app/output_file.h"
#include "app/output_plan.h"
#include "app/text_utils.h"
#include "media/logger.h"
#include "media/text_helpers.h"

namespace strella::app {

namespace {

// -1 when the file is gone or cannot be looked at.
int64_t FileSize(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

}  // namespace

std::optional<std::string> FormatRemaining(int64_t AMilliseconds) {
  if (AMilliseconds < 0 || AMilliseconds >= 24LL * 3600000) return std::nullopt;
  return media::Format("%lld:%02lld:%02lld", static_cast<long long>(AMilliseconds / 3600000),
                       static_cast<long long>(AMilliseconds % 3600000 / 60000),
                       static_cast<long long>(AMilliseconds % 60000 / 1000));
}

std::string BatchSummary(const TFileList& AList) { return BatchEndText(CountResults(AList)); }

TBatchQueue::TBatchQueue(TFileList& AList, TSettingsModel& ASettings, TPreferences& APrefs,
                         TConverter& AConverter, TBatchView& AView)
    : JobLog(AList), list_(AList), settings_(ASettings), prefs_(APrefs), view_(AView) {
  JobLog.Attach();
  slots_.push_back(std::make_unique<TSlot>());
  slots_[0]->converter = &AConverter;
  BindSlot(*slots_[0]);
}

TBatchQueue::~TBatchQueue() {
  // The further slots' converters go with the queue: their jobs end first,
  // while the queue can still take their end notices.
  for (size_t i = 1; i < slots_.size(); ++i) {
    slots_[i]->converter->StopTasks(true);
    slots_[i]->converter->ClearTasks();
  }
  for (auto& slot : slots_) {
    slot->converter->OnProgress = nullptr;
    slot->converter->OnTerminate = nullptr;
    slot->converter->OnPreviewBitmap = nullptr;
    ReleaseOutput(*slot);
  }
}

void TBatchQueue::BindSlot(TSlot& ASlot) {
  ASlot.converter->OnProgress = [this, &ASlot](int, int AFrameNumber, int, int ACurrentDuration, float, float,
                                              int64_t ACurrentSize, int ATotalOutputDuration) {
    SlotProgress(ASlot, AFrameNumber, ACurrentDuration, ACurrentSize, ATotalOutputDuration);
  };
  ASlot.converter->OnTerminate = [this, &ASlot](int AIndex, bool AFinished, bool AException,
                                               const std::string& AMessage) {
    SlotTerminate(ASlot, AIndex, AFinished, AException, AMessage);
  };
}

// Slots up to the preferred number; a converter that cannot be made leaves fewer, said in the log.
void TBatchQueue::MakeSlots() {
  const size_t wanted = static_cast<size_t>(std::max(1, prefs_.SimultaneousConversions));
  while (slots_.size() < wanted && MakeConverter) {
    std::string error;
    std::unique_ptr<TConverter> converter = MakeConverter(error);
    if (!converter) {
      media::Log(this, media::llWarning, "Fewer conversions at once than asked: " + error);
      break;
    }
    auto slot = std::make_unique<TSlot>();
    slot->owned = std::move(converter);
    slot->converter = slot->owned.get();
    BindSlot(*slot);
    slots_.push_back(std::move(slot));
  }
  active_slots_ = std::min(slots_.size(), wanted);
}

TBatchQueue::TSlot* TBatchQueue::FreeSlot() {
  for (size_t i = 0; i < active_slots_; ++i) {
    if (!slots_[i]->busy) return slots_[i].get();
  }
  return nullptr;
}

void TBatchQueue::UpdateBusy() {
  const bool busy = std::any_of(slots_.begin(), slots_.end(), [](const auto& slot) { return slot->busy; });
  Busy = JobStarted = busy;
}

std::vector<int> TBatchQueue::RunningRows() const {
  std::vector<int> rows;
  for (const auto& slot : slots_) {
    if (slot->busy) rows.push_back(slot->row);
  }
  return rows;
}

bool TBatchQueue::IsRunning(int ARow) const {
  const std::vector<int> rows = RunningRows();
  return std::find(rows.begin(), rows.end(), ARow) != rows.end();
}

// The row whose progress and pictures the window shows: the chosen one while
// it runs, else the first running row.
bool TBatchQueue::Shown(int ARow) const {
  const std::vector<int> rows = RunningRows();
  if (rows.empty()) return true;
  if (std::find(rows.begin(), rows.end(), PreviewRow) != rows.end()) return ARow == PreviewRow;
  return ARow == *std::min_element(rows.begin(), rows.end());
}

void TBatchQueue::SetTimer(bool AEnabled) {
  timer_enabled_ = AEnabled;
  view_.SetTimerEnabled(AEnabled);
}

bool TBatchQueue::AddVideo(std::vector<std::string> AFiles, std::unique_ptr<TFileProbe> AProbe) {
  std::vector<TFileToAdd> files;
  for (std::string& file : AFiles) files.push_back({std::move(file)});
  return AddVideo(std::move(files), std::move(AProbe));
}

bool TBatchQueue::AddVideo(std::vector<TFileToAdd> AFiles, std::unique_ptr<TFileProbe> AProbe) {
  if (list_.AddingFiles() || Busy) return false;
  for (auto& slot : slots_) slot->converter->ClearTasks();
  list_.ClearColumns({fcProgress, fcFrames});
  return list_.AddFiles(std::move(AFiles), std::move(AProbe), [this] { return settings_.CurrentFormatKey; });
}

bool TBatchQueue::ConvertNow() {
  if (Busy || list_.AddingFiles()) return false;
  const TRipCheck check = CheckBeforeRip(list_, prefs_.OutputFolder);
  if (!check.Ok) {
    list_.ClearColumns({fcTimeRemaining, fcProgress, fcFrames},
                       [](const TFileRow& row) { return row.Status != TRowStatus::Done; });
    view_.ShowInformation(check.Message);
    if (check.OpenFolderPicker) view_.BrowseForFolder();
    return false;
  }
  if (!DecideOnDoneRows()) return false;
  // Rows that stay done keep their "Done"; the others start afresh.
  list_.ClearColumns({fcTimeRemaining, fcProgress, fcFrames},
                     [this](const TFileRow& row) { return redo_done_ || row.Status != TRowStatus::Done; });
  MakeSlots();
  LastTakenRow = -1;
  failed_rows_.clear();
  unlockedFolderSaid_ = false;
  RemoveStalePartials(Trim(prefs_.OutputFolder));
  prepared_subfolders_.clear();
  PlanBatch();
  ReadJobSettings();
  for (auto& slot : slots_) {
    TSlot* s = slot.get();
    if (OnPreviewBitmap) {
      s->converter->OnPreviewBitmap = [this, s](int, media::TBitmap* ABitmap, int AFrameNumber, int64_t APTS) {
        if (ABitmap && OnPreviewBitmap && s->busy && Shown(s->row)) OnPreviewBitmap(s->row, ABitmap, AFrameNumber, APTS);
      };
    }
    s->converter->SetPreviewBitmap(true);
  }
  JobFailed = JobStarted = LastRowReached = StoppedByUser = false;
  view_.StopPreview();
  SetTimer(true);
  return true;
}

void TBatchQueue::Tick() {
  ApplyProgress();
  if (!timer_enabled_) return;
  MarkFailedSetUps();
  // Rows added while the batch ran join it while it still runs.
  if (LastRowReached && CheckedRowAfter(LastTakenRow)) LastRowReached = false;
  if (LastRowReached) {
    if (!Busy) FinishBatch();
    return;
  }
  FillSlots();
}

// Asks about checked rows that are done already; false when nothing is left to convert.
bool TBatchQueue::DecideOnDoneRows() {
  int done = 0, others = 0;
  for (const TFileRow& row : list_.Rows()) {
    if (!row.Checked) continue;
    ++(row.Status == TRowStatus::Done ? done : others);
  }
  redo_done_ = done > 0 && view_.ConfirmConvertAgain(done, others);
  return redo_done_ || others > 0;
}

bool TBatchQueue::Takes(int ARow) const {
  // Asked of rows not taken yet: one that shows "Done" was done before the batch.
  const TFileRow& row = list_.Row(ARow);
  return row.Checked && (redo_done_ || row.Status != TRowStatus::Done);
}

bool TBatchQueue::CheckedRowAfter(int ARow) const {
  for (int row = ARow + 1; row < list_.Count(); ++row)
    if (Takes(row)) return true;
  return false;
}

void TBatchQueue::MarkFailedSetUps() {
  for (const int row : failed_rows_) {
    if (row < 0 || row >= list_.Count()) continue;
    list_.SetStatus(row, TRowStatus::SetUpFailed);
    list_.SetColumn(row, fcTimeRemaining, "");
  }
  failed_rows_.clear();
  JobFailed = false;
}

void TBatchQueue::FinishBatch() {
  view_.SetProgressBar(0);
  SetTimer(false);
  JobStarted = Busy = false;
  // Counts when anything failed or stopped, so a failure is not read as success.
  view_.ShowInformation(BatchSummary(list_));
  view_.SetSettingsEnabled(true);
}

// A row that fails its set-up ends the filling: it shows "Failed" from the next tick on.
void TBatchQueue::PlanBatch() {
  std::vector<std::string> inputs;
  for (const TFileRow& row : list_.Rows()) inputs.push_back(row.Caption);
  plan_.emplace(inputs, prefs_.OutputFolder, settings_.CurrentFormatKey, prefs_.Overwrite);
  planned_.clear();
  for (int row = 0; row < list_.Count(); ++row)
    if (Takes(row)) planned_[row] = plan_->Add(list_.Row(row).Caption, list_.Row(row).OutputSubfolder);
}

// A row checked after the batch started is planned when it is reached.
TPlannedOutput TBatchQueue::PlannedOutput(int ARow) {
  if (!planned_.count(ARow)) planned_[ARow] = plan_->Add(list_.Row(ARow).Caption, list_.Row(ARow).OutputSubfolder);
  return planned_[ARow];
}

void TBatchQueue::FillSlots() {
  while (TSlot* slot = FreeSlot()) {
    if (LastRowReached || JobFailed || !TakeNextRow(*slot)) return;
  }
}

bool TBatchQueue::TakeNextRow(TSlot& ASlot) {
  const int count = list_.Count();
  if (count == 0) LastRowReached = true;
  for (int row = 0; row < count; ++row) {
    if (row == count - 1) LastRowReached = true;
    if (row <= LastTakenRow || !Takes(row)) continue;
    LastTakenRow = row;
    view_.FocusRow(row);
    view_.SetSettingsEnabled(false);
    StartJob(ASlot, row);
    return true;
  }
  return false;
}

void TBatchQueue::FailJob(TSlot& ASlot, const std::string& AMessage) {
  JobLog.Add(ASlot.row, media::llError, AMessage);
  list_.SetStatus(ASlot.row, TRowStatus::Failed);
  list_.SetResult(ASlot.row, "", AMessage);
  failed_rows_.push_back(ASlot.row);
  JobFailed = true;
  ASlot.busy = false;
  UpdateBusy();
}

void TBatchQueue::FFGoConvert(int ARowIndex) { StartJob(*slots_[0], ARowIndex); }

// The settings hold still while a batch runs: read and checked once, they
// serve every row; when they cannot make a job, each row fails with the reason.
void TBatchQueue::ReadJobSettings() {
  job_settings_.reset();
  settings_error_.clear();
  try {
    JobSettings settings = JobSettingsFrom(settings_, prefs_);
    ValidateJobSettings(settings);
    job_settings_ = settings;
  } catch (const TJobError& error) {
    settings_error_ = error.what();
  }
}

// A row's subfolder below the output folder (kept folder structure) is made
// when its first row starts; one there already is cleared of a killed run's partial files.
bool TBatchQueue::PrepareSubfolder(const std::string& ASubfolder, std::string& AError) {
  if (ASubfolder.empty() || !prepared_subfolders_.insert(ASubfolder).second) return true;
  const std::string folder = OutputFolderOf(prefs_.OutputFolder, ASubfolder);
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) {
    RemoveStalePartials(folder);
    return true;
  }
  std::filesystem::create_directories(folder, error);
  if (!error) return true;
  prepared_subfolders_.erase(ASubfolder);
  AError = "The folder \"" + folder + "\" cannot be created: " + error.message();
  return false;
}

void TBatchQueue::StartJob(TSlot& ASlot, int ARowIndex) {
  ASlot.converter->ClearTasks();
  if (Shown(ARowIndex)) view_.SetProgressBar(0);
  CurrentRow = ASlot.row = ARowIndex;
  ReleaseOutput(ASlot);
  ASlot.progress.reset();
  if (!list_.Row(ARowIndex).Checked) return;
  ASlot.busy = true;
  UpdateBusy();
  int task = -1;
  JobLog.BeginRow(ARowIndex);
  list_.SetVerified(ARowIndex, std::nullopt);
  // Set-up runs here: what it logs (a substituted rate, say) belongs to the row.
  const media::TThreadLogTag tag(TJobLog::TagOfRow(ARowIndex));
  try {
    if (!job_settings_) throw TJobError(settings_error_);
    TJob job = BuildJob(list_.Row(ARowIndex), *job_settings_, prefs_);
    for (const std::string& note : job.Notes) {
      JobLog.Add(ARowIndex, media::llWarning, note);
      list_.AddNote(ARowIndex, note);
    }
    ASlot.input = job.InputFile;
    ASlot.inputSize = FileSize(job.InputFile);
    // The plan gives every row of the batch an output of its own, so slots running at once never share one.
    if (plan_) job.OutputFile = PlannedOutput(ARowIndex).OutputFile;
    task = ASlot.converter->AddInput(job.InputFile, job.Input);
    if (task < 0) return FailJob(ASlot, ASlot.converter->LastErrMsg());
    ASlot.converter->SetLogTag(task, TJobLog::TagOfRow(ARowIndex));
    std::string error;
    if (!PrepareSubfolder(list_.Row(ARowIndex).OutputSubfolder, error)) {
      ASlot.converter->RemoveTask(task);
      return FailJob(ASlot, error);
    }
    if (!ASlot.output.Create(job.OutputFile, error)) {
      ASlot.converter->RemoveTask(task);
      return FailJob(ASlot, error);
    }
    if (!ASlot.output.Locked() && !unlockedFolderSaid_) {
      unlockedFolderSaid_ = true;
      const std::string note =
          "The output folder's file system takes no file locks; conversions are kept apart by their names alone";
      JobLog.Add(ARowIndex, media::llWarning, note);
      list_.AddNote(ARowIndex, note);
    }
    if (!ASlot.converter->SetOutput(task, ASlot.output.Name(), job.Output)) {
      FailJob(ASlot, job.OutputFile + ": " + ASlot.converter->LastErrMsg());
      ASlot.converter->RemoveTask(task);
      ReleaseOutput(ASlot);
      return;
    }
    ASlot.overwrite = prefs_.Overwrite;
    list_.SetResult(ARowIndex, job.OutputFile, "");
  } catch (const std::exception& error) {
    FailJob(ASlot, error.what());
    if (task >= 0) ASlot.converter->RemoveTask(task);
    ReleaseOutput(ASlot);
    return;
  }
  ASlot.awaitingEnd = true;
  try {
    ASlot.converter->StartTasks(1);
  } catch (const std::exception& error) {
    // A job that could not start sends no end notice: fail its row here, or the batch would wait forever.
    ASlot.converter->StopTasks(true);
    ASlot.awaitingEnd = false;
    ReleaseOutput(ASlot);
    FailJob(ASlot, error.what());
  }
}

void TBatchQueue::ReleaseOutput(TSlot& ASlot) { ASlot.output.Discard(); }

void TBatchQueue::Stop() {
  if (!Busy) return;
  for (auto& slot : slots_) {
    if (slot->busy) slot->converter->PauseTasks();
  }
  if (!view_.ConfirmStop()) {
    for (auto& slot : slots_) {
      if (slot->busy) slot->converter->ResumeTasks();
    }
    return;
  }
  StopAll();
  view_.SetSettingsEnabled(true);
}

void TBatchQueue::StopAll() {
  // A stopped job's end notice comes after this returns and finds its slot no longer waiting for it.
  StoppedByUser = true;
  SetTimer(false);
  const std::vector<int> rows = RunningRows();
  for (auto& slot : slots_) {
    if (!slot->busy) continue;
    slot->converter->StopTasks(true);
    slot->awaitingEnd = false;
    slot->busy = false;
    ReleaseOutput(*slot);
  }
  UpdateBusy();
  for (const int row : rows) {
    list_.SetStatus(row, TRowStatus::Aborted);
    list_.SetColumn(row, fcTimeRemaining, "");
  }
}

void TBatchQueue::EncoderProgress(int /*AIndex*/, int AFrameNumber, int /*AFPS*/, int ACurrentDuration,
                                  float /*AQuality*/, float /*ABitRate*/, int64_t ACurrentSize,
                                  int ATotalOutputDuration) {
  SlotProgress(*slots_[0], AFrameNumber, ACurrentDuration, ACurrentSize, ATotalOutputDuration);
}

void TBatchQueue::SlotProgress(TSlot& ASlot, int AFrameNumber, int ACurrentDuration, int64_t ACurrentSize,
                               int ATotalOutputDuration) {
  // Shown at the next tick: the list is redrawn ten times a second at most.
  ASlot.progress = TProgress{AFrameNumber, ACurrentDuration, ACurrentSize, ATotalOutputDuration};
}

void TBatchQueue::ApplyProgress() {
  for (auto& slot : slots_) {
    std::optional<TProgress> progress;
    progress.swap(slot->progress);
    if (progress && Busy) ShowProgress(slot->row, *progress);
  }
}

void TBatchQueue::ShowProgress(int ARow, const TProgress& AProgress) {
  if (ARow < 0 || ARow >= list_.Count()) return;
  const bool shown = Shown(ARow);
  if (shown) view_.FocusRow(ARow);
  const int64_t done = AProgress.currentDuration;
  const int64_t total = AProgress.totalDuration;
  // An unknown (or zero) total gives no percentage rather than a division by zero.
  const int64_t position = total > 0 ? done * 100 / total : 0;
  const int64_t percent = std::min<int64_t>(position, 100);
  const int64_t remaining = std::max<int64_t>(total - done, 0);
  list_.SetProgress(ARow, static_cast<int>(percent));
  if (shown)
    view_.SetStatusText("File Size : " +
                        std::to_string(RoundHalfEven(static_cast<double>(AProgress.currentSize) / 1000000)) + " MB");
  if (!list_.Row(ARow).Probe.DurationKnown() || total <= 0) {
    list_.SetColumn(ARow, fcTimeRemaining, "Unknown");
  } else if (const auto text = FormatRemaining(remaining)) {
    list_.SetColumn(ARow, fcTimeRemaining, *text);
  }
  list_.SetColumn(ARow, fcFrames, AProgress.frameNumber == -1 ? " " : std::to_string(AProgress.frameNumber));
  if (shown) view_.SetProgressBar(static_cast<int>(std::clamp<int64_t>(position, 0, 100)));
}

void TBatchQueue::EncoderTerminate(int AIndex, bool AFinished, bool AException, const std::string& AMessage) {
  SlotTerminate(*slots_[0], AIndex, AFinished, AException, AMessage);
}

void TBatchQueue::SlotTerminate(TSlot& ASlot, int AIndex, bool AFinished, bool AException,
                                const std::string& AMessage) {
  // The final notice of the task list can overtake the task's own: only the
  // task's notice ends the job, after its row shows how it ended.
  if (AIndex < 0) return;
  JobEnded(ASlot, AIndex, AFinished, AException, AMessage);
}

void TBatchQueue::JobEnded(TSlot& ASlot, int AIndex, bool AFinished, bool AException, const std::string& AMessage) {
  if (!ASlot.awaitingEnd) return;
  ASlot.awaitingEnd = false;
  ApplyProgress();
  TRowStatus status = AException                      ? TRowStatus::Failed
                      : StoppedByUser || !AFinished ? TRowStatus::Aborted
                                                    : TRowStatus::Done;
  std::string message = AMessage;
  std::string outputFile;
  if (status == TRowStatus::Done) {
    // A file cut short while it was read converts "successfully" into a short output.
    if (const int64_t size = FileSize(ASlot.input); ASlot.inputSize >= 0 && size < ASlot.inputSize) {
      status = TRowStatus::Failed;
      message = media::Format("The input shrank from %lld to %lld bytes during the conversion; its output is incomplete",
                              static_cast<long long>(ASlot.inputSize), static_cast<long long>(std::max<int64_t>(size, 0)));
      ASlot.output.Discard();
    }
  }
  if (ASlot.output.Active() && status == TRowStatus::Done) {
    const auto planned = planned_.find(ASlot.row);
    outputFile = ASlot.output.Commit(ASlot.overwrite, message, planned != planned_.end() ? planned->second.NaturalFile : "");
    if (outputFile.empty()) status = TRowStatus::Failed;
  }
  ReleaseOutput(ASlot);
  if (const auto planned = planned_.find(ASlot.row); planned != planned_.end() && !planned->second.Note.empty())
    list_.AddNote(ASlot.row, planned->second.Note);
  if (!message.empty()) JobLog.Add(ASlot.row, media::llError, message);
  if (status == TRowStatus::Done) JobLog.Add(ASlot.row, media::llInfo, "Done -> " + outputFile);
  list_.SetStatus(ASlot.row, status);
  list_.SetResult(ASlot.row, outputFile, message);
  if (status == TRowStatus::Done) list_.SetVerified(ASlot.row, ASlot.converter->VerifiedOutput(AIndex));
  ASlot.busy = false;
  UpdateBusy();
  // The slot takes its next row now rather than at the next tick.
  if (timer_enabled_) view_.TickSoon();
}

}  // namespace strella::app
