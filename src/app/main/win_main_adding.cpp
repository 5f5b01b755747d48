// The main window adding files: the adder's thread opens them while the
// window goes on painting; what is ready joins the list a few times a
// second, a progress dialog shows after a second, and Cancel stops it.
#include <QProgressDialog>
#include <QTimer>
#include <set>

#include "app/main/add_worker.h"
#include "app/main/win_main.h"
#include "app/settings/app_settings.h"
#include "app/settings/job_builder.h"
#include "app/settings/output_plan.h"
#include "app/settings/output_formats.h"
#include "app/widgets/application.h"
#include "app/widgets/box_warnings.h"
#include "binding/media_loader.h"

namespace moskvid {

namespace {

constexpr int kTakeEveryMs = 50;
constexpr int kDialogAfterMs = 1000;
// While a long add goes on the list file takes the new entries this often:
// each write holds the whole list, so one per take would cost the window
// more than the adding itself.
constexpr int kKeepAddedEveryMs = 1000;

}  // namespace

void TfrmMain::AddPaths(const std::vector<std::string>& paths, bool expandFolders) {
  if (paths.empty() || !run_.Commands(lvFiles->Count()).Add) return;
  std::set<std::string> listed;
  for (int i = 0; i < lvFiles->Count(); ++i)
    listed.insert(lvFiles->Entry(i)->Record.SourceFile);
  if (!adder_) {
    adder_ = std::make_unique<TAddWorker>(binding::DefaultLibraryFolder());
    addStarted_.start();
    addKept_.start();
    // Read once, not for each of maybe thousands of files; the names are
    // planned again for the whole list when adding ends.
    addExtension_ = OutputExtension(*global_, cbOutputFormat->currentIndex());
    TAppSettings settings(global_->ConfigFile());
    addFolder_ = OutputFolderFor(settings, true, *warnings_);
    run_.SetAdding(true);
    UpdateRunCommands();
    if (!addTimer_) {
      addTimer_ = new QTimer(this);
      addTimer_->setInterval(kTakeEveryMs);
      connect(addTimer_, &QTimer::timeout, this, [this] { Guarded([&] { TakeAdded(); }); });
    }
    addTimer_->start();
  }
  adder_->Queue(paths, expandFolders, listed);
}

void TfrmMain::TakeAdded() {
  if (!adder_) return;
  const bool idle = adder_->Idle();  // asked first: nothing comes after it
  const std::vector<TProbedFile> taken = adder_->Take();
  if (!taken.empty()) {
    // One append to the log and one insert into the list for all that came.
    std::string log;
    bool logged = false;
    std::vector<const TProbedFile*> opened;
    std::vector<std::string> sources;
    for (const TProbedFile& probed : taken) {
      for (const std::string& line : probed.Log) {
        log += (logged ? "\n" : "") + line;
        logged = true;
      }
      if (!probed.Opened) continue;
      opened.push_back(&probed);
      sources.push_back(probed.Record.SourceFile);
    }
    const std::vector<std::string> outputs = PlanOutputNames(sources, addFolder_, addExtension_);
    QList<QTreeWidgetItem*> entries;
    for (size_t k = 0; k < opened.size(); ++k) {
      TlvFilesRecord record = opened[k]->Record;
      record.OutputFile = outputs[k];
      TFileItem* entry = NewEntry(record);
      entry->AudioTracks = opened[k]->AudioTracks;
      entries << entry;
    }
    if (logged) AppendLog(log);
    AddEntries(entries);
    if (addKept_.elapsed() >= kKeepAddedEveryMs) {
      addKept_.restart();
      KeepListSoon();
    }
  }
  if (idle) {
    FinishAdding();
    return;
  }
  int done = 0, total = 0;
  adder_->Counts(done, total);
  if (!frmAdding && addStarted_.elapsed() >= kDialogAfterMs) {
    frmAdding = new QProgressDialog("Adding files...", "Cancel", 0, total, this);
    frmAdding->setObjectName("frmAdding");
    frmAdding->setWindowTitle(QString::fromStdString(global_->AppTitle()));
    frmAdding->setWindowModality(Qt::WindowModal);
    frmAdding->setMinimumDuration(0);
    frmAdding->setAutoClose(false);
    frmAdding->setAutoReset(false);
    connect(frmAdding, &QProgressDialog::canceled, this, [this] {
      if (!adder_) return;
      adder_->Cancel();
      AppendLog("Adding cancelled; the files added so far stay in the list.");
    });
    frmAdding->show();
  }
  if (frmAdding) {
    frmAdding->setMaximum(std::max(total, 1));
    frmAdding->setValue(std::min(done, std::max(total, 1)));
    frmAdding->setLabelText(QString("Adding files... %1 of %2").arg(done).arg(total));
  }
}

void TfrmMain::FinishAdding() {
  addTimer_->stop();
  adder_.reset();
  if (frmAdding) {
    frmAdding->hide();
    frmAdding->deleteLater();
    frmAdding = nullptr;
  }
  run_.SetAdding(false);
  RefreshDestinations();
  UpdateRunCommands();
  KeepListSoon();
  lvFiles->viewport()->update();
}

}  // namespace moskvid
