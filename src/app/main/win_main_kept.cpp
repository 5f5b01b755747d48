// The main window's kept file list: brought back at the first show when
// the last session did not close normally, or when the user keeps it; written
// again after each change and at close, on the keeper's own thread.
#include <QFileInfo>
#include <QTimer>
#include <filesystem>
#include <map>

#include "app/main/win_main.h"
#include "app/settings/app_settings.h"
#include "app/settings/kept_list.h"
#include "app/widgets/application.h"
#include "engine/output_names.h"

namespace moskvid {

void TfrmMain::RestoreList() {
  keeper_ = std::make_unique<TListKeeper>(DefaultStateFolder());
  TKeptList kept;
  std::vector<std::string> log;
  const bool mine = keeper_->Open(kept, log);
  for (const std::string& line : log)
    AppendLog(line);
  if (mine) {
    keeper_->WriteOnThread([this](uint64_t number, const std::string& reason) {
      // From the writer's thread to the window's. The writer ends before the
      // window's object does, and a call queued to an object is dropped
      // with it, so none reaches a window that is gone.
      QMetaObject::invokeMethod(
          this, [this, number, reason] { Guarded([&] { ListWritten(number, reason); }); },
          Qt::QueuedConnection);
    });
  } else {
    keeper_.reset();
  }
  const TAppSettings settings(global_->ConfigFile());
  const TRestoredList restored =
      RestoreKeptList(kept, settings.KeepFileList(), [](const std::string& path) {
        std::error_code error;
        return std::filesystem::is_regular_file(path, error);
      });
  for (const TKeptEntry& entry : restored.Entries) {
    AddEntry(entry.Record);
    const int position = lvFiles->Count() - 1;
    TFileItem* item = lvFiles->Entry(position);
    item->setCheckState(0, entry.Checked ? Qt::Checked : Qt::Unchecked);
    item->setText(fcTrimmedLength, QString::number(entry.TrimmedSeconds));
    item->setText(fcProgress, QString::fromStdString(entry.State));
    item->setToolTip(fcProgress, QString::fromStdString(entry.Note));
  }
  for (const std::string& line : restored.Log)
    AppendLog(line);

  // What conversions that did not end left where outputs go now, and where
  // the outputs of those converting at the end of the last session went.
  for (const std::string& part :
       KeptLeftoverParts(kept, settings.OutputBesideSource() ? "" : settings.OutputFolder()))
    AppendLog(LeftoverPartText(part));
  if (!restored.Entries.empty()) RefreshDestinations();
  UpdateRunCommands();
  // From now on the file says this session is open.
  KeepList(false);
}

void TfrmMain::KeepListSoon() {
  if (keepDue_ || !keeper_) return;
  keepDue_ = true;
  QTimer::singleShot(0, this, [this] { Guarded([&] { KeepList(false); }); });
}

void TfrmMain::KeepList(bool closing) {
  keepDue_ = false;
  if (!keeper_) return;
  TKeptList list;
  // A machine powered off at the run's end takes the session with it.
  list.Closed = closing || poweringOff_;
  // Every task the run has started and not ended is converting (several
  // when they run side by side), although a short one may not have shown a
  // percentage yet; where its output goes names its part after a crash.
  std::map<int, std::string> converting;
  if (run_.Phase() == rpRunning || run_.Phase() == rpStopping) {
    for (const int task : runProgress_.Running())
      converting[run_.Position(task)] = run_.Output(task);
  }
  for (int i = 0; i < lvFiles->Count(); ++i) {
    const TFileItem* item = lvFiles->Entry(i);
    TKeptEntry entry;
    entry.Record = item->Record;
    entry.Checked = lvFiles->Checked(i);
    entry.TrimmedSeconds = item->text(fcTrimmedLength).toInt();
    const auto output = converting.find(i);
    if (output != converting.end()) {
      entry.State = KeptState("0%");
      entry.Output = output->second;
    } else {
      entry.State = KeptState(item->text(fcProgress).toStdString());
    }
    entry.Note = item->toolTip(fcProgress).toStdString();
    list.Entries.push_back(entry);
  }
  const std::string text = FormatKeptList(list);
  if (text != keptText_) {
    keptText_ = text;
    keptHanded_ = keeper_->SaveSoon(text);
  }
  if (!closing) return;
  // The window's one wait: the list is on disk before the window goes, and
  // the next window may keep it.
  ListWritten(keptHanded_, keeper_->WaitFor(keptHanded_));
  keeper_.reset();
}

void TfrmMain::KeepListThen(std::function<void()> after) {
  KeepList(false);
  if (keeper_ && keptHanded_ > keptSettled_) {
    keptAfter_.emplace_back(keptHanded_, std::move(after));
    return;
  }
  // Nothing to wait for; still outside the caller's event, as when it waits.
  QMetaObject::invokeMethod(
      this, [after = std::move(after)] { after(); }, Qt::QueuedConnection);
}

void TfrmMain::ListWritten(uint64_t number, const std::string& reason) {
  if (number <= keptSettled_) return;  // settled already, by the wait at close
  keptSettled_ = number;
  if (!reason.empty()) {
    // The same list is handed over again at the next change.
    if (number == keptHanded_) keptText_.clear();
    if (reason != keptFailure_) {
      // Said once, not after every change.
      keptFailure_ = reason;
      AppendLog("The file list could not be kept in " +
                (keeper_ ? keeper_->ListFile() : DefaultStateFolder()) + ": " + reason);
    }
  }
  // Taken out first: what runs may hand over the list again.
  std::vector<std::function<void()>> due;
  while (!keptAfter_.empty() && keptAfter_.front().first <= number) {
    due.push_back(std::move(keptAfter_.front().second));
    keptAfter_.erase(keptAfter_.begin());
  }
  for (const std::function<void()>& after : due)
    after();
}

}  // namespace moskvid
