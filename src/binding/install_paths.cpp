#include "binding/install_paths.h"

#include <filesystem>

#include "binding/install_dirs.h"
#include "binding/my_utils.h"

namespace moskvid {

namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

std::string FirstExisting(const std::vector<std::string>& folders, const std::string& relative) {
  if (folders.empty()) return relative;
  for (const std::string& folder : folders) {
    std::error_code error;
    if (std::filesystem::exists(folder + relative, error)) return folder + relative;
  }
  return folders.back() + relative;
}

std::string DataFile(const std::string& relative) {
  return FirstExisting({ExecutableFolder(), WithSlash(kInstallDataDir)}, relative);
}

bool IsInstallProgramFolder(const std::string& executableFolder, const std::string& installBinDir) {
  if (executableFolder.empty() || installBinDir.empty()) return false;
  // Compared as written and, when both exist, as the same folder, so that a
  // symbolic link in either path (/bin -> usr/bin) does not hide a match.
  if (WithSlash(executableFolder) == WithSlash(installBinDir)) return true;
  std::error_code error;
  return std::filesystem::equivalent(executableFolder, installBinDir, error) && !error;
}

bool RunningInstalled() {
  return IsInstallProgramFolder(ExecutableFolder(), kInstallBinDir);
}

std::string HookModulePath(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  // Never the current folder: run from a download folder or a shared drive,
  // a planted module of the same name would be loaded and run. A module
  // there is named as a path ("./name.so"), as a command would be.
  return FirstExisting({ExecutableFolder() + "hooks/", WithSlash(kInstallHookDir)}, name);
}

}  // namespace moskvid
