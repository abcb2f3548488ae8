#include "media/generic_options.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <mutex>

#include "media/ff.h"
#include "media/loader.h"
#include "media/logger.h"

namespace strella::media {
namespace {

// The option flags that select each codec template's options; 0 matches any.
constexpr int kKindFlags[kCodecTemplateCount] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                                 AV_OPT_FLAG_SUBTITLE_PARAM, 0};

std::string Trimmed(const std::string& text) {
  auto first = std::find_if(text.begin(), text.end(), [](unsigned char c) { return c > ' '; });
  auto last = std::find_if(text.rbegin(), text.rend(), [](unsigned char c) { return c > ' '; }).base();
  return first < last ? std::string(first, last) : std::string();
}

const AVOption* FindOption(const void* object, const std::string& name, int flags) {
  return ff::av_opt_find(const_cast<void*>(object), name.c_str(), nullptr, flags, 0);
}

// A refused value is reported by our one "Invalid value" line alone: while
// this thread sets a value, the library's own complaints (from the option
// and from its expression parser) are dropped; other threads' lines pass on
// to the sink as always.
thread_local bool tl_setting_value = false;

bool SinkInstalled() { return FFLoader().InstallLogCallback(); }

void QuietWhileSetting(void* context, int level, const char* format, va_list args) {
  if (tl_setting_value) return;
  if (SinkInstalled())
    TFFLogger::Instance().LibraryMessage(context, level, format, args);
  else
    ff::av_log_default_callback(context, level, format, args);
}

int SetQuietly(void* context, const std::string& name, const std::string& value, int searchFlags = 0) {
  static std::mutex lock;
  std::lock_guard guard(lock);
  ff::av_log_set_callback(QuietWhileSetting);
  tl_setting_value = true;
  const int result = ff::av_opt_set(context, name.c_str(), value.c_str(), searchFlags);
  tl_setting_value = false;
  if (SinkInstalled())
    TFFLogger::Instance().InstallCallback();
  else
    ff::av_log_set_callback(ff::av_log_default_callback);
  return result;
}

// Sets the option on every codec template whose kind it belongs to.
const AVOption* SetOnCodecTemplates(TOptionContexts& set, const std::string& name,
                                    const std::string& value, int& result) {
  const AVOption* found = nullptr;
  for (int kind = 0; kind < kCodecTemplateCount && result >= 0; ++kind) {
    const AVOption* option = FindOption(set.codec[0], name, kKindFlags[kind]);
    if (!option) continue;
    found = option;
    result = SetQuietly(set.codec[kind], name, value);
  }
  return found;
}

const AVOption* SetOnOne(void* object, const std::string& name, const std::string& value,
                         int& result) {
  const AVOption* option = FindOption(object, name, 0);
  if (option) result = SetQuietly(object, name, value);
  return option;
}

AVCodecContext* PrefixTemplate(TOptionContexts& set, char prefix) {
  switch (prefix) {
    case 'a': return set.codec[AVMEDIA_TYPE_AUDIO];
    case 'v': return set.codec[AVMEDIA_TYPE_VIDEO];
    case 's': return set.codec[AVMEDIA_TYPE_SUBTITLE];
    default: return nullptr;
  }
}

// An option that only some codec's or format's private data defines: the
// libraries' classes list those as their children.
const AVOption* FindPrivateOption(const std::string& name) {
  constexpr int kSearch = AV_OPT_SEARCH_CHILDREN | AV_OPT_SEARCH_FAKE_OBJ;
  const AVClass* codecClass = ff::avcodec_get_class();
  if (const AVOption* option = ff::av_opt_find(&codecClass, name.c_str(), nullptr, 0, kSearch)) return option;
  const AVClass* formatClass = ff::avformat_get_class();
  return ff::av_opt_find(&formatClass, name.c_str(), nullptr, 0, kSearch);
}

void LogInvalidValue(const std::string& name, const std::string& value) {
  ff::av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str());
}

bool DebugRequested(const TOptionContexts& set) {
  int64_t codecDebug = 0, formatDebug = 0;
  ff::av_opt_get_int(set.codec[AVMEDIA_TYPE_VIDEO], "debug", 0, &codecDebug);
  ff::av_opt_get_int(set.format, "fdebug", 0, &formatDebug);
  return codecDebug != 0 || formatDebug != 0;
}

}  // namespace

