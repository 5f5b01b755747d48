// The main window's preview player: a slide show of decoded frames driven
// by the 500 ms timer and the slider, and the snapshot pictures.
#include "app/main/preview_rules.h"
#include "app/main/snapshot_files.h"
#include "app/main/win_main.h"
#include "app/settings/app_settings.h"
#include "app/widgets/box_warnings.h"
#include "app/widgets/ui_services.h"
#include "engine/option_parsing.h"

namespace moskvid {

void TfrmMain::ShowProbe(TAVProbe& probe) {
  imgPreview->Clear();
  PreviewProbe_ = &probe;
  // Music shows its cover, as a music player does.
  pictureStream_ = probe.FirstVideo >= 0 ? probe.FirstVideo : probe.CoverStream;
  TAVVideoStreamInfo video;
  if (pictureStream_ >= 0) probe.GetVideoStreamInfo(pictureStream_, video);
  pictureAspect_ = ShownPixelAspect(video);
  audioStream_ = probe.FirstAudio;
  RebuildSlider(probe);
  ShowFrameAtPosition();
  ShowLogText(probe.InfoText());
}

void TfrmMain::RebuildSlider(TAVProbe& probe) {
  TAVFormatInfo info;
  probe.GetFormatInfo(info);
  previewDurationUs_ = info.Duration > 0 ? info.Duration : 0;
  const std::string format = LowerCase(probe.FormatName());
  const bool still = format == "image2" || probe.StillImage() ||
                     (format.size() > 5 && format.compare(format.size() - 5, 5, "_pipe") == 0);
  const TSliderPlan plan = PlanSlider(previewDurationUs_, trcPreview->width(), still);
  SliderUpdating_ = true;
  trcPreview->setRange(0, 0);
  trcPreview->setVisible(plan.Visible);
  TimeUnit_ = plan.TimeUnit;
  if (plan.Visible) {
    trcPreview->setTickInterval(std::max(plan.TickSpacing, 1));
    trcPreview->setRange(0, plan.Steps);
    trcPreview->setSingleStep(plan.LineSize);
    trcPreview->setPageStep(plan.PageSize);
    trcPreview->setValue(0);
    trcPreview->setTickPosition(QSlider::TicksBelow);
  }
  SliderUpdating_ = false;
}

void TfrmMain::ShowFrameAtPosition() {
  if (SliderUpdating_ || !PreviewProbe_) return;
  if (pictureStream_ >= 0 && pictureStream_ == PreviewProbe_->CoverStream &&
      PreviewProbe_->Loaded()) {
    // One picture kept with the header: nothing to seek.
    DrawPreviewFrame();
  } else if (PreviewProbe_->VideoCount > 0 && PreviewProbe_->Loaded()) {
    const int position = trcPreview->value();
    if (trcPreview->maximum() > 0 && position == trcPreview->maximum()) {
      // The end: its last picture, then the player stops.
      PreviewProbe_->Seek(pictureStream_, previewDurationUs_);
      DrawPreviewFrame();
      PreviewProbe_->Close();
      PreviewStopped_ = true;
      return;
    }
    PreviewProbe_->Seek(pictureStream_, int64_t{position} * TimeUnit_);
    DrawPreviewFrame();
  }
  lblPTS->setText(QString::fromStdString(PreviewTimeText(trcPreview->value(), TimeUnit_)));
}

void TfrmMain::DrawPreviewFrame() {
  const TBitmap24& frame = PreviewProbe_->DecodeNextFrame(pictureStream_);
  if (frame.Empty()) return;
  PreviewFrame_.Assign(frame);
  imgPreview->DrawFitted(ImageFromBitmap(PreviewFrame_), pictureAspect_);
}

bool TfrmMain::PlayEntry(int position) {
  TFileItem* entry = lvFiles->Entry(position);
  // While a run's tasks are set up, the component's probe is theirs.
  if (!entry || setUp_ || !LoadLibrariesOnce()) return false;
  // The stored path: the caption shows a name that is not UTF-8 with
  // replacement characters.
  const std::string& source = entry->Record.SourceFile;
  // A stopped run's tasks still wind down and report their ends: its list
  // stays as it is.
  if (run_.Phase() == rpIdle) {
    converter_->ClearTasks();
    TInputOptions input;
    input.FileName = source;
    converter_->AddInput(source, &input);
  }
  TAVProbe& probe = converter_->Probe();
  if (!probe.Open(source)) {
    AppendLog(probe.LastError());
    return false;
  }
  ShowProbe(probe);
  PreviewStopped_ = false;
  PreviewPaused_ = false;
  trcPreview->setEnabled(true);
  imgbtnStop->setEnabled(true);
  imgbtnPause->setEnabled(true);
  imgbtnSnap->setEnabled(true);
  imgbtnPlay->setEnabled(false);
  imgPreview1->setVisible(false);
  return true;
}

void TfrmMain::imgbtnPlayClick() {
  if (PreviewPaused_ && !PreviewStopped_) {
    PreviewPaused_ = false;
    imgbtnPause->setEnabled(true);
    imgbtnPlay->setEnabled(false);
    return;
  }
  if (lvFiles->Count() == 0) btnAddClick();
  if (lvFiles->Count() == 0) return;
  if (lvFiles->Selected() < 0) lvFiles->Select(0);
  PlayEntry(lvFiles->Selected());
}

void TfrmMain::imgbtnPauseClick() {
  PreviewPaused_ = true;
  imgbtnPlay->setEnabled(true);
  imgbtnStop->setEnabled(true);
  imgbtnSnap->setEnabled(true);
  imgbtnPause->setEnabled(false);
}

void TfrmMain::imgbtnStopClick() {
  if (PreviewStopped_) return;
  trcPreview->setValue(0);
  PreviewStopped_ = true;
  PreviewPaused_ = false;
  trcPreview->setEnabled(false);
  imgbtnPlay->setEnabled(true);
  imgbtnStop->setEnabled(false);
  imgbtnPause->setEnabled(false);
  imgbtnSnap->setEnabled(false);
  imgPreview1->setVisible(true);
}

void TfrmMain::Timer1Timer() {
  if (PreviewStopped_ || PreviewPaused_) {
    if (PreviewStopped_) {
      trcPreview->setValue(0);
      imgbtnPlay->setEnabled(true);
      imgbtnStop->setEnabled(false);
      imgbtnPause->setEnabled(false);
    }
    return;
  }
  if (trcPreview->maximum() <= 0) return;
  trcPreview->setValue(trcPreview->value() +
                       TickAdvance(trcPreview->maximum(), previewDurationUs_));
}

void TfrmMain::imgbtnSnapClick() {
  TBitmap24 small;
  BitmapFromImage(imgPreview->Picture(), small);
  WriteSnapshotFiles(PreviewFrame_, small);
}

void TfrmMain::WriteSnapshotFiles(const TBitmap24& full, const TBitmap24& small) {
  TAppSettings settings(global_->ConfigFile());
  TSnapshotChoice choice;
  choice.FullSize = settings.SnapFullSize();
  choice.SmallSize = settings.SnapSmallSize();
  choice.Bmp = settings.SnapBmp();
  choice.Jpg = settings.SnapJpg();
  choice.Quality = settings.JpgQuality();
  const std::string obstacle = SnapshotObstacle(full, choice);
  if (!obstacle.empty()) {
    services_.Message(this, "Warning", QString::fromStdString(obstacle), QMessageBox::Warning);
    return;
  }
  const std::string folder =
      EnsureFolder(settings.SnapshotFolder(), "SnapOutPutDir", settings.Ini(), *warnings_);
  WriteSnapshots(full, small, folder, choice);
}

}  // namespace moskvid
