#include "app/dialogs/win_crop.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/dialogs/clip_texts.h"
#include "app/dialogs/crop_detect.h"
#include "app/dialogs/trim_rules.h"
#include "app/widgets/application.h"
#include "app/widgets/skins.h"
#include "app/widgets/widget_parts.h"
#include "binding/media_loader.h"

namespace moskvid {

namespace {

QSpinBox* Margin(const char* name, QWidget* parent) {
  auto* field = new QSpinBox(parent);
  field->setObjectName(name);
  field->setRange(0, 4000);
  field->findChild<QLineEdit*>()->setReadOnly(true);  // arrows only
  return field;
}

}  // namespace

TfrmCrop::TfrmCrop(QWidget* parent)
    : QDialog(parent), converter_(std::make_unique<TCCAVConverter>()) {
  setObjectName("frmCrop");
  setWindowTitle("Crop");

  Preview = new TClipPreview("Time:", this);
  RectTracker = new TRectTracker(Preview->imgPreview);
  lblSourceName = new QLabel(this);
  lblSourceName->setObjectName("lblSourceName");
  lblLength = new QLabel(this);
  lblLength->setObjectName("lblLength");
  spedUp = Margin("spedUp", this);
  spedDown = Margin("spedDown", this);
  spedLeft = Margin("spedLeft", this);
  spedRight = Margin("spedRight", this);
  btnReset = NamedButton("btnReset", "Reset", this);
  btnDetect = NamedButton("btnDetect", "Detect", this);
  btnDetect->setToolTip("Find the black borders of the picture and cut them off");
  cmbZoom = new QComboBox(this);
  cmbZoom->setObjectName("cmbZoom");
  cmbZoom->addItems({"Letter Box", "Center", "Full Screen", "Keep Original(crop and pan)"});
  btnOk = NamedButton("btnOk", "Ok", this);
  btnOk->setDefault(true);
  btnCancel = NamedButton("btnCancel", "Cancel", this);
  btnDefault = NamedButton("btnDefault", "&Default", this);

  auto* size = new QGroupBox("Crop Size", this);
  auto* grid = new QGridLayout(size);
  grid->addWidget(Caption("Up", spedUp, size), 0, 0);
  grid->addWidget(spedUp, 0, 1);
  grid->addWidget(Caption("Down", spedDown, size), 1, 0);
  grid->addWidget(spedDown, 1, 1);
  grid->addWidget(Caption("Left", spedLeft, size), 2, 0);
  grid->addWidget(spedLeft, 2, 1);
  grid->addWidget(Caption("Right", spedRight, size), 3, 0);
  grid->addWidget(spedRight, 3, 1);
  grid->addWidget(btnReset, 4, 0);
  grid->addWidget(btnDetect, 4, 1);
  auto* page = new QWidget(this);
  auto* pageLayout = new QVBoxLayout(page);
  pageLayout->addWidget(size);
  pageLayout->addWidget(Caption("Zoom", cmbZoom, page));
  pageLayout->addWidget(cmbZoom);
  pageLayout->addStretch();
  QTabWidget* pages = LayOutClipDialog(*this, Preview, lblSourceName, lblLength, page, "Crop",
                                       btnDefault, btnOk, btnCancel);
  SetTabOrder({Preview->imgRight, pages->tabBar(), spedUp, spedDown, spedLeft, spedRight, btnReset,
               btnDetect, cmbZoom, btnDefault, btnOk, btnCancel});

  connect(spedUp, &QSpinBox::valueChanged, this, [this] { MarginChanged(*spedUp, true); });
  connect(spedDown, &QSpinBox::valueChanged, this, [this] { MarginChanged(*spedDown, true); });
  connect(spedLeft, &QSpinBox::valueChanged, this, [this] { MarginChanged(*spedLeft, false); });
  connect(spedRight, &QSpinBox::valueChanged, this, [this] { MarginChanged(*spedRight, false); });
  connect(RectTracker, &TRectTracker::OnMouseMove, this, [this] { TrackerMoved(); });
  connect(Preview, &TClipPreview::FrameDrawn, this, [this] {
    if (!placed_) PlaceOverPicture();
  });
  connect(btnReset, &QPushButton::clicked, this, [this] { btnResetClick(); });
  connect(btnDefault, &QPushButton::clicked, this, [this] { btnResetClick(); });
  connect(btnDetect, &QPushButton::clicked, this,
          [this] { Guarded([this] { btnDetectClick(); }); });
  connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  // The designed size, or more when the fields need it.
  KeepDesignedSize(*this, {615, 435});
}

TfrmCrop::~TfrmCrop() = default;

void TfrmCrop::Prepare(TlvFilesRecord* record, int skin) {
  record_ = record;
  skin_ = skin;
}

TMargins TfrmCrop::Shown() const {
  return {spedUp->value(), spedDown->value(), spedLeft->value(), spedRight->value()};
}

void TfrmCrop::ShowMargins(const TMargins& margins) {
  dragging_ = true;  // the fields follow; their handlers stay out
  spedUp->setValue(margins.Top);
  spedDown->setValue(margins.Bottom);
  spedLeft->setValue(margins.Left);
  spedRight->setValue(margins.Right);
  dragging_ = false;
  last_ = margins;
}

void TfrmCrop::showEvent(QShowEvent* event) {
  ApplySkin(*this, skin_);
  lblSourceName->clear();
  lblLength->clear();
  placed_ = false;
  picture_ = {};
  QDialog::showEvent(event);
  if (!record_) return;
  cmbZoom->setCurrentIndex(ZoomIndexOf(record_->ZoomMode));
  if (!binding::MediaLibrariesLoaded()) {
    converter_->LoadLibraries(binding::DefaultLibraryFolder(), true);
  }
  bool opened = false;
  Guarded([&] { opened = Preview->Open(converter_->Probe(), record_->SourceFile); });
  const bool picture = opened && Preview->HasPicture() && Preview->SourceWidth() > 0;
  RectTracker->setVisible(picture);
  for (QWidget* control : {static_cast<QWidget*>(RectTracker), static_cast<QWidget*>(spedUp),
                           static_cast<QWidget*>(spedDown), static_cast<QWidget*>(spedLeft),
                           static_cast<QWidget*>(spedRight), static_cast<QWidget*>(btnDetect)})
    control->setEnabled(picture);
  if (!picture) {
    Preview->Stop();
    ShowMargins({});
  } else if (!placed_) {
    PlaceOverPicture();
  }
  lblSourceName->setText(QString::fromStdString(ShortSourceName(record_->SourceFile, 51, 44)));
  lblSourceName->setToolTip(QString::fromStdString(record_->SourceFile));
  KeepDesignedSize(*this, {615, 435});  // room for the name shown
  lblLength->setText(QString::fromStdString(SecondsText(Preview->DurationMs()) + " Second"));
}

void TfrmCrop::PlaceOverPicture() {
  if (!record_ || Preview->SourceWidth() <= 0) return;
  placed_ = true;
  picture_ = PictureRectangle(Preview->Drawn());
  RectTracker->SetLimits(picture_);
  for (QSpinBox* field : {spedUp, spedDown})
    field->setMaximum(picture_.Height);
  for (QSpinBox* field : {spedLeft, spedRight})
    field->setMaximum(picture_.Width);
  const TMargins stored{record_->CropTop, record_->CropBottom, record_->CropLeft,
                        record_->CropRight};
  const TMargins shown =
      ToPreviewMargins(stored, picture_, Preview->SourceWidth(), Preview->SourceHeight());
  exact_ = stored;
  exactShown_ = shown;
  ShowMargins(shown);
  RectTracker->SetBounds(RectangleOf(shown, picture_));
  RectTracker->raise();
}

void TfrmCrop::MarginChanged(QSpinBox& field, bool vertical) {
  if (dragging_ || picture_.Width <= 0) return;
  const TArea now = RectTracker->Bounds();
  int& last = &field == spedUp     ? last_.Top
              : &field == spedDown ? last_.Bottom
              : &field == spedLeft ? last_.Left
                                   : last_.Right;
  const int size = vertical ? now.Height : now.Width;
  if (!AcceptMargin(field.value(), last, size)) {
    // The rectangle is as small as it gets.
    dragging_ = true;
    field.setValue(last);
    dragging_ = false;
    return;
  }
  last = field.value();
  RectTracker->SetBounds(RectangleOf(Shown(), picture_));
}

void TfrmCrop::TrackerMoved() {
  ShowMargins(MarginsOf(RectTracker->Bounds(), picture_));
}

void TfrmCrop::btnResetClick() {
  exact_ = exactShown_ = {};
  ShowMargins({});
  if (picture_.Width > 0) RectTracker->SetBounds(picture_);
}

void TfrmCrop::btnDetectClick() {
  if (!Preview->HasPicture()) return;
  // About ten pictures spread over the file, through the dialog's own probe.
  TAVProbe& probe = converter_->Probe();
  std::vector<TBitmap24> pictures;
  const int64_t durationUs = Preview->DurationMs() * 1000;
  for (int i = 0; i < 10; ++i) {
    probe.Seek(probe.FirstVideo, durationUs * (2 * i + 1) / 20);
    pictures.push_back(probe.DecodeNextFrame(probe.FirstVideo));
  }
  const TMargins found = CommonBlackBorders(pictures);
  const TMargins shown =
      ToPreviewMargins(found, picture_, Preview->SourceWidth(), Preview->SourceHeight());
  exact_ = found;
  exactShown_ = shown;
  ShowMargins(shown);
  RectTracker->SetBounds(RectangleOf(shown, picture_));
}

void TfrmCrop::btnOkClick() {
  if (record_) {
    TMargins source;
    if (picture_.Width > 0 && Preview->SourceWidth() > 0) {
      const TMargins shown = Shown();
      source = ToSourceMargins(shown, picture_, Preview->SourceWidth(), Preview->SourceHeight());
      if (shown.Top == exactShown_.Top) source.Top = exact_.Top;
      if (shown.Bottom == exactShown_.Bottom) source.Bottom = exact_.Bottom;
      if (shown.Left == exactShown_.Left) source.Left = exact_.Left;
      if (shown.Right == exactShown_.Right) source.Right = exact_.Right;
    }
    const TMargins even = EvenMargins(source);
    record_->CropTop = even.Top;
    record_->CropBottom = even.Bottom;
    record_->CropLeft = even.Left;
    record_->CropRight = even.Right;
    record_->ZoomMode = ZoomModeOf(cmbZoom->currentIndex());
  }
  accept();
}

void TfrmCrop::done(int result) {
  Preview->Stop();
  converter_->Probe().Close();
  QDialog::done(result);
}

}  // namespace moskvid
