#include "app/main/win_main.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>
#include <chrono>

#include "app/main/add_worker.h"
#include "app/main/run_setup.h"
#include "app/settings/app_settings.h"
#include "app/settings/ini_file.h"
#include "app/settings/kept_list.h"
#include "app/settings/output_formats.h"
#include "app/settings/window_placement.h"
#include "app/widgets/application.h"
#include "app/widgets/box_warnings.h"
#include "app/widgets/error_rules.h"
#include "app/widgets/skins.h"
#include "app/widgets/ui_services.h"
#include "app/widgets/widget_parts.h"
#include "binding/install_paths.h"

namespace moskvid {

namespace {

QAction* NamedAction(const char* name, const QString& caption, QObject* parent) {
  auto* action = new QAction(caption, parent);
  action->setObjectName(name);
  return action;
}

}  // namespace

TfrmMain::TfrmMain(TUiServices& services, QWidget* parent)
    : QMainWindow(parent),
      services_(services),
      global_(std::make_unique<TGlobalObject>()),
      warnings_(std::make_unique<TBoxWarnings>(services, this)),
      converter_(std::make_unique<TCCAVConverter>()) {
  setObjectName("frmMain");
  setWindowTitle(QString::fromStdString(global_->Caption()));
  TApplication::SetErrorHandler([this](std::exception_ptr error) { ErrorHandler(error); });
  // A settings file that cannot be written is said once in the log, from
  // whichever thread wrote it.
  SetIniWriteFailureHandler([this](const std::string& file, const std::string& reason) {
    const std::string line = "The settings could not be saved in " + file + ": " + reason;
    QMetaObject::invokeMethod(
        this, [this, line] { AppendLog(line); }, Qt::QueuedConnection);
  });
  // The main window's own converter starts its workers below normal priority.
  converter_->ThreadPriority = tpLower;
  converter_->SetTimerService([this](int milliseconds, std::function<void()> callback) {
    QTimer::singleShot(milliseconds, this, [callback = std::move(callback)] { callback(); });
  });
  BuildControls();
  BuildMenus();
  WireEvents();
  UpdateRunCommands();
  const int stored = TAppSettings(global_->ConfigFile()).SkinIndex();
  if (stored >= 0 && stored < kSkinCount) skin_ = stored;
  ApplyCurrentSkin();
}

TfrmMain::~TfrmMain() {
  Shutdown();
  // Workers end before the window's members go away.
  converter_.reset();
  SetIniWriteFailureHandler(nullptr);
  TApplication::SetErrorHandler(nullptr);
}

void TfrmMain::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  // The threads that use the component end first: the adder's, the set-up's.
  adder_.reset();
  setUp_.reset();
  DetachEvents();
  converter_->StopConvert();
  Timer1->stop();
  PreviewFrame_.SetSize(0, 0);
  {
    std::lock_guard<std::mutex> guard(grabbedLock_);
    GrabbedFrame_.SetSize(0, 0);
  }
  run_.Stop();
  sleepLock_.reset();
}

QWidget* TfrmMain::BuildPreviewGroup() {
  auto* group = new QGroupBox("Fast preview", this);
  group->setObjectName("grpPreview");
  // The picture takes the room the window gives the preview.
  imgPreview = new TPicturePane(group);
  imgPreview->setObjectName("imgPreview");
  imgPreview->setMinimumSize(256, 192);
  imgPreview->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  imgPreview->installEventFilter(this);
  imgPreview1 = new QLabel(imgPreview);
  imgPreview1->setObjectName("imgPreview1");
  imgPreview1->setAlignment(Qt::AlignCenter);

  trcPreview = new QSlider(Qt::Horizontal, group);
  trcPreview->setObjectName("trcPreview");
  trcPreview->setAccessibleName("Position");
  trcPreview->setTickPosition(QSlider::TicksBelow);
  trcPreview->setRange(0, 0);
  trcPreview->setEnabled(false);
  lblPTS = new QLabel("Time:", group);
  lblPTS->setObjectName("lblPTS");
  lblPTS->setBuddy(trcPreview);  // the time of the slider's position

  QStyle* look = style();
  imgbtnPlay = ImageButton("imgbtnPlay", look->standardIcon(QStyle::SP_MediaPlay), "Play", group);
  imgbtnPause =
      ImageButton("imgbtnPause", look->standardIcon(QStyle::SP_MediaPause), "Pause", group);
  imgbtnStop = ImageButton("imgbtnStop", look->standardIcon(QStyle::SP_MediaStop), "Stop", group);
  imgbtnSnap =
      ImageButton("imgbtnSnap",
                  QIcon::fromTheme("camera-photo", look->standardIcon(QStyle::SP_DialogSaveButton)),
                  "Save snapshot picture.", group);
  for (QToolButton* button : {imgbtnPlay, imgbtnPause, imgbtnStop, imgbtnSnap})
    button->setIconSize(QSize(20, 20));

  auto* controls = new QHBoxLayout;
  controls->addWidget(lblPTS, 1);
  for (QToolButton* button : {imgbtnPlay, imgbtnPause, imgbtnStop, imgbtnSnap})
    controls->addWidget(button);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(imgPreview, 1);
  layout->addWidget(trcPreview);
  layout->addLayout(controls);
  return group;
}

