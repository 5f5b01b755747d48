#include "binding/frame_hook.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "binding/entry_points.h"
#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"
#include "support/test_support.h"

namespace moskvid {
namespace {

std::string TestModule(const std::string& name) {
  return std::string(MOSKVID_TEST_HOOK_DIR) + "/" + name + ".so";
}

template <typename T>
T ModuleFunction(const std::string& module, const char* name) {
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(handle, nullptr) << module;
  T function = handle ? reinterpret_cast<T>(dlsym(handle, name)) : nullptr;
  if (handle) dlclose(handle);
  return function;
}

namespace fs = std::filesystem;

// A copy of a test module at `folder`/hooks/`name`.so: a file of its own, so
// the process loads it as a module of its own.
std::string CopyModule(const std::string& folder, const std::string& name) {
  fs::create_directories(fs::path(folder) / "hooks");
  const fs::path copy = fs::path(folder) / "hooks" / (name + ".so");
  fs::copy_file(TestModule(name), copy, fs::copy_options::overwrite_existing);
  return copy.string();
}

class FrameHookTest : public ::testing::Test {
 protected:
  void SetUp() override { test::LoadLibrariesOrDie(); }
  void TearDown() override { ReleaseFrameHooks(chain); }
  FrameHook* chain = nullptr;
};

TEST(FrameHookArgumentsTest, BarOrBlankSeparatesTheArguments) {
  EXPECT_EQ(FrameHookArguments("box.so|10 20|30"),
            (std::vector<std::string>{"box.so", "10 20", "30"}));
  EXPECT_EQ(FrameHookArguments("box.so  10 20"), (std::vector<std::string>{"box.so", "10", "20"}));
  std::string many = "m.so";
  for (int i = 0; i < 100; ++i)
    many += " a" + std::to_string(i);
  const auto argv = FrameHookArguments(many);
  ASSERT_EQ(argv.size(), 64u);
  EXPECT_EQ(argv.back(), "a62");
  EXPECT_TRUE(FrameHookArguments("   ").empty());
}

TEST_F(FrameHookTest, StatusOfEachFailure) {
  EXPECT_EQ(AddFrameHook(chain, {}), kHookMissingEntry);
  EXPECT_EQ(AddFrameHook(chain, {"/nonexistent/module.so"}), kHookNotLoadable);
  EXPECT_EQ(AddFrameHook(chain, {TestModule("no_process")}), kHookMissingEntry);
  EXPECT_EQ(AddFrameHook(chain, {TestModule("no_configure"), "x"}), kHookMissingEntry);
  EXPECT_EQ(AddFrameHook(chain, {TestModule("counting"), "fail"}), kHookConfigureFailed);
  EXPECT_EQ(chain, nullptr);
  EXPECT_EQ(AddFrameHook(chain, {TestModule("no_configure")}), kHookOk);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->Configure, nullptr);
}

TEST_F(FrameHookTest, OneModuleLoadedOnceConfiguredPerHook) {
  // A copy of its own, so that hooks added by other tests do not count.
  test::ScratchDir scratch;
  const std::string module = CopyModule(scratch.Path(), "counting");
  const int modulesBefore = FrameHookModuleCount();
  ASSERT_EQ(AddFrameHook(chain, {module, "a", "b"}), kHookOk);
  ASSERT_EQ(AddFrameHook(chain, {module}), kHookOk);
  EXPECT_EQ(FrameHookModuleCount(), modulesBefore + 1);
  EXPECT_EQ(ModuleFunction<int (*)()>(module, "ConfiguredCount")(), 2);
  EXPECT_EQ(ModuleFunction<int (*)()>(module, "LastArgc")(), 1);

  uint8_t pixels[16] = {};
  MoskvidHookPicture picture{{pixels, nullptr, nullptr, nullptr}, {4, 0, 0, 0}};
  ProcessFrameHooks(chain, &picture, 0, 4, 4, 0);
  EXPECT_EQ(ModuleFunction<int (*)()>(module, "ProcessedCount")(), 2);
  ReleaseFrameHooks(chain);
  EXPECT_EQ(chain, nullptr);
  EXPECT_EQ(ModuleFunction<int (*)()>(module, "ReleasedCount")(), 2);
}

TEST_F(FrameHookTest, ShippedModuleInvertsItsRectangle) {
  const std::string module = std::string(MOSKVID_HOOK_DIR) + "/invert_rect.so";
  EXPECT_EQ(AddFrameHook(chain, {module, "1", "2", "x", "4"}), kHookConfigureFailed);
  ASSERT_EQ(AddFrameHook(chain, {module, "1", "1", "2", "2"}), kHookOk);
  uint8_t pixels[16];
  for (uint8_t& p : pixels)
    p = 10;
  MoskvidHookPicture picture{{pixels, nullptr, nullptr, nullptr}, {4, 0, 0, 0}};
  ProcessFrameHooks(chain, &picture, AV_PIX_FMT_GRAY8, 4, 4, 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const bool inside = x >= 1 && x < 3 && y >= 1 && y < 3;
      EXPECT_EQ(pixels[y * 4 + x], inside ? 245 : 10) << x << "," << y;
    }
  }
}

