#include "app/main/list_rules.h"

#include <algorithm>

#include "app/settings/media_texts.h"

namespace moskvid {

bool HasCaption(const std::vector<std::string>& captions, const std::string& path) {
  return std::find(captions.begin(), captions.end(), path) != captions.end();
}

int SelectionAfterRemove(int removed, int countAfter) {
  if (countAfter <= 0) return -1;
  return removed < countAfter ? std::max(removed, 0) : countAfter - 1;
}

int SelectionAfterRemoving(const std::vector<int>& removed, int countAfter) {
  return removed.empty() ? -1 : SelectionAfterRemove(removed.front(), countAfter);
}

void ApplyCheckCommand(std::vector<bool>& checked, TCheckCommand command,
                       const std::vector<int>& selected) {
  switch (command) {
    case ccCheckAll:
      std::fill(checked.begin(), checked.end(), true);
      break;
    case ccUncheckAll:
      std::fill(checked.begin(), checked.end(), false);
      break;
    case ccReverseCheck:
      checked.flip();
      break;
    case ccCheck:
    case ccUncheck:
      for (int position : selected) {
        if (position >= 0 && position < static_cast<int>(checked.size()))
          checked[static_cast<size_t>(position)] = command == ccCheck;
      }
      break;
  }
}

void ToggleChecks(std::vector<bool>& checked, const std::vector<int>& selected, int current) {
  if (current < 0 || current >= static_cast<int>(checked.size())) return;
  const bool state = !checked[static_cast<size_t>(current)];
  ApplyCheckCommand(checked, state ? ccCheck : ccUncheck, selected);
  checked[static_cast<size_t>(current)] = state;
}

TEditMenuState EditMenuState(int count) {
  TEditMenuState state;
  const bool any = count > 0;
  state.Crop = state.Trim = any;
  state.CheckAll = state.UncheckAll = state.ReverseCheck = state.Check = state.Uncheck = any;
  return state;
}

TPopupMenuState PopupMenuState(int count, int selected) {
  TPopupMenuState state;
  const bool on = count > 0 && selected >= 0 && selected < count;
  state.Crop = state.Trim = state.WaterMark = state.Information = on;
  state.Remove = state.Clear = state.Start = on;
  return state;
}

TSoundTrackMenu SoundTrackMenu(const std::vector<TAVAudioTrack>& tracks, int chosen) {
  TSoundTrackMenu menu;
  menu.Enabled = tracks.size() >= 2;
  menu.Items.push_back({0, "&Automatic", chosen == 0});
  for (const TAVAudioTrack& track : tracks) {
    std::string text;
    for (char c : AudioTrackText(track))
      text += c == '&' ? std::string("&&") : std::string(1, c);
    // The track's number is its key, where one digit says it.
    static const std::string kTrack = "Track ";
    if (track.Number >= 1 && track.Number <= 9) text.insert(kTrack.size(), "&");
    menu.Items.push_back({track.Number, text, chosen == track.Number});
  }
  return menu;
}

}  // namespace moskvid