void TfrmMain::BuildControls() {
  auto* central = new QWidget(this);
  setCentralWidget(central);

  auto* listSide = new QWidget(this);
  lvFiles = new TFilesListView(listSide);
  lvFiles->setAccessibleName("Files");
  lvFiles->SetEmptyPicture(QImage(QString::fromStdString(DataFile("skin/lvBack.bmp"))));
  btnAdd = NamedButton("btnAdd", "&Add", listSide);
  btnRemove = NamedButton("btnRemove", "Re&move", listSide);
  btnClear = NamedButton("btnClear", "&Clear", listSide);
  btnStart = NamedButton("btnStart", "&Start", listSide);
  btnStop = NamedButton("btnStop", "Stop", listSide);
  btnPause = NamedButton("btnPause", "Pause", listSide);
  btnResume = NamedButton("btnResume", "Resume", listSide);
  for (QPushButton* hidden : {btnStop, btnPause, btnResume})
    hidden->setVisible(false);

  lblChecked = new QLabel(listSide);
  lblChecked->setObjectName("lblChecked");
  lblChecked->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* listButtons = new QHBoxLayout;
  for (QPushButton* button : {btnAdd, btnRemove, btnClear, btnStart})
    listButtons->addWidget(button);
  listButtons->addStretch();
  for (QPushButton* button : {btnStop, btnPause, btnResume})
    listButtons->addWidget(button);
  auto* listColumn = new QVBoxLayout(listSide);
  listColumn->setContentsMargins(0, 0, 0, 0);
  listColumn->addWidget(lvFiles, 1);
  listColumn->addWidget(lblChecked);
  listColumn->addLayout(listButtons);

  // The list and the preview share the room the window has.
  splFiles = new QSplitter(Qt::Horizontal, central);
  splFiles->setObjectName("splFiles");
  splFiles->setChildrenCollapsible(false);
  splFiles->addWidget(listSide);
  splFiles->addWidget(BuildPreviewGroup());
  splFiles->setStretchFactor(0, 3);
  splFiles->setStretchFactor(1, 2);
  splFiles->setSizes({490, 280});

  cbOutputFormat = new QComboBox(central);
  cbOutputFormat->setObjectName("cbOutputFormat");
  btnSettings = NamedButton("btnSettings", "Sett&ings", central);
  edDirectory = new QLineEdit(central);
  edDirectory->setObjectName("edDirectory");
  edDirectory->setReadOnly(true);
  btnOpen = NamedButton("btnOpen", "Open", central);
  btnBrows = NamedButton("btnBrows", "Brows", central);
  ckSameFolder = NamedCheckBox("ckSameFolder", "Same folder as the s&ource", central);
  lblOutputFormat = new QLabel("Output Format:", central);
  lblOutputFormat->setBuddy(cbOutputFormat);
  lblOutputFolder = new QLabel("Output Folder:", central);
  lblOutputFolder->setBuddy(edDirectory);
  auto* rows = new QGridLayout;
  rows->addWidget(lblOutputFormat, 0, 0);
  rows->addWidget(cbOutputFormat, 0, 1);
  rows->addWidget(btnSettings, 0, 2);
  rows->addWidget(lblOutputFolder, 1, 0);
  rows->addWidget(edDirectory, 1, 1);
  auto* folderButtons = new QHBoxLayout;
  folderButtons->setSpacing(4);
  folderButtons->addWidget(btnOpen);
  folderButtons->addWidget(btnBrows);
  rows->addLayout(folderButtons, 1, 2);
  rows->addWidget(ckSameFolder, 2, 1);
  rows->setColumnStretch(1, 1);

  mmoLog = new QPlainTextEdit(central);
  mmoLog->setObjectName("mmoLog");
  mmoLog->setAccessibleName("Log");
  mmoLog->setReadOnly(true);
  mmoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  btnStartBelow = NamedButton("btnStartBelow", "Sta&rt", central);
  btnStartBelow->setMinimumHeight(48);
  QFont bold = btnStartBelow->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.2);
  btnStartBelow->setFont(bold);
  btnStartBelow->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  btnOptions = NamedButton("btnOptions", "Settings", central);
  btnExit = NamedButton("btnExit", "E&xit", central);
  auto* side = new QVBoxLayout;
  side->addWidget(btnStartBelow);
  side->addWidget(btnOptions);
  side->addStretch();
  side->addWidget(btnExit);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(mmoLog, 1);
  bottom->addLayout(side);

  auto* layout = new QVBoxLayout(central);
  layout->addWidget(splFiles, 3);
  layout->addLayout(rows);
  layout->addLayout(bottom, 2);
  SetTabOrder({lvFiles,        btnAdd,      btnRemove,     btnClear,   btnStart,
               trcPreview,     imgbtnPlay,  imgbtnPause,   imgbtnStop, imgbtnSnap,
               cbOutputFormat, btnSettings, edDirectory,   btnOpen,    btnBrows,
               ckSameFolder,   mmoLog,      btnStartBelow, btnOptions, btnExit});

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(500);
}

