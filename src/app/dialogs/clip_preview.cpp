#include "app/dialogs/clip_preview.h"

#include <cmath>

#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>

#include "app/widgets/application.h"
#include "app/widgets/widget_parts.h"
#include "engine/option_parsing.h"

namespace moskvid {

QTabWidget* LayOutClipDialog(QDialog& dialog, QWidget* preview, QLabel* sourceName, QLabel* length,
                             QWidget* page, const QString& pageTitle, QPushButton* byDefault,
                             QPushButton* ok, QPushButton* cancel) {
  auto* pages = new QTabWidget(&dialog);
  pages->addTab(page, pageTitle);
  auto* info = new QFormLayout;
  info->addRow("Source File:", sourceName);
  info->addRow("Length:", length);
  auto* left = new QVBoxLayout;
  left->addWidget(preview);
  left->addLayout(info);
  auto* top = new QHBoxLayout;
  top->addLayout(left);
  top->addWidget(pages, 1);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(top, 1);
  layout->addLayout(DialogButtonRow(byDefault, {ok, cancel}));
  return pages;
}

TClipPreview::TClipPreview(const QString& timeCaption, QWidget* parent) : QWidget(parent) {
  imgPreview = new TPicturePane(this);
  imgPreview->setObjectName("imgPreview");
  imgPreview->setFixedSize(370, 253);
  trcPreview = new QSlider(Qt::Horizontal, this);
  trcPreview->setObjectName("trcPreview");
  trcPreview->setFixedWidth(370);
  trcPreview->setTickPosition(QSlider::TicksBelow);
  trcPreview->setAccessibleName("Position");
  lblPTS = new QLabel(this);
  lblPTS->setObjectName("lblPTS");
  QStyle* look = style();
  imgbtnPlay = ImageButton("imgbtnPlay", look->standardIcon(QStyle::SP_MediaPlay), "Play", this);
  imgbtnpause =
      ImageButton("imgbtnpause", look->standardIcon(QStyle::SP_MediaPause), "Pause", this);
  imgLeft = ImageButton("imgLeft", look->standardIcon(QStyle::SP_MediaSeekBackward),
                        "One frame back", this);
  imgRight = ImageButton("imgRight", look->standardIcon(QStyle::SP_MediaSeekForward),
                         "One frame on", this);
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(500);

  auto* controls = new QHBoxLayout;
  controls->addWidget(Caption(timeCaption, trcPreview, this));
  controls->addWidget(lblPTS, 1);
  for (QToolButton* button : {imgLeft, imgbtnPlay, imgbtnpause, imgRight})
    controls->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(imgPreview);
  layout->addWidget(trcPreview);
  layout->addLayout(controls);
  SetTabOrder({trcPreview, imgLeft, imgbtnPlay, imgbtnpause, imgRight});

  connect(trcPreview, &QSlider::valueChanged, this, [this] { Guarded([this] { ShowFrame(); }); });
  connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Tick(); }); });
  connect(imgbtnPlay, &QToolButton::clicked, this, [this] { Guarded([this] { PlayClick(); }); });
  connect(imgbtnpause, &QToolButton::clicked, this, [this] { stopped_ = true; });
  connect(imgLeft, &QToolButton::clicked, this, [this] { Guarded([this] { StepClick(-1); }); });
  connect(imgRight, &QToolButton::clicked, this, [this] { Guarded([this] { StepClick(1); }); });
}

