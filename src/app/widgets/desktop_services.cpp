#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>

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

void TDesktopServices::OpenUrl(const QUrl& url) {
  QDesktopServices::openUrl(url);
}

}  // namespace moskvid
