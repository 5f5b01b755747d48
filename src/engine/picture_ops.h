// Picture operations of the video path: crop by moving plane pointers, the
// picture area inside padding, border filling, the old line-filter
// deinterlacer, and a small pool of writable frames.
#pragma once

#include <cstdint>
#include <vector>

#include "binding/ffptr.h"

namespace moskvid {

// Decoders refuse pictures beyond this many pixels (8192 x 8192): no real
// video comes near, and a damaged stream that claims hundreds of millions
// of pixels in mid-stream would otherwise take gigabytes per conversion.
inline constexpr int64_t kMaxPicturePixels = int64_t{8192} * 8192;

// `view` becomes a reference to `source` cut by the four margins; no pixel is
// copied. False when the pixel format cannot be cut this way.
bool CropView(const AVFrame* source, AVFrame* view, int top, int bottom, int left, int right);

// Fills the four borders of `frame` with the colour (planar 8-bit YUV only).
bool PadBorders(AVFrame* frame, int top, int bottom, int left, int right, int y, int u, int v);

// Deinterlaces 8-bit planar YUV (and grey) with the vertical line filter
// (-1 4 2 4 -1)/8 on the odd lines; the size must be a multiple of 4. False
// for anything else.
bool Deinterlace(const AVFrame* source, AVFrame* target);

// Copies the picture data of `source` into `target` (same size and format).
void CopyPicture(const AVFrame* source, AVFrame* target);

// Gives a reused `target` the properties of `source` (time stamps, side data
// such as captions and HDR metadata, metadata) in place of its own: the
// library's copy only adds to what a frame already holds.
void CopyPictureProperties(AVFrame* target, const AVFrame* source);

// Writable frames of one geometry, reused from frame to frame. A frame that
// an encoder still holds is never handed out again until it is released.
class FramePool {
 public:
  AVFrame* Acquire(int width, int height, int format);

 private:
  std::vector<FramePtr> frames_;
};

}  // namespace moskvid
