#include "media/logger.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cctype>
#include <stdexcept>
#include <utility>

#include "media/ff.h"
#include "media/text_helpers.h"

namespace strella::media {
namespace {

// The sink's view of the library's level, in library units.
std::atomic<int> g_filter_level{AV_LOG_INFO};
std::atomic<TFFLogger*> g_instance{nullptr};

// Lines up to this size are formatted on the stack; longer ones grow on the heap.
constexpr size_t kLineBuffer = 2048;

void LibraryCallback(void* context, int level, const char* format, va_list args) {
  if (level > g_filter_level.load()) return;
  TFFLogger::Instance().LibraryMessage(context, level, format, args);
}

std::string FormatArgs(const char* format, va_list args) {
  char buffer[kLineBuffer];
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(buffer, sizeof buffer, format, copy);
  va_end(copy);
  if (length < 0) return {};
  if (static_cast<size_t>(length) < sizeof buffer) return std::string(buffer, length);
  std::string text(static_cast<size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

std::string ContextPrefix(void* context) {
  const AVClass* avClass = *static_cast<const AVClass* const*>(context);
  const char* name = avClass && avClass->item_name ? avClass->item_name(context) : "NULL";
  return Format("[%s @ %p]", name, context);
}

}  // namespace

int LibraryLogLevel(TLogLevel level) { return (static_cast<int>(level) - 1) * 8; }

TLogLevel LogLevelFromLibrary(int value) {
  int ordinal = value / 8 + 1;
  return static_cast<TLogLevel>(std::clamp(ordinal, 0, 7));
}

uint64_t CurrentThreadId() { return static_cast<uint64_t>(syscall(SYS_gettid)); }

namespace {

std::mutex g_tag_lock;
std::map<uint64_t, int64_t> g_thread_tags;  // only threads with a tag

int64_t SetThreadLogTag(uint64_t thread, int64_t tag) {
  std::lock_guard guard(g_tag_lock);
  auto it = g_thread_tags.find(thread);
  const int64_t previous = it == g_thread_tags.end() ? 0 : it->second;
  if (tag == 0) {
    if (it != g_thread_tags.end()) g_thread_tags.erase(it);
  } else {
    g_thread_tags[thread] = tag;
  }
  return previous;
}

}  // namespace

int64_t ThreadLogTag(uint64_t AThreadID) {
  std::lock_guard guard(g_tag_lock);
  auto it = g_thread_tags.find(AThreadID);
  return it == g_thread_tags.end() ? 0 : it->second;
}

TThreadLogTag::TThreadLogTag(int64_t ATag) : previous_(SetThreadLogTag(CurrentThreadId(), ATag)) {}

TThreadLogTag::~TThreadLogTag() { SetThreadLogTag(CurrentThreadId(), previous_); }

TFFLogger& TFFLogger::Instance() {
  static TFFLogger* sink = g_instance.load() ? g_instance.load() : new TFFLogger();
  return *sink;
}

TFFLogger::TFFLogger() {
  TFFLogger* none = nullptr;
  if (!g_instance.compare_exchange_strong(none, this))
    throw std::logic_error("Allow creating only one instance of TFFLogger.");
  log_level_ = LogLevelFromLibrary(g_filter_level.load());
}

TFFLogger::~TFFLogger() {
  TFFLogger* self = this;
  g_instance.compare_exchange_strong(self, nullptr);
}

void TFFLogger::SetLogLevel(TLogLevel level) {
  log_level_ = level;
  if (ff::av_log_set_level) {
    ff::av_log_set_level(LibraryLogLevel(level));
    g_filter_level = LibraryLogLevel(level);
  }
}

void TFFLogger::SetLogLevelByName(const std::string& name) {
  static const char* const kNames[] = {"quiet", "panic", "fatal", "error",
                                       "warning", "info", "verbose", "debug"};
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (int i = 0; i < 8; ++i) {
    if (lower == kNames[i]) {
      SetLogLevel(static_cast<TLogLevel>(i));
      return;
    }
  }
  size_t used = 0;
  int value = std::stoi(name, &used);  // throws std::invalid_argument for non-numbers
  if (used != name.size()) throw std::invalid_argument("'" + name + "' is not a valid integer value");
  SetLogLevel(LogLevelFromLibrary(value));
}

void TFFLogger::SetOnLog(TLogEvent handler) {
  std::lock_guard guard(handler_lock_);
  on_log_ = std::move(handler);
}

void TFFLogger::InstallCallback() {
  assert(ff::av_log_set_callback && "the utility library must be loaded");
  ff::av_log_set_callback(LibraryCallback);
}

void TFFLogger::UninstallCallback() {
  if (ff::av_log_set_callback && ff::av_log_default_callback)
    ff::av_log_set_callback(ff::av_log_default_callback);
}

void TFFLogger::Log(const void* sender, TLogLevel level, const std::string& msg) {
  if (level <= log_level_ || (level == llVerbose && log_level_ != llQuiet))
    Deliver(sender, CurrentThreadId(), level, msg);
}

void TFFLogger::LibraryMessage(void* context, int level, const char* format, va_list args) {
  const auto thread = std::this_thread::get_id();
  std::string text = TakePending(thread);
  if (context && text.empty()) text = ContextPrefix(context);
  text += FormatArgs(format, args);
  std::string line;
  while (text.find('\n') != std::string::npos) {
    SplitAt(text, "\n", true, line);
    Deliver(this, CurrentThreadId(), LogLevelFromLibrary(level), line);
  }
  KeepPending(thread, std::move(text));
}

std::string TFFLogger::TakePending(std::thread::id thread) {
  std::lock_guard guard(pending_lock_);
  auto it = pending_.find(thread);
  if (it == pending_.end()) return {};
  return std::exchange(it->second, std::string());
}

void TFFLogger::KeepPending(std::thread::id thread, std::string text) {
  std::lock_guard guard(pending_lock_);
  pending_[thread] = std::move(text);
}

void TFFLogger::Deliver(const void* sender, uint64_t threadId, TLogLevel level, const std::string& line) {
  {
    std::lock_guard guard(handler_lock_);
    if (!on_log_) return;
  }
  const int64_t tag = ThreadLogTag(threadId);
  mailbox_.Post([this, sender, threadId, tag, level, line] {
    TLogEvent handler;
    {
      std::lock_guard guard(handler_lock_);
      handler = on_log_;
    }
    if (handler) handler(sender, threadId, tag, level, line);
  });
}

}  // namespace strella::media
