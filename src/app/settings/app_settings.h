// The user's settings in "moskvid.ini", section "settings": every read opens
// the file and names its default, every write stores at once.
#pragma once

#include <string>

#include "app/settings/ini_file.h"

namespace moskvid {

inline constexpr const char* kSettingsSection = "settings";
inline constexpr int kSkinCount = 7;

// Where warnings for the user go: a message box in the desktop
// application, standard error on the command line.
class TWarningSink {
 public:
  virtual ~TWarningSink() = default;
  virtual void Warning(const std::string& text) = 0;
};

class TAppSettings {
 public:
  explicit TAppSettings(const std::string& configFile) : ini_(configFile) {}

  TIniFile& Ini() { return ini_; }
  const TIniFile& Ini() const { return ini_; }

  std::string OutputFolder() const;
  void SetOutputFolder(const std::string& folder);
  // "Same folder as the source": each output beside its source instead.
  bool OutputBesideSource() const;
  void SetOutputBesideSource(bool beside);
  // "Keep the file list between sessions" (off by default).
  bool KeepFileList() const;
  void SetKeepFileList(bool keep);
  int OutputFormat() const;
  void SetOutputFormat(int format);
  int SkinIndex() const;
  void SetSkinIndex(int skin);
  // 0 idle, 1 normal, 2 lower, 3 lowest.
  int Priority() const;
  void SetPriority(int priority);
  std::string SnapshotFolder() const;
  void SetSnapshotFolder(const std::string& folder);
  bool SnapBmp() const;
  bool SnapJpg() const;
  int JpgQuality() const;
  bool SnapFullSize() const;
  bool SnapSmallSize() const;
  void SetSnapshotOptions(bool bmp, bool jpg, int quality, bool fullSize, bool smallSize);

 private:
  TIniFile ini_;
};

// The names of the seven skins, in menu order.
const char* SkinName(int skin);

// Makes sure `folder` exists, creating it with its parents. When that fails
// the user is warned, the default folder is created instead and stored under
// `key`. Returns the folder to use, ending in "/".
std::string EnsureFolder(const std::string& folder, const std::string& key, TIniFile& config,
                         TWarningSink& warnings);

}  // namespace moskvid
