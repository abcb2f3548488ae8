// Run-time loading of the media libraries, SDL2, libopencore-amrnb and the
// C library slot. Nothing links these libraries: each is opened with dlopen
// by the SONAME of the headers the build used, first from LibraryPath (the
// program's folder), else through the system search, and every function the
// system calls is bound by name into the typed pointers of ff.h.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>

namespace strella::media {

// Declaration order indexes the tables; the last two were added for today's libraries.
enum TLibraryType {
  ltAVCodec,
  ltAVDevice,
  ltAVFilter,
  ltAVFormat,
  ltAVUtil,
  ltSwScale,
  ltMyUtil,
  ltSDL,
  ltSwResample,
  ltAMRNB,
};
inline constexpr int kLibraryTypeCount = ltAMRNB + 1;

// A set of library types.
class TLibraryTypes {
 public:
  constexpr TLibraryTypes() = default;
  constexpr TLibraryTypes(std::initializer_list<TLibraryType> libs) {
    for (auto lib : libs) bits_ |= 1u << lib;
  }
  constexpr bool Contains(TLibraryType lib) const { return bits_ & (1u << lib); }
  constexpr bool Empty() const { return bits_ == 0; }

 private:
  uint32_t bits_ = 0;
};

struct TLibraryItem {
  TLibraryType Type;
  std::string LibName;  // "avcodec"; the file is "lib" + LibName + ".so." + LibVersion
  int LibVersion;       // -1: the file name carries no version
  void (*Bind)(const std::string& fileName, void* handle);
  void (*Unbind)();
};

struct TLibraryStatus {
  TLibraryType Type;
  void* Handle = nullptr;
  bool Loaded = false;
  int BindCount = 0;  // how often the bind procedure ran, for diagnostics
};

inline constexpr TLibraryTypes kPlayerLibraries{ltAVCodec, ltAVFormat, ltAVUtil, ltSwScale,
                                                ltSwResample, ltMyUtil, ltSDL};
inline constexpr TLibraryTypes kEncoderLibraries{ltAVCodec, ltAVFilter, ltAVFormat, ltAVUtil,
                                                 ltSwScale, ltSwResample, ltMyUtil, ltAMRNB};

class TFFmpegLoader {
 public:
  const std::string& LastErrMsg() const { return last_err_msg_; }
  void SetLibraryPath(const std::string& folder) { library_path_ = folder; }
  const std::string& LibraryPath() const { return library_path_; }

  std::string LibraryFileName(TLibraryType lib) const;
  bool LoadLib(TLibraryType lib);
  void UnloadLib(TLibraryType lib);
  bool IsLoaded(TLibraryType lib) const;

  // Loads in dependency order so that a library taken from LibraryPath finds
  // its siblings already loaded; at the first failure unloads the whole set.
  bool LoadLibs(TLibraryTypes libs);
  void UnloadLibs(TLibraryTypes libs);
  bool LibsLoaded(TLibraryTypes libs) const;

  const TLibraryStatus& Status(TLibraryType lib) const { return status_[lib]; }
  // Where the library's file was found (empty while not loaded).
  std::string LoadedFrom(TLibraryType lib) const;
  // Replaces the file name looked for; tests use it to point at missing or stub files.
  void SetFileNameOverride(TLibraryType lib, const std::string& fileName);

  bool InstallLogCallback() const { return install_log_callback_; }
  void SetInstallLogCallback(bool on) { install_log_callback_ = on; }

 private:
  friend TFFmpegLoader& FFLoader();
  TFFmpegLoader();
  ~TFFmpegLoader();
  void* OpenModule(TLibraryType lib);
  void AfterLoad(TLibraryType lib);

  std::string last_err_msg_;
  std::string library_path_;
  TLibraryStatus status_[kLibraryTypeCount];
  std::string file_name_override_[kLibraryTypeCount];
  bool install_log_callback_ = true;
};

// The process-wide loader, created on first use; it saves the floating-point
// environment and masks every floating-point exception until the process ends.
TFFmpegLoader& FFLoader();

const TLibraryItem& LibraryItem(TLibraryType lib);

// Held around every opening and closing of a codec context, and around the
// search for an input's stream parameters.
std::mutex& CodecLock();

// The folder of the running program, with a trailing '/'.
std::string ProgramFolder();

}  // namespace strella::media
