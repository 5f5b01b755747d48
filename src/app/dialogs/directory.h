// TfmDirectory: chooses a folder in a folders-only tree of the file system.
// A folder on an optical disc is refused; the chooser then stays open.
#pragma once

#include <QDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

#include "app/settings/mount_table.h"

namespace moskvid {

class TUiServices;

class TfmDirectory : public QDialog {
  Q_OBJECT
 public:
  TfmDirectory(TUiServices& services, const QString& appTitle, QWidget* parent);

  void Prepare(int skin) { skin_ = skin; }
  // Where the mount table comes from (tests give one of their own).
  void SetMountTable(TMountTableReader reader) { mountTable_ = std::move(reader); }

  // The folder chosen by Ok; empty after Cancel.
  const QString& Chosen() const { return chosen_; }
  // Selects `folder` in the tree, as a click would.
  void Select(const QString& folder);
  QString Selected() const;

  QLabel* lblPrompt;
  QTreeView* stview_selectdir;
  QPushButton *btnOk, *btnCancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void SelectionChanged();
  void btnOkClick();

  TUiServices& services_;
  QString appTitle_;
  QFileSystemModel* model_;
  TMountTableReader mountTable_ = SystemMountTable();
  QString chosen_;
  int skin_ = 0;
};

}  // namespace moskvid
