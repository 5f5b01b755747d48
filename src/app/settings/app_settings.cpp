#include "app/settings/app_settings.h"

#include <filesystem>

#include "app/settings/global_object.h"

namespace moskvid {

std::string TAppSettings::OutputFolder() const {
  return ini_.ReadString(kSettingsSection, "OutPutDir", DefaultOutputFolder());
}

void TAppSettings::SetOutputFolder(const std::string& folder) {
  ini_.WriteString(kSettingsSection, "OutPutDir", folder);
}

bool TAppSettings::OutputBesideSource() const {
  return ini_.ReadInteger(kSettingsSection, "OutputBesideSource", 0) == 1;
}

void TAppSettings::SetOutputBesideSource(bool beside) {
  ini_.WriteInteger(kSettingsSection, "OutputBesideSource", beside ? 1 : 0);
}

bool TAppSettings::KeepFileList() const {
  return ini_.ReadInteger(kSettingsSection, "KeepFileList", 0) == 1;
}

void TAppSettings::SetKeepFileList(bool keep) {
  ini_.WriteInteger(kSettingsSection, "KeepFileList", keep ? 1 : 0);
}

int TAppSettings::OutputFormat() const {
  return ini_.ReadInteger(kSettingsSection, "OutPutFormat", 0);
}

void TAppSettings::SetOutputFormat(int format) {
  ini_.WriteInteger(kSettingsSection, "OutPutFormat", format);
}

int TAppSettings::SkinIndex() const {
  return ini_.ReadInteger(kSettingsSection, "skinIndex", 0);
}

void TAppSettings::SetSkinIndex(int skin) {
  ini_.WriteInteger(kSettingsSection, "skinIndex", skin);
}

int TAppSettings::Priority() const {
  return ini_.ReadInteger(kSettingsSection, "Priority", 1);
}

void TAppSettings::SetPriority(int priority) {
  ini_.WriteInteger(kSettingsSection, "priority", priority);
}

std::string TAppSettings::SnapshotFolder() const {
  return ini_.ReadString(kSettingsSection, "SnapOutPutDir", DefaultOutputFolder());
}

void TAppSettings::SetSnapshotFolder(const std::string& folder) {
  ini_.WriteString(kSettingsSection, "snapOutPutDir", folder);
}

bool TAppSettings::SnapBmp() const {
  return ini_.ReadInteger(kSettingsSection, "snapBmp", 1) == 1;
}
bool TAppSettings::SnapJpg() const {
  return ini_.ReadInteger(kSettingsSection, "snapJpg", 1) == 1;
}
int TAppSettings::JpgQuality() const {
  return ini_.ReadInteger(kSettingsSection, "jpgCmp", 30);
}
bool TAppSettings::SnapFullSize() const {
  return ini_.ReadInteger(kSettingsSection, "snapFullSize", 1) == 1;
}
bool TAppSettings::SnapSmallSize() const {
  return ini_.ReadInteger(kSettingsSection, "snapSmallSize", 1) == 1;
}

void TAppSettings::SetSnapshotOptions(bool bmp, bool jpg, int quality, bool fullSize,
                                      bool smallSize) {
  ini_.WriteInteger(kSettingsSection, "snapBmp", bmp ? 1 : 0);
  ini_.WriteInteger(kSettingsSection, "snapJpg", jpg ? 1 : 0);
  if (quality > 0) ini_.WriteInteger(kSettingsSection, "jpgCmp", quality);
  ini_.WriteInteger(kSettingsSection, "snapFullSize", fullSize ? 1 : 0);
  ini_.WriteInteger(kSettingsSection, "snapSmallSize", smallSize ? 1 : 0);
}

const char* SkinName(int skin) {
  static const char* const kNames[kSkinCount] = {"Default", "Gray",  "Orange",    "Purple",
                                                 "Red",     "Green", "Light blue"};
  return skin >= 0 && skin < kSkinCount ? kNames[skin] : "";
}

std::string EnsureFolder(const std::string& folder, const std::string& key, TIniFile& config,
                         TWarningSink& warnings) {
  namespace fs = std::filesystem;
  std::string chosen = folder;
  std::error_code error;
  const bool exists = !chosen.empty() && fs::is_directory(chosen, error);
  if (!exists && (chosen.empty() || !fs::create_directories(chosen, error) ||
                  !fs::is_directory(chosen, error))) {
    const std::string fallback = DefaultOutputFolder();
    warnings.Warning("Cannot create output directory:" + folder +
                     ".It will create default directory " + fallback + "!");
    fs::create_directories(fallback, error);
    config.WriteString(kSettingsSection, key, fallback);
    chosen = fallback;
  }
  if (chosen.empty() || chosen.back() != '/') chosen += '/';
  return chosen;
}

}  // namespace moskvid
