#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QProcess>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusInterface>
#include <QtDBus/QDBusReply>

#include "app/widgets/ui_services.h"

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

void TDesktopServices::OpenUrl(const QUrl& url) {
  QDesktopServices::openUrl(url);
}

bool TDesktopServices::PowerOff(QString& error) {
  // logind powers off without a password for the user at the seat; false
  // means "do not ask interactively".
  QDBusInterface manager("org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", QDBusConnection::systemBus());
  if (manager.isValid()) {
    const QDBusMessage reply = manager.call("PowerOff", false);
    if (reply.type() != QDBusMessage::ErrorMessage) return true;
    error = reply.errorMessage();
  } else {
    error = manager.lastError().message();
  }
  if (QProcess::startDetached("systemctl", {"poweroff"})) return true;
  if (error.isEmpty()) error = "The system refused to power off.";
  return false;
}

}  // namespace moskvid
