// The probe's diagnostics go through the library log, so that they reach the
// components' log capture like the libraries' own lines.
#pragma once

#include <string>

#include "binding/entry_points.h"
#include "binding/media_loader.h"

namespace moskvid {

inline void ProbeLog(int level, const std::string& text) {
  if (binding::UtilLibraryReady()) ff::av_log(nullptr, level, "%s", text.c_str());
}

}  // namespace moskvid
