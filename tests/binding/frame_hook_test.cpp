#include "binding/frame_hook.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "binding/entry_points.h"
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
  const int modulesBefore = FrameHookModuleCount();
  const std::string module = TestModule("counting");
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

// Runs a test body with a scratch folder as the current folder.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~InFolder() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

// "vhook=invert_rect.so ..." must work from any folder: the shipped modules
// sit in "hooks/" beside the program (or in the install module folder); a
// module in the current folder still comes first.
TEST_F(FrameHookTest, BareNamesFindTheShippedModulesFromAnyFolder) {
  test::ScratchDir dir;
  std::filesystem::copy_file(TestModule("no_configure"), dir.File("own_module.so"));
  InFolder inside(dir.Path());
  ASSERT_EQ(AddFrameHook(chain, {"own_module.so"}), kHookOk);
  ASSERT_EQ(AddFrameHook(chain, {"invert_rect.so", "0", "0", "2", "1"}), kHookOk);
  EXPECT_EQ(AddFrameHook(chain, {"no_such_module.so"}), kHookNotLoadable);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->Configure, nullptr);  // the current folder's module
  ASSERT_NE(chain->Next, nullptr);
  EXPECT_EQ(chain->Next->Next, nullptr);
  // The own module paints everything 235, then the shipped one inverts two pixels.
  uint8_t pixels[4] = {10, 10, 10, 10};
  MoskvidHookPicture picture{{pixels, nullptr, nullptr, nullptr}, {4, 0, 0, 0}};
  ProcessFrameHooks(chain, &picture, AV_PIX_FMT_GRAY8, 4, 1, 0);
  EXPECT_EQ(std::vector<int>(pixels, pixels + 4), (std::vector<int>{20, 20, 235, 235}));
}

}  // namespace
}  // namespace moskvid
