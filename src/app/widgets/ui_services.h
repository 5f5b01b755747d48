// What the windows ask of the desktop: modal windows, message boxes, the
// open dialog, opening folders and web pages, powering off, keeping the
// machine awake during a run and notifications. Tests put a recording
// stand-in here, so that nothing blocks, sleeps, pops up or powers off.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <string>

#include "app/settings/size_estimate.h"

class QDialog;
class QWidget;

namespace moskvid {

// While it lives, the machine does not go to sleep; destroying it lets it.
class TSleepLock {
 public:
  virtual ~TSleepLock() = default;
};

class TUiServices {
 public:
  virtual ~TUiServices() = default;

  // Shows the dialog modally; returns its result.
  virtual int ExecModal(QDialog& dialog) = 0;
  // A message box with one OK button.
  virtual void Message(QWidget* parent, const QString& caption, const QString& text,
                       QMessageBox::Icon icon) = 0;
  // Existing files chosen in an open dialog; empty when cancelled.
  virtual QStringList OpenFileNames(QWidget* parent, const QString& folder,
                                    const QString& filter) = 0;
  // An existing folder chosen in a folder dialog that starts at `folder`;
  // empty when cancelled.
  virtual QString ExistingFolder(QWidget* parent, const QString& folder) = 0;
  // A folder in the file browser, or a page in the web browser.
  virtual void OpenUrl(const QUrl& url) = 0;
  // Asks the system to power off; false with the reason when it refuses.
  virtual bool PowerOff(QString& error) = 0;
  // Keeps the machine awake (not idle, not suspended) for `why`; null when
  // the system offers no such lock. Never waits for the system.
  virtual std::unique_ptr<TSleepLock> InhibitSleep(const QString& why) = 0;
  // A desktop notification; nothing happens without a notification service.
  virtual void Notify(const QString& title, const QString& text) = 0;
  // A question with Yes and No buttons; true for Yes. Without a desktop to
  // ask, the answer is Yes.
  virtual bool Ask(QWidget* parent, const QString& caption, const QString& text);
  // The file system `folder` is on and what it has free for the user; false
  // when the folder cannot be looked at, and always without a desktop.
  virtual bool FreeSpace(const std::string& folder, TFreeSpace& space);
};

// The real desktop: Qt's dialogs, xdg-open, logind and the notification
// service over D-Bus.
class TDesktopServices : public TUiServices {
 public:
  int ExecModal(QDialog& dialog) override;
  void Message(QWidget* parent, const QString& caption, const QString& text,
               QMessageBox::Icon icon) override;
  QStringList OpenFileNames(QWidget* parent, const QString& folder, const QString& filter) override;
  QString ExistingFolder(QWidget* parent, const QString& folder) override;
  void OpenUrl(const QUrl& url) override;
  bool PowerOff(QString& error) override;
  std::unique_ptr<TSleepLock> InhibitSleep(const QString& why) override;
  void Notify(const QString& title, const QString& text) override;
  bool Ask(QWidget* parent, const QString& caption, const QString& text) override;
  bool FreeSpace(const std::string& folder, TFreeSpace& space) override;
};

}  // namespace moskvid
