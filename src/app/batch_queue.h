// The batch: a 100 ms tick takes the next checked row, builds its job and
// hands it to the converter, then waits for the job's end before it looks
// again. Progress and terminate events arrive on the converter's threads and
// are applied on the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <map>
#include <optional>
#include <string>

#include "app/converter.h"
#include "app/file_list.h"
#include "app/job_log.h"
#include "app/output_file.h"
#include "app/output_plan.h"
#include "app/settings_model.h"

namespace strella::app {

// What the batch shows outside the file list; the window and the command line implement it.
class TBatchView {
 public:
  virtual ~TBatchView() = default;
  virtual void ShowInformation(const std::string& /*AText*/) {}
  // "Stop all conversions?": true for Yes.
  virtual bool ConfirmStop() { return true; }
  virtual void BrowseForFolder() {}
  // DisableSettings (false) and EnableSettings (true).
  virtual void SetSettingsEnabled(bool /*AEnabled*/) {}
  virtual void SetProgressBar(int /*APosition*/) {}
  virtual void SetStatusText(const std::string& /*AText*/) {}
  virtual void FocusRow(int /*ARow*/) {}
  virtual void StopPreview() {}
  // Timer1: while enabled, Tick runs every 100 ms.
  virtual void SetTimerEnabled(bool /*AEnabled*/) {}
};

// "All converting jobs completed." when every checked row is "Done", else
// the counts: "3 converted, 1 failed, 1 stopped" (", 2 not run" after a stop).
std::string BatchSummary(const TFileList& AList);

// "h:mm:ss"; nothing for 24 hours or more.
std::optional<std::string> FormatRemaining(int64_t AMilliseconds);

class TBatchQueue {
 public:
  TBatchQueue(TFileList& AList, TSettingsModel& ASettings, TPreferences& APrefs, TConverter& AConverter,
              TBatchView& AView);
  ~TBatchQueue();
  TBatchQueue(const TBatchQueue&) = delete;
  TBatchQueue& operator=(const TBatchQueue&) = delete;

  // " Add Video" after the dialog: probes and appends the files on a worker.
  // Nothing happens (false) while files are being added or a job runs.
  bool AddVideo(std::vector<std::string> AFiles, std::unique_ptr<TFileProbe> AProbe);
  // " Convert Now": true when the batch started.
  bool ConvertNow();
  void Tick();
  // " Stop": asks the view, then stops the running job.
  void Stop();
  // Builds and starts the job of one row.
  void FFGoConvert(int ARowIndex);

  // The converter's events; any thread.
  void EncoderProgress(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality,
                       float ABitRate, int64_t ACurrentSize, int ATotalOutputDuration);
  void EncoderTerminate(int AIndex, bool AFinished, bool AException, const std::string& AMessage);

  bool TimerEnabled() const { return timer_enabled_; }
  bool Running() const { return timer_enabled_ || Busy; }

  std::atomic<bool> Busy{false};
  std::atomic<bool> JobStarted{false};
  std::atomic<bool> JobFailed{false};
  std::atomic<bool> LastRowReached{false};
  std::atomic<bool> StoppedByUser{false};
  int LastTakenRow = -1;
  int CurrentRow = -1;
  // Every line the jobs logged, by row; attached to the log sink while the queue lives.
  TJobLog JobLog;

 private:
  struct TProgress {
    int frameNumber = 0;
    int currentDuration = 0;
    int64_t currentSize = 0;
    int totalDuration = 0;
  };

  void SetTimer(bool AEnabled);
  void FailJob(const std::string& AMessage);
  void FinishBatch();
  bool TakeNextRow();
  void ApplyProgress();
  void ShowProgress(const TProgress& AProgress);
  void JobEnded(bool AFinished, bool AException, const std::string& AMessage);
  void ReleaseOutput();
  void PlanBatch();
  TPlannedOutput PlannedOutput(int ARow);

  TFileList& list_;
  TSettingsModel& settings_;
  TPreferences& prefs_;
  TConverter& converter_;
  TBatchView& view_;
  bool timer_enabled_ = false;
  // A started job whose end notice has not come: a stopped job's notice that
  // comes late must not end the next batch's job.
  bool awaiting_job_end_ = false;
  TPartialOutput output_;  // the running job's file, until it is committed or discarded
  bool overwrite_ = false;
  std::optional<TOutputPlan> plan_;  // made when the batch starts
  std::map<int, TPlannedOutput> planned_;  // by row
  std::mutex progress_lock_;
  std::optional<TProgress> progress_;
};

}  // namespace strella::app
