#include "app/dialogs/crop_detect.h"

#include <algorithm>

namespace moskvid {

namespace {

int Brightness(const uint8_t* bgr) {
  return (29 * bgr[0] + 150 * bgr[1] + 77 * bgr[2]) >> 8;
}

bool DarkRow(const TBitmap24& picture, int y, int limit) {
  const uint8_t* row = picture.ScanLine(y);
  int64_t sum = 0;
  for (int x = 0; x < picture.Width(); ++x)
    sum += Brightness(row + 3 * x);
  return sum < int64_t{limit} * picture.Width();
}

bool DarkColumn(const TBitmap24& picture, int x, int limit) {
  int64_t sum = 0;
  for (int y = 0; y < picture.Height(); ++y)
    sum += Brightness(picture.ScanLine(y) + 3 * x);
  return sum < int64_t{limit} * picture.Height();
}

}  // namespace

TMargins BlackBorders(const TBitmap24& picture, int limit) {
  TMargins margins;
  const int width = picture.Width(), height = picture.Height();
  if (picture.Empty()) return margins;
  while (margins.Top < height && DarkRow(picture, margins.Top, limit))
    ++margins.Top;
  if (margins.Top == height) return {};  // all black: nothing to tell
  while (margins.Top + margins.Bottom < height - 1 &&
         DarkRow(picture, height - 1 - margins.Bottom, limit))
    ++margins.Bottom;
  while (margins.Left < width - 1 && DarkColumn(picture, margins.Left, limit))
    ++margins.Left;
  while (margins.Left + margins.Right < width - 1 &&
         DarkColumn(picture, width - 1 - margins.Right, limit))
    ++margins.Right;
  return margins;
}

TMargins CommonBlackBorders(const std::vector<TBitmap24>& pictures, int limit) {
  bool first = true;
  TMargins common;
  for (const TBitmap24& picture : pictures) {
    if (picture.Empty() || (!first && (picture.Width() != pictures.front().Width() ||
                                       picture.Height() != pictures.front().Height()))) {
      continue;
    }
    const TMargins found = BlackBorders(picture, limit);
    // A black picture (a fade) says nothing about the borders.
    if (found == TMargins{} && DarkRow(picture, 0, limit)) continue;
    if (first) {
      common = found;
      first = false;
    } else {
      common = {std::min(common.Top, found.Top), std::min(common.Bottom, found.Bottom),
                std::min(common.Left, found.Left), std::min(common.Right, found.Right)};
    }
  }
  return EvenMargins(common);
}

}  // namespace moskvid
