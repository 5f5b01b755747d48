#include "app/widgets/skins.h"

#include <QApplication>
#include <QWidget>

namespace moskvid {

namespace {

struct SkinColours {
  QRgb window;     // window and button faces
  QRgb base;       // edit and list backgrounds
  QRgb highlight;  // selections, progress bars, slider grooves
  QRgb dark;       // frames and shadows
};

// Default is a cool blue-grey; the others tint the same layout.
const SkinColours kSkins[] = {
    {0xFFDDE3F3, 0xFFFFFFFF, 0xFF3A6FC4, 0xFF8C9AC0},  // Default
    {0xFFE2E2E2, 0xFFFFFFFF, 0xFF6B6B6B, 0xFF9A9A9A},  // Gray
    {0xFFF6E6C4, 0xFFFFFFFF, 0xFFD9822B, 0xFFB89A6A},  // Orange
    {0xFFEEDCEA, 0xFFFFFFFF, 0xFF8E4C8A, 0xFFA88AA4},  // Purple
    {0xFFF2D6D6, 0xFFFFFFFF, 0xFFB83B3B, 0xFFB08888},  // Red
    {0xFFD9EFD8, 0xFFFFFFFF, 0xFF3E8E41, 0xFF88A888},  // Green
    {0xFFD8EAF4, 0xFFFFFFFF, 0xFF2F8FC4, 0xFF88A4B4},  // Light blue
};

}  // namespace

QPalette SkinPalette(int skin) {
  const SkinColours& c = kSkins[skin >= 0 && skin < 7 ? skin : 0];
  const QColor window(c.window), base(c.base), highlight(c.highlight), dark(c.dark);
  const QColor text(0x1E, 0x1E, 0x1E);
  QPalette palette;
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Window, window);
    palette.setColor(group, QPalette::WindowText, text);
    palette.setColor(group, QPalette::Base, base);
    palette.setColor(group, QPalette::AlternateBase, window.lighter(106));
    palette.setColor(group, QPalette::Text, text);
    palette.setColor(group, QPalette::Button, window.lighter(104));
    palette.setColor(group, QPalette::ButtonText, text);
    palette.setColor(group, QPalette::BrightText, Qt::white);
    palette.setColor(group, QPalette::Light, window.lighter(125));
    palette.setColor(group, QPalette::Midlight, window.lighter(112));
    palette.setColor(group, QPalette::Mid, dark.lighter(115));
    palette.setColor(group, QPalette::Dark, dark);
    palette.setColor(group, QPalette::Shadow, dark.darker(160));
    palette.setColor(group, QPalette::Highlight, highlight);
    palette.setColor(group, QPalette::HighlightedText, Qt::white);
    palette.setColor(group, QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
    palette.setColor(group, QPalette::ToolTipText, text);
    palette.setColor(group, QPalette::PlaceholderText, dark.darker(120));
    palette.setColor(group, QPalette::Link, highlight.darker(115));
    palette.setColor(group, QPalette::LinkVisited, highlight.darker(150));
  }
  // Disabled controls keep the skin's faces with faded text.
  const QColor faded = dark.darker(105);
  palette.setColor(QPalette::Disabled, QPalette::Window, window);
  palette.setColor(QPalette::Disabled, QPalette::WindowText, faded);
  palette.setColor(QPalette::Disabled, QPalette::Base, window.lighter(108));
  palette.setColor(QPalette::Disabled, QPalette::AlternateBase, window);
  palette.setColor(QPalette::Disabled, QPalette::Text, faded);
  palette.setColor(QPalette::Disabled, QPalette::Button, window);
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, faded);
  palette.setColor(QPalette::Disabled, QPalette::BrightText, window.lighter(130));
  palette.setColor(QPalette::Disabled, QPalette::Light, window.lighter(125));
  palette.setColor(QPalette::Disabled, QPalette::Midlight, window.lighter(112));
  palette.setColor(QPalette::Disabled, QPalette::Mid, dark.lighter(125));
  palette.setColor(QPalette::Disabled, QPalette::Dark, dark.lighter(110));
  palette.setColor(QPalette::Disabled, QPalette::Shadow, dark.darker(140));
  palette.setColor(QPalette::Disabled, QPalette::Highlight, dark);
  palette.setColor(QPalette::Disabled, QPalette::HighlightedText, window.lighter(120));
  palette.setColor(QPalette::Disabled, QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
  palette.setColor(QPalette::Disabled, QPalette::ToolTipText, faded);
  palette.setColor(QPalette::Disabled, QPalette::PlaceholderText, faded);
  palette.setColor(QPalette::Disabled, QPalette::Link, faded);
  palette.setColor(QPalette::Disabled, QPalette::LinkVisited, faded);
  return palette;
}

void ApplySkin(QWidget& window, int skin) {
  window.setPalette(SkinPalette(skin));
}

}  // namespace moskvid