void InitOptionContexts(TOptionContexts& set) { set = TOptionContexts{}; }

bool OptionContextsAllocated(const TOptionContexts& set) { return set.codec[0] != nullptr; }

bool AllocOptionContexts(TOptionContexts& set, int scalerFlags) {
  FreeOptionContexts(set);
  bool ok = true;
  for (auto& context : set.codec) ok = (context = ff::avcodec_alloc_context3(nullptr)) && ok;
  set.format = ff::avformat_alloc_context();
  set.scaler = ff::sws_alloc_context();
  ok = ok && set.format && set.scaler;
  if (ok) {
    // A 16x16 4:2:0 picture to the same: only its options matter.
    ff::av_opt_set_int(set.scaler, "srcw", 16, 0);
    ff::av_opt_set_int(set.scaler, "srch", 16, 0);
    ff::av_opt_set_int(set.scaler, "dstw", 16, 0);
    ff::av_opt_set_int(set.scaler, "dsth", 16, 0);
    ff::av_opt_set_int(set.scaler, "src_format", AV_PIX_FMT_YUV420P, 0);
    ff::av_opt_set_int(set.scaler, "dst_format", AV_PIX_FMT_YUV420P, 0);
    ff::av_opt_set_int(set.scaler, "sws_flags", scalerFlags, 0);
    ok = ff::sws_init_context(set.scaler, nullptr, nullptr) >= 0;
  }
  if (!ok) FreeOptionContexts(set);
  return ok;
}

void FreeOptionContexts(TOptionContexts& set) {
  for (auto& context : set.codec) ff::avcodec_free_context(&context);
  if (set.format) ff::avformat_free_context(set.format);
  set.format = nullptr;
  if (set.scaler) ff::sws_freeContext(set.scaler);
  set.scaler = nullptr;
  set.names.clear();
  set.private_options.clear();
}

bool SetGenericOption(TOptionContexts& set, const std::string& name, const std::string& value) {
  if (Trimmed(name).empty() || Trimmed(value).empty() || !OptionContextsAllocated(set)) return false;
  int result = 0;
  const AVOption* found = SetOnCodecTemplates(set, name, value, result);
  if (!found) found = SetOnOne(set.format, name, value, result);
  if (!found) found = SetOnOne(set.scaler, name, value, result);
  if (!found) {
    if (AVCodecContext* prefixed = PrefixTemplate(set, name[0]); prefixed && name.size() > 1) {
      found = FindOption(prefixed, name.substr(1), 0);
      if (found) result = SetQuietly(prefixed, name.substr(1), value);
    }
  }
  if (found && result < 0) {
    LogInvalidValue(name, value);
    return false;
  }
  if (!found && FindPrivateOption(name)) {
    set.private_options.emplace_back(name, value);
    return true;
  }
  if (!found) return false;
  set.names.emplace_back(found->name);
  if (DebugRequested(set)) TFFLogger::Instance().SetLogLevel(llDebug);
  return true;
}

void ApplyGenericOptions(const TOptionContexts& set, void* target, const void* source, int flags) {
  for (const std::string& name : set.names) {
    const AVOption* option = FindOption(source, name, 0);
    if (!option || (option->flags & flags) != flags) continue;
    uint8_t* text = nullptr;
    if (ff::av_opt_get(const_cast<void*>(source), name.c_str(), 0, &text) < 0 || !text) continue;
    ff::av_opt_set(target, name.c_str(), reinterpret_cast<const char*>(text), 0);
    ff::av_free(text);
  }
  for (const auto& [name, value] : set.private_options) {
    const AVOption* option = ff::av_opt_find(target, name.c_str(), nullptr, 0, AV_OPT_SEARCH_CHILDREN);
    if (!option || (option->flags & flags) != flags) continue;
    if (SetQuietly(target, name, value, AV_OPT_SEARCH_CHILDREN) < 0) LogInvalidValue(name, value);
  }
}

}  // namespace strella::media
