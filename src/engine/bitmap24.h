// A toolkit-free 24-bit picture: top-down rows of blue, green, red bytes,
// with a lock that a painter holds while it draws. The scaler writes whole
// registers, up to 32 bytes past the end of a row that is no multiple of
// them; a row spills into the next, the last one into slack kept after the
// picture.
#pragma once

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace moskvid {

class TBitmap24 {
 public:
  TBitmap24() = default;
  TBitmap24(const TBitmap24& other) { Assign(other); }
  TBitmap24& operator=(const TBitmap24& other) {
    if (this != &other) Assign(other);
    return *this;
  }

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return width_ * 3; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }

  // Resizes; pixels are kept only when the size does not change.
  void SetSize(int width, int height);
  void Fill(uint8_t blue, uint8_t green, uint8_t red);
  uint8_t* ScanLine(int row) { return pixels_.data() + static_cast<size_t>(row) * Stride(); }
  const uint8_t* ScanLine(int row) const {
    return pixels_.data() + static_cast<size_t>(row) * Stride();
  }
  // Copies size and pixels (not the lock).
  void Assign(const TBitmap24& other);
  // Exchanges size and pixels (not the lock) without copying them.
  void Swap(TBitmap24& other) {
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    pixels_.swap(other.pixels_);
  }

  // Held around drawing, so that another thread may paint on the picture.
  std::mutex& CanvasLock() { return canvasLock_; }

 private:
  int width_ = 0;
  int height_ = 0;
  static constexpr size_t kScalerSlack = 64;
  std::vector<uint8_t> pixels_;
  std::mutex canvasLock_;
};

// `target` becomes `source` turned clockwise by 0, 90, 180 or 270 degrees.
void RotateClockwise(const TBitmap24& source, int degrees, TBitmap24& target);

}  // namespace moskvid
