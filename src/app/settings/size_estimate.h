// What the checked files will take before Start: each entry's output size
// from its length and the format's rates, the list's total in words, and the
// file systems the outputs would not fit on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/settings/file_record.h"
#include "app/settings/format_summary.h"

namespace moskvid {

class TJobSettings;

// How a format's outputs grow: the rates that go in and what the container
// adds to them.
struct TSizeRule {
  double Kbits = -1;    // video and sound, kbit/s; negative when unknown
  double Overhead = 0;  // the container's share on top of the rates
};

// `container` is the profile's "Format" ("mp4", "psp", "adts", ...).
TSizeRule SizeRuleFor(const TSettingLookup& setting, const std::string& container);
TSizeRule SizeRuleFor(const TJobSettings& settings);

// The milliseconds an entry converts: its trimmed length, else what follows
// its trim start.
int64_t ConvertedMs(const TlvFilesRecord& record);

// Bytes an output of `lengthMs` takes; -1 when the rule's rates are unknown.
int64_t EstimatedBytes(const TSizeRule& rule, int64_t lengthMs);

// "640 KB", "4.8 MB", "1.4 GB" (powers of 1000, as the size a minute);
// "" for -1.
std::string SizeText(int64_t bytes);

// The line under the list: "Checked: 12 files, about 1.4 GB"; entries with
// no estimate are counted but not summed.
std::string CheckedTotalText(const std::vector<int64_t>& checkedBytes);

// A folder's file system: which one, and what it has free for the user.
struct TFreeSpace {
  uint64_t Device = 0;
  int64_t FreeBytes = 0;
};
// False when `folder` cannot be looked at (it may not exist yet).
using TFreeSpaceLookup = std::function<bool(const std::string& folder, TFreeSpace& space)>;

// One output: the folder it goes to and its estimated bytes.
struct TPlannedOutput {
  std::string Folder;
  int64_t Bytes = 0;
};

// A file system the outputs would overfill.
struct TShortFileSystem {
  std::string Folder;  // the first output folder on it
  int64_t Needed = 0;
  int64_t FreeBytes = 0;
};

// The file systems whose outputs together take more than they have free,
// in the order their first output comes. A folder not made yet counts on
// the nearest one above it that exists; one nothing tells about is left out.
std::vector<TShortFileSystem> ShortFileSystems(const std::vector<TPlannedOutput>& outputs,
                                               const TFreeSpaceLookup& lookup);

// The question Start asks, with the figures of each file system.
std::string ShortSpaceQuestion(const std::vector<TShortFileSystem>& systems);

}  // namespace moskvid
