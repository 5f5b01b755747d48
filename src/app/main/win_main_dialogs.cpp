// The windows the main window opens: about, settings, file information,
// watermark, preference, folder chooser, trim and crop, each made on first
// use and shown modally with the main window's skin; the output folder's
// Brows, Open and "Same folder as the source"; and the pages Help opens.
#include <QFileInfo>

#include "app/dialogs/directory.h"
#include "app/dialogs/win_crop.h"
#include "app/dialogs/win_file_info.h"
#include "app/dialogs/win_preference.h"
#include "app/dialogs/win_settings.h"
#include "app/dialogs/win_trim.h"
#include "app/dialogs/win_water_mark.h"
#include "app/main/win_about.h"
#include "app/main/win_main.h"
#include "app/settings/app_settings.h"
#include "app/widgets/ui_services.h"

namespace moskvid {

void TfrmMain::AboutClick() {
  if (!frmAbout_) {
    frmAbout_ = new TfrmAbout(QString::fromStdString(global_->AppTitle()),
                              QString::fromStdString(global_->AppVersion()),
                              QString::fromStdString(global_->HomePage()), services_, skin_, this);
  }
  frmAbout_->SetSkin(skin_);
  services_.ExecModal(*frmAbout_);
}

void TfrmMain::btnSettingsClick() {
  // The libraries tell which encoders the lists can offer.
  LoadLibrariesOnce();
  if (!frmSettings_) frmSettings_ = new TfrmSettings(*global_, this);
  frmSettings_->Prepare(*cbOutputFormat, skin_);
  services_.ExecModal(*frmSettings_);
  RefreshDestinations();  // OK may have chosen another format
}

std::string TfrmMain::SelectedSource() const {
  const int selected = lvFiles->Selected();
  return selected >= 0 ? lvFiles->Entry(selected)->Record.SourceFile : std::string();
}

void TfrmMain::Infomation1Click() {
  if (!frmFileInfo_) {
    frmFileInfo_ = new TfrmFileInfo([this](const std::string& line) { AppendLog(line); }, this);
  }
  const int selected = lvFiles->Selected();
  frmFileInfo_->Prepare(SelectedSource(), skin_,
                        selected >= 0 ? lvFiles->Entry(selected)->Record.AudioTrack : 0);
  services_.ExecModal(*frmFileInfo_);
}

void TfrmMain::WaterMarkClick() {
  if (!frmWaterMark_) frmWaterMark_ = new TfrmWaterMark(services_, this);
  frmWaterMark_->Prepare(SelectedSource(), skin_);
  services_.ExecModal(*frmWaterMark_);
}

TfmDirectory& TfrmMain::FolderChooser() {
  if (!fmDirectory_) {
    fmDirectory_ = new TfmDirectory(services_, QString::fromStdString(global_->AppTitle()), this);
  }
  return *fmDirectory_;
}

QString TfrmMain::ChooseFolder() {
  TfmDirectory& chooser = FolderChooser();
  chooser.Prepare(skin_);
  services_.ExecModal(chooser);
  return chooser.Chosen();
}

void TfrmMain::TrimClick() {
  if (!frmTrim_) frmTrim_ = new TfrmTrim(services_, this);
  const int selected = lvFiles->Selected();
  TlvFilesRecord* record = selected >= 0 ? &lvFiles->Entry(selected)->Record : nullptr;
  frmTrim_->Prepare(record, skin_, [this, selected](int64_t seconds) {
    lvFiles->SetSubItem(selected, fcTrimmedLength, QString::number(seconds));
  });
  services_.ExecModal(*frmTrim_);
  KeepListSoon();
}

void TfrmMain::CropClick() {
  if (!frmCrop_) frmCrop_ = new TfrmCrop(this);
  const int selected = lvFiles->Selected();
  frmCrop_->Prepare(selected >= 0 ? &lvFiles->Entry(selected)->Record : nullptr, skin_);
  services_.ExecModal(*frmCrop_);
  KeepListSoon();
}

void TfrmMain::Options1Click() {
  if (!frmPreference_) {
    frmPreference_ = new TfrmPreference(
        *global_, services_, [this] { return ChooseFolder(); }, this);
  }
  frmPreference_->Prepare(skin_);
  services_.ExecModal(*frmPreference_);
}

void TfrmMain::btnBrowsClick() {
  const QString folder = ChooseFolder();
  if (folder.isEmpty() || folder == edDirectory->text()) return;
  TAppSettings(global_->ConfigFile()).SetOutputFolder(folder.toStdString());
  edDirectory->setText(folder);
}

void TfrmMain::ckSameFolderClick(bool beside) {
  TAppSettings(global_->ConfigFile()).SetOutputBesideSource(beside);
  edDirectory->setEnabled(!beside);
  btnBrows->setEnabled(!beside);
  RefreshDestinations();
}

void TfrmMain::btnOpenClick() {
  const TAppSettings settings(global_->ConfigFile());
  if (settings.OutputBesideSource()) {
    // The folder of the current entry, whose output goes beside it.
    const int current = lvFiles->Selected() >= 0 ? lvFiles->Selected() : 0;
    if (TFileItem* entry = lvFiles->Entry(current)) {
      services_.OpenUrl(QUrl::fromLocalFile(
          QFileInfo(QString::fromStdString(entry->Record.SourceFile)).absolutePath()));
    }
    return;
  }
  if (edDirectory->text().size() <= 2) return;
  services_.OpenUrl(QUrl::fromLocalFile(QString::fromStdString(settings.OutputFolder())));
}

void TfrmMain::OpenPage(const QString& address) {
  services_.OpenUrl(QUrl(address));
}

}  // namespace moskvid
