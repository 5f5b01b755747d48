#include "app/settings/preference_rules.h"

#include "app/settings/global_object.h"
#include "app/settings/simultaneous.h"

namespace moskvid {

TPreferences LoadPreferences(const TAppSettings& settings) {
  TPreferences preferences;
  preferences.SnapshotFolder = settings.SnapshotFolder();
  preferences.FullSize = settings.SnapFullSize();
  preferences.SmallSize = settings.SnapSmallSize();
  preferences.Bmp = settings.SnapBmp();
  preferences.Jpg = settings.SnapJpg();
  preferences.Quality = settings.JpgQuality();
  preferences.Priority = settings.Priority();
  preferences.KeepList = settings.KeepFileList();
  preferences.Simultaneous = ReadSimultaneous(settings.Ini());
  return preferences;
}

TPreferences DefaultPreferences() {
  TPreferences preferences;
  preferences.SnapshotFolder = DefaultOutputFolder();
  preferences.Bmp = true;
  preferences.Jpg = false;
  preferences.FullSize = true;
  preferences.SmallSize = false;
  preferences.Priority = 1;
  preferences.Quality = 20;
  return preferences;
}

void StorePreferences(TAppSettings& settings, const TPreferences& preferences) {
  settings.SetSnapshotFolder(preferences.SnapshotFolder.empty() ? DefaultOutputFolder()
                                                                : preferences.SnapshotFolder);
  settings.SetSnapshotOptions(preferences.Bmp, preferences.Jpg, preferences.Quality,
                              preferences.FullSize, preferences.SmallSize);
  settings.SetPriority(preferences.Priority);
  settings.SetKeepFileList(preferences.KeepList);
  WriteSimultaneous(settings.Ini(), preferences.Simultaneous);
}

}  // namespace moskvid
