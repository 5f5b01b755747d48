#include "app/main/files_list_view.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>

#include "app/main/files_list_delegate.h"

namespace moskvid {

TFilesListView::TFilesListView(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("lvFiles");
  setRootIsDecorated(false);
  setIndentation(0);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setItemDelegate(new TFilesListDelegate(this));
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  SetListStyle(vsList);
}

void TFilesListView::SetListStyle(TListStyle style) {
  if (style == style_) return;
  style_ = style;
  if (style == vsList) {
    setColumnCount(1);
    setHeaderHidden(true);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    return;
  }
  setColumnCount(5);
  setHeaderLabels({"Source", "Length", "Trimmed Length", "Destination File", "Progress"});
  const int widths[] = {140, 70, 90, 120, 60};
  for (int column = 0; column < 5; ++column) {
    header()->setSectionResizeMode(column, QHeaderView::Interactive);
    setColumnWidth(column, widths[column]);
  }
  setHeaderHidden(false);
}

TFileItem* TFilesListView::Entry(int position) const {
  return static_cast<TFileItem*>(topLevelItem(position));
}

int TFilesListView::Selected() const {
  const QList<QTreeWidgetItem*> items = selectedItems();
  return items.isEmpty() ? -1 : indexOfTopLevelItem(items.front());
}

void TFilesListView::Select(int position) {
  QTreeWidgetItem* item = topLevelItem(position);
  if (!item) {
    clearSelection();
    return;
  }
  setCurrentItem(item);
  item->setSelected(true);
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
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
    emit DeleteRequested();
    return;
  }
  if (event->key() == Qt::Key_Space && Selected() >= 0) {
    SetChecked(Selected(), !Checked(Selected()));
    return;
  }
  QTreeWidget::keyPressEvent(event);
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