void TfrmMain::BuildMenus() {
  mnuFile = menuBar()->addMenu("&File");
  mnuFile->setObjectName("mnuFile");
  Edit1 = NamedAction("Edit1", "&Add", this);
  Edit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  AddFolder1 = NamedAction("AddFolder1", "Add &Folder", this);
  Remove1 = NamedAction("Remove1", "&Remove", this);
  Clear1 = NamedAction("Clear1", "&Clear", this);
  Start1 = NamedAction("Start1", "&Start", this);
  Settings1 = NamedAction("Settings1", "Se&ttings", this);
  Exit2 = NamedAction("Exit2", "&Exit", this);
  Exit2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  mnuFile->addActions({Edit1, AddFolder1, Remove1, Clear1, Start1});
  mnuFile->addSeparator();
  mnuFile->addAction(Settings1);
  mnuFile->addSeparator();
  mnuFile->addAction(Exit2);

  mnuEdit = menuBar()->addMenu("&Edit");
  mnuEdit->setObjectName("mnuEdit");
  Crop1 = NamedAction("Crop1", "&Crop", this);
  Trim1 = NamedAction("Trim1", "&Trim", this);
  WaterMark1 = NamedAction("WaterMark1", "&Water Mark", this);
  CheckAll1 = NamedAction("CheckAll1", "Check &All", this);
  UncheckAll1 = NamedAction("UncheckAll1", "&Uncheck All", this);
  ReserveCheck1 = NamedAction("ReserveCheck1", "&Reverse Check", this);
  Check1 = NamedAction("Check1", "C&heck", this);
  Uncheck1 = NamedAction("Uncheck1", "U&ncheck", this);
  mnuEdit->addActions({Crop1, Trim1, WaterMark1});
  mnuEdit->addSeparator();
  mnuEdit->addActions({CheckAll1, UncheckAll1, ReserveCheck1});
  mnuEdit->addSeparator();
  mnuEdit->addActions({Check1, Uncheck1});

  mnuTools = menuBar()->addMenu("&Tools");
  mnuTools->setObjectName("mnuTools");
  Options1 = NamedAction("Options1", "&Preference", this);
  mnuTools->addAction(Options1);
  mnuSkin = mnuTools->addMenu("&Skin");
  mnuSkin->setObjectName("Skin1");
  auto* skins = new QActionGroup(this);
  for (int skin = 0; skin < kSkinCount; ++skin) {
    QAction* entry = mnuSkin->addAction(SkinName(skin));
    entry->setObjectName(QString("Skin%1").arg(skin));
    entry->setCheckable(true);
    skins->addAction(entry);
    SkinEntries.push_back(entry);
  }

  mnuHelp = menuBar()->addMenu("&Help");
  mnuHelp->setObjectName("mnuHelp");
  Help2 = NamedAction("Help2", "&Help", this);
  Help2->setShortcut(Qt::Key_F1);
  WebSite1 = NamedAction("WebSite1", "&Web Site", this);
  SupportandContact1 = NamedAction("SupportandContact1", "&Support and Contact", this);
  About = NamedAction("About", "&About", this);
  mnuHelp->addActions({Help2, WebSite1, SupportandContact1});
  mnuHelp->addSeparator();
  mnuHelp->addAction(About);

  pmFiles = new QMenu(this);
  pmFiles->setObjectName("pmFiles");
  AddFiles1 = NamedAction("AddFiles1", "Add", this);
  AddFolder2 = NamedAction("AddFolder2", "Add &Folder", this);
  Remove2 = NamedAction("Remove2", "Remove", this);
  Clear2 = NamedAction("Clear2", "C&lear", this);
  Start2 = NamedAction("Start2", "&Start", this);
  Crop2 = NamedAction("Crop2", "&Crop", this);
  Trim2 = NamedAction("Trim2", "&Trim", this);
  WaterMark2 = NamedAction("WaterMark2", "&Water Mark", this);
  Infomation1 = NamedAction("Infomation1", "Video Infomation", this);
  pmFiles->addActions({AddFiles1, AddFolder2, Remove2, Clear2});
  pmFiles->addSeparator();
  pmFiles->addActions({Crop2, Trim2, WaterMark2, Infomation1});
  mnuSoundTrack = pmFiles->addMenu("S&ound Track");
  mnuSoundTrack->setObjectName("mnuSoundTrack");
  mnuSoundTrack->menuAction()->setObjectName("SoundTrack");
  pmFiles->addSeparator();
  pmFiles->addAction(Start2);
}

