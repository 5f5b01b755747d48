// Controls made the way every window makes them: named after their role
// (tests find them by that name), buttons that do not take Enter.
#pragma once

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>

namespace moskvid {

inline QPushButton* NamedButton(const char* name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

inline QCheckBox* NamedCheckBox(const char* name, const QString& caption, QWidget* parent) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  return box;
}

// The bottom row of a dialog: `left` (Default) alone on the left, the others
// on the right.
inline QHBoxLayout* DialogButtonRow(QPushButton* left, std::initializer_list<QPushButton*> right) {
  auto* row = new QHBoxLayout;
  if (left) row->addWidget(left);
  row->addStretch();
  for (QPushButton* button : right)
    row->addWidget(button);
  return row;
}

}  // namespace moskvid
