// Frame-hook modules built with the tests (tests/fixtures/hook_modules.c):
// the three entry points, argument handling, one load per module and every error code.
#include <dlfcn.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "media/ff.h"
#include "media/frame_hooks.h"
#include "media/logger.h"

using namespace strella::media;
namespace fx = strella::fixtures;

namespace {

class ErrorLog {
 public:
  ErrorLog() {
    TFFLogger::Instance().SetOnLog([this](const void*, uint64_t, int64_t, TLogLevel level, const std::string& text) {
      std::lock_guard guard(lock_);
      if (level == llError) lines_.push_back(text);
    });
  }
  ~ErrorLog() { TFFLogger::Instance().SetOnLog(nullptr); }
  std::vector<std::string> Lines() {
    ProcessThreadMessages();
    std::lock_guard guard(lock_);
    return lines_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> lines_;
};

// A module's own counters, read from the copy the hook list loaded.
template <typename T>
T ModuleVariable(const std::string& module, const char* name) {
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return T{};
  const T value = *static_cast<T*>(dlsym(handle, name));
  dlclose(handle);
  return value;
}

// A grey picture of one plane, one byte per pixel, with padded rows.
struct GreyPicture {
  static constexpr int kWidth = 5, kHeight = 3, kLineSize = 8;
  std::vector<uint8_t> bytes = std::vector<uint8_t>(kLineSize * kHeight, 100);
  TPicture picture{{bytes.data()}, {kLineSize}};
  uint8_t At(int x, int y) const { return bytes[y * kLineSize + x]; }
};

class FrameHooksTest : public ::testing::Test {
 protected:
  void SetUp() override { fx::EnsureLibraries(); }
  const std::string full = fx::HookModulePath("full_hook.so");
  const std::string processOnly = fx::HookModulePath("process_only_hook.so");
  const std::string noProcess = fx::HookModulePath("no_process_hook.so");
};

}  // namespace

TEST_F(FrameHooksTest, ModuleWithoutArgumentsInvertsThePicture) {
  GreyPicture grey;
  int released = 0;
  {
    TFrameHookList list;
    ASSERT_EQ(AddFrameHook(list, {full}), 0);
    EXPECT_EQ(ModuleVariable<int>(full, "hook_last_argc"), 1);
    released = ModuleVariable<int>(full, "hook_release_calls");
    const int processed = ModuleVariable<int>(full, "hook_process_calls");
    ProcessFrameHooks(list, &grey.picture, AV_PIX_FMT_GRAY8, GreyPicture::kWidth, GreyPicture::kHeight, 1234567);
    EXPECT_EQ(ModuleVariable<int64_t>(full, "hook_last_pts"), 1234567);
    EXPECT_EQ(ModuleVariable<int>(full, "hook_last_pix_fmt"), AV_PIX_FMT_GRAY8);
    EXPECT_EQ(grey.At(0, 0), 155);
    EXPECT_EQ(grey.At(4, 2), 155);
    EXPECT_EQ(grey.At(5, 0), 100) << "row padding is the module's to leave alone";
    ReleaseFrameHooks(list);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(ModuleVariable<int>(full, "hook_release_calls"), released + 1);
    ProcessFrameHooks(list, &grey.picture, AV_PIX_FMT_GRAY8, GreyPicture::kWidth, GreyPicture::kHeight, 0);
    EXPECT_EQ(ModuleVariable<int>(full, "hook_process_calls"), processed + 1);
  }
  EXPECT_EQ(ModuleVariable<int>(full, "hook_release_calls"), released + 1) << "an emptied list releases nothing again";
}

TEST_F(FrameHooksTest, SameModuleTwiceIsLoadedOnceWithSeparateContexts) {
  TFrameHookList list;
  ASSERT_EQ(AddFrameHook(list, {full, "add", "10"}), 0);
  const int releasedBefore = ModuleVariable<int>(full, "hook_release_calls");
  ASSERT_EQ(AddFrameHook(list, {full, "add", "20"}), 0);
  EXPECT_EQ(ModuleVariable<int>(full, "hook_last_argc"), 3);
  void* handle = dlopen(full.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr);
  EXPECT_STREQ(static_cast<const char*>(dlsym(handle, "hook_last_args")), "add 20");
  dlclose(handle);
  const auto loaded = LoadedFrameHookModules();
  EXPECT_EQ(std::count(loaded.begin(), loaded.end(), full), 1);
  ASSERT_EQ(list.Entries.size(), 2u);
  EXPECT_NE(list.Entries[0].Ctx, list.Entries[1].Ctx);

  GreyPicture grey;
  ProcessFrameHooks(list, &grey.picture, AV_PIX_FMT_GRAY8, GreyPicture::kWidth, GreyPicture::kHeight, 0);
  EXPECT_EQ(grey.At(2, 1), 130);
  ReleaseFrameHooks(list);
  EXPECT_EQ(ModuleVariable<int>(full, "hook_release_calls") - releasedBefore, 2);
}

TEST_F(FrameHooksTest, ModuleWithoutConfigureTakesNoArguments) {
  TFrameHookList list;
  ASSERT_EQ(AddFrameHook(list, {processOnly}), 0);
  ASSERT_EQ(list.Entries.size(), 1u);
  EXPECT_EQ(list.Entries[0].Configure, nullptr);
  EXPECT_EQ(list.Entries[0].Release, nullptr);
  GreyPicture grey;
  ProcessFrameHooks(list, &grey.picture, AV_PIX_FMT_GRAY8, GreyPicture::kWidth, GreyPicture::kHeight, 0);
  EXPECT_EQ(grey.At(1, 1), 155);
  ReleaseFrameHooks(list);
  EXPECT_TRUE(list.Empty());
}

TEST_F(FrameHooksTest, ErrorCodesAndMessages) {
  const std::string scratch = fx::ScratchDir("frame_hooks_errors");
  const std::string notAModule = scratch + "/not a module.so";
  std::ofstream(notAModule) << "text, not a shared library\n";
  const std::string missing = scratch + "/missing.so";
  const struct {
    std::vector<std::string> args;
    int result;
    std::string message;  // empty: the system's own text, naming the file
  } cases[] = {
      {{}, -2, "-"},
      {{missing}, -1, ""},
      {{notAModule}, -1, ""},
      {{noProcess}, -2, "Failed to find Process entrypoint in " + noProcess},
      {{processOnly, "x"}, -2, "Failed to find Configure entrypoint in " + processOnly},
      {{full, "fail"}, -22, "Failed to Configure " + full},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "no arguments" : c.args[0]);
    ErrorLog log;
    TFrameHookList list;
    EXPECT_EQ(AddFrameHook(list, c.args), c.result);
    EXPECT_TRUE(list.Empty());
    const auto lines = log.Lines();
    if (c.message == "-") {
      EXPECT_TRUE(lines.empty());
    } else {
      ASSERT_EQ(lines.size(), 1u);
      if (c.message.empty())
        EXPECT_NE(lines[0].find(c.args[0]), std::string::npos) << lines[0];
      else
        EXPECT_EQ(lines[0], c.message);
    }
  }
  TFrameHookList list;
  EXPECT_EQ(AddFrameHook(list, 0, nullptr), -2);
}
