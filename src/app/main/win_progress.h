// TfrmProgress: the modal window of a conversion run. It shows the frame
// being converted and the figures of the current task, and pauses, resumes
// or cancels the run through its host, the main window.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "app/main/progress_rules.h"
#include "app/settings/run_progress.h"
#include "app/widgets/picture_pane.h"

namespace moskvid {

class TProgressHost {
 public:
  virtual ~TProgressHost() = default;
  virtual void PauseRun() = 0;
  virtual void ResumeRun() = 0;
  virtual void CancelRun() = 0;
  // The newest frame of the run, when it changed since `generation`, copied
  // into `frame` (whose buffer is reused when it has the size already).
  virtual bool GrabbedFrameSince(uint64_t& generation, QImage& frame) = 0;
  // Saves the run's current frame and this window's picture as snapshots.
  virtual void SnapFromProgress(const QImage& smallFrame) = 0;
  virtual int SkinIndex() const = 0;
};

// The figures of one progress report, as the converter gives them.
struct TProgressFigures {
  int Index = 0;
  int TaskCount = 0;
  int CurrentMs = 0;
  int TotalMs = -1;
  int64_t CurrentSize = 0;
  int Pass = 0;  // of a task that encodes twice, else 0
  std::string OutputName;
};

class TfrmProgress : public QDialog {
  Q_OBJECT
 public:
  TfrmProgress(TProgressHost& host, QWidget* parent);

  // With several tasks at a time the window shows the whole run: its bar and
  // title, the tasks done and a line per running task. Null: one at a time.
  // `lines`: the most tasks that run at once, whose lines get room. The
  // window tells the run when it pauses and goes on.
  void SetRun(TRunProgress* run, int lines);
  // The run's `files` are being opened (0: its tasks start now).
  void SetPreparing(int files);
  void ShowProgress(const TProgressFigures& figures);
  // A task finished (one at a time), or any task ended (several at a time);
  // `written` is the file it went to ("" when unknown).
  void TaskFinished(const std::string& written = "");
  void SetPauseState(bool paused);
  // The run is over: the window closes without stopping anything.
  void CloseAtEnd();

  QCheckBox* ckShutDown;
  QCheckBox* ckOpen;
  QPushButton* btnPause;
  QPushButton* btnResume;
  QPushButton* btnCancel;
  QProgressBar* progbarFile;
  QLabel* lblTime;
  QLabel* lblLength;
  QLabel* lblSize;
  QLabel* lblProgress;
  QLabel* lblOutput;
  QLabel* lblSpeed;
  QLabel* lblTimeLeft;
  QLabel* lblTasks;  // one line per running task, shown with several
  TPicturePane* imgPreview;
  QToolButton* imgbtnSnap;
  QTimer* Timer1;

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;

 private:
  void btnPauseClick();
  void btnResumeClick();
  void btnCancelClick();
  void imgbtnSnapClick();
  void Timer1Timer();

  void ShowRun(const TProgressFigures& figures);
  void ShowRunState();

  TProgressHost& host_;
  TRunProgress* run_ = nullptr;
  TTaskClock clock_;
  int clockTask_ = -1;
  int preparing_ = 0;
  uint64_t drawnGeneration_ = 0;
  QImage grabbed_;  // the run's newest picture, its buffer reused
};

}  // namespace moskvid
