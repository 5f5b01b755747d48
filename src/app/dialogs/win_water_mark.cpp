#include "app/dialogs/win_water_mark.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/dialogs/clip_texts.h"
#include "app/widgets/skins.h"
#include "app/widgets/ui_services.h"
#include "app/widgets/widget_parts.h"

namespace moskvid {

namespace {

QLineEdit* Edit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  return edit;
}

// One of the three groups: its switch above, an image button beside it.
QWidget* Group(const char* name, const QString& title, QCheckBox* on, QLayout* content,
               const char* decoration, QStyle::StandardPixmap icon, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  box->setObjectName(name);
  box->setLayout(content);
  auto* picture = new QToolButton(parent);
  picture->setObjectName(decoration);
  picture->setIcon(parent->style()->standardIcon(icon));
  picture->setIconSize(QSize(32, 32));
  picture->setAutoRaise(true);
  picture->setFocusPolicy(Qt::NoFocus);  // a decoration, not a control
  auto* row = new QHBoxLayout;
  row->addWidget(box, 1);
  row->addWidget(picture, 0, Qt::AlignTop);
  auto* column = new QVBoxLayout;
  column->addWidget(on);
  column->addLayout(row);
  auto* holder = new QWidget(parent);
  holder->setLayout(column);
  column->setContentsMargins(0, 0, 0, 0);
  return holder;
}

}  // namespace

TfrmWaterMark::TfrmWaterMark(TUiServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
  setObjectName("frmWaterMark");
  setWindowTitle("Water Mark");

  lblSourceName = new QLabel(this);
  lblSourceName->setObjectName("lblSourceName");
  lblSourceName->setFixedWidth(330);
  ckTextScrol2 = NamedCheckBox("ckTextScrol2", "Add Text:", this);
  edtAddText = Edit("edtAddText", this);
  edtPosX = Edit("edtPosX", this);
  edtPosY = Edit("edtPosY", this);
  for (QLineEdit* position : {edtPosX, edtPosY})
    position->setValidator(new QIntValidator(0, 100000, position));
  edtPosX->setToolTip("X must > 0 ,and < video width");
  edtPosY->setToolTip("Y must > 0 ,and < video height");
  ckTextScrol1 = NamedCheckBox("ckTextScrol1", "Text Scrolling", this);
  ckTextScrol3 = NamedCheckBox("ckTextScrol3", "Add Image:", this);
  edtAddImage = Edit("edtAddImage", this);
  btnBrows = NamedButton("btnBrows", "&Brows", this);
  ckTextScrol5 = NamedCheckBox("ckTextScrol5", "Image dancing", this);
  ckTextScrol4 = NamedCheckBox("ckTextScrol4", "Add Water Mark Image:", this);
  edtAddWatermark = Edit("edtAddWatermark", this);
  btnBrows1 = NamedButton("btnBrows1", "B&rows", this);
  btnOk = NamedButton("btnOk", "&Ok", this);
  btnCancel = NamedButton("btnCancel", "&Cancel", this);
  btnDefault = NamedButton("btnDefault", "&Default", this);

  auto* text = new QFormLayout;
  text->addRow("Text:", edtAddText);
  auto* position = new QHBoxLayout;
  position->addWidget(Caption("X:", edtPosX, this));
  position->addWidget(edtPosX);
  position->addWidget(Caption("Y:", edtPosY, this));
  position->addWidget(edtPosY);
  position->addWidget(ckTextScrol1);
  text->addRow(position);
  auto* image = new QFormLayout;
  auto* imageRow = new QHBoxLayout;
  imageRow->addWidget(edtAddImage);
  imageRow->addWidget(btnBrows);
  image->addRow(Caption("Image:", edtAddImage, this), imageRow);
  image->addRow(ckTextScrol5);
  auto* mark = new QFormLayout;
  auto* markRow = new QHBoxLayout;
  markRow->addWidget(edtAddWatermark);
  markRow->addWidget(btnBrows1);
  mark->addRow(Caption("Image:", edtAddWatermark, this), markRow);

  auto* source = new QHBoxLayout;
  source->addWidget(Caption("Source File:", lblSourceName, this));
  source->addWidget(lblSourceName, 1);
  QHBoxLayout* buttons = DialogButtonRow(btnDefault, {btnOk, btnCancel});
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(source);
  layout->addWidget(Group("grpbx1", "Add text", ckTextScrol2, text, "imgbtn1",
                          QStyle::SP_FileDialogDetailedView, this));
  layout->addWidget(
      Group("grpbx2", "Add image", ckTextScrol3, image, "imgbtn2", QStyle::SP_FileIcon, this));
  layout->addWidget(Group("grpbx3", "Add water mark image", ckTextScrol4, mark, "imgbtn3",
                          QStyle::SP_DesktopIcon, this));
  layout->addStretch();
  layout->addLayout(buttons);
  SetTabOrder({btnBrows1, btnDefault, btnOk, btnCancel});

  btnDefaultClick();
  // Nothing here is stored: both buttons only close the window.
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnDefault, &QPushButton::clicked, this, &TfrmWaterMark::btnDefaultClick);
  connect(btnBrows, &QPushButton::clicked, this, [this] { ChooseImage(*edtAddImage); });
  connect(btnBrows1, &QPushButton::clicked, this, [this] { ChooseImage(*edtAddWatermark); });
  // The designed size, or more when the fields need it.
  KeepDesignedSize(*this, {480, 420});
}

void TfrmWaterMark::Prepare(const std::string& sourceFile, int skin) {
  sourceFile_ = sourceFile;
  skin_ = skin;
}

void TfrmWaterMark::showEvent(QShowEvent* event) {
  ApplySkin(*this, skin_);
  // The fields take the window's colour: they describe, nothing more.
  for (QLineEdit* field : {edtAddText, edtPosX, edtPosY, edtAddImage, edtAddWatermark}) {
    QPalette colours = field->palette();
    colours.setColor(QPalette::Base, palette().color(QPalette::Window));
    field->setPalette(colours);
  }
  if (!sourceFile_.empty()) {
    lblSourceName->setText(QString::fromStdString(ShortSourceName(sourceFile_, 56, 50)));
    lblSourceName->setToolTip(QString::fromStdString(sourceFile_));
  }
  QDialog::showEvent(event);
}

void TfrmWaterMark::ChooseImage(QLineEdit& field) {
  const QStringList chosen = services_.OpenFileNames(
      this, QString(),
      "Picture Files (*.[bB][mM][pP] *.[jJ][pP][gG] *.[jJ][pP][eE][gG] *.[pP][nN][gG])");
  if (!chosen.isEmpty()) field.setText(chosen.front());
}

void TfrmWaterMark::btnDefaultClick() {
  for (QCheckBox* box : {ckTextScrol2, ckTextScrol1, ckTextScrol3, ckTextScrol5, ckTextScrol4})
    box->setChecked(false);
  edtAddText->clear();
  edtPosX->setText("10");
  edtPosY->setText("10");
  edtAddImage->clear();
  edtAddWatermark->clear();
}

}  // namespace moskvid