void TfrmMain::WireEvents() {
  auto on = [this](auto* sender, auto signal, void (TfrmMain::*handler)()) {
    connect(sender, signal, this,
            [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  };
  for (QPushButton* button : {btnAdd})
    on(button, &QPushButton::clicked, &TfrmMain::btnAddClick);
  on(btnRemove, &QPushButton::clicked, &TfrmMain::btnRemoveClick);
  on(btnClear, &QPushButton::clicked, &TfrmMain::btnClearClick);
  on(btnStart, &QPushButton::clicked, &TfrmMain::btnStartClick);
  on(btnStartBelow, &QPushButton::clicked, &TfrmMain::btnStartClick);
  on(btnOpen, &QPushButton::clicked, &TfrmMain::btnOpenClick);
  on(btnStop, &QPushButton::clicked, &TfrmMain::btnStopClick);
  on(btnPause, &QPushButton::clicked, &TfrmMain::btnPauseClick);
  on(btnResume, &QPushButton::clicked, &TfrmMain::btnResumeClick);
  connect(btnExit, &QPushButton::clicked, this, &QWidget::close);
  connect(Exit2, &QAction::triggered, this, &QWidget::close);
  for (QAction* add : {Edit1, AddFiles1})
    on(add, &QAction::triggered, &TfrmMain::btnAddClick);
  for (QAction* add : {AddFolder1, AddFolder2})
    on(add, &QAction::triggered, &TfrmMain::AddFolderClick);
  for (QAction* remove : {Remove1, Remove2})
    on(remove, &QAction::triggered, &TfrmMain::btnRemoveClick);
  for (QAction* clear : {Clear1, Clear2})
    on(clear, &QAction::triggered, &TfrmMain::btnClearClick);
  for (QAction* start : {Start1, Start2})
    on(start, &QAction::triggered, &TfrmMain::btnStartClick);
  const std::pair<QAction*, TCheckCommand> checks[] = {{CheckAll1, ccCheckAll},
                                                       {UncheckAll1, ccUncheckAll},
                                                       {ReserveCheck1, ccReverseCheck},
                                                       {Check1, ccCheck},
                                                       {Uncheck1, ccUncheck}};
  for (const auto& [action, command] : checks) {
    connect(action, &QAction::triggered, this,
            [this, command = command] { Guarded([&] { CheckCommand(command); }); });
  }
  on(mnuEdit, &QMenu::aboutToShow, &TfrmMain::EditMenuPopup);
  on(pmFiles, &QMenu::aboutToShow, &TfrmMain::PopupMenuPopup);
  on(mnuSkin, &QMenu::aboutToShow, &TfrmMain::SkinMenuPopup);
  for (int skin = 0; skin < kSkinCount; ++skin) {
    connect(SkinEntries[static_cast<size_t>(skin)], &QAction::triggered, this,
            [this, skin] { Guarded([&] { SkinClick(skin); }); });
  }
  on(About, &QAction::triggered, &TfrmMain::AboutClick);
  on(btnSettings, &QPushButton::clicked, &TfrmMain::btnSettingsClick);
  on(btnOptions, &QPushButton::clicked, &TfrmMain::btnSettingsClick);
  on(Settings1, &QAction::triggered, &TfrmMain::btnSettingsClick);
  on(Infomation1, &QAction::triggered, &TfrmMain::Infomation1Click);
  on(Options1, &QAction::triggered, &TfrmMain::Options1Click);
  for (QAction* trim : {Trim1, Trim2})
    on(trim, &QAction::triggered, &TfrmMain::TrimClick);
  for (QAction* crop : {Crop1, Crop2})
    on(crop, &QAction::triggered, &TfrmMain::CropClick);
  on(btnBrows, &QPushButton::clicked, &TfrmMain::btnBrowsClick);
  on(WaterMark1, &QAction::triggered, &TfrmMain::WaterMarkClick);
  on(WaterMark2, &QAction::triggered, &TfrmMain::WaterMarkClick);
  connect(Help2, &QAction::triggered, this, [this] {
    OpenPage(QUrl::fromLocalFile(QString::fromStdString(global_->HelpPage())).toString());
  });
  connect(WebSite1, &QAction::triggered, this,
          [this] { OpenPage(QString::fromStdString(global_->HomePage())); });
  connect(SupportandContact1, &QAction::triggered, this,
          [this] { OpenPage(QString::fromStdString(global_->HomePage()) + "support/"); });

  connect(lvFiles, &TFilesListView::PopupRequested, this,
          [this](const QPoint& at) { Guarded([&] { lvFilesPopup(at); }); });
  connect(lvFiles, &TFilesListView::DeleteRequested, this,
          [this] { Guarded([this] { btnRemoveClick(); }); });
  connect(lvFiles, &TFilesListView::FilesDropped, this,
          [this](const QStringList& paths) { Guarded([&] { AddFiles(paths); }); });
  connect(lvFiles, &QTreeWidget::itemDoubleClicked, this,
          [this] { Guarded([this] { lvFilesDblClick(); }); });
  connect(lvFiles, &TFilesListView::PlayRequested, this,
          [this] { Guarded([this] { lvFilesDblClick(); }); });
  // A check changes which names Start gives; Check All and the like change
  // many at once, and the names are planned again once for all of them.
  connect(lvFiles, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
    if (column == fcSize) return;  // an estimate, worked out from the rest
    KeepListSoon();                // a check, a trimmed length, a state
    if (column == fcTrimmedLength && !sizesDue_) {
      sizesDue_ = true;
      QTimer::singleShot(0, this, [this] {
        sizesDue_ = false;
        Guarded([this] { RefreshSizes(); });
      });
    }
    if (column != fcSource || refreshingNames_ || namesDue_) return;
    namesDue_ = true;
    QTimer::singleShot(0, this, [this] {
      namesDue_ = false;
      Guarded([this] { RefreshDestinations(); });
    });
  });
  connect(cbOutputFormat, &QComboBox::currentIndexChanged, this,
          [this](int index) { Guarded([&] { cbOutputFormatChange(index); }); });
  connect(edDirectory, &QLineEdit::textChanged, this,
          [this](const QString& text) { Guarded([&] { edDirectoryChange(text); }); });
  connect(ckSameFolder, &QCheckBox::clicked, this,
          [this](bool beside) { Guarded([&] { ckSameFolderClick(beside); }); });

  on(imgbtnPlay, &QToolButton::clicked, &TfrmMain::imgbtnPlayClick);
  on(imgbtnPause, &QToolButton::clicked, &TfrmMain::imgbtnPauseClick);
  on(imgbtnStop, &QToolButton::clicked, &TfrmMain::imgbtnStopClick);
  on(imgbtnSnap, &QToolButton::clicked, &TfrmMain::imgbtnSnapClick);
  connect(trcPreview, &QSlider::valueChanged, this,
          [this] { Guarded([this] { ShowFrameAtPosition(); }); });
  on(Timer1, &QTimer::timeout, &TfrmMain::Timer1Timer);

  // The component raises its events on the task's worker thread, holding its
  // lock: each handler only queues the work for this window's thread, in
  // the order raised, and never waits for it. Each event takes the number
  // of the run its task belongs to: a new run's tasks exist only after the
  // old run's are gone (Start clears the list first), so an event queued
  // by a run that is over is known as such when it arrives.
  converter_->OnProgress = [this](int index, int, int, int currentMs, float, float, int64_t size,
                                  int totalMs) {
    const int run = eventRun_.load();
    const int pass = converter_->TaskPass(index);  // the one reporting, asked on its thread
    QMetaObject::invokeMethod(
        this,
        [=, this] {
          Guarded([&] { ProgressArrived(run, index, currentMs, size, totalMs, pass); });
        },
        Qt::QueuedConnection);
  };
  converter_->OnTerminate = [this](int index, bool finished, bool failed,
                                   const std::string& message) {
    const int run = eventRun_.load();
    const QString text = QString::fromStdString(message);
    // Asked now, while the task is surely in the list.
    const QString written =
        index >= 0 ? QString::fromStdString(converter_->OutputWritten(index)) : QString();
    QMetaObject::invokeMethod(
        this,
        [=, this] {
          Guarded([&] { TerminateArrived(run, index, finished, failed, text, written); });
        },
        Qt::QueuedConnection);
  };
  // The progress window draws ten pictures a second at most: the others are
  // never turned into bitmaps.
  converter_->OnBeforeHook = [this](int, int64_t, THookAction& action) {
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    if (now - lastGrabNs_.load() >= 100'000'000) {
      lastGrabNs_ = now;
      action = haContinue;
    } else {
      action = haIgnore;
    }
  };
  converter_->OnCustomHook = [this](int, TBitmap24& bitmap, int, int64_t, bool& update, bool&) {
    // The picture is only looked at: converting it back would cost time and
    // colour precision for nothing. Since the engine then does not read the
    // bitmap again before it converts the next picture into it, its pixels
    // can be taken instead of copied.
    update = false;
    if (bitmap.Width() > 0 && bitmap.Height() > 0) {
      std::lock_guard<std::mutex> guard(grabbedLock_);
      GrabbedFrame_.Swap(bitmap);
      ++grabbedGeneration_;
    }
  };
}

void TfrmMain::DetachEvents() {
  converter_->DetachEvents();
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!firstShown_) {
    firstShown_ = true;
    Guarded([this] { FirstShow(); });
  }
}

