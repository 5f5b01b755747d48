// Controls made the way every window makes them: named after their role
// (tests find them by that name), buttons that do not take Enter, icon-only
// buttons that say what they do, dialogs that grow to fit their fields.
#pragma once

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <initializer_list>

namespace moskvid {

inline QPushButton* NamedButton(const char* name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

// A caption label that leads to `field` (the name a screen reader gives it).
inline QLabel* Caption(const QString& text, QWidget* field, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(field);
  return label;
}

// A button that shows only an icon: its hint is its tooltip and the name a
// screen reader says.
inline QToolButton* ImageButton(const char* name, const QIcon& icon, const QString& hint,
                                QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setIcon(icon);
  button->setToolTip(hint);
  button->setAccessibleName(hint);
  button->setAutoRaise(true);
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

// Tab moves through `widgets` in this order.
inline void SetTabOrder(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* widget : widgets) {
    if (previous) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

// The dialog keeps its designed size, or the larger size its fields need
// (a larger font, longer texts): nothing in it is cut.
inline void KeepDesignedSize(QDialog& dialog, const QSize& designed) {
  // Hints that just changed (new texts, new choices) reach the dialog's
  // own layout first.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  if (QLayout* layout = dialog.layout()) layout->activate();
  dialog.setFixedSize(designed.expandedTo(dialog.minimumSizeHint()));
}

}  // namespace moskvid
