// Where the shipped files are found: beside the executable first, then in
// the install folders; and which program counts as installed.
#include "binding/install_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "binding/install_dirs.h"
#include "binding/my_utils.h"
#include "support/test_support.h"

namespace moskvid {
namespace {

void Touch(const std::string& file) {
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  std::ofstream(file) << "x";
}

TEST(InstallPathsTest, TheFirstFolderHoldingTheFileWins) {
  test::ScratchDir beside, installed;
  const std::string first = beside.Path() + "/", second = installed.Path() + "/";
  // Found nowhere: the install folder is named, where the file belongs.
  EXPECT_EQ(FirstExisting({first, second}, "skin/lvBack.bmp"), second + "skin/lvBack.bmp");
  Touch(second + "skin/lvBack.bmp");
  EXPECT_EQ(FirstExisting({first, second}, "skin/lvBack.bmp"), second + "skin/lvBack.bmp");
  Touch(first + "skin/lvBack.bmp");
  EXPECT_EQ(FirstExisting({first, second}, "skin/lvBack.bmp"), first + "skin/lvBack.bmp");
  EXPECT_EQ(FirstExisting({first, second}, "help.html"), second + "help.html");
}

TEST(InstallPathsTest, DataFilesOfABuildTreeComeFromBesideTheProgram) {
  // The build copies the data beside every executable, the tests' too.
  EXPECT_EQ(DataFile("moskvidformat.ini"), ExecutableFolder() + "moskvidformat.ini");
  EXPECT_EQ(DataFile("skin/moskvidcover.jpg"), ExecutableFolder() + "skin/moskvidcover.jpg");
  EXPECT_EQ(DataFile("no-such-file.txt"), std::string(kInstallDataDir) + "/no-such-file.txt");
}

TEST(InstallPathsTest, OnlyTheInstallProgramFolderCountsAsInstalled) {
  EXPECT_TRUE(IsInstallProgramFolder("/usr/bin/", "/usr/bin"));
  EXPECT_TRUE(IsInstallProgramFolder("/usr/bin", "/usr/bin/"));
  EXPECT_FALSE(IsInstallProgramFolder("/usr/src/moskvid/build/bin/", "/usr/bin"));
  EXPECT_FALSE(IsInstallProgramFolder("/usr/", "/usr/bin"));
  EXPECT_FALSE(IsInstallProgramFolder("", "/usr/bin"));
  // The same folder through a symbolic link.
  test::ScratchDir dir;
  std::filesystem::create_directory(dir.File("real"));
  std::filesystem::create_directory_symlink(dir.File("real"), dir.File("link"));
  EXPECT_TRUE(IsInstallProgramFolder(dir.File("link") + "/", dir.File("real")));
  EXPECT_FALSE(IsInstallProgramFolder(dir.Path() + "/", dir.File("real")));
  // The test program runs from its build tree.
  EXPECT_FALSE(RunningInstalled());
}

TEST(InstallPathsTest, HookModuleNames) {
  EXPECT_EQ(HookModulePath("/opt/hooks/x.so"), "/opt/hooks/x.so");
  EXPECT_EQ(HookModulePath("sub/x.so"), "sub/x.so");
  EXPECT_EQ(HookModulePath("invert_rect.so"), ExecutableFolder() + "hooks/invert_rect.so");
  EXPECT_EQ(HookModulePath("no_such.so"), std::string(kInstallHookDir) + "/no_such.so");
}

}  // namespace
}  // namespace moskvid
