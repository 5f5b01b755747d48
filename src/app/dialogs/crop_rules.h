// The crop dialog's arithmetic, free of window code: where the picture is
// drawn, margins between preview and source pixels, the rectangle tracker's
// handles and drags, and the zoom list.
#pragma once

#include <string>

namespace moskvid {

struct TArea {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int Right() const { return Left + Width; }
  int Bottom() const { return Top + Height; }
  bool operator==(const TArea&) const = default;
};

// The clip dialogs' fitted drawing: the frame spans the full width (or the
// full height) of the area and is centred, the offset rounded, the same on
// both sides.
TArea FitClipPicture(int frameWidth, int frameHeight, int areaWidth, int areaHeight);
// The picture rectangle the tracker lives in: the drawn picture shrunk by
// one pixel on every side.
TArea PictureRectangle(const TArea& drawn);

struct TMargins {
  int Top = 0, Bottom = 0, Left = 0, Right = 0;
  bool operator==(const TMargins&) const = default;
};

// Source pixels to preview pixels and back, each rounded to the nearest;
// stored margins are even (an odd one loses a pixel).
TMargins ToPreviewMargins(const TMargins& source, const TArea& picture, int sourceWidth,
                          int sourceHeight);
TMargins ToSourceMargins(const TMargins& preview, const TArea& picture, int sourceWidth,
                         int sourceHeight);
TMargins EvenMargins(const TMargins& margins);

// The rectangle the margins leave of the picture, and back.
TArea RectangleOf(const TMargins& margins, const TArea& picture);
TMargins MarginsOf(const TArea& rectangle, const TArea& picture);

inline constexpr int kTrackerMinimum = 10;

// A margin field stepped from `last` to `value`, with the rectangle
// `rectangleSize` pixels across in that direction: false (the field goes
// back to `last`) when the rectangle would shrink below its minimum.
bool AcceptMargin(int value, int last, int rectangleSize);

// The tracker's handles: 0 left, 1 right, 2 top, 3 bottom edge, 4 top-left,
// 5 top-right, 6 bottom-left, 7 bottom-right corner, 8 inside, 9 none.
enum TTrackerHandle {
  thLeft,
  thRight,
  thTop,
  thBottom,
  thTopLeft,
  thTopRight,
  thBottomLeft,
  thBottomRight,
  thInside,
  thNone
};
inline constexpr int kGrabSize = 5;
TTrackerHandle TrackerHandleAt(const TArea& bounds, int x, int y);

// The rectangle after dragging `handle` by (dx, dy) from `start`: never
// smaller than the minimum, and kept inside `picture` (moved back for a
// move, cut at the edge for a resize).
TArea DragTracker(const TArea& start, TTrackerHandle handle, int dx, int dy, const TArea& picture);

// "lbox", "cent", "full", "orig" by the zoom list's index; any other stored
// value ("ylbox" too) opens as 0.
int ZoomIndexOf(const std::string& zoomMode);
std::string ZoomModeOf(int index);

}  // namespace moskvid
