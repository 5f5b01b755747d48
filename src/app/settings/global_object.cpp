#include "app/settings/global_object.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "binding/install_paths.h"
#include "binding/my_utils.h"

namespace moskvid {

std::string DefaultOutputFolder() {
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/moskvid";
}

std::string ChooseConfigFile(const TConfigPlaces& places) {
  if (!places.Named.empty()) return places.Named;
  // An installed program's folder is the system's (writable only to root):
  // its settings go to the user's configuration folder.
  if (places.ExecutableFolderWritable && !places.Installed) {
    return places.ExecutableFolder + "moskvid.ini";
  }
  const std::string base = !places.XdgConfigHome.empty()
                               ? places.XdgConfigHome
                               : (places.Home.empty() ? "/tmp" : places.Home) + "/.config";
  return base + "/moskvid/moskvid.ini";
}

std::string DefaultConfigFile() {
  auto environment = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
  TConfigPlaces places;
  places.Named = environment("MOSKVID_CONFIG");
  places.ExecutableFolder = ExecutableFolder();
  places.ExecutableFolderWritable = ::access(places.ExecutableFolder.c_str(), W_OK) == 0;
  places.Installed = RunningInstalled();
  places.XdgConfigHome = environment("XDG_CONFIG_HOME");
  places.Home = environment("HOME");
  return ChooseConfigFile(places);
}

std::string DefaultProfileFile() {
  return DataFile("moskvidformat.ini");
}

TGlobalObject::TGlobalObject()
    : helpPage_(DataFile("help.html")),
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
