#include "app/dialogs/win_settings.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "app/settings/format_summary.h"
#include "app/settings/ini_file.h"
#include "app/settings/job_settings.h"
#include "app/settings/output_formats.h"
#include "app/widgets/application.h"
#include "app/widgets/skins.h"
#include "app/widgets/widget_parts.h"

namespace moskvid {

namespace {

QComboBox* Choice(const char* name, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setEditable(false);
  // Wide enough for its longest choice ("stereo 2 channels" and the like).
  box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return box;
}

}  // namespace

TfrmSettings::TfrmSettings(const TGlobalObject& global, QWidget* parent)
    : QDialog(parent), global_(global) {
  setObjectName("frmSettings");
  setWindowTitle("Settings");

  cbOutputFormat = Choice("cbOutputFormat", this);
  cmbQuality = Choice("cmbQuality", this);
  for (int q = 0; q < kQualityCount; ++q)
    cmbQuality->addItem(QualityCaption(static_cast<TQuality>(q)));
  cmbQuality->setToolTip(
      "How hard the encoder works for the picture: more time, a better picture "
      "at the same size");
  cmbVideoSize = Choice("cmbVideoSize", this);
  cmbVideoEncoder = Choice("cmbVideoEncoder", this);
  cmbVideoBitRate = Choice("cmbVideoBitRate", this);
  cmbFrameRate = Choice("cmbFrameRate", this);
  ckDeinterlace = NamedCheckBox("ckDeinterlace", "De&interlace", this);
  ckDeinterlace->setToolTip("Pictures of interlaced sources are made whole before they are scaled");
  cmbSamplerate = Choice("cmbSamplerate", this);
  cmbAudioEncoder = Choice("cmbAudioEncoder", this);
  cmbChannel = Choice("cmbChannel", this);
  cmbAudioBitRate = Choice("cmbAudioBitRate", this);
  cmbVolume = Choice("cmbVolume", this);
  boxes_ = {cmbVideoSize,    cmbVideoEncoder, cmbVideoBitRate, cmbFrameRate, cmbSamplerate,
            cmbAudioEncoder, cmbChannel,      cmbAudioBitRate, cmbVolume};

  auto* video = new QGroupBox("Video Options", this);
  auto* videoForm = new QFormLayout(video);
  videoForm->setContentsMargins(6, 6, 6, 6);
  videoForm->addRow("Resloution:", cmbVideoSize);
  videoForm->addRow("Encoder:", cmbVideoEncoder);
  videoForm->addRow("BitRate (Kbps):", cmbVideoBitRate);
  videoForm->addRow("FrameRate (Fps):", cmbFrameRate);
  videoForm->addRow(ckDeinterlace);
  auto* audio = new QGroupBox("Audio Options", this);
  auto* audioForm = new QFormLayout(audio);
  audioForm->setContentsMargins(6, 6, 6, 6);
  audioForm->addRow("SampleRate (Hz):", cmbSamplerate);
  audioForm->addRow("Encoder:", cmbAudioEncoder);
  audioForm->addRow("Channel:", cmbChannel);
  audioForm->addRow("BitRate (Kbps):", cmbAudioBitRate);
  audioForm->addRow("Volume:", cmbVolume);

  lblSummary = new QLabel(this);
  lblSummary->setObjectName("lblSummary");
  lblSummary->setWordWrap(true);

  btnDefault = new QPushButton("&Default", this);
  btnDefault->setObjectName("btnDefault");
  btnOk = new QPushButton("&Ok", this);
  btnOk->setObjectName("btnOk");
  btnOk->setDefault(true);
  btnCancel = new QPushButton("&Cancel", this);
  btnCancel->setObjectName("btnCancel");

  auto* format = new QFormLayout;
  format->addRow("Output Format:", cbOutputFormat);
  format->addRow("&Quality:", cmbQuality);
  auto* groups = new QHBoxLayout;
  groups->setSpacing(6);
  groups->addWidget(video);
  groups->addWidget(audio);
  QHBoxLayout* buttons = DialogButtonRow(btnDefault, {btnOk, btnCancel});
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addLayout(format);
  layout->addLayout(groups);
  layout->addWidget(lblSummary);
  layout->addStretch();
  layout->addLayout(buttons);

  connect(cbOutputFormat, &QComboBox::currentIndexChanged, this,
          [this](int index) { Guarded([&] { cbOutputFormatChange(index); }); });
  for (QComboBox* box : boxes_) {
    connect(box, &QComboBox::currentIndexChanged, this, [this] {
      if (!loading_) UpdateSummary();
    });
  }
  connect(cmbQuality, &QComboBox::currentIndexChanged, this, [this] {
    if (!loading_) UpdateSummary();
  });
  connect(btnDefault, &QPushButton::clicked, this,
          [this] { Guarded([this] { btnDefaultClick(); }); });
  connect(btnOk, &QPushButton::clicked, this, [this] { Guarded([this] { btnOkClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  // The designed size, or more when the fields need it.
  KeepDesignedSize(*this, {475, 360});
}

void TfrmSettings::Prepare(QComboBox& mainFormats, int skin) {
  mainFormats_ = &mainFormats;
  skin_ = skin;
}

void TfrmSettings::showEvent(QShowEvent* event) {
  if (mainFormats_) {
    const QSignalBlocker quiet(cbOutputFormat);
    cbOutputFormat->clear();
    for (int i = 0; i < mainFormats_->count(); ++i)
      cbOutputFormat->addItem(mainFormats_->itemText(i));
    cbOutputFormat->setMaxVisibleItems(mainFormats_->maxVisibleItems());
    cbOutputFormat->setMinimumWidth(cbOutputFormat->sizeHint().width());
    cbOutputFormat->setCurrentIndex(mainFormats_->currentIndex());
  }
  ApplySkin(*this, skin_);
  LoadLists(cbOutputFormat->currentIndex());
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  QDialog::showEvent(event);
}

void TfrmSettings::LoadLists(int format) {
  if (format < 0) return;
  TSettingsChoices choices =
      LoadSettingsChoices(global_.ProfileFile(), global_.ConfigFile(), format);
  MarkUnavailableEncoders(choices);
  loading_ = true;
  for (int c = 0; c < kChoiceCount; ++c) {
    QComboBox* box = boxes_[static_cast<size_t>(c)];
    const TChoiceList& list = choices[static_cast<size_t>(c)];
    box->clear();
    for (size_t i = 0; i < list.Items.size(); ++i) {
      box->addItem(QString::fromStdString(list.Items[i]));
      if (!list.Unavailable[i].empty()) {
        // Shown, but not to be chosen: the libraries here cannot encode it.
        auto* model = static_cast<QStandardItemModel*>(box->model());
        QStandardItem* item = model->item(static_cast<int>(i));
        item->setEnabled(false);
        item->setToolTip(QString::fromStdString(list.Unavailable[i]));
      }
    }
    box->setCurrentIndex(list.Selected);
    box->setMaxVisibleItems(std::max(box->count(), 1));
    box->setMinimumWidth(box->sizeHint().width());
    box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 24);
    box->setEnabled(list.Enabled);
  }
  const TDeinterlaceChoice deinterlace =
      LoadDeinterlaceChoice(global_.ProfileFile(), global_.ConfigFile(), format);
  ckDeinterlace->setChecked(deinterlace.Checked);
  ckDeinterlace->setEnabled(deinterlace.Enabled);
  cmbQuality->setCurrentIndex(
      LoadQualityChoice(global_.ProfileFile(), global_.ConfigFile(), format));
  // Sound alone has no picture to work for.
  cmbQuality->setEnabled(deinterlace.Enabled);
  loading_ = false;
  UpdateSummary();
  // The dialog grows when a format's choices need more room.
  KeepDesignedSize(*this, {475, 360});
}

TSettingsChoices TfrmSettings::Current() const {
  TSettingsChoices choices;
  for (int c = 0; c < kChoiceCount; ++c) {
    const QComboBox* box = boxes_[static_cast<size_t>(c)];
    TChoiceList& list = choices[static_cast<size_t>(c)];
    for (int i = 0; i < box->count(); ++i)
      list.Items.push_back(box->itemText(i).toStdString());
    list.Selected = box->currentIndex();
    list.Enabled = box->isEnabled();
  }
  return choices;
}

void TfrmSettings::UpdateSummary() {
  const int format = cbOutputFormat->currentIndex();
  if (format < 0) return;
  const TSettingsChoices choices = Current();
  const TJobSettings stored(global_.ConfigFile(), global_.ProfileFile(), format);
  // What the job would get once these choices are stored.
  const auto setting = [&](const std::string& key, const std::string& fallback) {
    for (int c = 0; c < kChoiceCount; ++c) {
      const TChoice choice = static_cast<TChoice>(c);
      if (key == ChoiceKeys(choice).Stored) {
        return StoredValueOf(choice, choices[static_cast<size_t>(c)], stored.Value(key, fallback));
      }
    }
    return stored.Value(key, fallback);
  };
  const TIniFile profile(global_.ProfileFile());
  const TFormatSummary summary =
      SummarizeFormat(setting, profile.ReadString(FormatSection(format), "Format", "null"),
                      profile.ReadString(FormatSection(format), "FileExt", "mp4"));
  QStringList lines;
  for (const std::string& line : {summary.Container, summary.Video, summary.Audio, summary.Size})
    if (!line.empty()) lines << QString::fromStdString(line);
  if (cmbQuality->isEnabled() && cmbQuality->currentIndex() >= 0)
    lines << QualityCostText(static_cast<TQuality>(cmbQuality->currentIndex()));
  lblSummary->setText(lines.join('\n'));
}

void TfrmSettings::cbOutputFormatChange(int index) {
  LoadLists(index);
}

void TfrmSettings::btnDefaultClick() {
  const auto indices = DefaultChoiceIndices(global_.ProfileFile(), cbOutputFormat->currentIndex());
  for (int c = 0; c < kChoiceCount; ++c) {
    QComboBox* box = boxes_[static_cast<size_t>(c)];
    const int index = indices[static_cast<size_t>(c)];
    box->setCurrentIndex(index < box->count() ? index : -1);
  }
  ckDeinterlace->setChecked(
      DefaultDeinterlace(global_.ProfileFile(), cbOutputFormat->currentIndex()));
  cmbQuality->setCurrentIndex(qlBalanced);
}

void TfrmSettings::btnOkClick() {
  const int format = cbOutputFormat->currentIndex();
  // A volume that is no percentage raises here: the dialog stays open.
  StoreSettingsChoices(global_.ProfileFile(), global_.ConfigFile(), format, Current());
  StoreDeinterlaceChoice(global_.ConfigFile(), format, ckDeinterlace->isChecked());
  if (cmbQuality->isEnabled())
    StoreQualityChoice(global_.ConfigFile(), format,
                       static_cast<TQuality>(cmbQuality->currentIndex()));
  if (mainFormats_) {
    const QSignalBlocker quiet(mainFormats_);
    mainFormats_->setCurrentIndex(format);
  }
  accept();
}

}  // namespace moskvid
