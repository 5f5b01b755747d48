#include "app/main/win_progress.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>
#include <chrono>

#include "app/widgets/application.h"
#include "app/widgets/skins.h"
#include "app/widgets/widget_parts.h"

namespace moskvid {

namespace {

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QLabel* NamedLabel(const char* name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

}  // namespace

TfrmProgress::TfrmProgress(TProgressHost& host, QWidget* parent) : QDialog(parent), host_(host) {
  setObjectName("frmProgress");
  setWindowTitle("Converting");
  setModal(true);

  imgPreview = new TPicturePane(this);
  imgPreview->setObjectName("imgPreview");
  imgPreview->setFixedSize(320, 180);

  imgbtnSnap = ImageButton("imgbtnSnap", style()->standardIcon(QStyle::SP_DialogSaveButton),
                           "Save snapshot picture", this);
  imgbtnSnap->setIconSize(QSize(24, 24));

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  lblTime = NamedLabel("lblTime", "", this);
  lblLength = NamedLabel("lblLength", "", this);
  lblSize = NamedLabel("lblSize", "", this);
  lblProgress = NamedLabel("lblProgress", "", this);
  lblOutput = NamedLabel("lblOutput", "", this);
  lblSpeed = NamedLabel("lblSpeed", "", this);
  lblTimeLeft = NamedLabel("lblTimeLeft", "", this);
  const struct {
    const char* name;
    const char* caption;
    QLabel* value;
  } rows[] = {{"lbl1", "Current Time:", lblTime},  {"lbl2", "Length:", lblLength},
              {"lbl3", "File Size:", lblSize},     {"lbl4", "Progress:", lblProgress},
              {"lbl5", "Output File:", lblOutput}, {"lbl6", "Speed:", lblSpeed},
              {"lbl7", "Time Left:", lblTimeLeft}};
  int row = 0;
  for (const auto& entry : rows) {
    QLabel* caption = NamedLabel(entry.name, entry.caption, this);
    caption->setBuddy(entry.value);  // what a screen reader reads with the value
    grid->addWidget(caption, row, 0, Qt::AlignLeft);
    grid->addWidget(entry.value, row, 1);
    ++row;
  }
  grid->setColumnStretch(1, 1);
  lblTasks = NamedLabel("lblTasks", "", this);
  lblTasks->setAccessibleName("Running files");
  lblTasks->hide();

  progbarFile = new QProgressBar(this);
  progbarFile->setObjectName("progbarFile");
  progbarFile->setRange(0, 100);
  progbarFile->setTextVisible(true);

  ckShutDown = new QCheckBox("Shut down computer after conversion", this);
  ckShutDown->setObjectName("ckShutDown");
  ckOpen = new QCheckBox("Open the output folder after conversion", this);
  ckOpen->setObjectName("ckOpen");

  btnPause = new QPushButton("Pause", this);
  btnPause->setObjectName("btnPause");
  btnResume = new QPushButton("Resume", this);
  btnResume->setObjectName("btnResume");
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setAutoDefault(false);
  btnPause->setAutoDefault(false);
  btnResume->setAutoDefault(false);

  auto* pictureRow = new QHBoxLayout;
  pictureRow->addStretch();
  pictureRow->addWidget(imgPreview);
  pictureRow->addWidget(imgbtnSnap, 0, Qt::AlignBottom);
  pictureRow->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnPause);
  buttons->addWidget(btnResume);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(pictureRow);
  layout->addLayout(grid);
  layout->addWidget(lblTasks);
  layout->addWidget(progbarFile);
  layout->addWidget(ckShutDown);
  layout->addWidget(ckOpen);
  layout->addStretch();
  layout->addLayout(buttons);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(100);
  connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
  connect(btnPause, &QPushButton::clicked, this, [this] { Guarded([this] { btnPauseClick(); }); });
  connect(btnResume, &QPushButton::clicked, this,
          [this] { Guarded([this] { btnResumeClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this,
          [this] { Guarded([this] { btnCancelClick(); }); });
  connect(imgbtnSnap, &QToolButton::clicked, this,
          [this] { Guarded([this] { imgbtnSnapClick(); }); });
  // The designed size, or more when the fields need it.
  KeepDesignedSize(*this, {420, 460});
}

void TfrmProgress::SetRun(TRunProgress* run, int lines) {
  run_ = run;
  lblTasks->setVisible(run_ != nullptr);
  lblTasks->setMinimumHeight(run_ ? lblTasks->fontMetrics().lineSpacing() * lines : 0);
  // The designed size, grown by the task lines when there are any.
  KeepDesignedSize(*this, {420, 460});
}

void TfrmProgress::SetPreparing(int files) {
  preparing_ = files;
  if (files > 0) {
    lblOutput->setText(QString("Opening %1 file%2...").arg(files).arg(files == 1 ? "" : "s"));
    return;
  }
  // The tasks start now: the clock measures their conversion only.
  lblOutput->clear();
  clockTask_ = 0;
  clock_.Start(NowSeconds());
}

void TfrmProgress::showEvent(QShowEvent* event) {
  ApplySkin(*this, host_.SkinIndex());
  for (QLabel* label : {lblTime, lblLength, lblSize, lblProgress, lblOutput, lblSpeed, lblTimeLeft})
    label->clear();
  lblOutput->setToolTip("");
  lblTasks->clear();
  setWindowTitle("Converting");
  SetPreparing(preparing_);
  // The window is made once and shown for every run: a shutdown chosen for
  // one run must not power the machine off after the next.
  ckShutDown->setChecked(false);
  ckOpen->setChecked(true);
  SetPauseState(false);
  imgPreview->Clear();
  progbarFile->setRange(0, 100);
  progbarFile->setValue(0);
  clockTask_ = 0;
  clock_.Start(NowSeconds());
  drawnGeneration_ = 0;
  Timer1->start();
  QDialog::showEvent(event);
}

void TfrmProgress::ShowProgress(const TProgressFigures& figures) {
  if (run_) {
    ShowRun(figures);
    return;
  }
  if (figures.Index != clockTask_) {
    clockTask_ = figures.Index;
    clock_.Start(NowSeconds());
  }
  const int percent = ProgressPercent(figures.CurrentMs, figures.TotalMs);
  clock_.Update(percent, figures.CurrentMs, NowSeconds());
  if (percent >= 0) {
    progbarFile->setValue(std::min(percent, 100));
    setWindowTitle(QString::fromStdString(PercentText(std::min(percent, 100))) + " - Converting");
  }
  lblTime->setText(QString::fromStdString(SecondsText(figures.CurrentMs)));
  lblLength->setText(figures.TotalMs >= 0 ? QString::fromStdString(SecondsText(figures.TotalMs))
                                          : QString());
  lblSize->setText(QString::fromStdString(OutputSizeText(figures.CurrentSize, figures.Pass)));
  lblProgress->setText(QString::fromStdString(TaskCounterText(figures.Index, figures.TaskCount)));
  lblOutput->setText(QString::fromStdString(OutputNameText(figures.OutputName)));
  lblOutput->setToolTip(QString::fromStdString(figures.OutputName));
  lblSpeed->setText(QString::fromStdString(clock_.SpeedText()));
  lblTimeLeft->setText(QString::fromStdString(clock_.TimeLeftText()));
}

void TfrmProgress::ShowRunState() {
  const int percent = run_->RunPercent();
  progbarFile->setValue(percent);
  setWindowTitle(QString::fromStdString(PercentText(percent)) + " - Converting");
  lblProgress->setText(QString::fromStdString(run_->DoneText()));
  QStringList lines;
  for (int task : run_->Running())
    lines << QString::fromStdString(run_->TaskLine(task));
  lblTasks->setText(lines.join('\n'));
  lblTimeLeft->setText(QString::fromStdString(TimeLeftText(run_->TimeLeftSeconds())));
}

void TfrmProgress::ShowRun(const TProgressFigures& figures) {
  // The bar, the title and the time left are the run's; the other figures
  // those of the task that reported last.
  ShowRunState();
  lblTime->setText(QString::fromStdString(SecondsText(figures.CurrentMs)));
  lblLength->setText(figures.TotalMs >= 0 ? QString::fromStdString(SecondsText(figures.TotalMs))
                                          : QString());
  lblSize->setText(QString::fromStdString(OutputSizeText(figures.CurrentSize, figures.Pass)));
  lblOutput->setText(QString::fromStdString(OutputNameText(figures.OutputName)));
  lblOutput->setToolTip(QString::fromStdString(figures.OutputName));
  const double speed = run_->TaskSpeed(figures.Index);
  lblSpeed->setText(speed > 0 ? QString::number(speed, 'f', 1) + "x" : QString());
}

void TfrmProgress::TaskFinished(const std::string& written) {
  if (run_) {
    // A task's end moves the run on; the lines lose the ended one.
    ShowRunState();
    return;
  }
  progbarFile->setValue(100);
  // The name it really got: another one when its own was taken meanwhile.
  if (!written.empty()) {
    lblOutput->setText(QString::fromStdString(OutputNameText(written)));
    lblOutput->setToolTip(QString::fromStdString(written));
  }
  lblTimeLeft->clear();
  // The next task starts now.
  ++clockTask_;
  clock_.Start(NowSeconds());
}

void TfrmProgress::SetPauseState(bool paused) {
  btnPause->setEnabled(!paused);
  btnResume->setEnabled(paused);
  if (run_) run_->SetPaused(paused, NowSeconds());
}

void TfrmProgress::CloseAtEnd() {
  Timer1->stop();
  if (isVisible()) done(QDialog::Accepted);
}

void TfrmProgress::btnPauseClick() {
  SetPauseState(true);
  host_.PauseRun();
}

void TfrmProgress::btnResumeClick() {
  SetPauseState(false);
  host_.ResumeRun();
}

void TfrmProgress::btnCancelClick() {
  reject();
}

void TfrmProgress::reject() {
  // Cancel, Escape and the window's close button all end the run.
  Timer1->stop();
  host_.CancelRun();
  QDialog::reject();
}

void TfrmProgress::imgbtnSnapClick() {
  host_.SnapFromProgress(imgPreview->Picture());
}

void TfrmProgress::Timer1Timer() {
  if (host_.GrabbedFrameSince(drawnGeneration_, grabbed_)) imgPreview->DrawFitted(grabbed_);
}

}  // namespace moskvid
