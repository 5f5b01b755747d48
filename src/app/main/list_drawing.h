// Where and in which colours the file list draws a row: the skin's tint of
// odd rows, the selected fill and frame, the check box and its tick, and the
// text rectangles. Colours are 0xRRGGBB.
#pragma once

#include <array>
#include <cstdint>

#include "app/widgets/picture_fit.h"

namespace moskvid {

struct TPoint {
  int X = 0, Y = 0;
  bool operator==(const TPoint&) const = default;
};

// Each side moved inwards by `by` pixels.
TBox Narrow(const TBox& box, int by);

// White on even rows; the skin's tint on odd rows (#EBEBEB for an unknown skin).
uint32_t RowBackground(int row, int skin);
uint32_t SelectedRowFill(bool focused);
uint32_t SelectedRowFrame(bool focused);

// The check box of column 0, drawn with a 2-pixel black pen, and the tick's
// two segments (three points) for a checked entry.
TBox CheckBoxBox(const TBox& row);
std::array<TPoint, 3> TickPoints(const TBox& row);

// Column 0's label lies right of the check box; text is drawn 3 pixels in.
inline constexpr int kCheckBoxColumnWidth = 16;
TBox CaptionTextBox(const TBox& cell, bool checkBoxes);
TBox SubItemTextBox(const TBox& cell);

}  // namespace moskvid
