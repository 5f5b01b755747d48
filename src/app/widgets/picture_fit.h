// Rectangles by their edges, and where a picture goes when it is fitted into
// an area: the arithmetic of every picture pane, free of window code.
#pragma once

namespace moskvid {

// A rectangle by its edges; Right and Bottom are exclusive.
struct TBox {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TBox&) const = default;
};

// The largest rectangle of the picture's shape that fits the area, centred;
// the margin on the short side is rounded to the nearest pixel.
TBox FitPicture(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight);

}  // namespace moskvid
