// The encoder component: the application's only entry to the engine. It keeps
// a list of conversion tasks (one engine each, one input and one output),
// runs them one after another or several at a time on worker threads, and
// reports progress, preview pictures and completion as events on the main
// thread. The conversion threads never wait for the main thread: they post
// each event with copies of its values and go on. Frame hooks, which answer
// the conversion, run on the conversion thread.
//
// Locks, in the only order in which one may be taken while holding another:
// the run lock (run counters), the preview lock (pictures waiting for the
// main thread), the task list's lock, the main thread's inbox lock. Each is
// held only around its own data: never across a library call, a start, stop
// or join of a thread, or an event handler.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "encoder/events.h"
#include "encoder/option_records.h"
#include "encoder/task.h"
#include "encoder/task_list.h"
#include "engine/engine.h"
#include "media/main_thread.h"
#include "media/probe.h"

namespace strella::encoder {

using engine::TConvertPriority;
using engine::tpIdle;
using engine::tpLower;
using engine::tpLowest;
using engine::tpNormal;

// True when a conversion can encode with the encoder of that name: the loaded
// libraries have it, or the engine carries its own (AMR-NB).
bool EncoderAvailable(const std::string& name);

class TCustomFFmpegEncoder {
 public:
  TCustomFFmpegEncoder();
  virtual ~TCustomFFmpegEncoder();
  TCustomFFmpegEncoder(const TCustomFFmpegEncoder&) = delete;
  TCustomFFmpegEncoder& operator=(const TCustomFFmpegEncoder&) = delete;

  // Loads the encoder's library set from libraryPath (empty: the program's
  // folder), else from the system. False with LastErrMsg on failure.
  bool LoadLibraries(const std::string& libraryPath = "");

  // A new task for one input file: its index, or -1 with LastErrMsg. An empty
  // FileName in the record is filled with fileName.
  int AddInput(const std::string& fileName);
  int AddInput(const std::string& fileName, TInputOptions& options);
  // The task's output file. False with LastErrMsg; the task stays in the list.
  // An index outside the list throws std::out_of_range.
  bool SetOutput(int index, const std::string& fileName);
  bool SetOutput(int index, const std::string& fileName, TOutputOptions& options);
  void RemoveTask(int index);
  void ClearTasks();

  // parallelCount <= 0: every task runs on the calling thread before this
  // returns. Otherwise at most that many run at once on worker threads.
  void StartTasks(int parallelCount);
  void StopTasks(bool wait);
  void PauseTasks();
  void ResumeTasks();

  const std::string& LastErrMsg() const { return last_err_msg_; }
  media::TAVProbe& Probe() { return *probe_; }
  int TaskCount() const { return tasks_.Count(); }
  // The task at index (std::out_of_range outside the list), kept alive while held.
  TTaskRef Task(int index) { return tasks_.Items(index); }

 protected:
  // The engine's callbacks, turned into the published events.
  virtual void TaskBeforeHook(engine::TCustomFFmpeg* sender, int64_t APTS,
                              engine::THookAction& AHookAction);
  virtual void TaskCustomHook(engine::TCustomFFmpeg* sender, media::TBitmap* ABitmap,
                              int AFrameNumber, int64_t APTS, bool& AUpdate, bool& AStopHook);
  virtual void TaskPreviewBitmap(engine::TCustomFFmpeg* sender, media::TBitmap* ABitmap,
                                 int AFrameNumber, int64_t APTS);
  virtual void TaskProgress(engine::TCustomFFmpeg* sender, int AFrameNumber, int AFPS,
                            int ACurrentDuration, float AQuality, float ABitRate,
                            int64_t ACurrentSize, int ATotalOutputDuration);
  virtual void TaskTerminate(engine::TCustomFFmpeg* sender);

  void SetPreviewProp(bool on);
  void SetPreviewBitmapProp(bool on);
  void SetProgressIntervalProp(int milliseconds);

  std::string about_;
  bool preview_ = false;
  bool preview_bitmap_ = false;
  int progress_interval_ = 500;
  TConvertPriority thread_priority_ = tpNormal;
  int verbose_ = 1;

 public:
  // Events (none has a sender; AIndex names the task, -1 the end of a run).
  // OnProgress, OnPreviewBitmap and OnTerminate arrive on the main thread in
  // the order they happened, once each, except that a preview picture not yet
  // shown gives way to a newer one of its task. The events of a task that has
  // left the list, and the end of a run that was cleared, are not delivered.
  // OnBeforeHook and OnCustomHook run on the conversion thread.
  TBeforeHookEvent OnBeforeHook;
  TCustomHookEvent OnCustomHook;
  TPreviewBitmapEvent OnPreviewBitmap;
  TProgressEvent OnProgress;
  TTerminateEvent OnTerminate;

 private:
  void InstallInputCallbacks(TFFmpeg& task);
  void InstallRunCallbacks(TFFmpeg& task);
  void InstallHookCallback(TFFmpeg& task);
  void SetTaskPreviewFlags(TFFmpeg& task);
  void SetTaskPreviewFlag(TFFmpeg& task, int flag, bool on);
  int AddInputTask(const std::string& fileName, TInputOptions* options);
  bool ConfigureInput(TFFmpeg& task, const std::string& fileName, TInputOptions* options);
  bool ConfigureOutput(TFFmpeg& task, const std::string& fileName, TOutputOptions* options);
  void StartNext();
  bool TakePending();
  void StartTask(int position);
  void PostTerminate(const TFFmpeg& task);
  void PostAllDone(int run);
  void DeliverPreview(uint64_t serial);
  void WaitForTask(TFFmpeg& task);

  struct TWaitingPreview {
    std::unique_ptr<media::TBitmap> bitmap;
    int frameNumber = 0;
    int64_t pts = 0;
  };

  std::string last_err_msg_;
  std::unique_ptr<media::TAVProbe> probe_;
  TFFmpegList tasks_;
  media::TMainThreadMailbox events_;
  std::mutex run_lock_;  // the run counters below, as one
  int run_serial_ = 0;   // counts starts and clears, so a cleared run's end is not delivered
  bool all_done_posted_ = false;
  std::mutex preview_lock_;
  std::map<uint64_t, TWaitingPreview> waiting_previews_;  // by task serial
  std::atomic<int> next_index_{-1};
  std::atomic<bool> parallel_mode_{false};
  std::atomic<int> finished_count_{0};
  std::atomic<int> pending_count_{0};
};

// Publishes the component's properties.
class TFFmpegEncoder : public TCustomFFmpegEncoder {
 public:
  const std::string& About() const { return about_; }
  void SetAbout(const std::string& text) { about_ = text; }
  static std::string Version() { return "2.5"; }
  bool Preview() const { return preview_; }
  void SetPreview(bool on) { SetPreviewProp(on); }
  bool PreviewBitmap() const { return preview_bitmap_; }
  void SetPreviewBitmap(bool on) { SetPreviewBitmapProp(on); }
  int ProgressInterval() const { return progress_interval_; }
  // Values below 100 ms become 100.
  void SetProgressInterval(int milliseconds) { SetProgressIntervalProp(milliseconds); }
  TConvertPriority ThreadPriority() const { return thread_priority_; }
  void SetThreadPriority(TConvertPriority priority) { thread_priority_ = priority; }
  int Verbose() const { return verbose_; }
  void SetVerbose(int level) { verbose_ = level; }
};

}  // namespace strella::encoder