void TfrmMain::FirstShow() {
  setMinimumSize(kMinimumWidth, kMinimumHeight);
  RestorePlacement();
  // Another screen may have another pixel density.
  if (QWindow* handle = windowHandle())
    connect(handle, &QWindow::screenChanged, this, [this] { ShowPlaceholder(); });
  UpdateRunCommands();
  imgbtnPlay->setEnabled(true);
  imgbtnPause->setEnabled(false);
  imgbtnStop->setEnabled(false);
  imgbtnSnap->setEnabled(false);
  PreviewFrame_.SetSize(0, 0);
  PreviewStopped_ = true;
  PreviewPaused_ = false;
  const TAppSettings settings(global_->ConfigFile());
  {
    const QSignalBlocker quiet(cbOutputFormat);
    cbOutputFormat->clear();
    for (int format = 0; format < kFormatCount; ++format)
      cbOutputFormat->addItem(OutputFormatText(format));
    cbOutputFormat->setMaxVisibleItems(cbOutputFormat->count());
    const int stored = settings.OutputFormat();
    cbOutputFormat->setCurrentIndex(stored >= 0 && stored < kFormatCount ? stored : 0);
  }
  {
    const QSignalBlocker quiet(edDirectory);
    edDirectory->setText(QString::fromStdString(settings.OutputFolder()));
  }
  ckSameFolder->setChecked(settings.OutputBesideSource());
  edDirectory->setEnabled(!ckSameFolder->isChecked());
  btnBrows->setEnabled(!ckSameFolder->isChecked());
  Timer1->start();
  lvFiles->SetListStyle(vsList);
  RestoreList();
}

