// The log sink: the libraries' log output and the system's own messages,
// filtered by one level and handed line by line to OnLog on the main thread.
// A logging thread only formats and posts its line; it never waits for the
// main thread, so a library may log while it holds any lock of its own.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "media/main_thread.h"

namespace strella::media {

enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// Library level = (ordinal - 1) * 8; the reverse truncates toward zero and clamps.
int LibraryLogLevel(TLogLevel level);
TLogLevel LogLevelFromLibrary(int value);

// Sender is the object that logged (the sink itself for library lines); ATag
// is the log tag the thread carried when it logged (TThreadLogTag), 0 for none.
using TLogEvent = std::function<void(const void* Sender, uint64_t AThreadID, int64_t ATag,
                                     TLogLevel ALogLevel, const std::string& ALogMsg)>;

class TFFLogger {
 public:
  // The process-wide sink, created on first use.
  static TFFLogger& Instance();
  // A second sink is refused: throws std::logic_error
  // "Allow creating only one instance of TFFLogger.".
  TFFLogger();
  ~TFFLogger();
  TFFLogger(const TFFLogger&) = delete;
  TFFLogger& operator=(const TFFLogger&) = delete;

  TLogLevel LogLevel() const { return log_level_; }
  // Also sets the library's level and the filter level once the utility library is loaded.
  void SetLogLevel(TLogLevel level);
  // "quiet" ... "debug" (any case) or a decimal library level; other text
  // throws std::invalid_argument.
  void SetLogLevelByName(const std::string& name);

  void SetOnLog(TLogEvent handler);

  void InstallCallback();
  void UninstallCallback();

  void Log(const void* sender, TLogLevel level, const std::string& msg);

  // The library callback's work, reachable for tests: context may be null.
  void LibraryMessage(void* context, int level, const char* format, va_list args);

 private:
  void Deliver(const void* sender, uint64_t threadId, TLogLevel level, const std::string& line);
  std::string TakePending(std::thread::id thread);
  void KeepPending(std::thread::id thread, std::string text);

  TLogLevel log_level_ = llInfo;
  std::mutex handler_lock_;
  TLogEvent on_log_;
  TMainThreadMailbox mailbox_;
  std::mutex pending_lock_;  // guards the per-thread partial lines
  std::map<std::thread::id, std::string> pending_;
};

// Convenience for components: Log(this, llError, "...").
inline void Log(const void* sender, TLogLevel level, const std::string& msg) {
  TFFLogger::Instance().Log(sender, level, msg);
}

uint64_t CurrentThreadId();

// The job a thread works for now; 0 is no job. Each line carries the tag its
// thread had when it logged, since the thread may work for another job by
// the time the line is delivered.
int64_t ThreadLogTag(uint64_t AThreadID);

// Tags the calling thread for its lifetime and restores the earlier tag after.
class TThreadLogTag {
 public:
  explicit TThreadLogTag(int64_t ATag);
  ~TThreadLogTag();
  TThreadLogTag(const TThreadLogTag&) = delete;
  TThreadLogTag& operator=(const TThreadLogTag&) = delete;

 private:
  int64_t previous_;
};

}  // namespace strella::media
