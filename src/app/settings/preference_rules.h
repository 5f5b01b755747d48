// The preferences dialog's rules, free of window code: what it shows, the
// paired check boxes, Default and what OK stores.
#pragma once

#include <string>

#include "app/settings/app_settings.h"

namespace moskvid {

struct TPreferences {
  std::string SnapshotFolder;
  bool FullSize = true, SmallSize = true;
  bool Bmp = true, Jpg = true;
  int Quality = 30;       // 1 to 100
  int Priority = 1;       // 0 idle, 1 normal, 2 lower, 3 lowest; -1 none
  int Simultaneous = 1;   // tasks at a time, 1 to 8, or kSimultaneousAuto
  bool KeepList = false;  // "Keep the file list between sessions"
};

// What the dialog shows: the stored settings.
TPreferences LoadPreferences(const TAppSettings& settings);
// Default: nothing is stored until OK.
TPreferences DefaultPreferences();
// OK: an empty folder stores the default folder; a quality of 0 or less is
// not stored.
void StorePreferences(TAppSettings& settings, const TPreferences& preferences);

// Whether a box of a pair (the sizes, the formats) may be cleared: not while
// its partner is clear, so that a snapshot always writes something.
inline bool MayClear(bool partnerChecked) {
  return partnerChecked;
}

}  // namespace moskvid
