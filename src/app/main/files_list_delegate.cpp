#include "app/main/files_list_delegate.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

#include "app/main/files_list_view.h"
#include "app/main/list_drawing.h"

namespace moskvid {

namespace {

TBox ToBox(const QRect& rect) {
  return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QRect ToRect(const TBox& box) {
  return QRect(box.Left, box.Top, box.Width(), box.Height());
}

QColor Rgb(uint32_t colour) {
  return QColor::fromRgb(colour);
}

}  // namespace

TFilesListDelegate::TFilesListDelegate(TFilesListView* view)
    : QStyledItemDelegate(view), view_(view) {}

QRect TFilesListDelegate::RowRect(const QStyleOptionViewItem& option) const {
  // The row spans every column, also where the header scrolled them.
  const QHeaderView* header = view_->header();
  const int last = header->count() - 1;
  const int left = header->sectionViewportPosition(0);
  const int right = header->sectionViewportPosition(last) + header->sectionSize(last);
  return QRect(left, option.rect.top(), right - left, option.rect.height());
}

void TFilesListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  painter->save();
  painter->setClipRect(option.rect);
  const int row = index.row();
  const QRect rowRect = RowRect(option);
  const TBox rowBox = ToBox(rowRect);
  const bool selected = option.state & QStyle::State_Selected;
  const bool focused = view_->hasFocus() && view_->currentIndex().row() == row;

  painter->fillRect(rowRect, Rgb(RowBackground(row, view_->Skin())));
  const QRect inner = ToRect(Narrow(rowBox, 1));
  painter->fillRect(
      inner, selected ? Rgb(SelectedRowFill(focused)) : Rgb(RowBackground(row, view_->Skin())));

  const TBox cell = ToBox(option.rect);
  TBox textBox = SubItemTextBox(cell);
  if (index.column() == 0) {
    // The check box sits at the row's left edge, in the first column.
    QPen pen(Qt::black, 2);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    const TBox box = CheckBoxBox(cell);
    painter->drawRect(QRect(box.Left, box.Top, box.Width(), box.Height()));
    if (index.data(Qt::CheckStateRole).toInt() == Qt::Checked) {
      const auto tick = TickPoints(cell);
      painter->drawLine(tick[0].X, tick[0].Y, tick[1].X, tick[1].Y);
      painter->drawLine(tick[1].X, tick[1].Y, tick[2].X, tick[2].Y);
    }
    textBox = CaptionTextBox(cell, true);
  }

  painter->setPen(option.palette.color(QPalette::Active, QPalette::Text));
  const QRect textRect = ToRect(textBox);
  const QString text = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                     Qt::ElideRight, textRect.width());
  const int alignment = index.data(Qt::TextAlignmentRole).isValid()
                            ? index.data(Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask
                            : Qt::AlignLeft;
  // Centred in the narrowed box, descenders may reach past it.
  painter->drawText(textRect, alignment | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                    text);

  if (selected) {
    painter->setPen(QPen(Rgb(SelectedRowFrame(focused)), 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(inner.adjusted(0, 0, -1, -1));
  }
  painter->restore();
}

QSize TFilesListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setHeight(std::max(kRowHeight, option.fontMetrics.height() + 4));
  return size;
}

bool TFilesListDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                     const QStyleOptionViewItem& option, const QModelIndex& index) {
  if (index.column() != 0 || event->type() != QEvent::MouseButtonRelease) return false;
  const auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::LeftButton) return false;
  const TBox box = CheckBoxBox(ToBox(option.rect));
  // The whole square left of the caption takes the click, not only the outline.
  const QRect target(option.rect.left(), option.rect.top(), kCheckBoxColumnWidth,
                     option.rect.height());
  if (!target.contains(mouse->position().toPoint()) || box.Width() <= 0) return false;
  const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
  return model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

}  // namespace moskvid