// Makes a folder current for the life of the object.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~CurrentFolder() { fs::current_path(previous_); }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  fs::path previous_;
};

std::string PathVariable() {
  const char* value = std::getenv("PATH");
  return value ? value : "";
}

// The tests in this group change the current folder, so each one starts from
// where the program was started.
class FrameHookPathTest : public FrameHookTest {
 protected:
  test::ScratchDir scratch;
  const std::string pathBefore = PathVariable();
};

TEST_F(FrameHookPathTest, RelativeModuleIsTakenFromTheCurrentFolder) {
  const std::string module = CopyModule(scratch.Path(), "counting");
  fs::copy_file(module, scratch.File("here.so"));
  CurrentFolder inside(scratch.Path());

  ASSERT_EQ(AddFrameHook(chain, {"hooks/counting.so", "a"}), kHookOk);
  ASSERT_EQ(AddFrameHook(chain, {"./here.so"}), kHookOk);
  EXPECT_EQ(fs::current_path(), fs::path(scratch.Path()));
  EXPECT_EQ(PathVariable(), pathBefore);

  uint8_t pixels[16] = {};
  MoskvidHookPicture picture{{pixels, nullptr, nullptr, nullptr}, {4, 0, 0, 0}};
  ProcessFrameHooks(chain, &picture, 0, 4, 4, 0);
  EXPECT_EQ(ModuleFunction<int (*)()>(module, "ProcessedCount")(), 1);
  EXPECT_EQ(ModuleFunction<int (*)()>(module, "LastArgc")(), 2);
  EXPECT_EQ(ModuleFunction<int (*)()>(scratch.File("here.so"), "ProcessedCount")(), 1);
}

TEST_F(FrameHookPathTest, SameRelativeNameFromAnotherFolderIsAnotherModule) {
  const std::string first = CopyModule(scratch.File("one"), "counting");
  const std::string second = CopyModule(scratch.File("two"), "counting");
  const int modulesBefore = FrameHookModuleCount();
  {
    CurrentFolder inside(scratch.File("one"));
    ASSERT_EQ(AddFrameHook(chain, {"hooks/counting.so"}), kHookOk);
  }
  {
    CurrentFolder inside(scratch.File("two"));
    ASSERT_EQ(AddFrameHook(chain, {"hooks/counting.so"}), kHookOk);
    ASSERT_EQ(AddFrameHook(chain, {"./hooks/../hooks/counting.so"}), kHookOk);
  }
  EXPECT_EQ(FrameHookModuleCount(), modulesBefore + 2);
  EXPECT_EQ(ModuleFunction<int (*)()>(first, "ConfiguredCount")(), 1);
  EXPECT_EQ(ModuleFunction<int (*)()>(second, "ConfiguredCount")(), 2);
}

TEST_F(FrameHookPathTest, RelativeVhookOptionRunsInAConversion) {
  const std::string module = CopyModule(scratch.Path(), "counting");
  const std::string output = scratch.File("out.mkv");
  TCustomFFmpeg engine;
  engine.ResetOptions();
  {
    CurrentFolder inside(scratch.Path());
    engine.SetOption("vhook", "hooks/counting.so");
    EXPECT_EQ(fs::current_path(), fs::path(scratch.Path()));
  }
  ASSERT_TRUE(engine.OpenInputFile(test::Media("h264_aac.mp4"))) << engine.ErrorText;
  engine.ApplyOptionText("vcodec=ffv1\nan=1");
  ASSERT_TRUE(engine.OpenOutputFile(output)) << engine.ErrorText;
  engine.TranscodeRun();
  ASSERT_FALSE(engine.HasException) << engine.ExceptionMessage;
  // Every decoded picture went through the module.
  EXPECT_EQ(ModuleFunction<int (*)()>(module, "ProcessedCount")(),
            test::CountFrames(output, "v:0"));
  EXPECT_GT(test::CountFrames(output, "v:0"), 0);
  EXPECT_EQ(PathVariable(), pathBefore);
}

// What a conversion on another thread sees of the process while modules are
// added: the gate module's "Configure" holds the adding thread until the
// conversion has looked at the current folder and PATH.
struct LoadWatch {
  std::mutex lock;
  std::condition_variable changed;
  int loadsStarted = 0;  // "Configure" calls entered
  int loadsSeen = 0;     // of those, the ones the conversion has looked during
  bool over = false;     // no more loads, or the conversion ended
  std::vector<std::string> folders, paths;
};
LoadWatch* gWatch = nullptr;

