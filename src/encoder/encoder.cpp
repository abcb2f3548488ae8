#include "encoder/encoder.h"

#include <exception>

#include "encoder/terminate_deliveries.h"
#include "engine/amrnb_encoder.h"
#include "engine/presets_targets.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/main_thread.h"

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

TCustomFFmpegEncoder::TCustomFFmpegEncoder()
    : probe_(std::make_unique<media::TAVProbe>()),
      terminate_deliveries_(std::make_unique<TTerminateDeliveries>()) {
  engine::InstallPresetsAndTargets();
  tasks_.SetBeforeFree([this](TFFmpeg& task) { WaitForTask(task); });
}

TCustomFFmpegEncoder::~TCustomFFmpegEncoder() {
  // Lets a progress or terminate notification in progress finish first.
  { std::lock_guard guard(component_lock_); }
  tasks_.Clear();
  terminate_deliveries_->JoinAll();
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
  auto task = std::make_unique<TFFmpeg>();
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
  return ConfigureOutput(tasks_.Items(index), fileName, nullptr);
}

bool TCustomFFmpegEncoder::SetOutput(int index, const std::string& fileName,
                                     TOutputOptions& options) {
  return ConfigureOutput(tasks_.Items(index), fileName, &options);
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
  tasks_.Clear();
  terminate_deliveries_->JoinAll();
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

// The conversion thread waits until the main thread has run the handler; one
// hand-over at a time, so that each delivery sees only its own arguments.
void TCustomFFmpegEncoder::TaskPreviewBitmap(engine::TCustomFFmpeg* sender,
                                             media::TBitmap* ABitmap, int AFrameNumber,
                                             int64_t APTS) {
  if (!OnPreviewBitmap) return;
  const int index = AsTask(sender).Index;
  if (media::IsMainThread()) {
    OnPreviewBitmap(index, ABitmap, AFrameNumber, APTS);
    return;
  }
  std::lock_guard guard(preview_delivery_lock_);
  media::RunOnMainThread([this, index, ABitmap, AFrameNumber, APTS] {
    if (OnPreviewBitmap) OnPreviewBitmap(index, ABitmap, AFrameNumber, APTS);
  });
}

void TCustomFFmpegEncoder::TaskProgress(engine::TCustomFFmpeg* sender, int AFrameNumber,
                                        int AFPS, int ACurrentDuration, float AQuality,
                                        float ABitRate, int64_t ACurrentSize,
                                        int ATotalOutputDuration) {
  std::lock_guard guard(component_lock_);
  if (OnProgress) {
    OnProgress(AsTask(sender).Index, AFrameNumber, AFPS, ACurrentDuration, AQuality, ABitRate,
               ACurrentSize, ATotalOutputDuration);
  }
}

void TCustomFFmpegEncoder::TaskTerminate(engine::TCustomFFmpeg* sender) {
  std::lock_guard guard(component_lock_);
  DeliverTerminate(AsTask(sender).Index, sender->Finished(), sender->ErrorFlag(),
                   sender->ErrorMessage());
  ++finished_count_;
  if (pending_count_ > 0) {
    if (parallel_mode_) StartNext();
  } else if (finished_count_ >= tasks_.Count()) {
    AllDone();
  }
}

// Parallel mode: on a thread of its own with copies of the values; otherwise
// directly, inside the component lock.
void TCustomFFmpegEncoder::DeliverTerminate(int index, bool finished, bool exception,
                                            const std::string& message) {
  if (!OnTerminate) return;
  if (!parallel_mode_) {
    OnTerminate(index, finished, exception, message);
    return;
  }
  terminate_deliveries_->Start([handler = OnTerminate, index, finished, exception, message] {
    handler(index, finished, exception, message);
  });
}

void TCustomFFmpegEncoder::AllDone() { DeliverTerminate(-1, true, false, ""); }

// ---------------------------------------------------------------- running

// The component lock is held around the start loop, so a task that ends at
// once (and starts the next one from its own thread) cannot make any task
// start twice.
void TCustomFFmpegEncoder::StartTasks(int parallelCount) {
  std::lock_guard guard(component_lock_);
  next_index_ = 0;
  finished_count_ = 0;
  parallel_mode_ = parallelCount > 0;
  pending_count_ = tasks_.Count();
  while (pending_count_ > 0) {
    StartNext();
    if (parallel_mode_ && --parallelCount == 0) break;
  }
}

void TCustomFFmpegEncoder::StartNext() {
  std::lock_guard guard(component_lock_);
  if (!TakePending()) return;
  const int position = next_index_++;
  // A task removed meanwhile leaves nothing at the end of the list to start.
  if (position < tasks_.Count()) StartTask(position);
}

void TCustomFFmpegEncoder::StartTask(int position) {
  TFFmpeg& task = tasks_.Items(position);
  task.SetReportInterval(static_cast<int64_t>(progress_interval_) * 1000);
  if (parallel_mode_) {
    if (auto* thread = task.StartConvert(true, thread_priority_)) thread->Resume();
  } else {
    task.StartConvert(false);
  }
}

// Stopping does not take the component lock: a synchronous run holds it on
// the thread that converts.
bool TCustomFFmpegEncoder::TakePending() {
  int pending = pending_count_;
  while (pending > 0) {
    if (pending_count_.compare_exchange_weak(pending, pending - 1)) return true;
  }
  return false;
}

void TCustomFFmpegEncoder::StopTasks(bool wait) {
  pending_count_ = 0;
  tasks_.ForEach([&](TFFmpeg& task) {
    if (task.Running()) {
      task.StopConvert(false);
      if (wait) media::WaitServingMainThread([&] { return !task.Running(); });
    } else if (!task.Terminated()) {
      task.Stop(false);
      if (wait) media::WaitServingMainThread([&] { return task.Terminated(); });
    }
  });
}

// Waits for a running conversion to end while serving the main thread, which
// the conversion may need for its preview deliveries.
void TCustomFFmpegEncoder::WaitForTask(TFFmpeg& task) {
  if (!task.Running()) return;
  task.StopConvert(false);
  media::WaitServingMainThread([&] { return !task.Running(); });
}

void TCustomFFmpegEncoder::PauseTasks() {
  tasks_.ForEach([](TFFmpeg& task) { task.Pause(); });
}

void TCustomFFmpegEncoder::ResumeTasks() {
  tasks_.ForEach([](TFFmpeg& task) { task.Resume(); });
}

// ---------------------------------------------------------------- properties

void TCustomFFmpegEncoder::SetPreviewProp(bool on) {
  tasks_.ForEach([&](TFFmpeg& task) { SetTaskPreviewFlag(task, engine::kPreviewWindow, on); });
  preview_ = on;
}

void TCustomFFmpegEncoder::SetPreviewBitmapProp(bool on) {
  tasks_.ForEach([&](TFFmpeg& task) { SetTaskPreviewFlag(task, engine::kPreviewBitmap, on); });
  preview_bitmap_ = on;
}

void TCustomFFmpegEncoder::SetProgressIntervalProp(int milliseconds) {
  progress_interval_ = milliseconds < 100 ? 100 : milliseconds;
}

}  // namespace strella::encoder