bool TClipPreview::Open(TAVProbe& probe, const std::string& file) {
  Timer1->stop();
  stopped_ = true;
  probe_ = nullptr;
  drawn_ = {};
  sourceWidth_ = sourceHeight_ = 0;
  imgPreview->Clear();
  lblPTS->clear();
  file_ = file;
  if (!probe.Open(file)) return false;
  probe_ = &probe;
  videoStream_ = probe.FirstVideo;
  TAVFormatInfo info;
  probe.GetFormatInfo(info);
  durationUs_ = info.Duration > 0 ? info.Duration : 0;
  pixelAspect_ = 1.0;
  if (videoStream_ >= 0) {
    TAVVideoStreamInfo video;
    probe.GetVideoStreamInfo(videoStream_, video);
    if (video.FrameRateNum > 0 && video.FrameRateDen > 0)
      frameUs_ = int64_t{1000000} * video.FrameRateDen / video.FrameRateNum;
    pixelAspect_ = ShownPixelAspect(video);
  }
  RebuildSlider();
  if (!HasPicture()) return true;
  // The first picture, then playing from the start.
  probe.Seek(videoStream_, 10);
  ShowFrame();
  stopped_ = false;
  Timer1->start();
  return true;
}

void TClipPreview::Stop() {
  Timer1->stop();
  stopped_ = true;
}

int64_t TClipPreview::PositionMs() const {
  if (trcPreview->value() >= trcPreview->maximum() && trcPreview->maximum() > 0)
    return durationUs_ / 1000;
  return trcPreview->value() * plan_.TimeUnit / 1000;
}

void TClipPreview::RebuildSlider() {
  busy_ = true;
  plan_ = PlanClipSlider(durationUs_, trcPreview->width());
  // A still picture has no slider.
  const std::string format = probe_ ? LowerCase(probe_->FormatName()) : std::string();
  const bool still = format == "image2" || (probe_ && probe_->StillImage()) ||
                     (format.size() > 5 && format.compare(format.size() - 5, 5, "_pipe") == 0);
  trcPreview->setVisible(!still);
  trcPreview->setRange(0, still ? 0 : plan_.Positions);
  trcPreview->setTickInterval(std::max(plan_.TickFrequency, 1));
  trcPreview->setSingleStep(plan_.LineStep);
  trcPreview->setPageStep(plan_.PageStep);
  trcPreview->setValue(0);
  busy_ = false;
}

void TClipPreview::ShowFrame() {
  if (busy_ || !probe_) return;
  const int position = trcPreview->value();
  if (HasPicture()) {
    const bool end = trcPreview->maximum() > 0 && position >= trcPreview->maximum();
    if (trcPreview->maximum() > 0) {
      probe_->Seek(videoStream_, end ? durationUs_ : position * plan_.TimeUnit);
    }
    const TBitmap24& frame = probe_->DecodeNextFrame(videoStream_);
    if (!frame.Empty()) {
      sourceWidth_ = frame.Width();
      sourceHeight_ = frame.Height();
      drawn_ = FitClipPicture(static_cast<int>(std::lround(frame.Width() * pixelAspect_)),
                              frame.Height(), imgPreview->width(), imgPreview->height());
      imgPreview->DrawInto(ImageFromBitmap(frame),
                           QRect(drawn_.Left, drawn_.Top, drawn_.Width, drawn_.Height));
      emit FrameDrawn();
    }
  }
  lblPTS->setText(QString::fromStdString(SecondsText(position * plan_.TimeUnit / 1000)));
}

void TClipPreview::Tick() {
  const int maximum = trcPreview->maximum();
  if (maximum > 0 && trcPreview->value() >= maximum) {
    trcPreview->setValue(0);
    stopped_ = true;
    Timer1->stop();
    return;
  }
  if (stopped_) {
    Timer1->stop();
    return;
  }
  if (maximum <= 0) return;
  trcPreview->setValue(ClipTickPosition(trcPreview->value(), maximum, DurationMs()));
}

void TClipPreview::PlayClick() {
  if (stopped_ && probe_) {
    stopped_ = false;
    Timer1->start();
    return;
  }
  // Playing already: from the start again.
  if (probe_) Open(*probe_, file_);
}

void TClipPreview::StepClick(int direction) {
  stopped_ = true;
  const int step = std::max<int>(1, static_cast<int>(frameUs_ / plan_.TimeUnit));
  const int target = trcPreview->value() + direction * step;
  trcPreview->setValue(std::clamp(target, 0, std::max(trcPreview->maximum() - 1, 0)));
}

}  // namespace moskvid
