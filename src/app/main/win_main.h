// TfrmMain: the main window. It owns the file list with the entries'
// records, the converter component, the preview player and the run with its
// progress window. The rules it follows live in toolkit-free files beside it
// (list_rules, preview_rules, progress_rules, run_builder, file_adder,
// conversion_run). It grows from its designed size, with a splitter between
// the list and the preview, and keeps its place in the configuration file.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "app/main/conversion_run.h"
#include "app/main/files_list_view.h"
#include "app/main/list_rules.h"
#include "app/main/run_builder.h"
#include "app/main/win_progress.h"
#include "app/settings/global_object.h"
#include "app/settings/run_progress.h"
#include "app/widgets/picture_pane.h"
#include "component/cc_av_converter.h"

namespace moskvid {

class TUiServices;
class TSleepLock;
class TfrmAbout;
class TfrmSettings;
class TfrmFileInfo;
class TfrmWaterMark;
class TfrmPreference;
class TfmDirectory;
class TfrmTrim;
class TfrmCrop;
class TBoxWarnings;
class TAddWorker;
class TListKeeper;
class TRunSetUp;

class TfrmMain : public QMainWindow, public TProgressHost {
  Q_OBJECT
 public:
  explicit TfrmMain(TUiServices& services, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Files and folders named on the command line or dropped on the list: a
  // folder stands for the media files under it. Added as Add adds the files
  // chosen in its dialog, on a thread of their own.
  void AddFiles(const QStringList& paths);
  // True while files are being added.
  bool Adding() const { return adder_ != nullptr; }

  int SkinIndex() const override { return skin_; }
  TGlobalObject& Global() { return *global_; }
  TCCAVConverter& Converter() { return *converter_; }
  const std::vector<int>& TaskMap() const { return run_.TaskMap(); }
  const TConversionRun& Run() const { return run_; }
  TfrmProgress* ProgressWindow() const { return frmProgress_; }
  TfrmSettings* SettingsWindow() const { return frmSettings_; }
  TfrmFileInfo* FileInfoWindow() const { return frmFileInfo_; }
  // The folder chooser, made on first use.
  TfmDirectory& FolderChooser();
  bool PreviewStopped() const { return PreviewStopped_; }
  bool PreviewPaused() const { return PreviewPaused_; }
  int64_t TimeUnit() const { return TimeUnit_; }
  const TBitmap24& PreviewFrame() const { return PreviewFrame_; }

  // Controls, named as their object names.
  // The smallest size, the designed one.
  static constexpr int kMinimumWidth = 786, kMinimumHeight = 534;

  TFilesListView* lvFiles;
  QSplitter* splFiles;  // between the list and the preview
  QPushButton *btnAdd, *btnRemove, *btnClear, *btnStart, *btnStartBelow, *btnSettings, *btnOptions,
      *btnExit, *btnOpen, *btnBrows;
  QPushButton *btnStop, *btnPause, *btnResume;  // hidden, kept in step with the run
  QComboBox* cbOutputFormat;
  QLineEdit* edDirectory;
  QCheckBox* ckSameFolder;  // "Same folder as the source"
  QLabel *lblOutputFormat, *lblOutputFolder;
  QLabel* lblChecked;  // under the list: the checked files and their estimated size
  QPlainTextEdit* mmoLog;
  TPicturePane* imgPreview;
  QLabel* imgPreview1;
  QSlider* trcPreview;
  QLabel* lblPTS;
  QToolButton *imgbtnPlay, *imgbtnPause, *imgbtnStop, *imgbtnSnap;
  QTimer* Timer1;
  QMenu *mnuFile, *mnuEdit, *mnuTools, *mnuHelp, *mnuSkin, *pmFiles;
  QMenu* mnuSoundTrack;  // in pmFiles: the current entry's sound track
  QAction *Edit1, *AddFolder1, *Remove1, *Clear1, *Start1, *Settings1, *Exit2;
  QAction *Crop1, *Trim1, *WaterMark1, *CheckAll1, *UncheckAll1, *ReserveCheck1, *Check1, *Uncheck1;
  QAction *Options1, *Help2, *WebSite1, *SupportandContact1, *About;
  QAction *AddFiles1, *AddFolder2, *Remove2, *Clear2, *Start2, *Crop2, *Trim2, *WaterMark2,
      *Infomation1;
  QProgressDialog* frmAdding = nullptr;  // shown when adding takes more than a second
  std::vector<QAction*> SkinEntries;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Keeps the placeholder picture over the preview, at its size.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Construction (win_main.cpp).
  void BuildControls();
  void BuildMenus();
  QWidget* BuildPreviewGroup();
  void WireEvents();
  void DetachEvents();
  // Ends what runs beside the window (adding, a run's set-up, the run),
  // once, at close or when the window goes without one.
  void Shutdown();
  void FirstShow();
  void RestorePlacement();
  void KeepPlacement();
  void ShowPlaceholder();
  void ApplyCurrentSkin();
  void SkinClick(int skin);
  void SkinMenuPopup();
  void AboutClick();
  void btnSettingsClick();
  void Infomation1Click();
  void WaterMarkClick();
  void Options1Click();
  void TrimClick();
  void CropClick();
  void btnBrowsClick();
  QString ChooseFolder();
  std::string SelectedSource() const;
  void OpenPage(const QString& address);
  void ErrorHandler(std::exception_ptr error);
  void cbOutputFormatChange(int index);
  void edDirectoryChange(const QString& text);
  void ckSameFolderClick(bool beside);
  void btnOpenClick();

  // The file list (win_main_files.cpp).
  bool LoadLibrariesOnce();
  void btnAddClick();
  void AddFolderClick();
  void AddEntry(const TlvFilesRecord& record);
  // Entries made for the list in one insert (the first switches it to
  // report style), with the first entry selected.
  void AddEntries(const QList<QTreeWidgetItem*>& entries);
  static TFileItem* NewEntry(const TlvFilesRecord& record);
  void btnRemoveClick();
  void btnClearClick();
  void CheckCommand(TCheckCommand command);
  void EditMenuPopup();
  void PopupMenuPopup();
  // The Sound Track menu for the current entry, and a choice made in it.
  void SoundTrackMenuPopup();
  void ChooseSoundTrack(const std::string& source, int track);
  void lvFilesPopup(const QPoint& globalPosition);
  void lvFilesDblClick();
  void AppendLog(const std::string& text);
  // The log's text after a probe replaced it: that text, then the reasons
  // the last run's entries failed.
  void ShowLogText(const std::string& text);
  // The Destination column and the records' output names: what Start
  // would write now.
  void RefreshDestinations();
  // The Size column and the checked total under the list, for the format
  // chosen now.
  void RefreshSizes();
  // Whether Start goes on: yes unless the outputs of `sources` in `folder`
  // ("" for each source's own) overfill a file system and the user says no.
  bool RoomForOutputs(const std::vector<TRunSource>& sources, const std::string& folder,
                      int format);

  // Adding on the adder's thread (win_main_adding.cpp): the window takes
  // what is probed as it comes, shows a progress dialog after a second, and
  // can cancel.
  void AddPaths(const std::vector<std::string>& paths, bool expandFolders);
  void TakeAdded();
  void FinishAdding();

  // The kept file list (win_main_kept.cpp).
  // At the first show: the list the last session left, when it should come
  // back, and the parts left by conversions that did not end.
  void RestoreList();
  // Writes the list once the changes of this moment are done.
  void KeepListSoon();
  // Hands the list as it is now to the keeper's thread; at close waits
  // until the file holds it, the one wait the window makes.
  void KeepList(bool closing);
  // Writes the list as it is now, then runs `after` on the window thread,
  // never before this returns, once the file holds it (or the write
  // failed, or no list is kept).
  void KeepListThen(std::function<void()> after);
  // Text `number` of the list is written, or failed for `reason`.
  void ListWritten(uint64_t number, const std::string& reason);

  // The preview (win_main_preview.cpp).
  void ShowProbe(TAVProbe& probe);
  void RebuildSlider(TAVProbe& probe);
  void ShowFrameAtPosition();
  void DrawPreviewFrame();
  bool PlayEntry(int position);
  void imgbtnPlayClick();
  void imgbtnPauseClick();
  void imgbtnStopClick();
  void imgbtnSnapClick();
  void Timer1Timer();
  void WriteSnapshotFiles(const TBitmap24& full, const TBitmap24& small);

  // The run (win_main_run.cpp).
  void btnStartClick();
  void btnStopClick();
  void btnPauseClick();
  void btnResumeClick();
  // The set-up of run `run` is done: its tasks start, or it ends.
  void SetUpArrived(int run);
  void ProgressArrived(int run, int index, int currentMs, int64_t size, int totalMs, int pass);
  void TerminateArrived(int run, int index, bool finished, bool failed, const QString& message,
                        const QString& written);
  // The end of run `run`: back to idle, the sleep lock released, the task
  // list cleared, the progress window closed, the desktop told; then, once
  // the list is written, FinishRun.
  void EndRun(int run);
  // What the end of a run does: the folder opened, the machine powered
  // off, one message naming every failure.
  void FinishRun(const TRunEnd& end);
  // The entry failed for `reason`: its cell, its tooltip, one log line.
  void MarkFailed(int position, const std::string& reason);
  // The file name of the entry's source.
  std::string SourceNameOf(int position) const;
  // Enables the commands as the run's phase allows.
  void UpdateRunCommands();
  void ShutDownComputer();
  void PauseRun() override;
  void ResumeRun() override;
  void CancelRun() override;
  bool GrabbedFrameSince(uint64_t& generation, QImage& frame) override;
  void SnapFromProgress(const QImage& smallFrame) override;

  TUiServices& services_;
  std::unique_ptr<TGlobalObject> global_;
  std::unique_ptr<TBoxWarnings> warnings_;
  std::unique_ptr<TCCAVConverter> converter_;
  TfrmProgress* frmProgress_ = nullptr;
  // The run's tasks as the window sees them (window thread only), and how
  // many convert at the same time.
  TRunProgress runProgress_;
  int simultaneous_ = 1;
  TfrmAbout* frmAbout_ = nullptr;
  TfrmSettings* frmSettings_ = nullptr;
  TfrmFileInfo* frmFileInfo_ = nullptr;
  TfrmWaterMark* frmWaterMark_ = nullptr;
  TfrmPreference* frmPreference_ = nullptr;
  TfmDirectory* fmDirectory_ = nullptr;
  TfrmTrim* frmTrim_ = nullptr;
  TfrmCrop* frmCrop_ = nullptr;
  int skin_ = 0;
  bool firstShown_ = false;
  bool librariesLoaded_ = false;
  bool shutDown_ = false;

  // Run state, on the window thread.
  TConversionRun run_;
  // The number the component's handlers give the events they raise: that of
  // the run whose tasks are in the list. Set before the run starts.
  std::atomic<int> eventRun_{0};
  std::unique_ptr<TSleepLock> sleepLock_;
  std::unique_ptr<TRunSetUp> setUp_;  // while the run's tasks are set up
  bool poweringOff_ = false;          // asked at the run's end; the list says closed
  bool refreshingNames_ = false;
  bool namesDue_ = false;  // a refresh of the names is queued
  bool sizesDue_ = false;  // a refresh of the sizes is queued

  // Adding, on the window thread.
  std::unique_ptr<TAddWorker> adder_;
  QTimer* addTimer_ = nullptr;
  QElapsedTimer addStarted_;
  QElapsedTimer addKept_;     // since the list file last took what was added
  std::string addExtension_;  // of the added files' outputs
  std::string addFolder_;     // where they go; empty: beside each source

  // The kept list, on the window thread.
  // Its writer's thread ends with it, before the window's object goes.
  std::unique_ptr<TListKeeper> keeper_;
  std::string keptText_;      // the text last handed to the writer
  uint64_t keptHanded_ = 0;   // its number
  uint64_t keptSettled_ = 0;  // the newest text written or failed
  std::string keptFailure_;   // why it could not be written, said once
  bool keepDue_ = false;
  // What waits for a text of the list to be on disk, by its number.
  std::vector<std::pair<uint64_t, std::function<void()>>> keptAfter_;

  // Preview state, on the window thread.
  TAVProbe* PreviewProbe_ = nullptr;
  int pictureStream_ = -1;
  double pictureAspect_ = 1.0;  // a stored pixel's width as shown
  int audioStream_ = -1;
  int64_t TimeUnit_ = 10;
  int64_t previewDurationUs_ = 0;
  bool PreviewStopped_ = true;
  bool PreviewPaused_ = false;
  bool SliderUpdating_ = false;
  TBitmap24 PreviewFrame_;

  // The last picture of the run, written by the picture hook on the task's
  // worker thread and read by the progress window. Guarded by grabbedLock_.
  std::mutex grabbedLock_;
  TBitmap24 GrabbedFrame_;
  uint64_t grabbedGeneration_ = 0;
  // When the hook last let a picture through (steady-clock nanoseconds);
  // read and written by the before-hook on the worker.
  std::atomic<int64_t> lastGrabNs_{0};
};

}  // namespace moskvid
