// Writing a small file whole or not at all: a temporary file beside it,
// synced, then renamed over it, so that a full disk or a crash leaves the
// old file as it was.
#pragma once

#include <string>

namespace moskvid {

// Writes `text` to `path` whole or not at all; false with the reason.
bool WriteFileWhole(const std::string& path, const std::string& text, std::string& reason);

}  // namespace moskvid
