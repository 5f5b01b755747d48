#include "app/dialogs/win_preference.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/settings/simultaneous.h"
#include "app/widgets/application.h"
#include "app/widgets/skins.h"
#include "app/widgets/ui_services.h"
#include "app/widgets/widget_parts.h"

namespace moskvid {

namespace {

const char kQualityHint[] =
    "Use Compression Quality to set the compression quality of the \n"
    "JPEG image when writing out a snapshot jpeg image. Higher compression \n"
    "results in a poorer picture quality, but a smaller file size. \n"
    "\n"
    " The higher the Compression Quality value (up to a maximum of 100), \n"
    "the better the image quality, but the larger the file size. \n"
    "The lower the Compression Quality value (to a minimum of 1),\n"
    " the smaller the resulting file size, but at the expense of picture quality.";

}  // namespace

TfrmPreference::TfrmPreference(const TGlobalObject& global, TUiServices& services,
                               std::function<QString()> chooseFolder, QWidget* parent)
    : QDialog(parent),
      global_(global),
      services_(services),
      chooseFolder_(std::move(chooseFolder)) {
  setObjectName("frmPreference");
  setWindowTitle("Preference");

  edtSnapDirectory = new QLineEdit(this);
  edtSnapDirectory->setObjectName("edtSnapDirectory");
  edtSnapDirectory->setReadOnly(true);
  edtSnapDirectory->setFocusPolicy(Qt::ClickFocus);
  btnOpen = NamedButton("btnOpen", "&Open", this);
  btnBrows = NamedButton("btnBrows", "&Brows", this);
  ckFullSize = NamedCheckBox("ckFullSize", "Full Size", this);
  ckSmallSize = NamedCheckBox("ckSmallSize", "Small Size", this);
  ckBmp = NamedCheckBox("ckBmp", "BMP", this);
  ckJpg = NamedCheckBox("ckJpg", "JPG", this);
  ckKeepList = NamedCheckBox("ckKeepList", "Keep the file list between &sessions", this);
  spedCmp = new QSpinBox(this);
  spedCmp->setObjectName("spedCmp");
  spedCmp->setRange(1, 100);
  spedCmp->findChild<QLineEdit*>()->setReadOnly(true);  // arrows only
  spedCmp->setToolTip(kQualityHint);
  trcCmp = new QSlider(Qt::Horizontal, this);
  trcCmp->setObjectName("trcCmp");
  trcCmp->setAccessibleName("Jpg Compression Quality");
  trcCmp->setRange(1, 100);
  trcCmp->setTickInterval(10);
  trcCmp->setTickPosition(QSlider::TicksBelow);
  btnOk = NamedButton("btnOk", "O&k", this);
  btnOk->setDefault(true);
  btnCancel = NamedButton("btnCancel", "&Cancel", this);
  btnDefault = NamedButton("btnDefault", "&Default", this);

  auto* priorities = new QGroupBox("Work priority", this);
  priorities->setObjectName("rdGrpPriority");
  rdGrpPriority = new QButtonGroup(this);
  auto* priorityRow = new QHBoxLayout(priorities);
  int id = 0;
  for (const char* name : {"Idle", "Normal", "Lower", "Lowest"}) {
    auto* item = new QRadioButton(name, priorities);
    item->setObjectName(QString("rdPriority%1").arg(id));
    rdGrpPriority->addButton(item, id++);
    priorityRow->addWidget(item);
  }

  cbSimultaneous = new QComboBox(this);
  cbSimultaneous->setObjectName("cbSimultaneous");
  for (const std::string& choice : SimultaneousChoices())
    cbSimultaneous->addItem(QString::fromStdString(choice));
  cbSimultaneous->setToolTip(
      "Files converted at the same time: 1 converts one after another; Auto keeps every core "
      "busy");
  auto* simultaneousRow = new QHBoxLayout;
  simultaneousRow->addWidget(Caption("Simultaneous conversions:", cbSimultaneous, this));
  simultaneousRow->addWidget(cbSimultaneous);
  simultaneousRow->addStretch();

  auto* grid = new QGridLayout;
  grid->addWidget(Caption("Snapshot folder:", edtSnapDirectory, this), 0, 0);
  grid->addWidget(edtSnapDirectory, 0, 1, 1, 2);
  auto* folderButtons = new QHBoxLayout;
  folderButtons->addStretch();
  folderButtons->addWidget(btnOpen);
  folderButtons->addWidget(btnBrows);
  grid->addLayout(folderButtons, 1, 1, 1, 2);
  grid->addWidget(Caption("Snapshot size:", ckFullSize, this), 2, 0);
  grid->addWidget(ckFullSize, 2, 1);
  grid->addWidget(ckSmallSize, 2, 2);
  grid->addWidget(Caption("Snapshot format:", ckBmp, this), 3, 0);
  grid->addWidget(ckBmp, 3, 1);
  grid->addWidget(ckJpg, 3, 2);
  grid->addWidget(Caption("Jpg Compression Quality:", spedCmp, this), 4, 0);
  auto* quality = new QHBoxLayout;
  quality->addWidget(spedCmp);
  quality->addWidget(trcCmp, 1);
  grid->addLayout(quality, 4, 1, 1, 2);
  auto* explanation = new QLabel("(The higher the value, the better the image quality.)", this);
  explanation->setWordWrap(true);
  grid->addWidget(explanation, 5, 1, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(2, 1);

  QHBoxLayout* buttons = DialogButtonRow(btnDefault, {btnOk, btnCancel});
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(priorities);
  layout->addLayout(simultaneousRow);
  layout->addWidget(ckKeepList);
  layout->addStretch();
  layout->addLayout(buttons);
  SetTabOrder({trcCmp, rdGrpPriority->button(0), rdGrpPriority->button(1), rdGrpPriority->button(2),
               rdGrpPriority->button(3), cbSimultaneous, ckKeepList, btnDefault, btnOk, btnCancel});

  connect(ckFullSize, &QCheckBox::clicked, this, [this] { PairClick(*ckFullSize, *ckSmallSize); });
  connect(ckSmallSize, &QCheckBox::clicked, this, [this] { PairClick(*ckSmallSize, *ckFullSize); });
  connect(ckBmp, &QCheckBox::clicked, this, [this] { PairClick(*ckBmp, *ckJpg); });
  connect(ckJpg, &QCheckBox::clicked, this, [this] {
    PairClick(*ckJpg, *ckBmp);
    spedCmp->setEnabled(ckJpg->isChecked());
    trcCmp->setEnabled(ckJpg->isChecked());
  });
  // The slider and the spin box keep the same value.
  connect(trcCmp, &QSlider::valueChanged, spedCmp, &QSpinBox::setValue);
  connect(spedCmp, &QSpinBox::valueChanged, trcCmp, &QSlider::setValue);
  connect(btnOpen, &QPushButton::clicked, this, [this] { Guarded([this] { btnOpenClick(); }); });
  connect(btnBrows, &QPushButton::clicked, this, [this] { Guarded([this] { btnBrowsClick(); }); });
  connect(btnDefault, &QPushButton::clicked, this, [this] { btnDefaultClick(); });
  connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  // The designed size, or more when the fields need it.
  KeepDesignedSize(*this, {480, 390});
}

void TfrmPreference::showEvent(QShowEvent* event) {
  ApplySkin(*this, skin_);
  Show(LoadPreferences(TAppSettings(global_.ConfigFile())));
  QDialog::showEvent(event);
}

void TfrmPreference::Show(const TPreferences& preferences) {
  edtSnapDirectory->setText(QString::fromStdString(preferences.SnapshotFolder));
  ckFullSize->setChecked(preferences.FullSize);
  ckSmallSize->setChecked(preferences.SmallSize);
  ckBmp->setChecked(preferences.Bmp);
  ckJpg->setChecked(preferences.Jpg);
  spedCmp->setEnabled(preferences.Jpg);
  trcCmp->setEnabled(preferences.Jpg);
  spedCmp->setValue(preferences.Quality);
  trcCmp->setValue(preferences.Quality);
  cbSimultaneous->setCurrentIndex(ChoiceOfSimultaneous(preferences.Simultaneous));
  if (QAbstractButton* priority = rdGrpPriority->button(preferences.Priority)) {
    priority->setChecked(true);
  } else if (QAbstractButton* checked = rdGrpPriority->checkedButton()) {
    rdGrpPriority->setExclusive(false);
    checked->setChecked(false);
    rdGrpPriority->setExclusive(true);
  }
  ckKeepList->setChecked(preferences.KeepList);
}

TPreferences TfrmPreference::Shown() const {
  TPreferences preferences;
  preferences.SnapshotFolder = edtSnapDirectory->text().toStdString();
  preferences.FullSize = ckFullSize->isChecked();
  preferences.SmallSize = ckSmallSize->isChecked();
  preferences.Bmp = ckBmp->isChecked();
  preferences.Jpg = ckJpg->isChecked();
  preferences.Quality = spedCmp->value();
  preferences.Priority = rdGrpPriority->checkedId();
  preferences.Simultaneous = SimultaneousOfChoice(cbSimultaneous->currentIndex());
  preferences.KeepList = ckKeepList->isChecked();
  return preferences;
}

void TfrmPreference::PairClick(QCheckBox& clicked, const QCheckBox& partner) {
  if (!clicked.isChecked() && !MayClear(partner.isChecked())) clicked.setChecked(true);
}

void TfrmPreference::btnOpenClick() {
  if (edtSnapDirectory->text().size() <= 2) return;
  const std::string folder = TAppSettings(global_.ConfigFile()).SnapshotFolder();
  services_.OpenUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

void TfrmPreference::btnBrowsClick() {
  const QString folder = chooseFolder_();
  if (folder.isEmpty() || folder == edtSnapDirectory->text()) return;
  // Stored at once, before OK.
  TAppSettings(global_.ConfigFile()).SetSnapshotFolder(folder.toStdString());
  edtSnapDirectory->setText(folder);
}

void TfrmPreference::btnDefaultClick() {
  Show(DefaultPreferences());
}

void TfrmPreference::btnOkClick() {
  TAppSettings settings(global_.ConfigFile());
  StorePreferences(settings, Shown());
  accept();
}

}  // namespace moskvid
