#include "app/settings/global_object.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "binding/my_utils.h"

#ifndef MOSKVID_DATA_DIR
#define MOSKVID_DATA_DIR "/usr/local/share/moskvid"
#endif

namespace moskvid {

std::string DefaultOutputFolder() {
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/moskvid";
}

std::string DefaultConfigFile() {
  if (const char* named = std::getenv("MOSKVID_CONFIG"); named && *named) return named;
  const std::string folder = ExecutableFolder();
  if (::access(folder.c_str(), W_OK) == 0) return folder + "moskvid.ini";
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string base =
      xdg && *xdg ? xdg : std::string(home && *home ? home : "/tmp") + "/.config";
  return base + "/moskvid/moskvid.ini";
}

std::string DefaultProfileFile() {
  const std::string beside = ExecutableFolder() + "moskvidformat.ini";
  std::error_code error;
  if (std::filesystem::exists(beside, error)) return beside;
  return std::string(MOSKVID_DATA_DIR) + "/moskvidformat.ini";
}

TGlobalObject::TGlobalObject()
    : helpPage_(ExecutableFolder() + "help.html"),
      configFile_(DefaultConfigFile()),
      profileFile_(DefaultProfileFile()) {}

void TGlobalObject::SetHelpPage(const std::string& value) {
  if (!value.empty()) helpPage_ = value;
}

void TGlobalObject::SetConfigFile(const std::string& value) {
  if (value.size() > 3) configFile_ = value;
}

void TGlobalObject::SetProfileFile(const std::string& value) {
  if (value.size() > 3) profileFile_ = value;
}

void TGlobalObject::SetAppTitle(const std::string& value) {
  if (!value.empty()) appTitle_ = value;
}

void TGlobalObject::SetAppVersion(const std::string& value) {
  if (!value.empty()) appVersion_ = value;
}

void TGlobalObject::SetHomePage(const std::string& value) {
  if (!value.empty()) homePage_ = value;
}

std::string TGlobalObject::LastChars(const std::string& text, size_t count) {
  return text.size() <= count ? text : text.substr(text.size() - count);
}

}  // namespace moskvid
