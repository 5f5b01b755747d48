#include "binding/media_loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "binding/entry_points.h"
#include "binding/my_utils.h"
#include "support/test_support.h"

namespace moskvid::binding {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

// The folder the system keeps the versioned libraries in.
std::string SystemLibraryFolder() {
  Dl_info info{};
  void* handle = dlopen("libavutil.so.57", RTLD_NOW | RTLD_LOCAL);
  void* symbol = handle ? dlsym(handle, "avutil_version") : nullptr;
  std::string folder =
      symbol && dladdr(symbol, &info) ? fs::path(info.dli_fname).parent_path() : "";
  if (handle) dlclose(handle);
  return folder;
}

void LinkIntoFolder(const ScratchDir& dir, const std::string& name, const std::string& target) {
  fs::create_symlink(fs::path(SystemLibraryFolder()) / target, fs::path(dir.Path()) / name);
}

class MediaLoaderTest : public ::testing::Test {
 protected:
  void TearDown() override { UnloadMediaLibraries(); }
};

TEST_F(MediaLoaderTest, LoadsTheSystemSetAndBindsEveryEntryPoint) {
  ASSERT_TRUE(LoadMediaLibraries("", true)) << MediaLoadError();
  EXPECT_TRUE(MediaLibrariesLoaded());
  EXPECT_TRUE(CodecLibraryReady());
  EXPECT_TRUE(FormatLibraryReady());
  EXPECT_TRUE(UtilLibraryReady());
  EXPECT_TRUE(ScaleLibraryReady());
  EXPECT_TRUE(FilterLibraryReady());
  EXPECT_TRUE(ResampleLibraryReady());
  EXPECT_EQ(MediaLoadError(), "");
  // The bound functions are the libraries' own.
  EXPECT_EQ(MediaLibraryVersion(MediaLibrary::kCodec) >> 16,
            static_cast<unsigned>(LIBAVCODEC_VERSION_MAJOR));
  EXPECT_NE(ff::avcodec_find_decoder(AV_CODEC_ID_H264), nullptr);
  EXPECT_EQ(MediaLibraryFileName(MediaLibrary::kFilter, true), "libavfilter.so.8");
}

TEST_F(MediaLoaderTest, SecondLoadAfterSuccessTouchesNothing) {
  ASSERT_TRUE(LoadMediaLibraries("", true));
  const std::string path = std::getenv("PATH");
  ScratchDir dir;
  // A folder without any library would fail, were it looked at.
  EXPECT_TRUE(LoadMediaLibraries(dir.Path(), true));
  EXPECT_EQ(std::getenv("PATH"), path);
}

TEST_F(MediaLoaderTest, FolderWithoutAvfilterFailsAndUnloadsAvcodecAgain) {
  ScratchDir dir;
  LinkIntoFolder(dir, "libavcodec.so.59", "libavcodec.so.59");
  const std::string codecPath = dir.File("libavcodec.so.59");

  EXPECT_FALSE(LoadMediaLibraries(dir.Path(), true));
  EXPECT_FALSE(MediaLibrariesLoaded());
  EXPECT_EQ(MediaLoadError().rfind("Load libraray libavfilter.so.8 error: ", 0), 0u)
      << MediaLoadError();
  EXPECT_FALSE(CodecLibraryReady());
  EXPECT_FALSE(FilterLibraryReady());
  // The library that did load was let go again.
  EXPECT_EQ(dlopen(codecPath.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
  EXPECT_EQ(gAvCodec.avcodec_version, nullptr);

  // A later call starts from the beginning and can succeed.
  EXPECT_TRUE(LoadMediaLibraries("", true)) << MediaLoadError();
}

TEST_F(MediaLoaderTest, LibraryWithoutAnEntryPointFailsWithTheFunctionName) {
  ScratchDir dir;
  LinkIntoFolder(dir, "libavcodec.so.59", "libavcodec.so.59");
  // Something loadable under the avfilter name that lacks its functions.
  LinkIntoFolder(dir, "libavfilter.so.8", "libavutil.so.57");
  EXPECT_FALSE(LoadMediaLibraries(dir.Path(), true));
  EXPECT_EQ(MediaLoadError().rfind("Load function avfilter_version@libavfilter.so.8 error: ", 0),
            0u)
      << MediaLoadError();
  EXPECT_FALSE(MediaLibrariesLoaded());
}

TEST_F(MediaLoaderTest, PlainNamesLoadTheDevelopmentLinks) {
  ASSERT_TRUE(LoadMediaLibraries("", false)) << MediaLoadError();
  EXPECT_EQ(MediaLibraryFileName(MediaLibrary::kCodec, false), "libavcodec.so");
  EXPECT_TRUE(CodecLibraryReady());
}

TEST(LoadLibraryFromTest, FolderGoesInFrontOfPathOnceAndTheCurrentFolderIsRestored) {
  ScratchDir dir;
  const auto before = fs::current_path();
  ::setenv("PATH", "/usr/bin:/bin", 1);
  EXPECT_EQ(LoadLibraryFrom(dir.Path(), "libmissing.so"), nullptr);
  EXPECT_EQ(std::string(std::getenv("PATH")), dir.Path() + ":/usr/bin:/bin");
  EXPECT_EQ(fs::current_path(), before);

  // Already there, in another letter case: not added again.
  std::string upper = dir.Path();
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ::setenv("PATH", ("/usr/bin:" + upper).c_str(), 1);
  LoadLibraryFrom(dir.Path(), "libmissing.so");
  EXPECT_EQ(std::string(std::getenv("PATH")), "/usr/bin:" + upper);
}

TEST(LoadLibraryFromTest, EmptyFolderUsesTheSearchPath) {
  const std::string path = std::getenv("PATH");
  void* handle = LoadLibraryFrom("", "libavutil.so.57");
  ASSERT_NE(handle, nullptr) << dlerror();
  dlclose(handle);
  EXPECT_EQ(std::getenv("PATH"), path);
}

}  // namespace
}  // namespace moskvid::binding

// These tests unload the media libraries on purpose. Some of the libraries
// they pull in allocate in their constructors and never free; once unloaded,
// that memory shows up as leaks in modules that can no longer be named. Leak
// checking of the engine and the component happens in their own programs.
extern "C" const char* __asan_default_options() {
  return "detect_leaks=0";
}
