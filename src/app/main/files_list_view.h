// lvFiles: the file list. Entries carry their TlvFilesRecord; the list draws
// itself (files_list_delegate.h), shows a picture while empty, takes dropped
// files and reports right-button presses and the Delete key.
#pragma once

#include <QImage>
#include <QTreeWidget>

#include "app/settings/file_record.h"

namespace moskvid {

// One entry: caption in column 0, the record owned with the entry.
class TFileItem : public QTreeWidgetItem {
 public:
  explicit TFileItem(const TlvFilesRecord& record) : Record(record) {}
  TlvFilesRecord Record;
};

enum TListStyle { vsList, vsReport };

// The five columns of the report style.
enum TFileColumn { fcSource, fcLength, fcTrimmedLength, fcDestination, fcProgress };

class TFilesListView : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TFilesListView(QWidget* parent = nullptr);

  // List style has no columns; report style has the five columns.
  void SetListStyle(TListStyle style);
  TListStyle ListStyle() const { return style_; }

  int Count() const { return topLevelItemCount(); }
  TFileItem* Entry(int position) const;
  // The selected entry's position, or -1.
  int Selected() const;
  void Select(int position);
  bool Checked(int position) const;
  void SetChecked(int position, bool checked);
  QString SubItem(int position, TFileColumn column) const;
  void SetSubItem(int position, TFileColumn column, const QString& text);

  void SetSkin(int skin);
  int Skin() const { return skin_; }
  // Drawn at the top-left corner while the list is empty.
  void SetEmptyPicture(const QImage& picture);

 signals:
  void PopupRequested(const QPoint& globalPosition);
  void DeleteRequested();
  void FilesDropped(const QStringList& paths);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Rows are the delegate's alone: no style panel, no focus rectangle.
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  TListStyle style_ = vsReport;
  int skin_ = 0;
  QImage emptyPicture_;
};

}  // namespace moskvid
