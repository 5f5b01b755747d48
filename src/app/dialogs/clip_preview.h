// The frame preview of the trim and crop dialogs: the picture, its slider,
// the time label, play and pause, the step buttons and the 500 ms timer,
// over a probe of the dialog's own.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include "app/dialogs/crop_rules.h"
#include "app/dialogs/trim_rules.h"
#include "app/widgets/picture_pane.h"
#include "component/av_probe.h"

namespace moskvid {

// The layout both clip dialogs share: the preview with the source's name and
// length on the left, `page` (titled `pageTitle`) on the right, the buttons
// at the bottom. Returns the pages.
QTabWidget* LayOutClipDialog(QDialog& dialog, QWidget* preview, QLabel* sourceName, QLabel* length,
                             QWidget* page, const QString& pageTitle, QPushButton* byDefault,
                             QPushButton* ok, QPushButton* cancel);

class TClipPreview : public QWidget {
  Q_OBJECT
 public:
  // `timeCaption` labels the time of the frame shown.
  TClipPreview(const QString& timeCaption, QWidget* parent);

  // Opens `file` in `probe` and shows its first picture; plays when it has
  // a picture stream. False when the file cannot be opened.
  bool Open(TAVProbe& probe, const std::string& file);
  void Stop();

  bool HasPicture() const { return probe_ && probe_->VideoCount > 0; }
  int64_t DurationMs() const { return durationUs_ / 1000; }
  // Where the frame was drawn in the picture area (in the picture's shown
  // proportions), and the source's size in stored pixels, upright.
  const TArea& Drawn() const { return drawn_; }
  int SourceWidth() const { return sourceWidth_; }
  int SourceHeight() const { return sourceHeight_; }
  // The time of the frame at the slider, in milliseconds.
  int64_t PositionMs() const;
  int64_t TimeUnit() const { return plan_.TimeUnit; }
  bool Playing() const { return !stopped_; }

  TPicturePane* imgPreview;
  QSlider* trcPreview;
  QLabel* lblPTS;
  QToolButton *imgbtnPlay, *imgbtnpause, *imgLeft, *imgRight;
  QTimer* Timer1;

 signals:
  // A frame was drawn (the crop dialog places its rectangle over it).
  void FrameDrawn();

 private:
  void RebuildSlider();
  void ShowFrame();
  void Tick();
  void PlayClick();
  void StepClick(int direction);

  TAVProbe* probe_ = nullptr;
  std::string file_;
  int videoStream_ = -1;
  int64_t durationUs_ = 0;
  double pixelAspect_ = 1.0;  // a stored pixel's width as shown
  int64_t frameUs_ = 40000;   // one frame's duration, for the step buttons
  TClipSlider plan_;
  bool stopped_ = true;
  bool busy_ = false;
  TArea drawn_;
  int sourceWidth_ = 0, sourceHeight_ = 0;
};

}  // namespace moskvid
