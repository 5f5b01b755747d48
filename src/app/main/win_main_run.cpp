// The main window's conversion run: Start, the component's events as they
// reach the window thread, Stop, Pause and Resume, and what happens at the
// end of the run. The run's phase and number live in TConversionRun.
#include <QApplication>
#include <QFileInfo>
#include <chrono>
#include <cstring>

#include "app/main/progress_rules.h"
#include "app/main/run_builder.h"
#include "app/main/win_main.h"
#include "app/settings/app_settings.h"
#include "app/settings/simultaneous.h"
#include "app/widgets/application.h"
#include "app/widgets/box_warnings.h"
#include "app/widgets/ui_services.h"

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

QString FileNameOf(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).fileName();
}

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void TfrmMain::btnStartClick() {
  // Every route (both buttons, the File menu, the popup) comes here: the
  // run's phase decides, not the control.
  if (!run_.Commands(lvFiles->Count()).Start) return;
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
  failureLines_.clear();
  for (const TRunSource& source : sources) {
    lvFiles->SetSubItem(source.Position, fcProgress, "");
    lvFiles->Entry(source.Position)->setToolTip(fcProgress, "");
  }

  TRunCallbacks callbacks;
  callbacks.ShowProbe = [this](TAVProbe& probe) { ShowProbe(probe); };
  const TRunPlan plan = BuildRunTasks(*converter_, sources, cbOutputFormat->currentIndex(),
                                      *global_, *warnings_, callbacks);
  PreviewStopped_ = true;
  PreviewProbe_ = nullptr;  // the component's probe is closed now
  QStringList reasons;
  for (const TRunFailure& failure : plan.Failed) {
    MarkFailed(failure.Position, failure.Reason);
    reasons << (plan.Failed.size() == 1 ? QString::fromStdString(failure.Reason)
                                        : QString::fromStdString(failureLines_.back()));
  }
  // Before the run starts: its end must not come while this box is open.
  if (!reasons.isEmpty()) {
    services_.Message(this, QString::fromStdString(global_->AppTitle()), reasons.join('\n'),
                      QMessageBox::Warning);
  }
  if (plan.TaskMap.empty()) return;

  eventRun_ = run_.Begin(plan.TaskMap, plan.Outputs, static_cast<int>(plan.Failed.size()));
  lastGrabNs_ = 0;
  {
    std::lock_guard<std::mutex> guard(grabbedLock_);
    GrabbedFrame_.SetSize(0, 0);
    ++grabbedGeneration_;
  }
  UpdateRunCommands();
  sleepLock_ = services_.InhibitSleep(
      QString("Converting %1 file%2").arg(run_.TaskCount()).arg(run_.TaskCount() == 1 ? "" : "s"));
  // One task at a time unless the preference asks for more; the component
  // shares the codec threads out among those that run at once.
  simultaneous_ =
      SimultaneousFor(ReadSimultaneous(TIniFile(global_->ConfigFile())), plan.Shapes, CoreCount());
  std::vector<std::string> names;
  for (int position : plan.TaskMap)
    names.push_back(FileNameOf(lvFiles->Entry(position)->Record.SourceFile).toStdString());
  runProgress_.Begin(std::move(names), plan.ExpectedMs);
  for (int i = 0; i < simultaneous_; ++i)
    runProgress_.StartNext(NowSeconds());
  converter_->StartConvert(simultaneous_);
  KeepListSoon();  // the tasks started are converting now
  if (!frmProgress_) frmProgress_ = new TfrmProgress(*this, this);
  frmProgress_->SetRun(simultaneous_ > 1 ? &runProgress_ : nullptr, simultaneous_);
  services_.ExecModal(*frmProgress_);
}

void TfrmMain::ProgressArrived(int run, int index, int currentMs, int64_t size, int totalMs) {
  const int position = run_.Position(index);
  if (!run_.Accepts(run) || position < 0) return;
  runProgress_.TaskProgress(index, currentMs, totalMs, -1, NowSeconds());
  const int percent = ProgressPercent(currentMs, totalMs);
  if (percent >= 0) {
    lvFiles->SetSubItem(position, fcProgress,
                        QString::fromStdString(PercentText(std::min(percent, 100))));
  }
  if (!frmProgress_) return;
  TProgressFigures figures;
  figures.Index = index;
  figures.TaskCount = run_.TaskCount();
  figures.CurrentMs = currentMs;
  figures.TotalMs = totalMs;
  figures.CurrentSize = size;
  TOutputOptions options;
  figures.OutputName =
      converter_->GetOutputOptions(index, options) ? options.FileName : run_.Output(index);
  frmProgress_->ShowProgress(figures);
}

