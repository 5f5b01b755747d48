#include "app/settings/window_placement.h"

#include <algorithm>
#include <string>

#include "app/settings/app_settings.h"
#include "app/settings/output_formats.h"

namespace moskvid {

namespace {

// "520,250"; a list with a piece that is no positive number is no list.
std::vector<int> ReadSizes(const TIniFile& config, const char* key) {
  std::vector<int> sizes;
  for (const std::string& piece : SplitChoiceList(config.ReadString(kSettingsSection, key, ""))) {
    int size = 0;
    if (!ParseInteger(piece, size) || size <= 0) return {};
    sizes.push_back(size);
  }
  return sizes;
}

std::string SizesText(const std::vector<int>& sizes) {
  std::string text;
  for (int size : sizes)
    text += (text.empty() ? "" : ",") + std::to_string(size);
  return text;
}

}  // namespace

TWindowPlacement ReadWindowPlacement(const TIniFile& config) {
  TWindowPlacement placement;
  placement.Window.Left = config.ReadInteger(kSettingsSection, "WindowLeft", 0);
  placement.Window.Top = config.ReadInteger(kSettingsSection, "WindowTop", 0);
  placement.Window.Width = std::max(config.ReadInteger(kSettingsSection, "WindowWidth", 0), 0);
  placement.Window.Height = std::max(config.ReadInteger(kSettingsSection, "WindowHeight", 0), 0);
  placement.Maximized = config.ReadInteger(kSettingsSection, "WindowMaximized", 0) == 1;
  placement.Splitter = ReadSizes(config, "SplitterSizes");
  placement.Columns = ReadSizes(config, "ColumnWidths");
  return placement;
}

bool WriteWindowPlacement(TIniFile& config, const TWindowPlacement& placement) {
  const auto number = [](int value) { return std::to_string(value); };
  return config.WriteValues(kSettingsSection,
                            {{"WindowLeft", number(placement.Window.Left)},
                             {"WindowTop", number(placement.Window.Top)},
                             {"WindowWidth", number(placement.Window.Width)},
                             {"WindowHeight", number(placement.Window.Height)},
                             {"WindowMaximized", number(placement.Maximized ? 1 : 0)},
                             {"SplitterSizes", SizesText(placement.Splitter)},
                             {"ColumnWidths", SizesText(placement.Columns)}});
}

TPlace PlaceOnScreen(const TPlace& kept, const TPlace& screen, int minimumWidth,
                     int minimumHeight) {
  TPlace place = kept;
  const bool none = kept.Width <= 0 || kept.Height <= 0;
  if (none) place = {0, 0, minimumWidth, minimumHeight};
  place.Width = std::max(place.Width, minimumWidth);
  place.Height = std::max(place.Height, minimumHeight);
  if (screen.Width <= 0 || screen.Height <= 0) return place;
  place.Width = std::min(place.Width, std::max(screen.Width, minimumWidth));
  place.Height = std::min(place.Height, std::max(screen.Height, minimumHeight));
  if (none) {
    place.Left = screen.Left + (screen.Width - place.Width) / 2;
    place.Top = screen.Top + (screen.Height - place.Height) / 2;
    return place;
  }
  // The whole window on the screen, as far as it fits.
  place.Left = std::clamp(place.Left, screen.Left,
                          std::max(screen.Left, screen.Left + screen.Width - place.Width));
  place.Top = std::clamp(place.Top, screen.Top,
                         std::max(screen.Top, screen.Top + screen.Height - place.Height));
  return place;
}

}  // namespace moskvid
