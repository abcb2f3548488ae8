#include "encoder/encoder.h"

#include <exception>

#include "engine/amrnb_encoder.h"
#include "engine/presets_targets.h"
#include "media/loader.h"
#include "media/logger.h"

namespace strella::encoder {
namespace {

using media::llError;

std::string ExceptionMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

TFFmpeg& AsTask(engine::TCustomFFmpeg* sender) { return static_cast<TFFmpeg&>(*sender); }

}  // namespace

TCustomFFmpegEncoder::TCustomFFmpegEncoder() : probe_(std::make_unique<media::TAVProbe>()) {
  engine::InstallPresetsAndTargets();
  tasks_.SetBeforeFree([this](TFFmpeg& task) { WaitForTask(task); });
}

// Events still on their way are dropped first: they would reach a component that is gone.
TCustomFFmpegEncoder::~TCustomFFmpegEncoder() {
  events_.Close();
  pending_count_ = 0;
  tasks_.Clear();
}

bool EncoderAvailable(const std::string& name) {
  if (name == engine::kAmrNbEncoderName) return true;
  return ff::avcodec_find_encoder_by_name && ff::avcodec_find_encoder_by_name(name.c_str()) != nullptr;
}

bool TCustomFFmpegEncoder::LoadLibraries(const std::string& libraryPath) {
  auto& loader = media::FFLoader();
  loader.SetLibraryPath(libraryPath.empty() ? media::ProgramFolder() : libraryPath);
  if (loader.LoadLibs(media::kEncoderLibraries)) return true;
  last_err_msg_ = loader.LastErrMsg();
  return false;
}

// ---------------------------------------------------------------- tasks

int TCustomFFmpegEncoder::AddInput(const std::string& fileName) {
  return AddInputTask(fileName, nullptr);
}

int TCustomFFmpegEncoder::AddInput(const std::string& fileName, TInputOptions& options) {
  return AddInputTask(fileName, &options);
}

// A task is in the list only when its input opened.
int TCustomFFmpegEncoder::AddInputTask(const std::string& fileName, TInputOptions* options) {
  auto task = std::make_shared<TFFmpeg>();
  if (!ConfigureInput(*task, fileName, options)) return -1;
  InstallRunCallbacks(*task);
  return tasks_.Add(std::move(task));
}

bool TCustomFFmpegEncoder::ConfigureInput(TFFmpeg& task, const std::string& fileName,
                                          TInputOptions* options) {
  if (!media::FFLoader().LibsLoaded(media::kEncoderLibraries)) {
    last_err_msg_ = "The media libraries are not loaded";
    return false;
  }
  try {
    task.Reset();
    task.SetVerbosity(verbose_);
    SetTaskPreviewFlags(task);
    InstallInputCallbacks(task);
    if (options) {
      if (options->FileName.empty()) options->FileName = fileName;
      task.InputOptions = *options;
      task.ApplyInputOptions();
    } else {
      ResetInputOptions(task.InputOptions);
    }
    if (task.AddInputFile(fileName)) return true;
    last_err_msg_ = task.LastErrMsg();
  } catch (...) {
    last_err_msg_ = ExceptionMessage(std::current_exception());
  }
  return false;
}

bool TCustomFFmpegEncoder::SetOutput(int index, const std::string& fileName) {
  return ConfigureOutput(*tasks_.Items(index), fileName, nullptr);
}

bool TCustomFFmpegEncoder::SetOutput(int index, const std::string& fileName,
                                     TOutputOptions& options) {
  return ConfigureOutput(*tasks_.Items(index), fileName, &options);
}

bool TCustomFFmpegEncoder::ConfigureOutput(TFFmpeg& task, const std::string& fileName,
                                           TOutputOptions* options) {
  try {
    bool join = false;
    if (options) {
      if (options->FileName.empty()) options->FileName = fileName;
      task.OutputOptions = *options;
      task.ApplyOutputOptions();
      InstallHookCallback(task);
      join = task.OutputOptions.Join;
    } else {
      ResetOutputOptions(task.OutputOptions);
    }
    if (task.AddOutputFile(fileName, join) < 0) {
      last_err_msg_ = task.LastErrMsg();
      return false;
    }
    if (options) task.ParseExtOptions(task.OutputOptions.ExtOptions, epStream);
    return true;
  } catch (...) {
    last_err_msg_ = ExceptionMessage(std::current_exception());
    return false;
  }
}

void TCustomFFmpegEncoder::RemoveTask(int index) { tasks_.Delete(index); }

void TCustomFFmpegEncoder::ClearTasks() {
  pending_count_ = 0;
  tasks_.Clear();
  {
    std::lock_guard guard(run_lock_);
    ++run_serial_;
  }
  last_err_msg_.clear();
  parallel_mode_ = false;
}

// ---------------------------------------------------------------- callbacks

void TCustomFFmpegEncoder::SetTaskPreviewFlags(TFFmpeg& task) {
  std::lock_guard guard(engine::PreviewLock());
  task.SetPreviewFlags((preview_ ? engine::kPreviewWindow : 0) |
                       (preview_bitmap_ ? engine::kPreviewBitmap : 0));
}

void TCustomFFmpegEncoder::SetTaskPreviewFlag(TFFmpeg& task, int flag, bool on) {
  std::lock_guard guard(engine::PreviewLock());
  task.SetPreviewFlags(on ? task.PreviewFlags() | flag : task.PreviewFlags() & ~flag);
}

void TCustomFFmpegEncoder::InstallInputCallbacks(TFFmpeg& task) {
  task.PreviewBitmapCallback = [this](engine::TCustomFFmpeg* sender, media::TBitmap* bitmap,
                                      int frameNumber, int64_t pts) {
    TaskPreviewBitmap(sender, bitmap, frameNumber, pts);
  };
}

void TCustomFFmpegEncoder::InstallRunCallbacks(TFFmpeg& task) {
  task.ProgressCallback = [this](engine::TCustomFFmpeg* sender, int frameNumber, int fps,
                                 int currentDuration, float quality, float bitRate,
                                 int64_t currentSize, int totalOutputDuration) {
    TaskProgress(sender, frameNumber, fps, currentDuration, quality, bitRate, currentSize,
                 totalOutputDuration);
  };
  task.TerminateCallback = [this](engine::TCustomFFmpeg* sender) { TaskTerminate(sender); };
}

void TCustomFFmpegEncoder::InstallHookCallback(TFFmpeg& task) {
  const TOutputOptions& options = task.OutputOptions;
  if (options.CustomHook) {
    task.CustomHookCallback = [this](engine::TCustomFFmpeg* sender, media::TBitmap* bitmap,
                                     int frameNumber, int64_t pts, bool& update, bool& stop) {
      TaskCustomHook(sender, bitmap, frameNumber, pts, update, stop);
    };
  } else if (options.BeforeHook) {
    task.BeforeHookCallback = [this](engine::TCustomFFmpeg* sender, int64_t pts,
                                     engine::THookAction& action) {
      TaskBeforeHook(sender, pts, action);
    };
  } else {
    task.SetHookRanges(ParseHookRanges(options.VideoHookRanges));
  }
}

void TCustomFFmpegEncoder::TaskBeforeHook(engine::TCustomFFmpeg* sender, int64_t APTS,
                                          engine::THookAction& AHookAction) {
  if (!OnBeforeHook) return;
  try {
    OnBeforeHook(AsTask(sender).Index, APTS, AHookAction);
  } catch (...) {
    media::Log(sender, llError,
               "Error occurs OnBeforeHook: " + ExceptionMessage(std::current_exception()));
    AHookAction = engine::haStop;
  }
}

void TCustomFFmpegEncoder::TaskCustomHook(engine::TCustomFFmpeg* sender, media::TBitmap* ABitmap,
                                          int AFrameNumber, int64_t APTS, bool& AUpdate,
                                          bool& AStopHook) {
  if (!OnCustomHook) return;
  try {
    OnCustomHook(AsTask(sender).Index, ABitmap, AFrameNumber, APTS, AUpdate, AStopHook);
  } catch (...) {
    media::Log(sender, llError,
               "Error occurs OnCustomHook: " + ExceptionMessage(std::current_exception()));
    AUpdate = false;
  }
}

// The picture belongs to the engine and changes once this returns: it is
// copied. A picture still waiting for the main thread is replaced, so a busy
// main thread sees the latest picture, not a backlog.
void TCustomFFmpegEncoder::TaskPreviewBitmap(engine::TCustomFFmpeg* sender,
                                             media::TBitmap* ABitmap, int AFrameNumber,
                                             int64_t APTS) {
  if (!ABitmap) return;
  const uint64_t serial = AsTask(sender).Serial;
  bool post = false;
  {
    std::lock_guard guard(preview_lock_);
    TWaitingPreview& waiting = waiting_previews_[serial];
    post = !waiting.bitmap;
    if (post) waiting.bitmap = std::make_unique<media::TBitmap>();
    waiting.bitmap->Assign(*ABitmap);
    waiting.frameNumber = AFrameNumber;
    waiting.pts = APTS;
  }
  if (post) events_.Post([this, serial] { DeliverPreview(serial); });
}

void TCustomFFmpegEncoder::DeliverPreview(uint64_t serial) {
  TWaitingPreview preview;
  {
    std::lock_guard guard(preview_lock_);
    auto it = waiting_previews_.find(serial);
    if (it == waiting_previews_.end()) return;
    preview = std::move(it->second);
    waiting_previews_.erase(it);
  }
  const int index = tasks_.PositionOfSerial(serial);
  if (index >= 0 && OnPreviewBitmap) OnPreviewBitmap(index, preview.bitmap.get(), preview.frameNumber, preview.pts);
}

void TCustomFFmpegEncoder::TaskProgress(engine::TCustomFFmpeg* sender, int AFrameNumber,
                                        int AFPS, int ACurrentDuration, float AQuality,
                                        float ABitRate, int64_t ACurrentSize,
                                        int ATotalOutputDuration) {
  const uint64_t serial = AsTask(sender).Serial;
  events_.Post([=, this] {
    const int index = tasks_.PositionOfSerial(serial);
    if (index >= 0 && OnProgress)
      OnProgress(index, AFrameNumber, AFPS, ACurrentDuration, AQuality, ABitRate, ACurrentSize, ATotalOutputDuration);
  });
}

// Runs on the thread that ends the task. The task's event goes out before
// anything else happens, so it precedes the final one and the next task's.
void TCustomFFmpegEncoder::TaskTerminate(engine::TCustomFFmpeg* sender) {
  PostTerminate(AsTask(sender));
  bool startNext = false, allDone = false;
  int run = 0;
  {
    std::lock_guard guard(run_lock_);
    ++finished_count_;
    if (pending_count_ > 0) {
      startNext = parallel_mode_;
    } else if (finished_count_ >= tasks_.Count() && !all_done_posted_) {
      allDone = all_done_posted_ = true;
      run = run_serial_;
    }
  }
  if (startNext) StartNext();
  if (allDone) PostAllDone(run);
}

void TCustomFFmpegEncoder::PostTerminate(const TFFmpeg& task) {
  const uint64_t serial = task.Serial;
  const bool finished = task.Finished(), exception = task.ErrorFlag();
  const std::string message = task.ErrorMessage();
  events_.Post([=, this] {
    const int index = tasks_.PositionOfSerial(serial);
    if (index >= 0 && OnTerminate) OnTerminate(index, finished, exception, message);
  });
}

void TCustomFFmpegEncoder::PostAllDone(int run) {
  events_.Post([this, run] {
    {
      std::lock_guard guard(run_lock_);
      if (run != run_serial_) return;
    }
    if (OnTerminate) OnTerminate(-1, true, false, "");
  });
}

// ---------------------------------------------------------------- running

// A task that ends at once may start the next one from its own thread while
// this loop still starts tasks: TakePending hands out each start once.
void TCustomFFmpegEncoder::StartTasks(int parallelCount) {
  {
    std::lock_guard guard(run_lock_);
    ++run_serial_;
    all_done_posted_ = false;
    next_index_ = 0;
    finished_count_ = 0;
    parallel_mode_ = parallelCount > 0;
    pending_count_ = tasks_.Count();
  }
  while (pending_count_ > 0) {
    StartNext();
    if (parallel_mode_ && --parallelCount == 0) break;
  }
}

void TCustomFFmpegEncoder::StartNext() {
  if (!TakePending()) return;
  const int position = next_index_++;
  // A task removed meanwhile leaves nothing at the end of the list to start.
  if (position < tasks_.Count()) StartTask(position);
}

void TCustomFFmpegEncoder::StartTask(int position) {
  TTaskRef task;
  try {
    task = tasks_.Items(position);
  } catch (const std::out_of_range&) {
    return;  // the list shrank since the count was read
  }
  task->SetReportInterval(static_cast<int64_t>(progress_interval_) * 1000);
  if (parallel_mode_) {
    if (auto* thread = task->StartConvert(true, thread_priority_)) thread->Resume();
  } else {
    task->StartConvert(false);
  }
}

bool TCustomFFmpegEncoder::TakePending() {
  int pending = pending_count_;
  while (pending > 0) {
    if (pending_count_.compare_exchange_weak(pending, pending - 1)) return true;
  }
  return false;
}

// The conversion threads never wait for the caller, so waiting for them here
// needs nothing from the caller's thread.
void TCustomFFmpegEncoder::StopTasks(bool wait) {
  pending_count_ = 0;
  for (const TTaskRef& task : tasks_.Snapshot()) {
    if (task->Running() || !task->Terminated()) task->Stop(wait);
  }
}

// A run's end notice is sent after it stops counting as running, and it reads
// the task: the task is freed only once that notice has returned.
void TCustomFFmpegEncoder::WaitForTask(TFFmpeg& task) { task.StopAndWaitForEnd(); }

void TCustomFFmpegEncoder::PauseTasks() {
  for (const TTaskRef& task : tasks_.Snapshot()) task->Pause();
}

void TCustomFFmpegEncoder::ResumeTasks() {
  for (const TTaskRef& task : tasks_.Snapshot()) task->Resume();
}

// ---------------------------------------------------------------- properties

void TCustomFFmpegEncoder::SetPreviewProp(bool on) {
  for (const TTaskRef& task : tasks_.Snapshot()) SetTaskPreviewFlag(*task, engine::kPreviewWindow, on);
  preview_ = on;
}

void TCustomFFmpegEncoder::SetPreviewBitmapProp(bool on) {
  for (const TTaskRef& task : tasks_.Snapshot()) SetTaskPreviewFlag(*task, engine::kPreviewBitmap, on);
  preview_bitmap_ = on;
}

void TCustomFFmpegEncoder::SetProgressIntervalProp(int milliseconds) {
  progress_interval_ = milliseconds < 100 ? 100 : milliseconds;
}

}  // namespace strella::encoder
