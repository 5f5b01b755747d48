#include "app/dialogs/win_trim.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/dialogs/clip_texts.h"
#include "app/dialogs/trim_rules.h"
#include "app/widgets/application.h"
#include "app/widgets/skins.h"
#include "app/widgets/ui_services.h"
#include "app/widgets/widget_parts.h"
#include "binding/media_loader.h"

namespace moskvid {

namespace {

QLineEdit* MaskEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  // Six digits shown as HH:MM:SS; an empty place shows as 0.
  edit->setInputMask("99:99:99;0");
  edit->setToolTip("(HH:MM:SS)");
  edit->setMaximumWidth(90);
  return edit;
}

// The field as shown: with the blank character '0', text() would leave the
// zeros out.
std::string Digits(const QLineEdit& edit) {
  return edit.displayText().remove(':').toStdString();
}

void ShowDigits(QLineEdit& edit, int64_t milliseconds) {
  edit.setText(QString::fromStdString(ClockDigits(milliseconds)));
}

}  // namespace

TfrmTrim::TfrmTrim(TUiServices& services, QWidget* parent)
    : QDialog(parent), services_(services), converter_(std::make_unique<TCCAVConverter>()) {
  setObjectName("frmTrim");
  setWindowTitle("Trim");

  Preview = new TClipPreview("Tiem:", this);
  lblSourceName = new QLabel(this);
  lblSourceName->setObjectName("lblSourceName");
  lblLength = new QLabel(this);
  lblLength->setObjectName("lblLength");
  maskedtStartTime = MaskEdit("maskedtStartTime", this);
  maskedtEndTime = MaskEdit("maskedtEndTime", this);
  maskedtLength = MaskEdit("maskedtLength", this);
  maskedtLength->setReadOnly(true);
  maskedtLength->setFocusPolicy(Qt::NoFocus);
  btnOk1 = NamedButton("btnOk1", "&Ok", this);
  btnOk2 = NamedButton("btnOk2", "O&k", this);
  btnReset = NamedButton("btnReset", "&Reset", this);
  btnSetStart = NamedButton("btnSetStart", "Set start", this);
  btnSetStart->setToolTip("The time of the picture shown becomes the start");
  btnSetEnd = NamedButton("btnSetEnd", "Set end", this);
  btnSetEnd->setToolTip("The time of the picture shown becomes the end");
  btnOk = NamedButton("btnOk", "Ok", this);
  btnOk->setDefault(true);
  btnCancel = NamedButton("btnCancel", "Cancel", this);
  btnDefault = NamedButton("btnDefault", "&Default", this);

  auto* page = new QWidget(this);
  auto* form = new QGridLayout(page);
  form->addWidget(Caption("Set Start Time:", maskedtStartTime, page), 0, 0, 1, 2);
  form->addWidget(maskedtStartTime, 1, 0);
  form->addWidget(btnOk1, 1, 1);
  form->addWidget(btnSetStart, 2, 0, 1, 2);
  form->addWidget(Caption("Set End Time:", maskedtEndTime, page), 3, 0, 1, 2);
  form->addWidget(maskedtEndTime, 4, 0);
  form->addWidget(btnOk2, 4, 1);
  form->addWidget(btnSetEnd, 5, 0, 1, 2);
  form->addWidget(Caption("Trim Length:", maskedtLength, page), 6, 0, 1, 2);
  form->addWidget(maskedtLength, 7, 0);
  form->addWidget(btnReset, 8, 0, 1, 2);
  form->setRowStretch(9, 1);
  QTabWidget* pages = LayOutClipDialog(*this, Preview, lblSourceName, lblLength, page, "Trim",
                                       btnDefault, btnOk, btnCancel);
  // As the layout reads: the preview, the page row by row, the buttons.
  SetTabOrder({Preview->imgRight, pages->tabBar(), maskedtStartTime, btnOk1, btnSetStart,
               maskedtEndTime, btnOk2, btnSetEnd, btnReset, btnDefault, btnOk, btnCancel});

  connect(maskedtStartTime, &QLineEdit::editingFinished, this,
          [this] { Guarded([this] { ApplyStart(); }); });
  connect(maskedtEndTime, &QLineEdit::editingFinished, this,
          [this] { Guarded([this] { ApplyEnd(); }); });
  connect(btnOk1, &QPushButton::clicked, this, [this] { Guarded([this] { ApplyStart(); }); });
  connect(btnOk2, &QPushButton::clicked, this, [this] { Guarded([this] { ApplyEnd(); }); });
  connect(btnSetStart, &QPushButton::clicked, this,
          [this] { Guarded([this] { SetStartClick(); }); });
  connect(btnSetEnd, &QPushButton::clicked, this, [this] { Guarded([this] { SetEndClick(); }); });
  connect(btnReset, &QPushButton::clicked, this, [this] { btnResetClick(); });
  connect(btnDefault, &QPushButton::clicked, this, [this] { btnResetClick(); });
  connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  // The designed size, or more when the fields need it.
  KeepDesignedSize(*this, {615, 435});
}