void InsideConfigure() {
  std::unique_lock<std::mutex> lock(gWatch->lock);
  ++gWatch->loadsStarted;
  gWatch->changed.notify_all();
  gWatch->changed.wait(lock,
                       [] { return gWatch->over || gWatch->loadsSeen == gWatch->loadsStarted; });
}

TEST_F(FrameHookPathTest, AddingModulesLeavesTheFolderAndPathOfARunningConversion) {
  const std::string module = CopyModule(scratch.Path(), "gate");
  CurrentFolder inside(scratch.Path());
  LoadWatch watch;
  gWatch = &watch;

  TCustomFFmpeg engine;
  engine.ResetOptions();
  ASSERT_TRUE(engine.OpenInputFile(test::Media("h264_aac.mp4"))) << engine.ErrorText;
  engine.ApplyOptionText("vcodec=ffv1\nan=1");
  ASSERT_TRUE(engine.OpenOutputFile(scratch.File("out.mkv"))) << engine.ErrorText;
  // Each picture waits for the next load to be under way (or for the loads to
  // be over) and looks at the process meanwhile.
  engine.CustomHookHandler = [&](TCustomFFmpeg&, TBitmap24&, int, int64_t, bool& update, bool&) {
    update = false;
    std::unique_lock<std::mutex> lock(watch.lock);
    watch.changed.wait(lock, [&] { return watch.over || watch.loadsStarted > watch.loadsSeen; });
    if (watch.loadsStarted > watch.loadsSeen) {
      watch.folders.push_back(fs::current_path().string());
      watch.paths.push_back(PathVariable());
      watch.loadsSeen = watch.loadsStarted;
      watch.changed.notify_all();
    }
  };
  std::thread conversion([&] {
    engine.TranscodeRun();
    std::lock_guard<std::mutex> lock(watch.lock);
    watch.over = true;
    watch.changed.notify_all();
  });

  const std::string callback = Format(
      "%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&InsideConfigure)));
  const int byPath = AddFrameHook(chain, {module, callback});
  const int byRelativePath = AddFrameHook(chain, {"hooks/gate.so", callback});
  {
    std::lock_guard<std::mutex> lock(watch.lock);
    watch.over = true;
    watch.changed.notify_all();
  }
  conversion.join();
  gWatch = nullptr;

  EXPECT_EQ(byPath, kHookOk);
  EXPECT_EQ(byRelativePath, kHookOk);
  EXPECT_FALSE(engine.HasException) << engine.ExceptionMessage;
  EXPECT_EQ(watch.folders.size(), 2u);
  for (const std::string& folder : watch.folders)
    EXPECT_EQ(folder, scratch.Path());
  for (const std::string& path : watch.paths)
    EXPECT_EQ(path, pathBefore);
  EXPECT_EQ(fs::current_path(), fs::path(scratch.Path()));
  EXPECT_EQ(PathVariable(), pathBefore);
}

// "vhook=invert_rect.so ..." must work from any folder: the shipped modules
// sit in "hooks/" beside the program (or in the install module folder). A
// module of the same name in the current folder (a download folder, a
// shared drive) is not loaded for a bare name, only when named as a path.
TEST_F(FrameHookTest, BareNamesFindOnlyTheShippedModules) {
  test::ScratchDir dir;
  // Planted modules: without "Configure", so they refuse arguments.
  std::filesystem::copy_file(TestModule("no_configure"), dir.File("invert_rect.so"));
  std::filesystem::copy_file(TestModule("no_configure"), dir.File("own_module.so"));
  CurrentFolder inside(dir.Path());
  EXPECT_EQ(AddFrameHook(chain, {"own_module.so"}), kHookNotLoadable);
  ASSERT_EQ(AddFrameHook(chain, {"./invert_rect.so"}), kHookOk);
  ASSERT_EQ(AddFrameHook(chain, {"invert_rect.so", "0", "0", "2", "1"}), kHookOk);
  EXPECT_EQ(AddFrameHook(chain, {"no_such_module.so"}), kHookNotLoadable);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->Configure, nullptr);  // the planted module, named as a path
  ASSERT_NE(chain->Next, nullptr);
  EXPECT_NE(chain->Next->Configure, nullptr);  // the shipped one
  EXPECT_EQ(chain->Next->Next, nullptr);
  // The planted module paints everything 235, then the shipped one inverts two pixels.
  uint8_t pixels[4] = {10, 10, 10, 10};
  MoskvidHookPicture picture{{pixels, nullptr, nullptr, nullptr}, {4, 0, 0, 0}};
  ProcessFrameHooks(chain, &picture, AV_PIX_FMT_GRAY8, 4, 1, 0);
  EXPECT_EQ(std::vector<int>(pixels, pixels + 4), (std::vector<int>{20, 20, 235, 235}));
}

}  // namespace
}  // namespace moskvid
