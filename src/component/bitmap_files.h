// Writing pictures to files.
#pragma once

#include <string>

#include "engine/bitmap24.h"

namespace moskvid {

// Writes a 24-bit Windows bitmap file; false when the file cannot be written
// or the picture is empty.
bool SaveBitmapAsBmp(const TBitmap24& bitmap, const std::string& fileName);

}  // namespace moskvid
