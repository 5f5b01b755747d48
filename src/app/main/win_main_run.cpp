// The main window's conversion run: Start, the component's events as they
// reach the window thread, the hidden Stop, Pause and Resume buttons, and
// what happens at the end of the run.
#include <QFileInfo>
#include <cstring>

#include "app/widgets/application.h"
#include "app/widgets/box_warnings.h"
#include "app/main/progress_rules.h"
#include "app/main/run_builder.h"
#include "app/widgets/ui_services.h"
#include "app/main/win_main.h"
#include "app/settings/app_settings.h"

namespace moskvid {

namespace {

TConvertPriority PriorityOf(int setting) {
  switch (setting) {
    case 0:
      return tpIdle;
    case 2:
      return tpLower;
    case 3:
      return tpLowest;
    default:
      return tpNormal;
  }
}

}  // namespace

void TfrmMain::btnStartClick() {
  converter_->SetLogLevel(llInfo);
  converter_->ThreadPriority = PriorityOf(TAppSettings(global_->ConfigFile()).Priority());
  std::vector<TRunSource> sources;
  for (int i = 0; i < lvFiles->Count(); ++i) {
    if (!lvFiles->Checked(i)) continue;
    TRunSource source;
    source.Position = i;
    source.Caption = lvFiles->Entry(i)->text(fcSource).toStdString();
    source.Record = lvFiles->Entry(i)->Record;
    sources.push_back(source);
  }
  if (sources.empty()) {
    services_.Message(this, "Warning", "Please select a file by clicking the check box!",
                      QMessageBox::Warning);
    return;
  }
  if (!LoadLibrariesOnce()) return;
  TaskMap_.clear();
  RunOutputs_.clear();
  for (const TRunSource& source : sources)
    lvFiles->SetSubItem(source.Position, fcProgress, "");

  TRunCallbacks callbacks;
  callbacks.ShowProbe = [this](TAVProbe& probe) { ShowProbe(probe); };
  callbacks.Log = [this](const std::string& line) { AppendLog(line); };
  const TRunPlan plan = BuildRunTasks(*converter_, sources, cbOutputFormat->currentIndex(),
                                      *global_, *warnings_, callbacks);
  for (int position : plan.Failed)
    lvFiles->SetSubItem(position, fcProgress, "Failed");
  PreviewStopped_ = true;
  PreviewProbe_ = nullptr;  // the component's probe is closed now
  if (plan.TaskMap.empty()) return;
  TaskMap_ = plan.TaskMap;
  RunOutputs_ = plan.Outputs;
  runTaskCount_ = static_cast<int>(TaskMap_.size());

  lastGrabNs_ = 0;
  {
    std::lock_guard<std::mutex> guard(grabbedLock_);
    GrabbedFrame_.SetSize(0, 0);
    ++grabbedGeneration_;
  }
  btnStop->setEnabled(true);
  btnPause->setEnabled(true);
  btnResume->setEnabled(false);
  converter_->StartConvert(1);
  if (!frmProgress_) frmProgress_ = new TfrmProgress(*this, this);
  services_.ExecModal(*frmProgress_);
}

void TfrmMain::ProgressArrived(int index, int currentMs, int64_t size, int totalMs) {
  if (index < 0 || index >= static_cast<int>(TaskMap_.size())) return;
  const int percent = ProgressPercent(currentMs, totalMs);
  if (percent >= 0) {
    lvFiles->SetSubItem(TaskMap_[static_cast<size_t>(index)], fcProgress,
                        QString::fromStdString(PercentText(std::min(percent, 100))));
  }
  if (!frmProgress_) return;
  TProgressFigures figures;
  figures.Index = index;
  figures.TaskCount = runTaskCount_;
  figures.CurrentMs = currentMs;
  figures.TotalMs = totalMs;
  figures.CurrentSize = size;
  TOutputOptions options;
  figures.OutputName = converter_->GetOutputOptions(index, options)
                           ? options.FileName
                           : RunOutputs_[static_cast<size_t>(index)];
  frmProgress_->ShowProgress(figures);
}

void TfrmMain::TerminateArrived(int index, bool finished, bool failed, const QString& message) {
  if (index < 0) {
    // The whole run is over.
    btnAdd->setEnabled(true);
    btnRemove->setEnabled(true);
    btnClear->setEnabled(true);
    btnStart->setEnabled(true);
    btnStop->setEnabled(false);
    btnPause->setEnabled(false);
    btnResume->setEnabled(false);
    converter_->ClearTasks();
    if (frmProgress_) frmProgress_->CloseAtEnd();
    return;
  }
  if (index >= static_cast<int>(TaskMap_.size())) return;
  const int position = TaskMap_[static_cast<size_t>(index)];
  if (finished && !failed) {
    lvFiles->SetSubItem(position, fcProgress, "100%");
    if (frmProgress_) frmProgress_->TaskFinished();
    if (index + 1 == runTaskCount_ && frmProgress_) {
      if (frmProgress_->ckOpen->isChecked()) btnOpenClick();
      if (frmProgress_->ckShutDown->isChecked()) ShutDownComputer();
    }
  } else {
    lvFiles->SetSubItem(position, fcProgress, failed ? "Failed" : "Stopped");
  }
  if (failed) {
    services_.Message(this, QString::fromStdString(global_->AppTitle()), message,
                      QMessageBox::Warning);
  }
}

void TfrmMain::ShutDownComputer() {
  QString error;
  if (!services_.PowerOff(error)) {
    services_.Message(this, QString::fromStdString(global_->AppTitle()),
                      "The computer could not be shut down: " + error, QMessageBox::Warning);
  }
}

void TfrmMain::btnStopClick() {
  btnStop->setEnabled(false);
  btnAdd->setEnabled(true);
  btnRemove->setEnabled(false);
  btnClear->setEnabled(false);
  btnStart->setEnabled(false);
  btnPause->setEnabled(false);
  btnResume->setEnabled(false);
  converter_->StopConvert();
}

void TfrmMain::btnPauseClick() {
  btnPause->setEnabled(false);
  btnResume->setEnabled(true);
  if (frmProgress_) frmProgress_->SetPauseState(true);
  converter_->PauseConvert();
}

void TfrmMain::btnResumeClick() {
  btnPause->setEnabled(true);
  btnResume->setEnabled(false);
  if (frmProgress_) frmProgress_->SetPauseState(false);
  converter_->ResumeConvert();
}

void TfrmMain::PauseRun() {
  btnPauseClick();
}

void TfrmMain::ResumeRun() {
  btnResumeClick();
}

void TfrmMain::CancelRun() {
  // As the hidden Stop button: Start stays off until the stopped run has
  // reported its end, so that no new run can meet the old one's last event.
  btnStopClick();
}

bool TfrmMain::GrabbedFrameSince(uint64_t& generation, QImage& frame) {
  std::lock_guard<std::mutex> guard(grabbedLock_);
  if (generation == grabbedGeneration_ || GrabbedFrame_.Empty()) return false;
  generation = grabbedGeneration_;
  // Into the caller's picture, whose buffer is reused from frame to frame.
  const int width = GrabbedFrame_.Width(), height = GrabbedFrame_.Height();
  if (frame.width() != width || frame.height() != height || frame.format() != QImage::Format_BGR888)
    frame = QImage(width, height, QImage::Format_BGR888);
  for (int y = 0; y < height; ++y) {
    std::memcpy(frame.scanLine(y), GrabbedFrame_.ScanLine(y),
                static_cast<size_t>(GrabbedFrame_.Stride()));
  }
  return true;
}

void TfrmMain::SnapFromProgress(const QImage& smallFrame) {
  TBitmap24 full;
  {
    std::lock_guard<std::mutex> guard(grabbedLock_);
    if (GrabbedFrame_.Empty()) return;
    full.Assign(GrabbedFrame_);
  }
  TBitmap24 small;
  BitmapFromImage(smallFrame, small);
  WriteSnapshotFiles(full, small);
}

}  // namespace moskvid
