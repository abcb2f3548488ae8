// Frame hooks: external picture-processing modules (shared libraries with the
// entry points of frame_hook_module.h) run over each picture of a conversion.
// Each module file is loaded once per process and stays loaded; every
// AddFrameHook gives an entry with a context of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/frame_hook_module.h"

namespace strella::media {

struct TFrameHookEntry {
  FrameHookConfigureFn Configure = nullptr;
  FrameHookProcessFn Process = nullptr;
  FrameHookReleaseFn Release = nullptr;
  void* Ctx = nullptr;  // the module's own state for this entry
};

// The hooks of one conversion, in the order they were added. Releases its
// entries when it goes.
struct TFrameHookList {
  TFrameHookList() = default;
  ~TFrameHookList();
  TFrameHookList(const TFrameHookList&) = delete;
  TFrameHookList& operator=(const TFrameHookList&) = delete;
  bool Empty() const { return Entries.empty(); }

  std::vector<TFrameHookEntry> Entries;
};

// AArgv[0] is the module's file name, the rest its arguments. Returns 0, or
// -1 when the module cannot be loaded, -2 without arguments or a needed entry
// point, -12 out of memory, -22 when its Configure fails; failures are logged.
int AddFrameHook(TFrameHookList& AList, int AArgc, char* AArgv[]);
int AddFrameHook(TFrameHookList& AList, const std::vector<std::string>& AArgs);

// Runs each entry's Process in list order on the picture.
void ProcessFrameHooks(const TFrameHookList& AList, TPicture* APicture, int APixelFormat, int AWidth, int AHeight,
                       int64_t APTS);

// Releases every entry's context; the list becomes empty. Modules stay loaded.
void ReleaseFrameHooks(TFrameHookList& AList);

// The module files loaded so far in this process, as they were opened.
std::vector<std::string> LoadedFrameHookModules();

}  // namespace strella::media
