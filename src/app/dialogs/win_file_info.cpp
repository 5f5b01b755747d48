#include "app/dialogs/win_file_info.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/dialogs/clip_texts.h"
#include "app/widgets/application.h"
#include "app/widgets/skins.h"
#include "app/widgets/widget_parts.h"
#include "binding/media_loader.h"

namespace moskvid {

namespace {

QLineEdit* Field(const char* name, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  field->setReadOnly(true);
  return field;
}

QString Number(int64_t value) {
  return QString::number(value);
}

}  // namespace

TfrmFileInfo::TfrmFileInfo(TLog log, QWidget* parent)
    : QDialog(parent), log_(std::move(log)), converter_(std::make_unique<TCCAVConverter>()) {
  setObjectName("frmFileInfo");
  setWindowTitle("File infomation");

  lblSourceName = new QLabel(this);
  lblSourceName->setObjectName("lblSourceName");
  lblSourceName->setFixedWidth(270);
  lblFileLength = new QLabel(this);
  lblFileLength->setObjectName("lblFileLength");
  edtFormat = Field("edtFormat", this);
  edtResloution = Field("edtResloution", this);
  edtFrameRate = Field("edtFrameRate", this);
  edtTotalFrame = Field("edtTotalFrame", this);
  edtBitRate = Field("edtBitRate", this);
  edtAudioForamt = Field("edtAudioForamt", this);
  edtSampleRate = Field("edtSampleRate", this);
  edtChannel = Field("edtChannel", this);
  edtAudioBitRate = Field("edtAudioBitRate", this);
  btn1 = new QPushButton("&Ok", this);
  btn1->setObjectName("btn1");
  btn1->setDefault(true);

  auto* file = new QFormLayout;
  file->addRow("File Name:", lblSourceName);
  file->addRow("Duration:", lblFileLength);
  auto* video = new QGroupBox("Video ", this);
  auto* videoForm = new QFormLayout(video);
  videoForm->addRow("Format:", edtFormat);
  videoForm->addRow("Resloution:", edtResloution);
  videoForm->addRow("Frame Rate:", edtFrameRate);
  videoForm->addRow("Total Frame:", edtTotalFrame);
  videoForm->addRow("Bit Rate:", edtBitRate);
  auto* audio = new QGroupBox("Audio", this);
  auto* audioForm = new QFormLayout(audio);
  audioForm->addRow("Format:", edtAudioForamt);
  audioForm->addRow("Sample Rate:", edtSampleRate);
  audioForm->addRow("Channel:", edtChannel);
  audioForm->addRow("Bit Rate:", edtAudioBitRate);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btn1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(file);
  layout->addWidget(video);
  layout->addWidget(audio);
  layout->addStretch();
  layout->addLayout(buttons);
  connect(btn1, &QPushButton::clicked, this, &QDialog::accept);
  // The designed size, or more when the fields need it.
  KeepDesignedSize(*this, {420, 460});
}

TfrmFileInfo::~TfrmFileInfo() = default;

void TfrmFileInfo::Prepare(const std::string& sourceFile, int skin) {
  sourceFile_ = sourceFile;
  skin_ = skin;
}

void TfrmFileInfo::showEvent(QShowEvent* event) {
  ApplySkin(*this, skin_);
  Guarded([this] { Describe(); });
  QDialog::showEvent(event);
}

void TfrmFileInfo::Describe() {
  // Every field starts empty, so that nothing of an earlier file stays.
  lblSourceName->clear();
  lblFileLength->clear();
  for (QLineEdit* field : {edtFormat, edtResloution, edtFrameRate, edtTotalFrame, edtBitRate,
                           edtAudioForamt, edtSampleRate, edtChannel, edtAudioBitRate})
    field->clear();
  if (sourceFile_.empty()) return;
  if (!binding::MediaLibrariesLoaded() &&
      !converter_->LoadLibraries(binding::DefaultLibraryFolder(), true)) {
    log_(converter_->LastError());
    return;
  }
  converter_->ClearTasks();
  const int index = converter_->AddInput(sourceFile_);
  TAVProbe& probe = converter_->Probe();
  if (index < 0) {
    // Without a task there is no task probe to read.
    log_("***File open error: " + converter_->LastError());
    return;
  }
  if (!probe.Open(sourceFile_) || probe.VideoCount <= 0) return;
  lblSourceName->setText(QString::fromStdString(ShortSourceName(sourceFile_, 46, 40)));
  lblSourceName->setToolTip(QString::fromStdString(sourceFile_));
  TAVFormatInfo format;
  probe.GetFormatInfo(format);
  lblFileLength->setText(QString::fromStdString(DurationSecondsText(format.Duration)));
  edtFormat->setText(QString::fromStdString(probe.FormatName()));

  TAVProbe* task = converter_->TaskProbe(index);
  if (probe.IsVideoStream(probe.FirstVideo)) {
    TAVVideoStreamInfo video;
    task->GetVideoStreamInfo(probe.FirstVideo, video);
    edtResloution->setText(Number(video.Width) + "x" + Number(video.Height));
    edtBitRate->setText(Number(video.BitRate));
    edtFrameRate->setText(Number(video.FrameRateNum));
    edtTotalFrame->setText(Number(video.FrameRateDen));
  }
  if (probe.FirstAudio < 0 || !probe.IsAudioStream(probe.FirstAudio)) return;
  TAVAudioStreamInfo audio;
  task->GetAudioStreamInfo(probe.FirstAudio, audio);
  edtAudioBitRate->setText(Number(audio.BitRate));
  edtSampleRate->setText(Number(audio.SampleRate));
  edtChannel->setText(Number(audio.Channels));
  edtAudioForamt->setText(QString::fromStdString(AudioFormatFromInfo(probe.InfoText())));
}

void TfrmFileInfo::done(int result) {
  converter_->Probe().Close();
  converter_->ClearTasks();
  QDialog::done(result);
}

}  // namespace moskvid
