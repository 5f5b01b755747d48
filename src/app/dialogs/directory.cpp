#include "app/dialogs/directory.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "app/widgets/application.h"
#include "app/widgets/skins.h"
#include "app/widgets/ui_services.h"
#include "app/widgets/widget_parts.h"

namespace moskvid {

TfmDirectory::TfmDirectory(TUiServices& services, const QString& appTitle, QWidget* parent)
    : QDialog(parent), services_(services), appTitle_(appTitle) {
  setObjectName("fmDirectory");
  setWindowTitle("Brows");

  lblPrompt = new QLabel("Please select an output directory:", this);
  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setRootPath("/");
  stview_selectdir = new QTreeView(this);
  stview_selectdir->setObjectName("stview_selectdir");
  stview_selectdir->setModel(model_);
  stview_selectdir->setRootIndex(model_->index("/"));
  for (int column = 1; column < model_->columnCount(); ++column)
    stview_selectdir->hideColumn(column);
  stview_selectdir->setHeaderHidden(true);
  lblPrompt->setBuddy(stview_selectdir);
  btnOk = new QPushButton("Ok", this);
  btnOk->setObjectName("btnOk");
  btnOk->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblPrompt);
  layout->addWidget(stview_selectdir, 1);
  layout->addLayout(buttons);

  connect(stview_selectdir->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { SelectionChanged(); });
  connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  // The designed size, or more when the fields need it.
  KeepDesignedSize(*this, {322, 351});
}

void TfmDirectory::showEvent(QShowEvent* event) {
  ApplySkin(*this, skin_);
  chosen_.clear();
  Select(QDir::homePath());
  QDialog::showEvent(event);
}

void TfmDirectory::Select(const QString& folder) {
  const QModelIndex index = model_->index(folder);
  stview_selectdir->setCurrentIndex(index);
  if (index.isValid()) stview_selectdir->scrollTo(index);
  SelectionChanged();
}

QString TfmDirectory::Selected() const {
  const QModelIndex index = stview_selectdir->currentIndex();
  return index.isValid() ? model_->filePath(index) : QString();
}

void TfmDirectory::SelectionChanged() {
  // Only a folder that exists can be chosen.
  const QString folder = Selected();
  btnOk->setEnabled(!folder.isEmpty() && QFileInfo(folder).isDir());
}

void TfmDirectory::btnOkClick() {
  const QString folder = Selected();
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return;
  if (OnOpticalDisc(folder.toStdString(), mountTable_())) {
    chosen_.clear();
    services_.Message(this, appTitle_,
                      "Output folder cannot be located in CD-ROM.Please select another folder.",
                      QMessageBox::Information);
    return;
  }
  chosen_ = folder;
  accept();
}

}  // namespace moskvid
