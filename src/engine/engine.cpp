// The engine object: defaults, reset and release, starting, stopping and
// pausing a run, and the terminate notification that ends every started run.
#include "engine/engine.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "engine/stages.h"
#include "media/loader.h"

namespace strella::engine {
namespace {

bool LibrariesLoaded() {
  using namespace media;
  return FFLoader().LibsLoaded({ltAVCodec, ltAVFormat, ltAVUtil, ltSwScale, ltSwResample, ltAVFilter});
}

// The nice level the program was started at (by `nice`, a scheduler, a CI runner).
int StartingNice() {
  static const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));  // the main thread
  return nice;
}

// Idle, lowest, below normal and normal map to SCHED_IDLE, nice 19, 10 and 0,
// never above the level the program was started at: run as root under
// `nice`, normal stays at that level instead of taking the priority back.
void ApplyPriority(TConvertPriority priority) {
  const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
  if (priority == tpIdle) {
    sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    return;
  }
  const int nice = priority == tpLowest ? 19 : priority == tpLower ? 10 : 0;
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), std::max(nice, StartingNice()));
}

void JoinThread(std::thread& thread) {
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();  // a callback on its own thread released the engine
    return;
  }
  thread.join();
}

TPresetOptionHandler& PresetHandler() {
  static TPresetOptionHandler handler;
  return handler;
}

}  // namespace

void SetPresetOptionHandler(TPresetOptionHandler handler) { PresetHandler() = std::move(handler); }

// Used by the option dispatcher for "target", "apre", "vpre" and "spre".
bool CallPresetOptionHandler(TCustomFFmpeg& engine, const std::string& name, const std::string& value) {
  if (!PresetHandler()) return false;
  PresetHandler()(engine, name, value);
  return true;
}

std::mutex& PreviewLock() {
  static std::mutex lock;
  return lock;
}

// ---- TConvertThread ----

TConvertThread::TConvertThread(TCustomFFmpeg* engine, TConvertPriority priority)
    : engine_(engine), priority_(priority) {}

TConvertThread::~TConvertThread() { Join(); }

void TConvertThread::Resume() {
  if (started_) return;
  started_ = true;
  thread_ = std::thread([engine = engine_, priority = priority_] {
    ApplyPriority(priority);
    engine->RunConvert();
  });
}

void TConvertThread::Join() { JoinThread(thread_); }

bool TConvertThread::IsCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }

// ---- TCustomFFmpeg ----

TCustomFFmpeg::TCustomFFmpeg() : state_(std::make_unique<TEngineState>()) { SetDefaults(); }

TCustomFFmpeg::~TCustomFFmpeg() {
  StopAndWaitForEnd();
  ReleaseAll();
}

void TCustomFFmpeg::Reset() {
  if (!LibrariesLoaded()) return;
  JoinFinishedThread();
  JoinThread(terminate_thread_);
  ReleaseAll();
  SetDefaults();
  state_->join = false;
  running_ = false;
  stop_requested_ = false;
  pause_requested_ = false;
  finished_ = false;
  terminated_ = false;
  total_duration_ = -1;
  media::AllocOptionContexts(state_->option_contexts, state_->opt.sws_flags);
}

void TCustomFFmpeg::SetDefaults() {
  TEngineState& s = *state_;
  if (!s.input_files.empty() || !s.output_owned.empty()) ReleaseAll();  // never leak open files
  s.opt = TOptionValues{};
  std::fill(&s.input_files_ts_offset[0], &s.input_files_ts_offset[MAX_FILE_COUNT], 0);
  std::fill(&s.input_files_ts_scale[0][0], &s.input_files_ts_scale[MAX_FILE_COUNT - 1][MAX_STREAMS], 0.0);
  s.input_codecs.clear();
  s.stream_maps.clear();
  s.meta_data_maps.clear();
  for (auto& chain : s.pending_bsfs) chain.clear();
  s.pending_metadata.clear();
  s.output_buffer_size = kDefaultOutputBufferSize;
  s.hook_ranges.clear();
  s.hook_range_index = 0;
  s.hook_action = haContinue;
  s.picture_counter = 0;
  total_duration_ = -1;
  preview_flags_ = 0;
  error_flag_ = false;
  error_message_.clear();
}

void TCustomFFmpeg::ReleaseAll() {
  if (!LibrariesLoaded()) return;
  TEngineState& s = *state_;
  media::FreeOptionContexts(s.option_contexts);
  FreeRunTables(s);
  CloseOutputFiles(s);
  CloseInputFiles(s);
  FreeOptionValues(s);
}

