// lvFiles: the file list. Entries carry their TlvFilesRecord; the list draws
// itself (files_list_delegate.h), shows a picture while empty, takes dropped
// files, selects several entries at once and reports what its keys and the
// right button ask for: the popup (also the Menu key and Shift+F10), Delete,
// Enter (play the current entry).
#pragma once

#include <QImage>
#include <QTreeWidget>
#include <optional>
#include <vector>

#include "app/settings/file_record.h"
#include "component/av_probe.h"

namespace moskvid {

// One entry: caption in column 0, the record owned with the entry.
class TFileItem : public QTreeWidgetItem {
 public:
  explicit TFileItem(const TlvFilesRecord& record) : Record(record) {}
  TlvFilesRecord Record;
  // The file's sound tracks as adding found them; unknown for an entry
  // brought back from the kept list until the popup first asks.
  std::optional<std::vector<TAVAudioTrack>> AudioTracks;
};

enum TListStyle { vsList, vsReport };

// The six columns of the report style; Size is the output's estimate.
enum TFileColumn { fcSource, fcLength, fcTrimmedLength, fcSize, fcDestination, fcProgress };
constexpr int kFileColumnCount = 6;

class TFilesListView : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TFilesListView(QWidget* parent = nullptr);

  // List style has no columns; report style has the six columns.
  void SetListStyle(TListStyle style);
  TListStyle ListStyle() const { return style_; }

  int Count() const { return topLevelItemCount(); }
  TFileItem* Entry(int position) const;
  // The current entry, the one Crop, Trim and Play act on: the current item
  // when it is selected, else the first selected one; -1 without selection.
  int Selected() const;
  // Every selected entry's position, in list order.
  std::vector<int> SelectedPositions() const;
  // Makes the entry current and the only one selected.
  void Select(int position);
  bool Checked(int position) const;
  void SetChecked(int position, bool checked);
  QString SubItem(int position, TFileColumn column) const;
  void SetSubItem(int position, TFileColumn column, const QString& text);

  // The report style's column widths; kept while the list is in list style.
  std::vector<int> ColumnWidths() const { return columnWidths_; }
  void SetColumnWidths(const std::vector<int>& widths);

  void SetSkin(int skin);
  int Skin() const { return skin_; }
  // Drawn at the top-left corner while the list is empty.
  void SetEmptyPicture(const QImage& picture);

 signals:
  void PopupRequested(const QPoint& globalPosition);
  void DeleteRequested();
  void PlayRequested();
  void FilesDropped(const QStringList& paths);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Rows are the delegate's alone: no style panel, no focus rectangle.
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Where the popup opens when a key asks for it: at the current entry.
  QPoint PopupPoint() const;

  TListStyle style_ = vsReport;
  // Size fits "999.9 MB"; Length and Destination give up some room for it,
  // so that the source stays readable at the window's smallest.
  std::vector<int> columnWidths_ = {140, 50, 90, 70, 110, 60};
  int skin_ = 0;
  QImage emptyPicture_;
};

}  // namespace moskvid
