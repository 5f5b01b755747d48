#include "app/widgets/picture_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace moskvid {

TBox FitPicture(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return {};
  const double scale = std::min(static_cast<double>(areaWidth) / pictureWidth,
                                static_cast<double>(areaHeight) / pictureHeight);
  TBox box;
  if (static_cast<int64_t>(pictureWidth) * areaHeight >=
      static_cast<int64_t>(pictureHeight) * areaWidth) {
    // Wider than the area: full width, bars above and below.
    const int height = static_cast<int>(std::nearbyint(pictureHeight * scale));
    box.Left = 0;
    box.Right = areaWidth;
    box.Top = static_cast<int>(std::nearbyint((areaHeight - height) / 2.0));
    box.Bottom = box.Top + height;
  } else {
    const int width = static_cast<int>(std::nearbyint(pictureWidth * scale));
    box.Top = 0;
    box.Bottom = areaHeight;
    box.Left = static_cast<int>(std::nearbyint((areaWidth - width) / 2.0));
    box.Right = box.Left + width;
  }
  return box;
}

}  // namespace moskvid
