// The names an output goes by on its way: the part it is written to, the
// name that tells a failed run's part, and the numbered names taken while a
// name is in use ("NAME_(new).mp4", "NAME_(new_1).mp4", ...).
#pragma once

#include <string>
#include <vector>

namespace moskvid {

// Both names below are shortened when they would not fit in a file name
// (NAME_MAX) while the output does: cut at a character, then "~" and 8 hex
// digits of a hash of the output's name, so that each output keeps names
// of its own, then ".part", or ".failed" and the extension.
// "NAME_(new).mp4" -> "NAME_(new).mp4.part"
std::string PartFileName(const std::string& output);
// "NAME_(new).mp4" -> "NAME_(new).failed.mp4"; "clip" -> "clip.failed"
std::string FailedFileName(const std::string& output);
// The n-th numbered form (n >= 1) of an output name: "NAME_(new).mp4" and
// "NAME_(new_3).mp4" give "NAME_(new_n).mp4"; a name without the "_(new)"
// mark gets it: "clip.mp4" gives "clip_(new_n).mp4".
std::string NumberedFileName(const std::string& output, int n);
// True when something has the name (a dangling link too) or the part of it,
// so that an output of that name would have to go elsewhere.
bool OutputNameTaken(const std::string& output);
// True for a name the numbered forms of an output name would give, with
// ".part" after it, or for a shortened part: what a conversion that did not
// end leaves.
bool IsLeftoverPartName(const std::string& fileName);
// The leftover parts in `folder` (not below it), sorted.
std::vector<std::string> LeftoverPartsIn(const std::string& folder);
// The log line that names one: such parts are never deleted silently.
std::string LeftoverPartText(const std::string& part);

}  // namespace moskvid