TfrmTrim::~TfrmTrim() = default;

void TfrmTrim::Prepare(TlvFilesRecord* record, int skin, std::function<void(int64_t)> column) {
  record_ = record;
  skin_ = skin;
  column_ = std::move(column);
}

void TfrmTrim::showEvent(QShowEvent* event) {
  ApplySkin(*this, skin_);
  lblSourceName->clear();
  lblLength->clear();
  QDialog::showEvent(event);
  if (!record_) return;
  if (!binding::MediaLibrariesLoaded()) {
    converter_->LoadLibraries(binding::DefaultLibraryFolder(), true);
  }
  durationMs_ = 0;
  Guarded([this] {
    if (Preview->Open(converter_->Probe(), record_->SourceFile))
      durationMs_ = Preview->DurationMs();
  });
  lblSourceName->setText(QString::fromStdString(ShortSourceName(record_->SourceFile, 51, 44)));
  lblSourceName->setToolTip(QString::fromStdString(record_->SourceFile));
  KeepDesignedSize(*this, {615, 435});  // room for the name shown
  startMs_ = record_->TrimStart > 0 ? record_->TrimStart : 0;
  ShowDigits(*maskedtStartTime, startMs_);
  if (record_->TrimLength <= 0) {
    endMs_ = durationMs_;
    ShowDigits(*maskedtEndTime, durationMs_);
    ShowDigits(*maskedtLength, durationMs_);
  } else {
    endMs_ = startMs_ + record_->TrimLength;
    ShowDigits(*maskedtEndTime, endMs_);
    ShowDigits(*maskedtLength, record_->TrimLength);
  }
  lblLength->setText(QString::fromStdString(SecondsText(durationMs_) + " Second"));
  maskedtStartTime->setFocus();
}

void TfrmTrim::Judge(bool start) {
  if (judging_) return;
  judging_ = true;
  QLineEdit& field = start ? *maskedtStartTime : *maskedtEndTime;
  const TTrimVerdict verdict =
      JudgeTrim(start, ReadMaskTime(Digits(field)), startMs_, endMs_, durationMs_);
  if (verdict == tvAccepted) {
    UpdateLength();
  } else if (verdict == tvIncorrect || verdict == tvEqual) {
    const char* text = verdict == tvIncorrect
                           ? (start ? "Incorrect start time!" : "Incorrect end time!")
                           : (start ? "The start time cannot equal to the end time!"
                                    : "The end time cannot equal to the start time!!");
    services_.Message(this, "Warning", text, QMessageBox::Warning);
    // The field starts again, and so does the time it holds: what OK stores
    // is what the fields show.
    if (start) {
      maskedtStartTime->setText("000000");
      startMs_ = 0;
    } else {
      ShowDigits(*maskedtEndTime, durationMs_);
      endMs_ = durationMs_;
    }
    UpdateLength();
    field.setFocus();
  }
  judging_ = false;
}

void TfrmTrim::ApplyStart() {
  if (judging_) return;
  startMs_ = ReadMaskTime(Digits(*maskedtStartTime)).Milliseconds();
  Judge(true);
}

void TfrmTrim::ApplyEnd() {
  if (judging_) return;
  endMs_ = ReadMaskTime(Digits(*maskedtEndTime)).Milliseconds();
  Judge(false);
}

void TfrmTrim::UpdateLength() {
  if (ShowsLength(startMs_, endMs_, durationMs_)) ShowDigits(*maskedtLength, endMs_ - startMs_);
}

void TfrmTrim::SetStartClick() {
  // The exact time of the picture shown; the field shows its whole seconds.
  startMs_ = Preview->PositionMs();
  const QSignalBlocker quiet(maskedtStartTime);
  ShowDigits(*maskedtStartTime, startMs_);
  Judge(true);
}

void TfrmTrim::SetEndClick() {
  endMs_ = Preview->PositionMs();
  const QSignalBlocker quiet(maskedtEndTime);
  ShowDigits(*maskedtEndTime, endMs_);
  Judge(false);
}

void TfrmTrim::btnResetClick() {
  maskedtStartTime->setText("000000");
  ShowDigits(*maskedtEndTime, durationMs_);
  ShowDigits(*maskedtLength, durationMs_);
  startMs_ = 0;
  endMs_ = durationMs_;
  if (record_) {
    record_->TrimStart = 0;
    record_->TrimLength = 0;
    if (column_) column_(TrimmedSeconds(0, 0, durationMs_));
  }
  maskedtStartTime->setFocus();
}

void TfrmTrim::btnOkClick() {
  if (record_) {
    const TTrimResult result = TrimOnOk(startMs_, endMs_, durationMs_);
    record_->TrimStart = result.TrimStart;
    record_->TrimLength = result.TrimLength;
    if (column_) column_(TrimmedSeconds(result.TrimStart, result.TrimLength, durationMs_));
  }
  accept();
}

void TfrmTrim::done(int result) {
  Preview->Stop();
  converter_->Probe().Close();
  QDialog::done(result);
}

}  // namespace moskvid
