// Snapshot pictures: the four files, each written only when its two switches
// are on, into the snapshot folder under fixed names.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/bitmap24.h"

namespace moskvid {

// A picture file that could not be written.
class TFileWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Baseline JPEG at `quality` (1 to 100) through libjpeg; false when the file
// cannot be written or the picture is empty.
bool SaveBitmapAsJpeg(const TBitmap24& bitmap, const std::string& fileName, int quality);

struct TSnapshotChoice {
  bool FullSize = true;
  bool SmallSize = true;
  bool Bmp = true;
  bool Jpg = true;
  int Quality = 30;
};

// Why a snapshot of `full` would write no file, for the user; "" when it
// writes some: no picture (a sound-only file), or neither of a pair of
// switches on.
std::string SnapshotObstacle(const TBitmap24& full, const TSnapshotChoice& choice);

// Writes, in this order, "Snapshot_full.bmp", "Snapshot_small.bmp",
// "Snapshot_full.jpg" and "Snapshot_small.jpg" into `folder` (ending in "/"),
// each only when chosen; returns the paths written. Raises TFileWriteError at
// the first file that cannot be written; the files before it stay.
std::vector<std::string> WriteSnapshots(const TBitmap24& full, const TBitmap24& small,
                                        const std::string& folder, const TSnapshotChoice& choice);

}  // namespace moskvid