void TfrmMain::ApplyCurrentSkin() {
  QApplication::setPalette(SkinPalette(skin_));
  ApplySkin(*this, skin_);
  lvFiles->SetSkin(skin_);
}

void TfrmMain::SkinMenuPopup() {
  const int stored = TAppSettings(global_->ConfigFile()).SkinIndex();
  for (int skin = 0; skin < kSkinCount; ++skin)
    SkinEntries[static_cast<size_t>(skin)]->setChecked(skin == stored);
}

void TfrmMain::SkinClick(int skin) {
  if (skin == skin_) {
    SkinEntries[static_cast<size_t>(skin)]->setChecked(true);
    return;
  }
  hide();
  skin_ = skin;
  ApplyCurrentSkin();
  for (int entry = 0; entry < kSkinCount; ++entry)
    SkinEntries[static_cast<size_t>(entry)]->setChecked(entry == skin);
  show();
  TAppSettings(global_->ConfigFile()).SetSkinIndex(skin);
}

void TfrmMain::ErrorHandler(std::exception_ptr error) {
  const TErrorBox box = ErrorBoxFor(error);
  if (box.Kind == ebNone) return;
  services_.Message(this, QString::fromStdString(global_->AppTitle()),
                    QString::fromStdString(box.Text),
                    box.Kind == ebExclamation ? QMessageBox::Warning : QMessageBox::Critical);
}

