// Draws the file list's cells: the row tint of the list's skin, the selected
// fill and frame across the whole row, the check box with its tick, and the
// texts, single-line and cut with an ellipsis.
#pragma once

#include <QStyledItemDelegate>

namespace moskvid {

class TFilesListView;

class TFilesListDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  explicit TFilesListDelegate(TFilesListView* view);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // A click in the check box of column 0 flips the entry.
  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

  static constexpr int kRowHeight = 20;

 private:
  QRect RowRect(const QStyleOptionViewItem& option) const;

  TFilesListView* view_;
};

}  // namespace moskvid
