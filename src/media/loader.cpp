#include "media/loader.h"

#include <dlfcn.h>
#include <fenv.h>
#include <unistd.h>

#include <cassert>
#include <filesystem>
#include <stdexcept>

#include "media/ff.h"
#include "media/logger.h"
#include "media/text_helpers.h"

namespace strella::media {
namespace {

class BindError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string DlErrorText() {
  const char* text = dlerror();
  return text ? text : "unknown error";
}

template <typename Pointer>
Pointer BindFunction(void* handle, const char* name, const std::string& fileName) {
  dlerror();
  void* symbol = dlsym(handle, name);
  if (!symbol) {
    throw BindError(Format("Load function %s@%s error: %s", name, fileName.c_str(),
                           DlErrorText().c_str()));
  }
  return reinterpret_cast<Pointer>(symbol);
}

#define STRELLA_BIND(ns, name) ns::name = BindFunction<decltype(ns::name)>(handle, #name, file);
#define STRELLA_UNBIND(ns, name) ns::name = nullptr;
#define STRELLA_BIND_PROCEDURES(Lib, ns, LIST)                                           \
  void Bind##Lib(const std::string& file, void* handle) {                                \
    (void)file;                                                                          \
    (void)handle;                                                                        \
    LIST(BIND_##Lib)                                                                     \
  }                                                                                      \
  void Unbind##Lib() { LIST(UNBIND_##Lib) }

#define BIND_AVUtil(name) STRELLA_BIND(ff, name)
#define UNBIND_AVUtil(name) STRELLA_UNBIND(ff, name)
#define BIND_SwResample(name) STRELLA_BIND(ff, name)
#define UNBIND_SwResample(name) STRELLA_UNBIND(ff, name)
#define BIND_SwScale(name) STRELLA_BIND(ff, name)
#define UNBIND_SwScale(name) STRELLA_UNBIND(ff, name)
#define BIND_AVCodec(name) STRELLA_BIND(ff, name)
#define UNBIND_AVCodec(name) STRELLA_UNBIND(ff, name)
#define BIND_AVFormat(name) STRELLA_BIND(ff, name)
#define UNBIND_AVFormat(name) STRELLA_UNBIND(ff, name)
#define BIND_AVFilter(name) STRELLA_BIND(ff, name)
#define UNBIND_AVFilter(name) STRELLA_UNBIND(ff, name)
#define BIND_AVDevice(name) STRELLA_BIND(ff, name)
#define UNBIND_AVDevice(name) STRELLA_UNBIND(ff, name)
#define BIND_SDL(name) STRELLA_BIND(sdl, name)
#define UNBIND_SDL(name) STRELLA_UNBIND(sdl, name)
#define BIND_AMRNB(name) STRELLA_BIND(amrnb, name)
#define UNBIND_AMRNB(name) STRELLA_UNBIND(amrnb, name)
#define BIND_MyUtil(name) STRELLA_BIND(myutil, name)
#define UNBIND_MyUtil(name) STRELLA_UNBIND(myutil, name)

STRELLA_BIND_PROCEDURES(AVUtil, ff, STRELLA_AVUTIL_FUNCTIONS)
STRELLA_BIND_PROCEDURES(SwResample, ff, STRELLA_SWRESAMPLE_FUNCTIONS)
STRELLA_BIND_PROCEDURES(SwScale, ff, STRELLA_SWSCALE_FUNCTIONS)
STRELLA_BIND_PROCEDURES(AVCodec, ff, STRELLA_AVCODEC_FUNCTIONS)
STRELLA_BIND_PROCEDURES(AVFormat, ff, STRELLA_AVFORMAT_FUNCTIONS)
STRELLA_BIND_PROCEDURES(AVFilter, ff, STRELLA_AVFILTER_FUNCTIONS)
STRELLA_BIND_PROCEDURES(AVDevice, ff, STRELLA_AVDEVICE_FUNCTIONS)
STRELLA_BIND_PROCEDURES(SDL, sdl, STRELLA_SDL_FUNCTIONS)
STRELLA_BIND_PROCEDURES(AMRNB, amrnb, STRELLA_AMRNB_FUNCTIONS)
STRELLA_BIND_PROCEDURES(MyUtil, myutil, STRELLA_MYUTIL_FUNCTIONS)

// Indexed by TLibraryType. Versions are the SONAME majors of the headers built against.
const TLibraryItem kLibraryItems[kLibraryTypeCount] = {
    {ltAVCodec, "avcodec", LIBAVCODEC_VERSION_MAJOR, BindAVCodec, UnbindAVCodec},
    {ltAVDevice, "avdevice", LIBAVDEVICE_VERSION_MAJOR, BindAVDevice, UnbindAVDevice},
    {ltAVFilter, "avfilter", LIBAVFILTER_VERSION_MAJOR, BindAVFilter, UnbindAVFilter},
    {ltAVFormat, "avformat", LIBAVFORMAT_VERSION_MAJOR, BindAVFormat, UnbindAVFormat},
    {ltAVUtil, "avutil", LIBAVUTIL_VERSION_MAJOR, BindAVUtil, UnbindAVUtil},
    {ltSwScale, "swscale", LIBSWSCALE_VERSION_MAJOR, BindSwScale, UnbindSwScale},
    {ltMyUtil, "c", 6, BindMyUtil, UnbindMyUtil},
    {ltSDL, "SDL2-2.0", 0, BindSDL, UnbindSDL},
    {ltSwResample, "swresample", LIBSWRESAMPLE_VERSION_MAJOR, BindSwResample, UnbindSwResample},
    {ltAMRNB, "opencore-amrnb", 0, BindAMRNB, UnbindAMRNB},
};

// A library's dependencies come before it, so that one loaded from the
// program's folder resolves its siblings by SONAME to the folder's copies.
constexpr TLibraryType kLoadOrder[] = {ltMyUtil,  ltAVUtil,   ltSwResample, ltSwScale, ltAVCodec,
                                       ltAVFormat, ltAVFilter, ltAVDevice,   ltSDL,     ltAMRNB};

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

const TLibraryItem& LibraryItem(TLibraryType lib) { return kLibraryItems[lib]; }

TFFmpegLoader::TFFmpegLoader() {
  for (int i = 0; i < kLibraryTypeCount; ++i) status_[i].Type = static_cast<TLibraryType>(i);
}

TFFmpegLoader::~TFFmpegLoader() = default;

std::string TFFmpegLoader::LibraryFileName(TLibraryType lib) const {
  if (!file_name_override_[lib].empty()) return file_name_override_[lib];
  const TLibraryItem& item = kLibraryItems[lib];
  std::string name = "lib" + item.LibName + ".so";
  if (item.LibVersion >= 0) name += "." + std::to_string(item.LibVersion);
  return name;
}

void TFFmpegLoader::SetFileNameOverride(TLibraryType lib, const std::string& fileName) {
  file_name_override_[lib] = fileName;
}

void* TFFmpegLoader::OpenModule(TLibraryType lib) {
  const std::string name = LibraryFileName(lib);
  const std::string folder = library_path_.empty() ? "" : IncludeTrailingPathDelimiter(library_path_);
  const std::string inFolder = folder + name;
  // Unloading releases our handle, but the code stays mapped: the libraries
  // keep process-wide state (codec tables, thread pools) that must outlive it.
  constexpr int kFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
  void* handle = nullptr;
  if (!folder.empty() && IsRegularFile(inFolder)) {
    handle = dlopen(inFolder.c_str(), kFlags);
  } else {
    handle = dlopen(name.c_str(), kFlags);
  }
  if (!handle) {
    last_err_msg_ = Format("Load library %s error: %s", inFolder.c_str(), DlErrorText().c_str());
  }
  return handle;
}

bool TFFmpegLoader::LoadLib(TLibraryType lib) {
  TLibraryStatus& status = status_[lib];
  if (!status.Handle) {
    status.Handle = OpenModule(lib);
    if (!status.Handle) return false;
  }
  if (!status.Loaded) {
    try {
      ++status.BindCount;
      kLibraryItems[lib].Bind(LibraryFileName(lib), status.Handle);
      status.Loaded = true;
    } catch (const std::exception& e) {
      last_err_msg_ = e.what();
    }
  }
  if (!status.Loaded) {
    UnloadLib(lib);
    return false;
  }
  AfterLoad(lib);
  return true;
}

void TFFmpegLoader::AfterLoad(TLibraryType lib) {
  if (lib == ltAVUtil && install_log_callback_) TFFLogger::Instance().InstallCallback();
  // Linux file names are UTF-8 already, so the demuxing library needs no
  // protocol of ours for them (see FileNameToURL).
}

void TFFmpegLoader::UnloadLib(TLibraryType lib) {
  TLibraryStatus& status = status_[lib];
  if (status.Loaded) {
    if (lib == ltAVUtil) TFFLogger::Instance().UninstallCallback();
    kLibraryItems[lib].Unbind();
    status.Loaded = false;
  }
  if (status.Handle) {
    dlclose(status.Handle);
    status.Handle = nullptr;
  }
}

bool TFFmpegLoader::IsLoaded(TLibraryType lib) const {
  return status_[lib].Handle != nullptr && status_[lib].Loaded;
}

bool TFFmpegLoader::LoadLibs(TLibraryTypes libs) {
  assert(!libs.Empty() && "LoadLibs needs at least one library");
  for (TLibraryType lib : kLoadOrder) {
    if (!libs.Contains(lib)) continue;
    if (!LoadLib(lib)) {
      std::string reason = last_err_msg_;
      UnloadLibs(libs);
      last_err_msg_ = reason;
      return false;
    }
  }
  return true;
}

void TFFmpegLoader::UnloadLibs(TLibraryTypes libs) {
  assert(!libs.Empty() && "UnloadLibs needs at least one library");
  // Dependents go first so that no library outlives what it was resolved against.
  for (auto it = std::rbegin(kLoadOrder); it != std::rend(kLoadOrder); ++it) {
    if (libs.Contains(*it)) UnloadLib(*it);
  }
}

bool TFFmpegLoader::LibsLoaded(TLibraryTypes libs) const {
  assert(!libs.Empty() && "LibsLoaded needs at least one library");
  for (int i = 0; i < kLibraryTypeCount; ++i) {
    auto lib = static_cast<TLibraryType>(i);
    if (libs.Contains(lib) && !IsLoaded(lib)) return false;
  }
  return true;
}

std::string TFFmpegLoader::LoadedFrom(TLibraryType lib) const {
  if (!IsLoaded(lib)) return {};
  char origin[4096] = {};
  if (dlinfo(status_[lib].Handle, RTLD_DI_ORIGIN, origin) != 0) return {};
  return IncludeTrailingPathDelimiter(origin) + LibraryFileName(lib);
}

namespace {
// Saves the floating-point environment at start-up, masks every exception,
// and puts the environment back when the process ends.
struct FloatingPointGuard {
  fenv_t saved{};
  FloatingPointGuard() {
    fegetenv(&saved);
    fedisableexcept(FE_ALL_EXCEPT);
  }
  ~FloatingPointGuard() { fesetenv(&saved); }
};
}  // namespace

TFFmpegLoader& FFLoader() {
  static FloatingPointGuard floatingPoint;
  static TFFmpegLoader loader;
  return loader;
}

std::mutex& CodecLock() {
  static std::mutex lock;
  return lock;
}

std::string ProgramFolder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./";
  return IncludeTrailingPathDelimiter(exe.parent_path().string());
}

}  // namespace strella::media

std::string ff::ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (ff::av_strerror && ff::av_strerror(code, text, sizeof text) == 0) return text;
  return "error " + std::to_string(code);
}
