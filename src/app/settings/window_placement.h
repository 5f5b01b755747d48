// Where the main window was when it closed, kept in the configuration file
// (section "settings"): its size and position, whether it was maximised, the
// splitter between the file list and the preview, and the list's column
// widths. Free of window code.
#pragma once

#include <vector>

#include "app/settings/ini_file.h"

namespace moskvid {

// A rectangle by its position and size.
struct TPlace {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TPlace&) const = default;
};

struct TWindowPlacement {
  TPlace Window;  // a width or height of 0: nothing kept
  bool Maximized = false;
  std::vector<int> Splitter;  // the sizes of the splitter's panes
  std::vector<int> Columns;   // the file list's column widths
};

TWindowPlacement ReadWindowPlacement(const TIniFile& config);
// All seven keys in one rewrite of the file; false when it could not be written.
bool WriteWindowPlacement(TIniFile& config, const TWindowPlacement& placement);

// Where the kept window goes on a screen whose free area is `screen`: at
// least `minimum` in size and no larger than the screen, moved onto it
// when it would start off it (a screen that has gone, say). The default
// size, centred, when nothing is kept.
TPlace PlaceOnScreen(const TPlace& kept, const TPlace& screen, int minimumWidth, int minimumHeight);

}  // namespace moskvid
