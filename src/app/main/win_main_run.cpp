// The main window's conversion run: Start, the component's events as they
// reach the window thread, Stop, Pause and Resume, and what happens at the
// end of the run. The run's phase and number live in TConversionRun.
#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <chrono>
#include <cstring>

#include "app/main/progress_rules.h"
#include "app/main/run_setup.h"
#include "app/main/win_main.h"
#include "app/settings/app_settings.h"
#include "app/settings/output_plan.h"
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
  TAppSettings settings(global_->ConfigFile());
  converter_->ThreadPriority = PriorityOf(settings.Priority());
  std::vector<TRunSource> sources;
  std::vector<std::string> files;
  for (int i = 0; i < lvFiles->Count(); ++i) {
    if (!lvFiles->Checked(i)) continue;
    TRunSource source;
    source.Position = i;
    source.Record = lvFiles->Entry(i)->Record;
    sources.push_back(source);
    files.push_back(source.Record.SourceFile);
  }
  if (sources.empty()) {
    services_.Message(this, "Warning", "Please select a file by clicking the check box!",
                      QMessageBox::Warning);
    return;
  }
  if (!LoadLibrariesOnce()) return;
  // The names the Destination column shows: the checked entries come first
  // there too. The folder is made (or its fallback warned of) here, before
  // anything runs.
  const int format = cbOutputFormat->currentIndex();
  const std::string folder = OutputFolderFor(settings, true, *warnings_);
  // What the checked files take against what their disks have free: the
  // user decides before anything is set up.
  if (!RoomForOutputs(sources, folder, format)) return;
  const std::vector<std::string> outputs =
      PlanOutputNames(files, folder, OutputExtension(*global_, format));
  for (size_t k = 0; k < sources.size(); ++k) {
    sources[k].Output = outputs[k];
    lvFiles->SetSubItem(sources[k].Position, fcProgress, "");
    lvFiles->Entry(sources[k].Position)->setToolTip(fcProgress, "");
  }

  // The set-up uses the component's probe, which the preview has open.
  PreviewStopped_ = true;
  PreviewProbe_ = nullptr;
  converter_->Probe().Close();
  poweringOff_ = false;  // the machine is still up after all
  const int run = run_.Prepare();
  eventRun_ = run;
  lastGrabNs_ = 0;
  {
    std::lock_guard<std::mutex> guard(grabbedLock_);
    GrabbedFrame_.SetSize(0, 0);
    ++grabbedGeneration_;
  }
  UpdateRunCommands();
  sleepLock_ = services_.InhibitSleep(
      QString("Converting %1 file%2").arg(sources.size()).arg(sources.size() == 1 ? "" : "s"));
  // Opening thousands of files takes a while: the progress window is up
  // meanwhile, and its Cancel ends the set-up.
  setUp_ =
      std::make_unique<TRunSetUp>(*converter_, std::move(sources), format, *global_, [this, run] {
        QMetaObject::invokeMethod(
            this, [this, run] { Guarded([&] { SetUpArrived(run); }); }, Qt::QueuedConnection);
      });
  if (!frmProgress_) frmProgress_ = new TfrmProgress(*this, this);
  frmProgress_->SetRun(nullptr, 1);
  frmProgress_->SetPreparing(static_cast<int>(outputs.size()));
  services_.ExecModal(*frmProgress_);
}

void TfrmMain::SetUpArrived(int run) {
  if (!setUp_ || !run_.Accepts(run)) return;
  const std::unique_ptr<TRunSetUp> setUp = std::move(setUp_);
  setUp->Wait();
  if (setUp->Error()) {
    // A bad stored setting: nothing runs, and the error handler says why
    // once the progress window is gone.
    converter_->ClearTasks();
    EndRun(run);
    QTimer::singleShot(0, this, [this, error = setUp->Error()] {
      Guarded([&] { std::rethrow_exception(error); });
    });
    return;
  }
  const TRunPlan& plan = setUp->Plan();
  for (const TRunFailure& failure : plan.Failed) {
    MarkFailed(failure.Position, failure.Reason);
    run_.SetUpFailed(SourceNameOf(failure.Position), failure.Reason);
  }
  const bool paused = run_.Paused();
  if (plan.TaskMap.empty() || !run_.Begin(plan.TaskMap, plan.Outputs)) {
    // Nothing to run, or cancelled meanwhile: the tasks made never start.
    converter_->ClearTasks();
    EndRun(run);
    return;
  }
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
  if (paused) converter_->PauseConvert();  // Pause was pressed during the set-up
  KeepListSoon();                          // the tasks started are converting now
  if (frmProgress_) {
    frmProgress_->SetRun(simultaneous_ > 1 ? &runProgress_ : nullptr, simultaneous_);
    frmProgress_->SetPreparing(0);
  }
}

