// The batch: checked rows are taken in order into a number of slots, one
// converter each, so that up to that many rows convert at the same time. A
// slot takes its next row as soon as its job's end is known; the 100 ms tick
// shows progress and starts the batch's first jobs. Everything here runs on
// the main thread: the converters deliver their events there.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/converter.h"
#include "app/file_list.h"
#include "app/job_settings.h"
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
  // ADone checked rows are "Done" already, AOthers are not: true converts the
  // done ones again as well. Never assumed: a view that cannot ask leaves them.
  virtual bool ConfirmConvertAgain(int /*ADone*/, int /*AOthers*/) { return false; }
  virtual void BrowseForFolder() {}
  // DisableSettings (false) and EnableSettings (true).
  virtual void SetSettingsEnabled(bool /*AEnabled*/) {}
  virtual void SetProgressBar(int /*APosition*/) {}
  virtual void SetStatusText(const std::string& /*AText*/) {}
  virtual void FocusRow(int /*ARow*/) {}
  virtual void StopPreview() {}
  // Timer1: while enabled, Tick runs every 100 ms.
  virtual void SetTimerEnabled(bool /*AEnabled*/) {}
  // A slot came free: run Tick as soon as the main thread is free, not at the next 100 ms.
  virtual void TickSoon() {}
};

// A new converter for a further slot; nullptr with AError set when it cannot be made.
using TConverterFactory = std::function<std::unique_ptr<TConverter>(std::string& AError)>;
// The rows' preview pictures: the row whose job made the picture.
using TRowPreviewEvent = std::function<void(int ARow, media::TBitmap* ABitmap, int AFrameNumber, int64_t APTS)>;

// "All converting jobs completed." when every checked row is "Done", else
// the counts: "3 converted, 1 failed, 1 stopped." (", 2 not run" after a stop).
std::string BatchSummary(const TFileList& AList);

// "h:mm:ss"; nothing for 24 hours or more.
std::optional<std::string> FormatRemaining(int64_t AMilliseconds);

class TBatchQueue {
 public:
  // AConverter serves the first slot; further slots (APrefs.SimultaneousConversions)
  // come from MakeConverter.
  TBatchQueue(TFileList& AList, TSettingsModel& ASettings, TPreferences& APrefs, TConverter& AConverter,
              TBatchView& AView);
  ~TBatchQueue();
  TBatchQueue(const TBatchQueue&) = delete;
  TBatchQueue& operator=(const TBatchQueue&) = delete;

  // " Add Video" after the dialog: probes and appends the files on a worker.
  // Nothing happens (false) while files are being added or a job runs.
  bool AddVideo(std::vector<std::string> AFiles, std::unique_ptr<TFileProbe> AProbe);
  bool AddVideo(std::vector<TFileToAdd> AFiles, std::unique_ptr<TFileProbe> AProbe);
  // " Convert Now": true when the batch started. Checked rows not yet "Done"
  // convert; rows already done convert again only when the view says so.
  bool ConvertNow();
  void Tick();
  // " Stop": asks the view, then stops every running job.
  void Stop();
  // Stops every running job without asking (the window closes).
  void StopAll();
  // Builds and starts the job of one row in the first slot.
  void FFGoConvert(int ARowIndex);

  // The first slot's converter events.
  void EncoderProgress(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality,
                       float ABitRate, int64_t ACurrentSize, int ATotalOutputDuration);
  void EncoderTerminate(int AIndex, bool AFinished, bool AException, const std::string& AMessage);

  bool TimerEnabled() const { return timer_enabled_; }
  bool Running() const { return timer_enabled_ || Busy; }
  // The rows whose jobs run now, in slot order.
  std::vector<int> RunningRows() const;
  // True while a job of the batch converts the row.
  bool IsRunning(int ARow) const;

  std::atomic<bool> Busy{false};  // some slot runs a job
  std::atomic<bool> JobStarted{false};
  std::atomic<bool> JobFailed{false};
  std::atomic<bool> LastRowReached{false};
  std::atomic<bool> StoppedByUser{false};
  int LastTakenRow = -1;
  int CurrentRow = -1;  // the row taken last
  // The row whose pictures the preview shows while it runs; otherwise the first running row's.
  int PreviewRow = -1;
  // Every line the jobs logged, by row; attached to the log sink while the queue lives.
  TJobLog JobLog;

  TConverterFactory MakeConverter;
  TRowPreviewEvent OnPreviewBitmap;

 private:
  struct TProgress {
    int frameNumber = 0;
    int currentDuration = 0;
    int64_t currentSize = 0;
    int totalDuration = 0;
  };

  // One converter and the job it runs.
  struct TSlot {
    TConverter* converter = nullptr;
    std::unique_ptr<TConverter> owned;  // every slot's but the first
    int row = -1;                       // the row of its running or last job
    bool busy = false;                  // a job has been handed over and has not ended
    // A started job whose end notice has not come: a stopped job's notice that
    // comes late must not end the next batch's job.
    bool awaitingEnd = false;
    TPartialOutput output;  // the running job's file, until it is committed or discarded
    std::string input;      // the running job's input and its size at the start, -1 when unknown
    int64_t inputSize = -1;
    bool overwrite = false;
    std::optional<TProgress> progress;  // the latest, not yet shown
  };

  void SetTimer(bool AEnabled);
  void BindSlot(TSlot& ASlot);
  void MakeSlots();
  TSlot* FreeSlot();
  void UpdateBusy();
  void FailJob(TSlot& ASlot, const std::string& AMessage);
  void FinishBatch();
  void MarkFailedSetUps();
  bool CheckedRowAfter(int ARow) const;
  // The batch converts the row: checked, and not a row done before it that stays done.
  bool Takes(int ARow) const;
  bool DecideOnDoneRows();
  void FillSlots();
  bool TakeNextRow(TSlot& ASlot);
  void ReadJobSettings();
  void StartJob(TSlot& ASlot, int ARowIndex);
  bool PrepareSubfolder(const std::string& ASubfolder, std::string& AError);
  void PlanBatch();
  TPlannedOutput PlannedOutput(int ARow);
  void ApplyProgress();
  void ShowProgress(int ARow, const TProgress& AProgress);
  void SlotProgress(TSlot& ASlot, int AFrameNumber, int ACurrentDuration, int64_t ACurrentSize,
                    int ATotalOutputDuration);
  void SlotTerminate(TSlot& ASlot, int AIndex, bool AFinished, bool AException, const std::string& AMessage);
  void JobEnded(TSlot& ASlot, int AIndex, bool AFinished, bool AException, const std::string& AMessage);
  bool Shown(int ARow) const;
  static void ReleaseOutput(TSlot& ASlot);

  TFileList& list_;
  TSettingsModel& settings_;
  TPreferences& prefs_;
  TBatchView& view_;
  bool timer_enabled_ = false;
  std::vector<std::unique_ptr<TSlot>> slots_;
  size_t active_slots_ = 1;  // the slots this batch uses
  std::optional<JobSettings> job_settings_;  // this batch's, read when it starts
  std::string settings_error_;               // why they cannot make a job
  std::vector<int> failed_rows_;  // rows whose job could not be set up, for the next tick's "Failed"
  std::optional<TOutputPlan> plan_;  // made when the batch starts
  std::set<std::string> prepared_subfolders_;  // of this batch, made or cleared
  std::map<int, TPlannedOutput> planned_;  // by row
  bool unlockedFolderSaid_ = false;         // told once a batch that the output folder takes no locks
  bool redo_done_ = false;                  // this batch converts rows that were done before it again
};

}  // namespace strella::app
