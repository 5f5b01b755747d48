// The main window's kept file list: brought back at the first show when
// the last session did not close normally, or when the user keeps it; written
// again after each change and at close.
#include <QFileInfo>
#include <QTimer>
#include <filesystem>
#include <set>

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
  if (!mine) keeper_.reset();
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

  // What conversions that did not end left where outputs go.
  std::set<std::string> folders;
  if (!settings.OutputBesideSource()) folders.insert(settings.OutputFolder());
  for (const TKeptEntry& entry : restored.Entries)
    folders.insert(std::filesystem::path(entry.Record.OutputFile).parent_path().string());
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    for (const std::string& part : LeftoverPartsIn(folder))
      AppendLog(LeftoverPartText(part));
  }
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
  list.Closed = closing;
  // Every task the run has started and not ended is converting (several
  // when they run side by side), although a short one may not have shown a
  // percentage yet.
  std::set<int> converting;
  if (run_.Phase() == rpRunning) {
    for (const int task : runProgress_.Running())
      converting.insert(run_.Position(task));
  }
  for (int i = 0; i < lvFiles->Count(); ++i) {
    const TFileItem* item = lvFiles->Entry(i);
    TKeptEntry entry;
    entry.Record = item->Record;
    entry.Checked = lvFiles->Checked(i);
    entry.TrimmedSeconds = item->text(fcTrimmedLength).toInt();
    entry.State =
        converting.count(i) ? KeptState("0%") : KeptState(item->text(fcProgress).toStdString());
    entry.Note = item->toolTip(fcProgress).toStdString();
    list.Entries.push_back(entry);
  }
  const std::string text = FormatKeptList(list);
  if (text == keptText_) return;
  std::string reason;
  if (keeper_->Save(list, reason)) {
    keptText_ = text;
  } else if (reason != keptFailure_) {
    // Said once, not after every change.
    keptFailure_ = reason;
    AppendLog("The file list could not be kept in " + keeper_->ListFile() + ": " + reason);
  }
  if (closing) keeper_.reset();  // the next window may keep it
}

}  // namespace moskvid
