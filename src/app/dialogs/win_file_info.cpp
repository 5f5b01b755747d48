#include "app/dialogs/win_file_info.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QTabBar>
#include <QVBoxLayout>

#include "app/dialogs/clip_texts.h"
#include "app/settings/media_texts.h"
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

// The tags' fields, in the order of TagTexts.
constexpr std::array<std::pair<const char*, const char*>, TfrmFileInfo::kTagCount> kTags = {{
    {"edtTitle", "Title"},
    {"edtArtist", "Artist"},
    {"edtAlbumArtist", "Album Artist"},
    {"edtAlbum", "Album"},
    {"edtTrack", "Track"},
    {"edtDisc", "Disc"},
    {"edtYear", "Year"},
    {"edtGenre", "Genre"},
    {"edtComposer", "Composer"},
    {"edtComment", "Comment"},
}};

// A new page at the end of the tabs.
QWidget* Page(QTabWidget* tabs, const QString& title) {
  auto* page = new QWidget(tabs);
  tabs->addTab(page, title);
  return page;
}

}  // namespace

TfrmFileInfo::TfrmFileInfo(TLog log, QWidget* parent)
    : QDialog(parent), log_(std::move(log)), converter_(std::make_unique<TCCAVConverter>()) {
  setObjectName("frmFileInfo");
  setWindowTitle("File infomation");

  // Made in the order Tab takes them.
  lblSourceName = new QLabel(this);
  lblSourceName->setObjectName("lblSourceName");
  lblSourceName->setFixedWidth(270);
  lblFileLength = new QLabel(this);
  lblFileLength->setObjectName("lblFileLength");
  tabInfo = new QTabWidget(this);
  tabInfo->setObjectName("tabInfo");
  tabInfo->setDocumentMode(true);                  // no frame: the figures keep the designed size
  tabInfo->tabBar()->setUsesScrollButtons(false);  // the four tabs fit
  edtFormat = Field("edtFormat", this);
  edtResloution = Field("edtResloution", this);
  edtFrameRate = Field("edtFrameRate", this);
  edtTotalFrame = Field("edtTotalFrame", this);
  edtBitRate = Field("edtBitRate", this);
  edtAudioForamt = Field("edtAudioForamt", this);
  edtSampleRate = Field("edtSampleRate", this);
  edtChannel = Field("edtChannel", this);
  edtAudioBitRate = Field("edtAudioBitRate", this);
  edtSampleAspect = Field("edtSampleAspect", this);
  edtDisplayAspect = Field("edtDisplayAspect", this);
  edtRotation = Field("edtRotation", this);
  lstTracks = new QListWidget(this);
  lstTracks->setObjectName("lstTracks");
  lstTracks->setAccessibleName("Sound Tracks");
  lstTracks->setSelectionMode(QAbstractItemView::NoSelection);
  for (size_t i = 0; i < kTags.size(); ++i)
    TagFields[i] = Field(kTags[i].first, this);
  lblNoTags = new QLabel("The file carries no tags.", this);
  lblNoTags->setObjectName("lblNoTags");
  btn1 = new QPushButton("&Ok", this);
  btn1->setObjectName("btn1");
  btn1->setDefault(true);

  auto* file = new QFormLayout;
  file->addRow("File Name:", lblSourceName);
  file->addRow("Duration:", lblFileLength);

  QWidget* general = Page(tabInfo, "&Video and Audio");
  auto* video = new QGroupBox("Video ", general);
  auto* videoForm = new QFormLayout(video);
  videoForm->addRow("Format:", edtFormat);
  videoForm->addRow("Resloution:", edtResloution);
  videoForm->addRow("Frame Rate:", edtFrameRate);
  videoForm->addRow("Total Frame:", edtTotalFrame);
  videoForm->addRow("Bit Rate:", edtBitRate);
  auto* audio = new QGroupBox("Audio", general);
  auto* audioForm = new QFormLayout(audio);
  audioForm->addRow("Format:", edtAudioForamt);
  audioForm->addRow("Sample Rate:", edtSampleRate);
  audioForm->addRow("Channel:", edtChannel);
  audioForm->addRow("Bit Rate:", edtAudioBitRate);
  auto* generalLayout = new QVBoxLayout(general);
  generalLayout->setContentsMargins(0, 6, 0, 0);
  generalLayout->addWidget(video);
  generalLayout->addWidget(audio);
  generalLayout->addStretch();

  pictureForm_ = new QFormLayout(Page(tabInfo, "&Picture"));
  pictureForm_->addRow("Sample Aspect:", edtSampleAspect);
  pictureForm_->addRow("Display Aspect:", edtDisplayAspect);
  pictureForm_->addRow("Rotation:", edtRotation);

  auto* tracks = new QVBoxLayout(Page(tabInfo, "So&und Tracks"));
  tracks->addWidget(lstTracks);

  tagForm_ = new QFormLayout(Page(tabInfo, "Ta&gs"));
  tagForm_->addRow(lblNoTags);
  for (size_t i = 0; i < kTags.size(); ++i)
    tagForm_->addRow(QString(kTags[i].second) + ":", TagFields[i]);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btn1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(file);
  layout->addWidget(tabInfo);
  layout->addStretch();
  layout->addLayout(buttons);
  connect(btn1, &QPushButton::clicked, this, &QDialog::accept);
  Clear();
  // The designed size, or more when the fields need it.
  KeepDesignedSize(*this, {420, 460});
}

