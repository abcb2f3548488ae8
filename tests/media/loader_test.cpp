#include <dlfcn.h>
#include <link.h>

#include <cfenv>
#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "fixtures.h"
#include "media/ff.h"
#include "media/loader.h"

namespace fs = std::filesystem;
using namespace strella::media;

namespace {

// Where the system search finds a library file.
std::string SystemPathOf(const std::string& soname) {
  void* handle = dlopen(soname.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (!handle) return {};
  link_map* map = nullptr;
  dlinfo(handle, RTLD_DI_LINKMAP, &map);
  std::string path = map->l_name;
  dlclose(handle);
  return path;
}

}  // namespace

TEST(Loader, FileNamesFollowTheHeadersSonames) {
  auto& loader = FFLoader();
  EXPECT_EQ(loader.LibraryFileName(ltAVCodec), "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR));
  EXPECT_EQ(loader.LibraryFileName(ltAVUtil), "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR));
  EXPECT_EQ(loader.LibraryFileName(ltSDL), "libSDL2-2.0.so.0");
  EXPECT_EQ(loader.LibraryFileName(ltAMRNB), "libopencore-amrnb.so.0");
  EXPECT_EQ(loader.LibraryFileName(ltMyUtil), "libc.so.6");
}

TEST(Loader, LoadsEachSetAndBindsEveryFunction) {
  auto& loader = FFLoader();
  ASSERT_TRUE(loader.LoadLibs(kEncoderLibraries)) << loader.LastErrMsg();
  ASSERT_TRUE(loader.LoadLibs(kPlayerLibraries)) << loader.LastErrMsg();
  EXPECT_TRUE(loader.LibsLoaded(kEncoderLibraries));
  EXPECT_TRUE(loader.LibsLoaded(kPlayerLibraries));
  EXPECT_FALSE(loader.IsLoaded(ltAVDevice)) << "the device library is in no set";
  EXPECT_NE(ff::avcodec_find_encoder_by_name, nullptr);
  EXPECT_NE(sdl::SDL_MixAudioFormat, nullptr);
  EXPECT_NE(amrnb::Encoder_Interface_Encode, nullptr);
  EXPECT_EQ(ff::avcodec_version() >> 16, static_cast<unsigned>(LIBAVCODEC_VERSION_MAJOR));
  char text[32];
  myutil::snprintf(text, sizeof text, "%d-%s", 7, "x");
  EXPECT_STREQ(text, "7-x");
}

TEST(Loader, LoadingTwiceBindsNothingAgain) {
  auto& loader = FFLoader();
  ASSERT_TRUE(loader.LoadLibs(kEncoderLibraries));
  void* handle = loader.Status(ltAVFormat).Handle;
  int binds = loader.Status(ltAVFormat).BindCount;
  ASSERT_TRUE(loader.LoadLibs(kEncoderLibraries));
  EXPECT_EQ(loader.Status(ltAVFormat).Handle, handle);
  EXPECT_EQ(loader.Status(ltAVFormat).BindCount, binds);
}

TEST(Loader, MissingLibraryFailsTheWholeSetAndNamesTheFile) {
  auto& loader = FFLoader();
  loader.SetLibraryPath("/nonexistent-folder");
  loader.SetFileNameOverride(ltSDL, "libSDL-missing.so.9");
  EXPECT_FALSE(loader.LoadLibs(kPlayerLibraries));
  EXPECT_EQ(loader.LastErrMsg().rfind("Load library /nonexistent-folder/libSDL-missing.so.9 error: ", 0), 0u)
      << loader.LastErrMsg();
  EXPECT_NE(loader.LastErrMsg().find("libSDL-missing.so.9"), std::string::npos);
  for (auto lib : {ltAVCodec, ltAVFormat, ltAVUtil, ltSwScale, ltSwResample, ltMyUtil, ltSDL})
    EXPECT_FALSE(loader.IsLoaded(lib)) << loader.LibraryFileName(lib);
  EXPECT_EQ(ff::av_malloc, nullptr) << "unloading clears the bound functions";
}

TEST(Loader, LibraryLackingAFunctionIsNotLoaded) {
  auto& loader = FFLoader();
  loader.SetLibraryPath(STRELLA_STUB_DIR);
  EXPECT_FALSE(loader.LoadLib(ltSwScale));
  const std::string expected = "Load function sws_getContext@" + loader.LibraryFileName(ltSwScale) + " error: ";
  EXPECT_EQ(loader.LastErrMsg().rfind(expected, 0), 0u) << loader.LastErrMsg();
  EXPECT_FALSE(loader.IsLoaded(ltSwScale));
  EXPECT_EQ(loader.Status(ltSwScale).Handle, nullptr) << "the module is released again";
}

TEST(Loader, LoadsTheCopiesInTheProgramFolderFirst) {
  const std::string system = SystemPathOf("libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR));
  ASSERT_FALSE(system.empty());
  const std::string folder = strella::fixtures::ScratchDir("loader-folder");
  fs::copy_file(system, folder + "/" + FFLoader().LibraryFileName(ltAVUtil));
  auto& loader = FFLoader();
  loader.SetLibraryPath(folder);
  ASSERT_TRUE(loader.LoadLibs({ltAVUtil, ltMyUtil})) << loader.LastErrMsg();
  EXPECT_EQ(loader.LoadedFrom(ltAVUtil), folder + "/" + loader.LibraryFileName(ltAVUtil));
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(ff::av_malloc), &info), 0);
  EXPECT_EQ(fs::path(info.dli_fname).parent_path(), fs::path(folder));
  // A library absent from the folder comes from the system search.
  EXPECT_NE(loader.LoadedFrom(ltMyUtil).rfind(folder, 0), 0u);
}

TEST(Loader, FloatingPointExceptionsAreMasked) {
  FFLoader();
  volatile double zero = 0;
  EXPECT_TRUE(std::isinf(1.0 / zero));
  EXPECT_EQ(fegetexcept(), 0);
}