void TfrmMain::ProgressArrived(int run, int index, int currentMs, int64_t size, int totalMs,
                               int pass) {
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
  figures.Pass = pass;
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
  if (position < 0 || run_.Ended(index)) return;
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
    run_.TaskEnded(index, toFailed, SourceNameOf(position), message.toStdString());
    MarkFailed(position, message.toStdString());
    if (entry && !written.isEmpty()) {
      entry->setToolTip(fcProgress, message + "\nWhat was converted is kept as " + written);
    }
  } else if (finished) {
    run_.TaskEnded(index, toConverted);
    lvFiles->SetSubItem(position, fcProgress, "100%");
    if (frmProgress_ && simultaneous_ <= 1) frmProgress_->TaskFinished(written.toStdString());
  } else {
    run_.TaskEnded(index, toStopped);
    lvFiles->SetSubItem(position, fcProgress, "Stopped");
    if (entry && !written.isEmpty())
      entry->setToolTip(fcProgress, "What was converted is in " + written);
  }
}

void TfrmMain::EndRun(int run) {
  TRunEndChoices choices;
  if (frmProgress_) {
    choices.OpenFolder = frmProgress_->ckOpen->isChecked();
    choices.ShutDown = frmProgress_->ckShutDown->isChecked();
  }
  const std::optional<TRunEnd> end = run_.End(run, choices);
  if (!end) return;
  sleepLock_.reset();
  converter_->ClearTasks();
  UpdateRunCommands();
  if (frmProgress_) frmProgress_->CloseAtEnd();
  RefreshDestinations();  // the outputs exist now: the next names move on
  // Someone who looks elsewhere learns from the desktop that it is done.
  const QWidget* active = QApplication::activeWindow();
  while (active && active != this)
    active = active->parentWidget();
  if (!active && !end->Cancelled) {
    services_.Notify(QString::fromStdString(global_->AppTitle()) + ": conversion finished",
                     QString::fromStdString(RunTallyText(end->Tally)));
  }
  // The rest once the list file holds the run's end (a machine powered off
  // must find it there), and outside this event: a box opened here would
  // hold whatever the window still has queued.
  poweringOff_ = end->ShutDown;
  KeepListThen([this, actions = *end] { Guarded([&] { FinishRun(actions); }); });
}

void TfrmMain::FinishRun(const TRunEnd& end) {
  if (end.OpenFolder) btnOpenClick();
  // Powered off first: a message nobody is there to close must not hold it.
  if (end.ShutDown) ShutDownComputer();
  if (!end.Message.empty()) {
    services_.Message(this, QString::fromStdString(global_->AppTitle()),
                      QString::fromStdString(end.Message), QMessageBox::Warning);
  }
}

void TfrmMain::MarkFailed(int position, const std::string& reason) {
  TFileItem* entry = lvFiles->Entry(position);
  if (!entry) return;
  entry->setText(fcProgress, "Failed");
  entry->setToolTip(fcProgress, QString::fromStdString(reason));
  AppendLog(SourceNameOf(position) + ": " + reason);
}

std::string TfrmMain::SourceNameOf(int position) const {
  const TFileItem* entry = lvFiles->Entry(position);
  return entry ? FileNameOf(entry->Record.SourceFile).toStdString() : std::string();
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
    // The session goes on after all.
    poweringOff_ = false;
    KeepListSoon();
    services_.Message(this, QString::fromStdString(global_->AppTitle()),
                      "The computer could not be shut down: " + error, QMessageBox::Warning);
  }
}

void TfrmMain::btnStopClick() {
  if (!run_.Commands(lvFiles->Count()).Stop) return;
  run_.Stop();
  if (setUp_) setUp_->Cancel();
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