void TfrmMain::cbOutputFormatChange(int index) {
  if (index >= 0) TAppSettings(global_->ConfigFile()).SetOutputFormat(index);
  RefreshDestinations();
}

void TfrmMain::edDirectoryChange(const QString& text) {
  TAppSettings(global_->ConfigFile()).SetOutputFolder(text.toStdString());
  RefreshDestinations();
}

void TfrmMain::RestorePlacement() {
  const TWindowPlacement kept = ReadWindowPlacement(TIniFile(global_->ConfigFile()));
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect();
  const TPlace place = PlaceOnScreen(kept.Window, {area.x(), area.y(), area.width(), area.height()},
                                     kMinimumWidth, kMinimumHeight);
  setGeometry(place.Left, place.Top, place.Width, place.Height);
  if (kept.Splitter.size() == 2) splFiles->setSizes({kept.Splitter[0], kept.Splitter[1]});
  lvFiles->SetColumnWidths(kept.Columns);
  if (kept.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void TfrmMain::KeepPlacement() {
  TWindowPlacement placement;
  // The size it returns to when it is no longer maximised.
  const QRect normal = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
  placement.Window = {normal.x(), normal.y(), normal.width(), normal.height()};
  placement.Maximized = isMaximized();
  for (int size : splFiles->sizes())
    placement.Splitter.push_back(size);
  placement.Columns = lvFiles->ColumnWidths();
  TIniFile config(global_->ConfigFile());
  WriteWindowPlacement(config, placement);
}

void TfrmMain::ShowPlaceholder() {
  // At the screen's pixel density, so that it stays sharp at 200%.
  imgPreview1->setGeometry(imgPreview->rect());
  const QImage cover(QString::fromStdString(DataFile("skin/moskvidcover.jpg")));
  if (cover.isNull()) {
    imgPreview1->setText("No preview");
    return;
  }
  const qreal ratio = imgPreview->devicePixelRatioF();
  QImage scaled =
      cover.scaled(imgPreview->size() * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  scaled.setDevicePixelRatio(ratio);
  imgPreview1->setPixmap(QPixmap::fromImage(scaled));
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == imgPreview && event->type() == QEvent::Resize) ShowPlaceholder();
  return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  KeepPlacement();
  Shutdown();
  KeepList(true);
  event->accept();
}

}  // namespace moskvid