void TfrmMain::TerminateArrived(int run, int index, bool finished, bool failed,
                                const QString& message, const QString& written) {
  if (!run_.Accepts(run)) return;  // a run that is over already
  if (index < 0) {
    EndRun(run);
    return;
  }
  const int position = run_.Position(index);
  if (position < 0) return;
  TFileItem* entry = lvFiles->Entry(position);
  // The name the output really got: a numbered one when its own was taken
  // meanwhile, the failed name, or none when nothing was kept.
  if (entry && !written.isEmpty() && !failed) {
    entry->Record.OutputFile = written.toStdString();
    entry->setText(fcDestination, QFileInfo(written).fileName());
    entry->setToolTip(fcDestination, written);
  }
  runProgress_.TaskEnded(index);
  runProgress_.StartNext(NowSeconds());  // the component starts the next one now
  if (frmProgress_ && simultaneous_ > 1) frmProgress_->TaskFinished();
  if (failed) {
    run_.Count(toFailed);
    MarkFailed(position, message.toStdString());
    if (entry && !written.isEmpty()) {
      entry->setToolTip(fcProgress, message + "\nWhat was converted is kept as " + written);
    }
  } else if (finished) {
    run_.Count(toConverted);
    lvFiles->SetSubItem(position, fcProgress, "100%");
    if (frmProgress_ && simultaneous_ <= 1) frmProgress_->TaskFinished(written.toStdString());
    // The run's last task to end, whichever it is when several run at once.
    const bool last =
        simultaneous_ > 1 ? runProgress_.Done() == runProgress_.Count() : run_.IsLast(index);
    if (last && frmProgress_ && run_.Phase() == rpRunning) {
      if (frmProgress_->ckOpen->isChecked()) btnOpenClick();
      if (frmProgress_->ckShutDown->isChecked()) ShutDownComputer();
    }
  } else {
    run_.Count(toStopped);
    lvFiles->SetSubItem(position, fcProgress, "Stopped");
    if (entry && !written.isEmpty())
      entry->setToolTip(fcProgress, "What was converted is in " + written);
  }
  if (failed) {
    services_.Message(this, QString::fromStdString(global_->AppTitle()), message,
                      QMessageBox::Warning);
  }
}

void TfrmMain::EndRun(int run) {
  if (!run_.End(run)) return;
  sleepLock_.reset();
  converter_->ClearTasks();
  UpdateRunCommands();
  if (frmProgress_) frmProgress_->CloseAtEnd();
  RefreshDestinations();  // the outputs exist now: the next names move on
  // Someone who looks elsewhere learns from the desktop that it is done.
  const QWidget* active = QApplication::activeWindow();
  while (active && active != this)
    active = active->parentWidget();
  if (!active) {
    services_.Notify(QString::fromStdString(global_->AppTitle()) + ": conversion finished",
                     QString::fromStdString(RunTallyText(run_.Tally())));
  }
}

void TfrmMain::SettleStoppedRun() {
  if (run_.Phase() == rpStopping) EndRun(run_.Number());
}

void TfrmMain::MarkFailed(int position, const std::string& reason) {
  TFileItem* entry = lvFiles->Entry(position);
  if (!entry) return;
  entry->setText(fcProgress, "Failed");
  const QString why = QString::fromStdString(reason);
  entry->setToolTip(fcProgress, why);
  failureLines_.push_back((FileNameOf(entry->Record.SourceFile) + ": " + why).toStdString());
  AppendLog(failureLines_.back());
}

void TfrmMain::UpdateRunCommands() {
  const TRunCommands commands = run_.Commands(lvFiles->Count());
  btnAdd->setEnabled(commands.Add);
  Edit1->setEnabled(commands.Add);
  for (QPushButton* start : {btnStart, btnStartBelow})
    start->setEnabled(commands.Start);
  Start1->setEnabled(commands.Start);
  btnRemove->setEnabled(commands.Remove);
  Remove1->setEnabled(commands.Remove);
  btnClear->setEnabled(commands.Clear);
  Clear1->setEnabled(commands.Clear);
  btnStop->setEnabled(commands.Stop);
  btnPause->setEnabled(commands.Pause);
  btnResume->setEnabled(commands.Resume);
}

void TfrmMain::ShutDownComputer() {
  QString error;
  if (!services_.PowerOff(error)) {
    services_.Message(this, QString::fromStdString(global_->AppTitle()),
                      "The computer could not be shut down: " + error, QMessageBox::Warning);
  }
}

void TfrmMain::btnStopClick() {
  if (run_.Phase() != rpRunning) return;
  run_.Stop();
  // Nothing converts any more.
  sleepLock_.reset();
  UpdateRunCommands();
  converter_->StopConvert();
}

void TfrmMain::btnPauseClick() {
  if (!run_.Commands(lvFiles->Count()).Pause) return;
  run_.SetPaused(true);
  UpdateRunCommands();
  if (frmProgress_) frmProgress_->SetPauseState(true);
  converter_->PauseConvert();
}

void TfrmMain::btnResumeClick() {
  if (!run_.Commands(lvFiles->Count()).Resume) return;
  run_.SetPaused(false);
  UpdateRunCommands();
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
  // As Stop: Start stays off until the stopped run has reported its end.
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
    full.Assign(GrabbedFrame_);
  }
  TBitmap24 small;
  BitmapFromImage(smallFrame, small);
  WriteSnapshotFiles(full, small);
}

}  // namespace moskvid
