// The seven colour skins: Fusion style with one palette each.
#pragma once

#include <QPalette>

class QWidget;

namespace moskvid {

// The palette of skin 0 to 6; any other number gives the design skin (0).
QPalette SkinPalette(int skin);
// Gives a window the skin's palette (its children follow).
void ApplySkin(QWidget& window, int skin);

}  // namespace moskvid
