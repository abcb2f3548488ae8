#include "app/batch_queue.h"

#include <algorithm>

#include "app/job_builder.h"
#include "app/output_file.h"
#include "app/text_utils.h"
#include "media/logger.h"
#include "media/main_thread.h"
#include "media/text_helpers.h"

namespace strella::app {

std::optional<std::string> FormatRemaining(int64_t AMilliseconds) {
  if (AMilliseconds < 0 || AMilliseconds >= 24LL * 3600000) return std::nullopt;
  return media::Format("%lld:%02lld:%02lld", static_cast<long long>(AMilliseconds / 3600000),
                       static_cast<long long>(AMilliseconds % 3600000 / 60000),
                       static_cast<long long>(AMilliseconds % 60000 / 1000));
}

std::string BatchSummary(const TFileList& AList) {
  int converted = 0, failed = 0, stopped = 0, notRun = 0;
  for (const TFileRow& row : AList.Rows()) {
    if (!row.Checked) continue;
    const std::string& status = row.Columns[fcProgress];
    if (status == "Done") ++converted;
    else if (status == "Fail" || status == "Failed") ++failed;
    else if (status == "Abort") ++stopped;
    else ++notRun;
  }
  if (failed + stopped + notRun == 0) return "All converting jobs completed.";
  std::string text = std::to_string(converted) + " converted";
  if (failed) text += ", " + std::to_string(failed) + " failed";
  if (stopped) text += ", " + std::to_string(stopped) + " stopped";
  if (notRun) text += ", " + std::to_string(notRun) + " not run";
  return text;
}

TBatchQueue::TBatchQueue(TFileList& AList, TSettingsModel& ASettings, TPreferences& APrefs,
                         TConverter& AConverter, TBatchView& AView)
    : JobLog(AList), list_(AList), settings_(ASettings), prefs_(APrefs), converter_(AConverter), view_(AView) {
  JobLog.Attach();
  converter_.OnProgress = [this](int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality,
                                 float ABitRate, int64_t ACurrentSize, int ATotalOutputDuration) {
    EncoderProgress(AIndex, AFrameNumber, AFPS, ACurrentDuration, AQuality, ABitRate, ACurrentSize,
                    ATotalOutputDuration);
  };
  converter_.OnTerminate = [this](int AIndex, bool AFinished, bool AException, const std::string& AMessage) {
    EncoderTerminate(AIndex, AFinished, AException, AMessage);
  };
}

TBatchQueue::~TBatchQueue() {
  converter_.OnProgress = nullptr;
  converter_.OnTerminate = nullptr;
  ReleaseOutput();
}

void TBatchQueue::SetTimer(bool AEnabled) {
  timer_enabled_ = AEnabled;
  view_.SetTimerEnabled(AEnabled);
}

bool TBatchQueue::AddVideo(std::vector<std::string> AFiles, std::unique_ptr<TFileProbe> AProbe) {
  if (list_.AddingFiles() || Busy) return false;
  converter_.ClearTasks();
  list_.ClearColumns({fcProgress, fcFrames});
  return list_.AddFiles(std::move(AFiles), std::move(AProbe), [this] { return settings_.CurrentFormatKey; });
}

bool TBatchQueue::ConvertNow() {
  if (Busy || list_.AddingFiles()) return false;
  list_.ClearColumns({fcTimeRemaining, fcProgress, fcFrames});
  const TRipCheck check = CheckBeforeRip(list_, prefs_.OutputFolder);
  if (!check.Ok) {
    view_.ShowInformation(check.Message);
    if (check.OpenFolderPicker) view_.BrowseForFolder();
    return false;
  }
  LastTakenRow = -1;
  RemoveStalePartials(Trim(prefs_.OutputFolder));
  PlanBatch();
  converter_.SetPreviewBitmap(true);
  JobFailed = JobStarted = LastRowReached = StoppedByUser = false;
  view_.StopPreview();
  SetTimer(true);
  return true;
}

void TBatchQueue::Tick() {
  ApplyProgress();
  if (Busy || JobStarted) return;
  if (JobFailed) {
    list_.SetColumn(CurrentRow, fcProgress, "Failed");
    list_.SetColumn(CurrentRow, fcTimeRemaining, "");
    JobFailed = Busy = false;
  }
  if (LastRowReached) {
    FinishBatch();
    return;
  }
  TakeNextRow();
}

void TBatchQueue::FinishBatch() {
  view_.SetProgressBar(0);
  SetTimer(false);
  JobStarted = Busy = false;
  view_.ShowInformation(BatchSummary(list_));
  view_.SetSettingsEnabled(true);
}

void TBatchQueue::PlanBatch() {
  std::vector<std::string> inputs;
  for (const TFileRow& row : list_.Rows()) inputs.push_back(row.Caption);
  plan_.emplace(inputs, prefs_.OutputFolder, settings_.CurrentFormatKey, prefs_.Overwrite);
  planned_.clear();
  for (int row = 0; row < list_.Count(); ++row)
    if (list_.Row(row).Checked) planned_[row] = plan_->Add(list_.Row(row).Caption);
}

// A row checked after the batch started is planned when it is reached.
TPlannedOutput TBatchQueue::PlannedOutput(int ARow) {
  if (!planned_.count(ARow)) planned_[ARow] = plan_->Add(list_.Row(ARow).Caption);
  return planned_[ARow];
}

bool TBatchQueue::TakeNextRow() {
  const int count = list_.Count();
  if (count == 0) LastRowReached = true;
  for (int row = 0; row < count; ++row) {
    if (row == count - 1) LastRowReached = true;
    if (!list_.Row(row).Checked || row <= LastTakenRow) continue;
    LastTakenRow = row;
    view_.FocusRow(row);
    CurrentRow = row;
    Busy = JobStarted = true;
    view_.SetSettingsEnabled(false);
    FFGoConvert(row);
    return true;
  }
  return false;
}

void TBatchQueue::FailJob(const std::string& AMessage) {
  JobLog.Add(CurrentRow, media::llError, AMessage);
  list_.SetColumn(CurrentRow, fcProgress, "Fail");
  list_.SetResult(CurrentRow, "", AMessage);
  JobFailed = true;
  Busy = JobStarted = false;
}

void TBatchQueue::FFGoConvert(int ARowIndex) {
  converter_.ClearTasks();
  view_.SetProgressBar(0);
  CurrentRow = ARowIndex;
  ReleaseOutput();
  if (!list_.Row(ARowIndex).Checked) {
    Busy = JobStarted = false;
  } else {
    int task = -1;
    JobLog.BeginRow(ARowIndex);
    // Set-up runs here: what it logs (a substituted rate, say) belongs to the row.
    const media::TThreadLogTag tag(TJobLog::TagOfRow(ARowIndex));
    try {
      TJob job = BuildJob(list_.Row(ARowIndex), settings_, prefs_);
      if (plan_) job.OutputFile = PlannedOutput(ARowIndex).OutputFile;
      task = converter_.AddInput(job.InputFile, job.Input);
      if (task < 0) return FailJob(converter_.LastErrMsg());
      converter_.SetLogTag(task, TJobLog::TagOfRow(ARowIndex));
      std::string error;
      if (!output_.Create(job.OutputFile, error)) {
        converter_.RemoveTask(task);
        return FailJob(error);
      }
      if (!converter_.SetOutput(task, output_.Name(), job.Output)) {
        FailJob(job.OutputFile + ": " + converter_.LastErrMsg());
        converter_.RemoveTask(task);
        ReleaseOutput();
        return;
      }
      overwrite_ = prefs_.Overwrite;
      list_.SetResult(ARowIndex, job.OutputFile, "");
    } catch (const std::exception& error) {
      FailJob(error.what());
      if (task >= 0) converter_.RemoveTask(task);
      ReleaseOutput();
      return;
    }
  }
  awaiting_job_end_ = output_.Active();
  try {
    converter_.StartTasks(1);
  } catch (const std::exception& error) {
    // A job that could not start sends no end notice: fail its row here, or the batch would wait forever.
    converter_.StopTasks(true);
    awaiting_job_end_ = false;
    ReleaseOutput();
    FailJob(error.what());
  }
}

void TBatchQueue::ReleaseOutput() { output_.Discard(); }

void TBatchQueue::Stop() {
  if (!Busy) return;
  converter_.PauseTasks();
  if (!view_.ConfirmStop()) {
    converter_.ResumeTasks();
    return;
  }
  // Set first: the stopped job's end may be handled while StopTasks waits.
  StoppedByUser = true;
  converter_.StopTasks(true);
  awaiting_job_end_ = false;
  SetTimer(false);
  JobStarted = Busy = false;
  ReleaseOutput();
  list_.SetColumn(CurrentRow, fcProgress, "Abort");
  list_.SetColumn(CurrentRow, fcTimeRemaining, "");
  view_.SetSettingsEnabled(true);
}

void TBatchQueue::EncoderProgress(int /*AIndex*/, int AFrameNumber, int /*AFPS*/, int ACurrentDuration,
                                  float /*AQuality*/, float /*ABitRate*/, int64_t ACurrentSize,
                                  int ATotalOutputDuration) {
  // Kept for the main thread's next tick, so the conversion thread never waits for it.
  std::lock_guard guard(progress_lock_);
  progress_ = TProgress{AFrameNumber, ACurrentDuration, ACurrentSize, ATotalOutputDuration};
}

void TBatchQueue::ApplyProgress() {
  std::optional<TProgress> progress;
  {
    std::lock_guard guard(progress_lock_);
    progress.swap(progress_);
  }
  if (progress && Busy) ShowProgress(*progress);
}

void TBatchQueue::ShowProgress(const TProgress& AProgress) {
  const int row = CurrentRow;
  if (row < 0 || row >= list_.Count()) return;
  view_.FocusRow(row);
  const int64_t done = AProgress.currentDuration;
  const int64_t total = AProgress.totalDuration;
  // An unknown (or zero) total gives no percentage rather than a division by zero.
  const int64_t position = total > 0 ? done * 100 / total : 0;
  const int64_t percent = std::min<int64_t>(position, 100);
  const int64_t remaining = std::max<int64_t>(total - done, 0);
  list_.SetColumn(row, fcProgress, std::to_string(percent) + "%");
  view_.SetStatusText("File Size : " +
                      std::to_string(RoundHalfEven(static_cast<double>(AProgress.currentSize) / 1000000)) + " MB");
  const std::string duration = list_.Column(row, fcDuration);
  if (duration == "00:00:00" || duration == "Unknown" || total <= 0) {
    list_.SetColumn(row, fcTimeRemaining, "Unknown");
  } else if (const auto text = FormatRemaining(remaining)) {
    list_.SetColumn(row, fcTimeRemaining, *text);
  }
  list_.SetColumn(row, fcFrames, AProgress.frameNumber == -1 ? " " : std::to_string(AProgress.frameNumber));
  view_.SetProgressBar(static_cast<int>(std::clamp<int64_t>(position, 0, 100)));
}

void TBatchQueue::EncoderTerminate(int AIndex, bool AFinished, bool AException, const std::string& AMessage) {
  // The final notice of the task list can overtake the task's own: only the
  // task's notice ends the job, after its row shows how it ended.
  if (AIndex < 0) return;
  media::RunOnMainThread([&] { JobEnded(AFinished, AException, AMessage); });
}

void TBatchQueue::JobEnded(bool AFinished, bool AException, const std::string& AMessage) {
  if (!awaiting_job_end_) return;
  awaiting_job_end_ = false;
  ApplyProgress();
  std::string status = AException ? "Fail" : StoppedByUser || !AFinished ? "Abort" : "Done";
  std::string message = AMessage;
  std::string outputFile;
  if (output_.Active() && status == "Done") {
    outputFile = output_.Commit(overwrite_, message, planned_.count(CurrentRow) ? planned_[CurrentRow].NaturalFile : "");
    if (outputFile.empty()) status = "Fail";
  }
  ReleaseOutput();
  if (planned_.count(CurrentRow) && !planned_[CurrentRow].Note.empty())
    list_.AddNote(CurrentRow, planned_[CurrentRow].Note);
  if (!message.empty()) JobLog.Add(CurrentRow, media::llError, message);
  if (status == "Done") JobLog.Add(CurrentRow, media::llInfo, "Done -> " + outputFile);
  list_.SetColumn(CurrentRow, fcProgress, status);
  list_.SetResult(CurrentRow, outputFile, message);
  JobStarted = Busy = false;
}

}  // namespace strella::app
