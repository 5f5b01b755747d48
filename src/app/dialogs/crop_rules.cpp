#include "app/dialogs/crop_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace moskvid {

namespace {

int Round(double value) {
  return static_cast<int>(std::nearbyint(value));
}

int Scale(int value, int to, int from) {
  return from > 0 ? Round(static_cast<double>(value) * to / from) : 0;
}

}  // namespace

TArea FitClipPicture(int frameWidth, int frameHeight, int areaWidth, int areaHeight) {
  if (frameWidth <= 0 || frameHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return {};
  const double widthRatio = static_cast<double>(frameWidth) / areaWidth;
  const double heightRatio = static_cast<double>(frameHeight) / areaHeight;
  if (widthRatio >= heightRatio) {
    const int offset = Round((areaHeight - frameHeight / widthRatio) / 2);
    return {0, offset, areaWidth, areaHeight - 2 * offset};
  }
  const int offset = Round((areaWidth - frameWidth / heightRatio) / 2);
  return {offset, 0, areaWidth - 2 * offset, areaHeight};
}

TArea PictureRectangle(const TArea& drawn) {
  return {drawn.Left + 1, drawn.Top + 1, drawn.Width - 2, drawn.Height - 2};
}

TMargins ToPreviewMargins(const TMargins& source, const TArea& picture, int sourceWidth,
                          int sourceHeight) {
  return {Scale(source.Top, picture.Height, sourceHeight),
          Scale(source.Bottom, picture.Height, sourceHeight),
          Scale(source.Left, picture.Width, sourceWidth),
          Scale(source.Right, picture.Width, sourceWidth)};
}

TMargins ToSourceMargins(const TMargins& preview, const TArea& picture, int sourceWidth,
                         int sourceHeight) {
  return {Scale(preview.Top, sourceHeight, picture.Height),
          Scale(preview.Bottom, sourceHeight, picture.Height),
          Scale(preview.Left, sourceWidth, picture.Width),
          Scale(preview.Right, sourceWidth, picture.Width)};
}

TMargins EvenMargins(const TMargins& margins) {
  const auto even = [](int value) { return value - value % 2; };
  return {even(margins.Top), even(margins.Bottom), even(margins.Left), even(margins.Right)};
}

TArea RectangleOf(const TMargins& margins, const TArea& picture) {
  return {picture.Left + margins.Left, picture.Top + margins.Top,
          picture.Width - margins.Left - margins.Right,
          picture.Height - margins.Top - margins.Bottom};
}

TMargins MarginsOf(const TArea& rectangle, const TArea& picture) {
  const auto positive = [](int value) { return std::max(value, 0); };
  return {positive(rectangle.Top - picture.Top), positive(picture.Bottom() - rectangle.Bottom()),
          positive(rectangle.Left - picture.Left), positive(picture.Right() - rectangle.Right())};
}

bool AcceptMargin(int value, int last, int rectangleSize) {
  return value <= last || rectangleSize - (value - last) >= kTrackerMinimum;
}

TTrackerHandle TrackerHandleAt(const TArea& bounds, int x, int y) {
  const auto near = [](int a, int b) { return std::abs(a - b) <= kGrabSize / 2 + 1; };
  const bool left = near(x, bounds.Left), right = near(x, bounds.Right() - 1);
  const bool top = near(y, bounds.Top), bottom = near(y, bounds.Bottom() - 1);
  if (top && left) return thTopLeft;
  if (top && right) return thTopRight;
  if (bottom && left) return thBottomLeft;
  if (bottom && right) return thBottomRight;
  const bool insideX = x >= bounds.Left && x < bounds.Right();
  const bool insideY = y >= bounds.Top && y < bounds.Bottom();
  if (left && insideY) return thLeft;
  if (right && insideY) return thRight;
  if (top && insideX) return thTop;
  if (bottom && insideX) return thBottom;
  if (insideX && insideY) return thInside;
  return thNone;
}

TArea DragTracker(const TArea& start, TTrackerHandle handle, int dx, int dy, const TArea& picture) {
  int left = start.Left, top = start.Top, right = start.Right(), bottom = start.Bottom();
  const bool moveLeft = handle == thLeft || handle == thTopLeft || handle == thBottomLeft;
  const bool moveRight = handle == thRight || handle == thTopRight || handle == thBottomRight;
  const bool moveTop = handle == thTop || handle == thTopLeft || handle == thTopRight;
  const bool moveBottom = handle == thBottom || handle == thBottomLeft || handle == thBottomRight;
  if (handle == thInside) {
    // The whole rectangle, kept inside the picture.
    const int width = std::min(start.Width, picture.Width);
    const int height = std::min(start.Height, picture.Height);
    left = std::clamp(start.Left + dx, picture.Left, picture.Right() - width);
    top = std::clamp(start.Top + dy, picture.Top, picture.Bottom() - height);
    return {left, top, width, height};
  }
  if (moveLeft) left = std::clamp(left + dx, picture.Left, right - kTrackerMinimum);
  if (moveRight) right = std::clamp(right + dx, left + kTrackerMinimum, picture.Right());
  if (moveTop) top = std::clamp(top + dy, picture.Top, bottom - kTrackerMinimum);
  if (moveBottom) bottom = std::clamp(bottom + dy, top + kTrackerMinimum, picture.Bottom());
  return {left, top, right - left, bottom - top};
}

int ZoomIndexOf(const std::string& zoomMode) {
  static const char* const kModes[] = {"lbox", "cent", "full", "orig"};
  for (int i = 0; i < 4; ++i) {
    if (zoomMode == kModes[i]) return i;
  }
  return 0;
}

std::string ZoomModeOf(int index) {
  static const char* const kModes[] = {"lbox", "cent", "full", "orig"};
  return index >= 0 && index < 4 ? kModes[index] : "lbox";
}

}  // namespace moskvid
