#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "app/widgets/ui_services.h"

// The D-Bus side of the desktop (power-off, the sleep lock, notifications)
// is in desktop_bus.cpp.

namespace moskvid {

int TDesktopServices::ExecModal(QDialog& dialog) {
  return dialog.exec();
}

void TDesktopServices::Message(QWidget* parent, const QString& caption, const QString& text,
                               QMessageBox::Icon icon) {
  QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

QStringList TDesktopServices::OpenFileNames(QWidget* parent, const QString& folder,
                                            const QString& filter) {
  QFileDialog dialog(parent, QString(), folder, filter);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setSizeGripEnabled(true);
  // The patterns match in any case, which makes them long: show the names.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

QString TDesktopServices::ExistingFolder(QWidget* parent, const QString& folder) {
  return QFileDialog::getExistingDirectory(parent, "Add Folder", folder);
}

bool TUiServices::Ask(QWidget*, const QString&, const QString&) {
  return true;
}

bool TUiServices::FreeSpace(const std::string&, TFreeSpace&) {
  return false;
}

bool TDesktopServices::Ask(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

bool TDesktopServices::FreeSpace(const std::string& folder, TFreeSpace& space) {
  // The device number tells file systems apart; f_fsid is 0 on some of them.
  struct stat status;
  struct statvfs room;
  if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
      statvfs(folder.c_str(), &room) != 0) {
    return false;
  }
  space.Device = static_cast<uint64_t>(status.st_dev);
  space.FreeBytes = static_cast<int64_t>(room.f_bavail) * static_cast<int64_t>(room.f_frsize);
  return true;
}

void TDesktopServices::OpenUrl(const QUrl& url) {
  QDesktopServices::openUrl(url);
}

}  // namespace moskvid
