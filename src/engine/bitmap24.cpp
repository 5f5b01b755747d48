#include "engine/bitmap24.h"

#include <algorithm>

namespace moskvid {

void TBitmap24::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<size_t>(width) * 3 * height, 0);
}

void TBitmap24::Fill(uint8_t blue, uint8_t green, uint8_t red) {
  for (size_t i = 0; i + 2 < pixels_.size(); i += 3) {
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

}  // namespace moskvid