int TCustomFFmpeg::InputFileCount() const { return static_cast<int>(state_->input_files.size()); }
int TCustomFFmpeg::OutputFileCount() const { return static_cast<int>(state_->output_slots.size()); }

bool TCustomFFmpeg::AddInputFile(const std::string& fileName) {
  last_err_msg_.clear();
  return OpenInputFile(*this, fileName, last_err_msg_);
}

int TCustomFFmpeg::AddOutputFile(const std::string& fileName, bool join) {
  last_err_msg_.clear();
  return OpenOutputFile(*this, fileName, join, last_err_msg_);
}

TConvertThread* TCustomFFmpeg::ConversionThread() const {
  std::lock_guard guard(thread_lock_);
  return conversion_thread_.get();
}

TConvertThread* TCustomFFmpeg::StartConvert(bool background, TConvertPriority priority) {
  if (running_ || terminated_) return nullptr;
  const char* refusal = nullptr;
  if (OutputFileCount() <= 0)
    refusal = "At least one output file must be specified";
  else if (InputFileCount() == 0)
    refusal = "At least one input file must be specified";
  if (refusal) {
    ReleaseAll();
    EngineLog(*this, media::llQuiet, refusal);
    error_flag_ = true;
    error_message_ = refusal;
    DoTerminate();
    return nullptr;
  }
  running_ = true;
  stop_requested_ = false;
  finished_ = false;
  terminated_ = false;
  if (!background) {
    RunConvert();
    return nullptr;
  }
  JoinFinishedThread();
  std::lock_guard guard(thread_lock_);
  conversion_thread_ = std::make_unique<TConvertThread>(this, priority);
  return conversion_thread_.get();
}

void TCustomFFmpeg::RunConvert() {
  const media::TThreadLogTag tag(log_tag_);
  finished_ = false;
  try {
    Transcode(*this);
    finished_ = !stop_requested_;
  } catch (const std::exception& e) {
    EngineLog(*this, media::llQuiet, e.what());
    error_flag_ = true;
    error_message_ = e.what();
  }
  CloseOpenedCodecs(*state_);
  ReleaseAll();
  DoTerminate();
}

void TCustomFFmpeg::DoTerminate() {
  running_ = false;
  terminated_ = true;
  {
    std::lock_guard guard(thread_lock_);
    if (conversion_thread_) finished_thread_ = std::move(conversion_thread_);
  }
  thread_ended_.notify_all();
  if (TerminateCallback) TerminateCallback(this);
}

void TCustomFFmpeg::StopConvert(bool waitForStop) {
  stop_requested_ = true;
  Resume();
  TConvertThread* thread = ConversionThread();
  if (!thread) return;
  if (!thread->Started()) thread->Resume();  // a never-resumed run sees the stop at once
  if (waitForStop && !thread->IsCurrent()) {
    std::unique_lock guard(thread_lock_);
    thread_ended_.wait(guard, [this] { return conversion_thread_ == nullptr; });
  }
}

void TCustomFFmpeg::Stop(bool wait) {
  if (running_) {
    StopConvert(wait);
    return;
  }
  if (terminated_) return;
  JoinThread(terminate_thread_);
  terminate_thread_ = std::thread([this] { DoTerminate(); });
  if (wait) JoinThread(terminate_thread_);
}

void TCustomFFmpeg::StopAndWaitForEnd() {
  StopConvert(true);
  JoinFinishedThread();
  JoinThread(terminate_thread_);
}

void TCustomFFmpeg::Pause() {
  std::lock_guard guard(pause_lock_);
  pause_requested_ = true;
}

void TCustomFFmpeg::Resume() {
  {
    std::lock_guard guard(pause_lock_);
    pause_requested_ = false;
  }
  pause_changed_.notify_all();
}

void TCustomFFmpeg::WaitWhilePaused() {
  std::unique_lock guard(pause_lock_);
  pause_changed_.wait(guard, [this] { return !pause_requested_ || stop_requested_; });
}

void TCustomFFmpeg::JoinFinishedThread() {
  std::unique_ptr<TConvertThread> thread;
  {
    std::lock_guard guard(thread_lock_);
    thread = std::move(finished_thread_);
  }
  if (thread) thread->Join();
}

// Clearing the window bit frees the previewer; during a run the run's own
// thread does that at its next picture, since it may be showing one.
void TCustomFFmpeg::SetPreviewFlags(int flags) {
  preview_flags_ = flags;
  if (!(flags & kPreviewWindow) && !running_) state_->previewer.reset();
}

int TCustomFFmpeg::Verbosity() const { return state_->opt.verbose; }
void TCustomFFmpeg::SetVerbosity(int level) { state_->opt.verbose = level; }

}  // namespace strella::engine
