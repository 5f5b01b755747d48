// Writing pictures to files.
#pragma once

#include <string>

#include "engine/bitmap24.h"

namespace moskvid {

// Writes a 24-bit Windows bitmap file; false when the file cannot be written
// or the picture is empty.
bool SaveBitmapAsBmp(const TBitmap24& bitmap, const std::string& fileName);
// Writes it as a new file: under `fileName`, or when something has that name
// (a dangling link too) under its first free numbered form (NumberedFileName).
// Created exclusively and never through a link, so nothing is replaced. The
// name written; empty when the picture is empty or nothing could be written.
std::string SaveBitmapAsNewBmp(const TBitmap24& bitmap, const std::string& fileName);

}  // namespace moskvid
