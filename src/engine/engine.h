// The transcoding engine: one conversion (inputs, outputs, option values)
// and the run that turns the inputs into the outputs. Configured through
// option names in the manner of the ffmpeg program (ParseOption) and the
// file openers; reports through five callbacks on the run's thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct AVFormatContext;
struct AVCodec;
struct AVCodecContext;
struct AVStream;
struct AVInputFormat;
struct AVOutputFormat;
struct AVDictionary;
struct AVBSFContext;

namespace strella::media {
class TBitmap;
struct TOptionContexts;
}  // namespace strella::media

namespace strella::engine {

inline constexpr int MAX_FILE_COUNT = 20;
inline constexpr int MAX_STREAMS = 20;
inline constexpr int MAX_STREAM_SLOTS = MAX_FILE_COUNT * MAX_STREAMS;  // 400

// Every fatal error of a conversion; caught once at the run's boundary.
class FFmpegException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TConvertPriority { tpIdle, tpLowest, tpLower, tpNormal };
enum THookAction { haContinue, haIgnore, haStop };

struct TStreamMapRec {
  int32_t file_index = 0;
  int32_t stream_index = 0;
  int32_t sync_file_index = 0;
  int32_t sync_stream_index = 0;
};

struct TMetaDataMapRec {
  int32_t out_file = 0;
  int32_t in_file = 0;
};

// A frame-hook time range in microseconds.
struct THookRange {
  int64_t start = 0;
  int64_t end = 0;
};

class TCustomFFmpeg;

// The worker thread of a background run, created waiting: Resume starts it.
class TConvertThread {
 public:
  explicit TConvertThread(TCustomFFmpeg* engine, TConvertPriority priority);
  ~TConvertThread();
  void Resume();
  bool Started() const { return started_; }
  void Join();
  bool IsCurrent() const;

 private:
  TCustomFFmpeg* engine_;
  TConvertPriority priority_;
  bool started_ = false;
  std::thread thread_;
};

// Notification callbacks; Sender is the engine (the encoder's task).
using TBeforeHookCallback =
    std::function<void(TCustomFFmpeg* Sender, int64_t APTS, THookAction& AHookAction)>;
using TCustomHookCallback =
    std::function<void(TCustomFFmpeg* Sender, media::TBitmap* ABitmap, int AFrameNumber,
                       int64_t APTS, bool& AUpdate, bool& AStopHook)>;
using TPreviewBitmapCallback = std::function<void(TCustomFFmpeg* Sender, media::TBitmap* ABitmap,
                                                  int AFrameNumber, int64_t APTS)>;
using TProgressCallback =
    std::function<void(TCustomFFmpeg* Sender, int AFrameNumber, int AFPS, int ACurrentDuration,
                       float AQuality, float ABitRate, int64_t ACurrentSize,
                       int ATotalOutputDuration)>;
using TTerminateCallback = std::function<void(TCustomFFmpeg* Sender)>;
// Asked before each packet goes to the muxer (APTS in microseconds, AV_NOPTS_VALUE
// when it has none); false leaves the packet out. Tests make a faulty output with it.
using TPacketWriteCallback = std::function<bool(TCustomFFmpeg* Sender, int AStreamIndex, int64_t APTS)>;

// Handler of "target", "apre", "vpre" and "spre" (built-in presets and
// targets). Installed once per process; without one those options raise
// "TODO: option - <name>".
using TPresetOptionHandler =
    std::function<void(TCustomFFmpeg& engine, const std::string& name, const std::string& value)>;
void SetPresetOptionHandler(TPresetOptionHandler handler);

// Process-wide lock around each task's preview flags and the preview itself.
std::mutex& PreviewLock();

// Preview flag bits.
inline constexpr int kPreviewWindow = 1;
inline constexpr int kPreviewBitmap = 2;

struct TEngineState;  // option values, tables and run state (engine_state.h)

class TCustomFFmpeg {
 public:
  TCustomFFmpeg();
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg&) = delete;
  TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

  // Life cycle.
  void Reset();
  void SetDefaults();
  void ReleaseAll();

