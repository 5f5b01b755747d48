// Writing a small file whole or not at all: a temporary file beside it,
// synced, then renamed over it, so that a full disk or a crash leaves the
// old file as it was.
#pragma once

#include <sys/types.h>

#include <string>

namespace moskvid {

// Writes `text` to `path` whole or not at all; false with the reason, and
// then the old file is as it was and no temporary file is left. A file that
// exists keeps its permission bits; a new one is made with `newMode` less
// the umask. A link at `path` is written through: the file it leads to is
// the one replaced.
bool WriteFileWhole(const std::string& path, const std::string& text, std::string& reason,
                    mode_t newMode = 0600);

}  // namespace moskvid
