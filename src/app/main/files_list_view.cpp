#include "app/main/files_list_view.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>

#include "app/main/files_list_delegate.h"
#include "app/main/list_rules.h"

namespace moskvid {

TFilesListView::TFilesListView(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("lvFiles");
  setRootIsDecorated(false);
  setIndentation(0);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setItemDelegate(new TFilesListDelegate(this));
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
    if (style_ == vsReport && column >= 0 && column < static_cast<int>(columnWidths_.size()))
      columnWidths_[static_cast<size_t>(column)] = width;
  });
  SetListStyle(vsList);
}

void TFilesListView::SetListStyle(TListStyle style) {
  if (style == style_) return;
  // The columns come and go below; what they report meanwhile is no choice.
  const std::vector<int> widths = columnWidths_;
  style_ = style;
  if (style == vsList) {
    setColumnCount(1);
    setHeaderHidden(true);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    return;
  }
  setColumnCount(kFileColumnCount);
  setHeaderLabels({"Source", "Length", "Trimmed Length", "Size", "Destination File", "Progress"});
  headerItem()->setTextAlignment(fcSize, Qt::AlignRight | Qt::AlignVCenter);
  for (int column = 0; column < kFileColumnCount; ++column) {
    header()->setSectionResizeMode(column, QHeaderView::Interactive);
    setColumnWidth(column, widths[static_cast<size_t>(column)]);
  }
  // The source path takes the room a wider window gives the list.
  header()->setSectionResizeMode(fcSource, QHeaderView::Stretch);
  setHeaderHidden(false);
  columnWidths_ = widths;
}

void TFilesListView::SetColumnWidths(const std::vector<int>& widths) {
  if (widths.size() != columnWidths_.size()) return;
  columnWidths_ = widths;
  if (style_ != vsReport) return;
  for (int column = 0; column < kFileColumnCount; ++column)
    setColumnWidth(column, widths[static_cast<size_t>(column)]);
}

TFileItem* TFilesListView::Entry(int position) const {
  return static_cast<TFileItem*>(topLevelItem(position));
}

int TFilesListView::Selected() const {
  if (currentItem() && currentItem()->isSelected()) return indexOfTopLevelItem(currentItem());
  const std::vector<int> selected = SelectedPositions();
  return selected.empty() ? -1 : selected.front();
}

std::vector<int> TFilesListView::SelectedPositions() const {
  std::vector<int> positions;
  for (int i = 0; i < Count(); ++i) {
    if (topLevelItem(i)->isSelected()) positions.push_back(i);
  }
  return positions;
}

void TFilesListView::Select(int position) {
  QTreeWidgetItem* item = topLevelItem(position);
  if (!item) {
    clearSelection();
    return;
  }
  setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool TFilesListView::Checked(int position) const {
  const QTreeWidgetItem* item = topLevelItem(position);
  return item && item->checkState(0) == Qt::Checked;
}

void TFilesListView::SetChecked(int position, bool checked) {
  if (QTreeWidgetItem* item = topLevelItem(position))
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

QString TFilesListView::SubItem(int position, TFileColumn column) const {
  const QTreeWidgetItem* item = topLevelItem(position);
  return item ? item->text(column) : QString();
}

void TFilesListView::SetSubItem(int position, TFileColumn column, const QString& text) {
  if (QTreeWidgetItem* item = topLevelItem(position)) item->setText(column, text);
}

void TFilesListView::SetSkin(int skin) {
  skin_ = skin;
  viewport()->update();
}

void TFilesListView::SetEmptyPicture(const QImage& picture) {
  emptyPicture_ = picture;
  viewport()->update();
}

void TFilesListView::paintEvent(QPaintEvent* event) {
  QTreeWidget::paintEvent(event);
  if (topLevelItemCount() == 0 && !emptyPicture_.isNull()) {
    QPainter painter(viewport());
    painter.drawImage(0, 0, emptyPicture_);
  }
}

void TFilesListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  QStyleOptionViewItem cell = option;
  for (int column = 0; column < header()->count(); ++column) {
    if (header()->isSectionHidden(column)) continue;
    const QModelIndex item = index.siblingAtColumn(column);
    cell.rect = QRect(header()->sectionViewportPosition(column), option.rect.y(),
                      header()->sectionSize(column), option.rect.height());
    cell.state = option.state & ~(QStyle::State_Selected | QStyle::State_HasFocus);
    if (selectionModel()->isSelected(item)) cell.state |= QStyle::State_Selected;
    itemDelegateForIndex(item)->paint(painter, cell, item);
  }
}

void TFilesListView::mousePressEvent(QMouseEvent* event) {
  QTreeWidget::mousePressEvent(event);
  if (event->button() == Qt::RightButton) emit PopupRequested(event->globalPosition().toPoint());
}

void TFilesListView::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (key == Qt::Key_Menu || (key == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
    emit PopupRequested(PopupPoint());
    return;
  }
  if (modifiers != Qt::NoModifier) {
    QTreeWidget::keyPressEvent(event);
    return;
  }
  if (key == Qt::Key_Delete) {
    emit DeleteRequested();
  } else if ((key == Qt::Key_Return || key == Qt::Key_Enter) && Selected() >= 0) {
    emit PlayRequested();
  } else if (key == Qt::Key_Space && Selected() >= 0) {
    std::vector<bool> checked;
    for (int i = 0; i < Count(); ++i)
      checked.push_back(Checked(i));
    ToggleChecks(checked, SelectedPositions(), Selected());
    for (int position : SelectedPositions())
      SetChecked(position, checked[static_cast<size_t>(position)]);
  } else {
    QTreeWidget::keyPressEvent(event);
  }
}

void TFilesListView::contextMenuEvent(QContextMenuEvent* event) {
  // The right button opens the popup as it goes down (mousePressEvent).
  if (event->reason() == QContextMenuEvent::Keyboard) emit PopupRequested(PopupPoint());
}

QPoint TFilesListView::PopupPoint() const {
  const int current = Selected();
  if (current < 0) return viewport()->mapToGlobal(QPoint(0, 0));
  const QRect row = visualItemRect(topLevelItem(current));
  return viewport()->mapToGlobal(QPoint(row.left() + 24, row.bottom()));
}

void TFilesListView::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFilesListView::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFilesListView::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  emit FilesDropped(paths);
}

}  // namespace moskvid
