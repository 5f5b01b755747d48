// The file list's rules, free of any window code: duplicates, the selection
// after a removal, the check commands and which menu entries are enabled.
#pragma once

#include <string>
#include <vector>

#include "component/av_probe.h"

namespace moskvid {

// True when an entry with exactly this caption (case-sensitive) is listed.
bool HasCaption(const std::vector<std::string>& captions, const std::string& path);

// The entry to select after removing position `removed`, leaving `countAfter`
// entries: the one now at that position, or the new last one; -1 when empty.
int SelectionAfterRemove(int removed, int countAfter);
// The same after removing the positions `removed` (in list order): the entry
// now where the first of them was.
int SelectionAfterRemoving(const std::vector<int>& removed, int countAfter);

enum TCheckCommand { ccCheckAll, ccUncheckAll, ccReverseCheck, ccCheck, ccUncheck };

// Applies a check command to the entries' checked states. Check and Uncheck
// act on the `selected` positions only; without a selection they change
// nothing.
void ApplyCheckCommand(std::vector<bool>& checked, TCheckCommand command,
                       const std::vector<int>& selected);
// Space: the `current` entry flips, and every selected one takes its new state.
void ToggleChecks(std::vector<bool>& checked, const std::vector<int>& selected, int current);

struct TEditMenuState {
  bool Crop = false, Trim = false;
  bool CheckAll = false, UncheckAll = false, ReverseCheck = false, Check = false, Uncheck = false;
  bool WaterMarkVisible = false;
};
// The Edit menu as it opens, for a list of `count` entries.
TEditMenuState EditMenuState(int count);

struct TPopupMenuState {
  bool Crop = false, Trim = false, WaterMark = false, Information = false;
  bool Remove = false, Clear = false, Start = false;
  bool WaterMarkVisible = false;
};
// The list's popup menu as it opens.
TPopupMenuState PopupMenuState(int count, int selected);

// One entry of the popup's Sound Track menu: the track it chooses (0: the
// automatic choice), its text with its mnemonic, and whether it is the
// current entry's choice.
struct TSoundTrackItem {
  int Track = 0;
  std::string Text;
  bool Checked = false;
};
struct TSoundTrackMenu {
  bool Enabled = false;  // a choice only among two tracks or more
  std::vector<TSoundTrackItem> Items;
};
// "Automatic", then each of the file's `tracks`; `chosen` is the entry's
// AudioTrack.
TSoundTrackMenu SoundTrackMenu(const std::vector<TAVAudioTrack>& tracks, int chosen);

}  // namespace moskvid
