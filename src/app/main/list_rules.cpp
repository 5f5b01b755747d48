#include "app/main/list_rules.h"

#include <algorithm>

namespace moskvid {

bool HasCaption(const std::vector<std::string>& captions, const std::string& path) {
  return std::find(captions.begin(), captions.end(), path) != captions.end();
}

int SelectionAfterRemove(int removed, int countAfter) {
  if (countAfter <= 0) return -1;
  return removed < countAfter ? std::max(removed, 0) : countAfter - 1;
}

void ApplyCheckCommand(std::vector<bool>& checked, TCheckCommand command, int selected) {
  const bool hasSelection = selected >= 0 && selected < static_cast<int>(checked.size());
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
      if (hasSelection) checked[static_cast<size_t>(selected)] = command == ccCheck;
      break;
  }
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

}  // namespace moskvid
