#include "engine/bitmap24.h"

#include <algorithm>

namespace moskvid {

void TBitmap24::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<size_t>(width) * 3 * height + kScalerSlack, 0);
}

void TBitmap24::Fill(uint8_t blue, uint8_t green, uint8_t red) {
  const size_t size = static_cast<size_t>(Stride()) * height_;
  for (size_t i = 0; i + 2 < size; i += 3) {
    pixels_[i] = blue;
    pixels_[i + 1] = green;
    pixels_[i + 2] = red;
  }
}

void TBitmap24::Assign(const TBitmap24& other) {
  width_ = other.width_;
  height_ = other.height_;
  pixels_ = other.pixels_;
}

void RotateClockwise(const TBitmap24& source, int degrees, TBitmap24& target) {
  const int width = source.Width(), height = source.Height();
  if (degrees != 90 && degrees != 180 && degrees != 270) {
    target = source;
    return;
  }
  const bool quarter = degrees != 180;
  target.SetSize(quarter ? height : width, quarter ? width : height);
  for (int y = 0; y < target.Height(); ++y) {
    uint8_t* out = target.ScanLine(y);
    for (int x = 0; x < target.Width(); ++x, out += 3) {
      // The source pixel that lands at (x, y).
      int sx = x, sy = y;
      if (degrees == 90) {
        sx = y;
        sy = height - 1 - x;
      } else if (degrees == 180) {
        sx = width - 1 - x;
        sy = height - 1 - y;
      } else {
        sx = width - 1 - y;
        sy = x;
      }
      const uint8_t* in = source.ScanLine(sy) + 3 * sx;
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
    }
  }
}

}  // namespace moskvid
