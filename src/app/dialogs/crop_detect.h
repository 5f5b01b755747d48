// Finding the black borders of a picture: the rule of libavfilter's
// cropdetect (a line whose mean brightness stays under the limit is black),
// over several pictures of a file.
#pragma once

#include <vector>

#include "app/dialogs/crop_rules.h"
#include "engine/bitmap24.h"

namespace moskvid {

inline constexpr int kBlackLimit = 24;  // of 255, as cropdetect's default

// The black margins of one picture, in its own pixels.
TMargins BlackBorders(const TBitmap24& picture, int limit = kBlackLimit);

// The margins no picture of `pictures` has content in, made even; pictures
// of another size than the first are left out.
TMargins CommonBlackBorders(const std::vector<TBitmap24>& pictures, int limit = kBlackLimit);

}  // namespace moskvid
