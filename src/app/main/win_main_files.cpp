// The main window's file list: adding, removing, clearing and checking
// entries (the selected ones, several at a time), the names Start will
// write, the menus' enabling and the popup.
#include <QActionGroup>
#include <QFileInfo>
#include <filesystem>

#include "app/settings/job_settings.h"
#include "app/settings/open_filter.h"
#include "app/settings/output_plan.h"
#include "app/settings/size_estimate.h"
#include "app/main/win_main.h"
#include "app/settings/app_settings.h"
#include "app/settings/output_formats.h"
#include "app/widgets/application.h"
#include "app/widgets/box_warnings.h"
#include "app/widgets/ui_services.h"
#include "binding/media_loader.h"

namespace moskvid {

namespace {

// Qt's filter text for the dialog: the same pairs, with patterns that match
// in any case.
QString DialogFilter() {
  QStringList filters;
  for (const TFileFilter& filter : ParseFileFilter(AddDialogFilter())) {
    QStringList globs;
    for (const std::string& pattern : filter.Patterns)
      globs << QString::fromStdString(CaseFreeGlob(pattern));
    filters << QString::fromStdString(filter.Description) + " (" + globs.join(' ') + ")";
  }
  return filters.join(";;");
}

}  // namespace

bool TfrmMain::LoadLibrariesOnce() {
  if (librariesLoaded_) return true;
  if (!converter_->LoadLibraries(binding::DefaultLibraryFolder(), true)) {
    AppendLog(converter_->LastError());
    return false;
  }
  librariesLoaded_ = true;
  return true;
}

void TfrmMain::btnAddClick() {
  if (!LoadLibrariesOnce()) return;
  TAppSettings settings(global_->ConfigFile());
  const QString folder = QString::fromStdString(
      settings.Ini().ReadString(kSettingsSection, "LastAddFolder", settings.OutputFolder()));
  const QStringList chosen = services_.OpenFileNames(this, folder, DialogFilter());
  if (chosen.isEmpty()) return;
  settings.Ini().WriteString(kSettingsSection, "LastAddFolder",
                             QFileInfo(chosen.back()).absolutePath().toStdString());
  std::vector<std::string> paths;
  for (const QString& path : chosen)
    paths.push_back(path.toStdString());
  AddPaths(paths, false);
}

void TfrmMain::AddFolderClick() {
  if (!LoadLibrariesOnce()) return;
  TAppSettings settings(global_->ConfigFile());
  const QString start = QString::fromStdString(
      settings.Ini().ReadString(kSettingsSection, "LastAddFolder", settings.OutputFolder()));
  const QString folder = services_.ExistingFolder(this, start);
  if (folder.isEmpty()) return;
  settings.Ini().WriteString(kSettingsSection, "LastAddFolder", folder.toStdString());
  AddPaths({QFileInfo(folder).absoluteFilePath().toStdString()}, true);
}

void TfrmMain::AddFiles(const QStringList& paths) {
  // The adder loads the libraries on its own thread.
  if (paths.isEmpty()) return;
  std::vector<std::string> files;
  for (const QString& path : paths)
    files.push_back(QFileInfo(path).absoluteFilePath().toStdString());
  AddPaths(files, true);
}

void TfrmMain::AddEntry(const TlvFilesRecord& record) {
  AddEntries({NewEntry(record)});
}

void TfrmMain::AddEntries(const QList<QTreeWidgetItem*>& entries) {
  if (entries.isEmpty()) return;
  if (lvFiles->Count() == 0) lvFiles->SetListStyle(vsReport);
  lvFiles->addTopLevelItems(entries);
  lvFiles->Select(0);
  lvFiles->viewport()->update();
}

TFileItem* TfrmMain::NewEntry(const TlvFilesRecord& record) {
  auto* item = new TFileItem(record);
  const QString seconds = QString::number(record.Duration);
  item->setText(fcSource, QString::fromStdString(record.SourceFile));
  item->setText(fcLength, seconds);
  item->setText(fcTrimmedLength, seconds);
  item->setText(fcDestination, QFileInfo(QString::fromStdString(record.OutputFile)).fileName());
  item->setText(fcProgress, "");
  item->setToolTip(fcSource, QString::fromStdString(record.SourceFile));
  item->setToolTip(fcDestination, QString::fromStdString(record.OutputFile));
  item->setCheckState(0, Qt::Checked);
  return item;
}

void TfrmMain::btnRemoveClick() {
  const std::vector<int> selected = lvFiles->SelectedPositions();
  if (selected.empty() || !run_.Commands(lvFiles->Count()).Remove) return;
  for (auto position = selected.rbegin(); position != selected.rend(); ++position)
    delete lvFiles->takeTopLevelItem(*position);  // the record goes with its entry
  lvFiles->Select(SelectionAfterRemoving(selected, lvFiles->Count()));
  if (lvFiles->Count() == 0) {
    lvFiles->SetListStyle(vsList);
    imgbtnStopClick();
  }
  RefreshDestinations();
  UpdateRunCommands();
  KeepListSoon();
  lvFiles->viewport()->update();
}

void TfrmMain::btnClearClick() {
  if (lvFiles->Count() == 0 || !run_.Commands(lvFiles->Count()).Clear) return;
  converter_->ClearTasks();
  lvFiles->clear();
  lvFiles->SetListStyle(vsList);
  PreviewStopped_ = true;
  PreviewPaused_ = true;
  RefreshSizes();
  UpdateRunCommands();
  KeepListSoon();
  lvFiles->viewport()->update();
}

void TfrmMain::CheckCommand(TCheckCommand command) {
  std::vector<bool> checked;
  for (int i = 0; i < lvFiles->Count(); ++i)
    checked.push_back(lvFiles->Checked(i));
  ApplyCheckCommand(checked, command, lvFiles->SelectedPositions());
  for (int i = 0; i < lvFiles->Count(); ++i)
    lvFiles->SetChecked(i, checked[static_cast<size_t>(i)]);
}

void TfrmMain::RefreshDestinations() {
  RefreshSizes();
  // Mid-run the outputs appear one by one; the names settle at the end.
  if (run_.Phase() != rpIdle || lvFiles->Count() == 0) return;
  // Named as Start names them: the checked entries in list order, then the
  // others as if they came after.
  std::vector<int> order;
  for (const bool checked : {true, false}) {
    for (int i = 0; i < lvFiles->Count(); ++i)
      if (lvFiles->Checked(i) == checked) order.push_back(i);
  }
  std::vector<std::string> sources;
  for (int position : order)
    sources.push_back(lvFiles->Entry(position)->Record.SourceFile);
  TAppSettings settings(global_->ConfigFile());
  const std::vector<std::string> names =
      PlanOutputNames(sources, OutputFolderFor(settings, false, *warnings_),
                      OutputExtension(*global_, cbOutputFormat->currentIndex()));
  refreshingNames_ = true;
  for (size_t k = 0; k < order.size(); ++k) {
    TFileItem* entry = lvFiles->Entry(order[k]);
    entry->Record.OutputFile = names[k];
    entry->setText(fcDestination, QFileInfo(QString::fromStdString(names[k])).fileName());
    entry->setToolTip(fcDestination, QString::fromStdString(names[k]));
  }
  refreshingNames_ = false;
}

namespace {

TSizeRule SizeRuleOf(const TGlobalObject& global, int format) {
  if (format < 0) return {};
  return SizeRuleFor(TJobSettings(global.ConfigFile(), global.ProfileFile(), format));
}

}  // namespace

void TfrmMain::RefreshSizes() {
  if (lvFiles->Count() == 0) {
    lblChecked->clear();
    return;
  }
  const TSizeRule rule = SizeRuleOf(*global_, cbOutputFormat->currentIndex());
  std::vector<int64_t> checked;
  for (int i = 0; i < lvFiles->Count(); ++i) {
    TFileItem* entry = lvFiles->Entry(i);
    const int64_t bytes = EstimatedBytes(rule, ConvertedMs(entry->Record));
    const QString text = QString::fromStdString(SizeText(bytes));
    if (entry->text(fcSize) != text) {
      entry->setText(fcSize, text);
      entry->setTextAlignment(fcSize, Qt::AlignRight | Qt::AlignVCenter);
    }
    if (lvFiles->Checked(i)) checked.push_back(bytes);
  }
  lblChecked->setText(QString::fromStdString(CheckedTotalText(checked)));
}

bool TfrmMain::RoomForOutputs(const std::vector<TRunSource>& sources, const std::string& folder,
                              int format) {
  const TSizeRule rule = SizeRuleOf(*global_, format);
  std::vector<TPlannedOutput> outputs;
  for (const TRunSource& source : sources) {
    const std::string beside =
        std::filesystem::path(source.Record.SourceFile).parent_path().string() + "/";
    outputs.push_back(
        {folder.empty() ? beside : folder, EstimatedBytes(rule, ConvertedMs(source.Record))});
  }
  const std::vector<TShortFileSystem> short_ =
      ShortFileSystems(outputs, [this](const std::string& where, TFreeSpace& space) {
        return services_.FreeSpace(where, space);
      });
  return short_.empty() || services_.Ask(this, QString::fromStdString(global_->AppTitle()),
                                         QString::fromStdString(ShortSpaceQuestion(short_)));
}

void TfrmMain::EditMenuPopup() {
  const TEditMenuState state = EditMenuState(lvFiles->Count());
  WaterMark1->setVisible(state.WaterMarkVisible);
  Crop1->setEnabled(state.Crop);
  Trim1->setEnabled(state.Trim);
  CheckAll1->setEnabled(state.CheckAll);
  UncheckAll1->setEnabled(state.UncheckAll);
  ReserveCheck1->setEnabled(state.ReverseCheck);
  Check1->setEnabled(state.Check);
  Uncheck1->setEnabled(state.Uncheck);
}

void TfrmMain::PopupMenuPopup() {
  const TPopupMenuState state = PopupMenuState(lvFiles->Count(), lvFiles->Selected());
  const TRunCommands commands = run_.Commands(lvFiles->Count());
  WaterMark2->setVisible(state.WaterMarkVisible);
  Crop2->setEnabled(state.Crop);
  Trim2->setEnabled(state.Trim);
  WaterMark2->setEnabled(state.WaterMark);
  Infomation1->setEnabled(state.Information);
  AddFiles1->setEnabled(commands.Add);
  Remove2->setEnabled(state.Remove && commands.Remove);
  Clear2->setEnabled(state.Clear && commands.Clear);
  Start2->setEnabled(state.Start && commands.Start);
  SoundTrackMenuPopup();
}

void TfrmMain::SoundTrackMenuPopup() {
  // Made anew for the current entry each time the popup opens.
  mnuSoundTrack->clear();
  qDeleteAll(mnuSoundTrack->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly));
  const int selected = lvFiles->Selected();
  TFileItem* entry = selected >= 0 ? lvFiles->Entry(selected) : nullptr;
  if (entry && !entry->AudioTracks && LoadLibrariesOnce()) {
    // An entry brought back from the kept list: its header tells, quickly.
    TAVProbe probe;
    if (probe.Open(entry->Record.SourceFile, "", TAVProbe::kHeaderOnly))
      entry->AudioTracks = probe.AudioTracks();
  }
  const TSoundTrackMenu menu = SoundTrackMenu(
      entry && entry->AudioTracks ? *entry->AudioTracks : std::vector<TAVAudioTrack>{},
      entry ? entry->Record.AudioTrack : 0);
  mnuSoundTrack->menuAction()->setEnabled(menu.Enabled);
  if (!entry) return;
  auto* choices = new QActionGroup(mnuSoundTrack);
  for (const TSoundTrackItem& item : menu.Items) {
    QAction* action = mnuSoundTrack->addAction(QString::fromStdString(item.Text));
    action->setObjectName(QString("SoundTrack%1").arg(item.Track));
    action->setCheckable(true);
    action->setChecked(item.Checked);
    choices->addAction(action);
    // The entry is found again by its source: the list may change meanwhile.
    connect(action, &QAction::triggered, this,
            [this, source = entry->Record.SourceFile, track = item.Track] {
              Guarded([&] { ChooseSoundTrack(source, track); });
            });
  }
  if (menu.Items.size() > 1) mnuSoundTrack->insertSeparator(mnuSoundTrack->actions().at(1));
}

void TfrmMain::ChooseSoundTrack(const std::string& source, int track) {
  for (int i = 0; i < lvFiles->Count(); ++i) {
    TFileItem* entry = lvFiles->Entry(i);
    if (entry->Record.SourceFile != source) continue;
    entry->Record.AudioTrack = track;
    KeepListSoon();
    return;
  }
}

void TfrmMain::lvFilesPopup(const QPoint& globalPosition) {
  pmFiles->popup(globalPosition);
}

void TfrmMain::lvFilesDblClick() {
  const int selected = lvFiles->Selected();
  if (selected < 0) return;
  if (PreviewPaused_ && !PreviewStopped_) {
    // Resumes without enabling Pause again, unlike Play.
    PreviewPaused_ = false;
    return;
  }
  PlayEntry(selected);
}

void TfrmMain::AppendLog(const std::string& text) {
  // The probe joins its lines with CR LF.
  mmoLog->appendPlainText(QString::fromStdString(text).replace("\r\n", "\n"));
}

void TfrmMain::ShowLogText(const std::string& text) {
  mmoLog->setPlainText(QString::fromStdString(text).replace("\r\n", "\n"));
  for (const std::string& line : run_.FailureLines())
    AppendLog(line);
}

}  // namespace moskvid
