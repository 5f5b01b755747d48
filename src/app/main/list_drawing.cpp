#include "app/main/list_drawing.h"

namespace moskvid {

TBox Narrow(const TBox& box, int by) {
  return {box.Left + by, box.Top + by, box.Right - by, box.Bottom - by};
}

uint32_t RowBackground(int row, int skin) {
  if (row % 2 == 0) return 0xFFFFFF;
  static const uint32_t kTints[] = {0xE2E6F6, 0xECECEC, 0xF8F2E0, 0xF6E6F1,
                                    0xF7E1E1, 0xE2F7E1, 0xE1F0F7};
  return skin >= 0 && skin < 7 ? kTints[skin] : 0xEBEBEB;
}

uint32_t SelectedRowFill(bool focused) {
  return focused ? 0xB9CCEC : 0xE5ECF8;
}

uint32_t SelectedRowFrame(bool focused) {
  return focused ? 0x7AA0DA : 0x98B5E2;
}

TBox CheckBoxBox(const TBox& row) {
  return {row.Left + 2, row.Top + 2, row.Left + 14, row.Bottom - 2};
}

std::array<TPoint, 3> TickPoints(const TBox& row) {
  return {TPoint{row.Left + 4, row.Top + 6}, TPoint{row.Left + 6, row.Top + 11},
          TPoint{row.Left + 11, row.Top + 5}};
}

TBox CaptionTextBox(const TBox& cell, bool checkBoxes) {
  TBox label = cell;
  if (checkBoxes) label.Left += kCheckBoxColumnWidth;
  return Narrow(label, 3);
}

TBox SubItemTextBox(const TBox& cell) {
  return Narrow(cell, 3);
}

}  // namespace moskvid
