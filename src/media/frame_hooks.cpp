#include "media/frame_hooks.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <new>

#include "media/ff.h"
#include "media/loader.h"
#include "media/text_helpers.h"

namespace strella::media {

namespace {

constexpr int kNoModule = -1;
constexpr int kNoEntryPoint = -2;
constexpr int kOutOfMemory = AVERROR(ENOMEM);
constexpr int kConfigureFailed = AVERROR(EINVAL);

// Module file -> handle, for every module loaded in this process.
struct ModuleRegistry {
  std::mutex lock;
  std::map<std::string, void*> handles;
  std::vector<std::string> order;
};

ModuleRegistry& Modules() {
  static ModuleRegistry registry;
  return registry;
}

// Through the library's log without a context, as the engine's own lines go.
void LogError(const std::string& line) { ff::av_log(nullptr, AV_LOG_ERROR, "%s", line.c_str()); }

// A name with a folder part is opened as that file; a bare name from the
// program's folder when it is there, else through the system search.
std::string ModuleFile(const std::string& name) {
  if (name.find('/') != std::string::npos) return ExpandFileName(name);
  const std::string beside = ProgramFolder() + name;
  return FileExists(beside) ? beside : name;
}

void* LoadModule(const std::string& file) {
  ModuleRegistry& registry = Modules();
  std::lock_guard guard(registry.lock);
  auto known = registry.handles.find(file);
  if (known != registry.handles.end()) return known->second;
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = dlerror();
    LogError(std::string(error ? error : "cannot load " + file) + "\n");
    return nullptr;
  }
  registry.handles.emplace(file, handle);
  registry.order.push_back(file);
  return handle;
}

template <typename Function>
Function EntryPoint(void* module, const char* name) {
  return reinterpret_cast<Function>(dlsym(module, name));
}

}  // namespace

TFrameHookList::~TFrameHookList() { ReleaseFrameHooks(*this); }

int AddFrameHook(TFrameHookList& AList, int AArgc, char* AArgv[]) {
  if (AArgc < 1 || !AArgv || !AArgv[0]) return kNoEntryPoint;
  const std::string name = AArgv[0];
  void* module = LoadModule(ModuleFile(name));
  if (!module) return kNoModule;

  TFrameHookEntry entry;
  entry.Configure = EntryPoint<FrameHookConfigureFn>(module, "Configure");
  entry.Process = EntryPoint<FrameHookProcessFn>(module, "Process");
  entry.Release = EntryPoint<FrameHookReleaseFn>(module, "Release");
  if (!entry.Process) {
    LogError(Format("Failed to find Process entrypoint in %s\n", name.c_str()));
    return kNoEntryPoint;
  }
  if (!entry.Configure && AArgc > 1) {
    LogError(Format("Failed to find Configure entrypoint in %s\n", name.c_str()));
    return kNoEntryPoint;
  }
  try {
    AList.Entries.reserve(AList.Entries.size() + 1);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  if (entry.Configure && entry.Configure(&entry.Ctx, AArgc, AArgv) != 0) {
    LogError(Format("Failed to Configure %s\n", name.c_str()));
    return kConfigureFailed;
  }
  AList.Entries.push_back(entry);
  return 0;
}

int AddFrameHook(TFrameHookList& AList, const std::vector<std::string>& AArgs) {
  std::vector<std::string> copies = AArgs;  // modules receive writable strings
  std::vector<char*> argv;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return AddFrameHook(AList, static_cast<int>(AArgs.size()), argv.data());
}

void ProcessFrameHooks(const TFrameHookList& AList, TPicture* APicture, int APixelFormat, int AWidth, int AHeight,
                       int64_t APTS) {
  for (const TFrameHookEntry& entry : AList.Entries)
    entry.Process(entry.Ctx, APicture, APixelFormat, AWidth, AHeight, APTS);
}

void ReleaseFrameHooks(TFrameHookList& AList) {
  for (const TFrameHookEntry& entry : AList.Entries)
    if (entry.Release) entry.Release(entry.Ctx);
  AList.Entries.clear();
}

std::vector<std::string> LoadedFrameHookModules() {
  ModuleRegistry& registry = Modules();
  std::lock_guard guard(registry.lock);
  return registry.order;
}

}  // namespace strella::media