TfrmFileInfo::~TfrmFileInfo() = default;

void TfrmFileInfo::Prepare(const std::string& sourceFile, int skin, int audioTrack) {
  sourceFile_ = sourceFile;
  skin_ = skin;
  audioTrack_ = audioTrack;
}

void TfrmFileInfo::showEvent(QShowEvent* event) {
  ApplySkin(*this, skin_);
  Guarded([this] { Describe(); });
  // The rows a file shows may ask for more room than the last one's.
  KeepDesignedSize(*this, {420, 460});
  QDialog::showEvent(event);
}

void TfrmFileInfo::Clear() {
  // Every field starts empty, so that nothing of an earlier file stays.
  lblSourceName->clear();
  lblFileLength->clear();
  for (QLineEdit* field :
       {edtFormat, edtResloution, edtFrameRate, edtTotalFrame, edtBitRate, edtAudioForamt,
        edtSampleRate, edtChannel, edtAudioBitRate, edtSampleAspect, edtDisplayAspect, edtRotation})
    field->clear();
  pictureForm_->setRowVisible(edtRotation, false);
  lstTracks->clear();
  for (QLineEdit* field : TagFields) {
    field->clear();
    tagForm_->setRowVisible(field, false);
  }
  tagForm_->setRowVisible(lblNoTags, true);
}

void TfrmFileInfo::Describe() {
  Clear();
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
  if (!probe.Open(sourceFile_)) return;
  // The track the entry chose, else the one a conversion takes by itself.
  const int taken = probe.AudioTrackStream(audioTrack_);
  // Sound-only files have tracks and tags too; the figures are a film's.
  DescribeTracksAndTags(probe, taken);
  if (probe.VideoCount <= 0) return;
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
    edtSampleAspect->setText(
        QString::fromStdString(RatioText(video.SampleAspectNum, video.SampleAspectDen)));
    edtDisplayAspect->setText(QString::fromStdString(DisplayAspectText(video)));
    if (video.Rotation != 0) {
      edtRotation->setText(QString("%1° clockwise").arg(video.Rotation));
      pictureForm_->setRowVisible(edtRotation, true);
    }
  }
  if (!probe.IsAudioStream(taken)) return;
  TAVAudioStreamInfo audio;
  task->GetAudioStreamInfo(taken, audio);
  edtAudioBitRate->setText(Number(audio.BitRate));
  edtSampleRate->setText(Number(audio.SampleRate));
  edtChannel->setText(Number(audio.Channels));
  edtAudioForamt->setText(
      QString::fromStdString(AudioFormatFromInfo(StreamInfoLine(probe.InfoText(), taken))));
}

void TfrmFileInfo::DescribeTracksAndTags(TAVProbe& probe, int takenStream) {
  for (const TAVAudioTrack& track : probe.AudioTracks()) {
    const bool taken = track.Stream == takenStream;
    auto* item =
        new QListWidgetItem(QString::fromStdString(AudioTrackListText(track, taken)), lstTracks);
    QFont font = item->font();
    font.setBold(taken);
    item->setFont(font);
  }
  TAVFormatInfo format;
  probe.GetFormatInfo(format);
  const auto tags = TagTexts(format);
  tagForm_->setRowVisible(lblNoTags, tags.empty());
  for (const auto& [label, value] : tags) {
    for (size_t i = 0; i < kTags.size(); ++i) {
      if (label != kTags[i].second) continue;
      TagFields[i]->setText(QString::fromStdString(value));
      TagFields[i]->setCursorPosition(0);
      tagForm_->setRowVisible(TagFields[i], true);
    }
  }
}

void TfrmFileInfo::done(int result) {
  converter_->Probe().Close();
  converter_->ClearTasks();
  QDialog::done(result);
}

}  // namespace moskvid
