// Which mounted file system holds a path, from the kernel's mount table
// (/proc/self/mountinfo), to refuse folders on optical discs.
#pragma once

#include <functional>
#include <string>

namespace moskvid {

// The text of the mount table; tests put a table of their own here.
using TMountTableReader = std::function<std::string()>;
TMountTableReader SystemMountTable();

// The file-system type of the mount that holds `path` (the longest mount
// point that contains it); empty when none does.
std::string FileSystemTypeOf(const std::string& path, const std::string& mountTable);

// True when that type is one of an optical disc (iso9660, udf).
bool OnOpticalDisc(const std::string& path, const std::string& mountTable);

}  // namespace moskvid