  // Options: a name of the option table (no leading '-') and its text value.
  // Handler errors raise FFmpegException; unknown names go to the libraries'
  // option tables and are ignored when no table knows them.
  void ParseOption(const std::string& name, const std::string& value);
  // The typed setters used by the encoder's option records.
  void SetInputFormat(const std::string& name);
  void SetOutputFormat(const std::string& name);
  void SetStartTime(int64_t microseconds);      // only a positive value is taken
  void SetRecordingTime(int64_t microseconds);  // also the total duration
  void SetRecordingTimeMS(int64_t milliseconds);
  void SetTimestamp(int64_t seconds);
  bool SetGenericOption(const std::string& name, const std::string& value);
  void SetHookRanges(std::vector<THookRange> ranges);  // sorted by end here

  // Files. AddInputFile: false with LastErrMsg on failure. AddOutputFile:
  // the output's index, or -1 with LastErrMsg.
  bool AddInputFile(const std::string& fileName);
  int AddOutputFile(const std::string& fileName, bool join = false);
  int InputFileCount() const;
  int OutputFileCount() const;

  // Running. StartConvert returns the (not yet started) worker thread in the
  // background, else runs on the calling thread and returns nullptr.
  TConvertThread* StartConvert(bool background, TConvertPriority priority = tpNormal);
  void RunConvert();
  void StopConvert(bool waitForStop);
  void Stop(bool wait);
  // Stops a run and returns once its threads, end notice included, are gone:
  // after it no callback of this engine runs any more.
  void StopAndWaitForEnd();
  // Pause takes effect at the head of the main loop: no progress, no lock held.
  void Pause();
  void Resume();
  bool Paused() const { return pause_requested_; }
  bool StopRequested() const { return stop_requested_; }
  // The log tag the conversion thread carries (media::TThreadLogTag): whose lines they are.
  int64_t LogTag() const { return log_tag_; }
  void SetLogTag(int64_t tag) { log_tag_ = tag; }

  // State read by the encoder component.
  const std::string& LastErrMsg() const { return last_err_msg_; }
  bool Running() const { return running_; }
  bool Terminated() const { return terminated_; }
  bool Finished() const { return finished_; }
  bool ErrorFlag() const { return error_flag_; }
  const std::string& ErrorMessage() const { return error_message_; }
  int64_t TotalDuration() const { return total_duration_; }  // ms, -1 unknown
  void SetTotalDuration(int64_t ms) { total_duration_ = ms; }
  TConvertThread* ConversionThread() const;

  int64_t ReportInterval() const { return report_interval_; }  // microseconds
  void SetReportInterval(int64_t us) { report_interval_ = us; }
  int64_t PreviewInterval() const { return preview_interval_; }  // microseconds
  void SetPreviewInterval(int64_t us) { preview_interval_ = us; }

  // Preview flags (kPreviewWindow | kPreviewBitmap); change them under PreviewLock().
  int PreviewFlags() const { return preview_flags_; }
  void SetPreviewFlags(int flags);

  int Verbosity() const;
  void SetVerbosity(int level);

  // Notification callbacks, each tested for assignment before use.
  TBeforeHookCallback BeforeHookCallback;
  TCustomHookCallback CustomHookCallback;
  TPreviewBitmapCallback PreviewBitmapCallback;
  TProgressCallback ProgressCallback;
  TTerminateCallback TerminateCallback;
  TPacketWriteCallback PacketWriteCallback;

  // Read access to the option values and tables, for the engine's stages and tests.
  TEngineState& State() { return *state_; }
  const TEngineState& State() const { return *state_; }

 protected:
  void DoTerminate();

 private:
  friend class TConvertThread;
  void WaitWhilePaused();
  void JoinFinishedThread();

  std::unique_ptr<TEngineState> state_;
  std::unique_ptr<TConvertThread> conversion_thread_;
  std::unique_ptr<TConvertThread> finished_thread_;  // forgotten, still to be joined
  std::thread terminate_thread_;                     // delivers a never-run task's notification
  mutable std::mutex thread_lock_;                   // guards the two thread pointers
  std::condition_variable thread_ended_;             // the run's thread became a finished one
  std::string last_err_msg_;
  std::atomic<bool> running_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> stop_requested_{false};
  std::atomic<bool> pause_requested_{false};
  std::mutex pause_lock_;
  std::condition_variable pause_changed_;
  bool error_flag_ = false;
  std::string error_message_;
  int64_t log_tag_ = 0;
  int64_t total_duration_ = -1;
  int64_t report_interval_ = 500000;
  int64_t preview_interval_ = 100000;
  int preview_flags_ = 0;

  friend class TTranscoder;
  friend struct TEngineAccess;
};

}  // namespace strella::engine
