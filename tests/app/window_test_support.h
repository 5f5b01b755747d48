// What the window tests share: a stand-in for the desktop that records every
// message box, page, power-off, sleep lock and notification instead of
// showing or doing it, and a main window set up on a configuration file of
// the test's own.
#pragma once

#include <QDialog>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/main/win_main.h"
#include "app/settings/app_settings.h"
#include "app/settings/output_formats.h"
#include "app/widgets/application.h"
#include "app/widgets/skins.h"
#include "app/widgets/ui_services.h"
#include "support/test_support.h"

namespace moskvid::test {

struct RecordedMessage {
  QString caption;
  QString text;
  QMessageBox::Icon icon;
};

class FakeServices : public TUiServices {
 public:
  // Modal windows run for real, but a watchdog closes one that nothing else
  // closes, so that no test hangs on it. `onExec` acts on the window as soon
  // as it shows, before whatever was queued meanwhile (the end of a quick
  // run, say) reaches it.
  int ExecModal(QDialog& dialog) override {
    ++execCount;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &dialog, [&] {
      watchdogFired = true;
      dialog.reject();
    });
    watchdog.start(watchdogMs);
    if (onExec) {
      dialog.setWindowModality(Qt::ApplicationModal);
      dialog.show();
      onExec(dialog);
      if (!dialog.isVisible()) return dialog.result();
    }
    return dialog.exec();
  }
  void Message(QWidget*, const QString& caption, const QString& text,
               QMessageBox::Icon icon) override {
    messages.push_back({caption, text, icon});
  }
  QStringList OpenFileNames(QWidget*, const QString& folder, const QString& filter) override {
    dialogFolders << folder;
    dialogFilters << filter;
    return chosenFiles;
  }
  QString ExistingFolder(QWidget*, const QString& folder) override {
    dialogFolders << folder;
    return chosenFolder;
  }
  void OpenUrl(const QUrl& url) override { openedUrls << url; }
  bool PowerOff(QString&) override {
    ++powerOffCalls;
    if (onPowerOff) onPowerOff();
    return true;  // and nothing happens
  }
  // A lock that counts while it lives.
  class CountedLock : public TSleepLock {
   public:
    explicit CountedLock(int& held) : held_(held) { ++held_; }
    ~CountedLock() override { --held_; }

   private:
    int& held_;
  };
  std::unique_ptr<TSleepLock> InhibitSleep(const QString& why) override {
    inhibitReasons << why;
    return std::make_unique<CountedLock>(sleepLocksHeld);
  }
  void Notify(const QString& title, const QString& text) override {
    notifications.push_back({title, text, QMessageBox::Information});
  }
  bool Ask(QWidget*, const QString& caption, const QString& text) override {
    questions.push_back({caption, text, QMessageBox::Question});
    return answer;
  }
  // The real file systems, unless the test gives its disks.
  bool FreeSpace(const std::string& folder, TFreeSpace& space) override {
    if (!disks) return real.FreeSpace(folder, space);
    const auto disk = disks->find(folder);
    if (disk == disks->end()) return false;
    space = disk->second;
    return true;
  }

  int execCount = 0;
  int watchdogMs = 120000;
  bool watchdogFired = false;
  std::function<void(QDialog&)> onExec;
  std::vector<RecordedMessage> messages;
  QStringList chosenFiles;
  QString chosenFolder;
  QStringList dialogFolders;
  QStringList dialogFilters;
  QList<QUrl> openedUrls;
  int powerOffCalls = 0;
  std::function<void()> onPowerOff;  // sees the state the machine would go down in
  QStringList inhibitReasons;
  int sleepLocksHeld = 0;
  std::vector<RecordedMessage> notifications;
  std::vector<RecordedMessage> questions;
  bool answer = true;
  std::optional<std::map<std::string, TFreeSpace>> disks;  // by folder, ending in '/'
  TDesktopServices real;
};

// A main window with its own configuration file and output folder.
class WindowFixture {
 public:
  WindowFixture() {
    qputenv("MOSKVID_CONFIG", QByteArray::fromStdString(scratch.File("moskvid.ini")));
    // The kept file list goes here, not among the user's own.
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString(scratch.File("state")));
    settings = std::make_unique<TAppSettings>(scratch.File("moskvid.ini"));
    settings->SetOutputFolder(scratch.File("out"));
    settings->SetSnapshotFolder(scratch.File("snaps"));
  }
  // Made on first use, so a test can store settings first.
  TfrmMain& Window() {
    if (!window) {
      window = std::make_unique<TfrmMain>(services);
      window->show();
      if (!QTest::qWaitForWindowExposed(window.get())) qWarning("the main window was not exposed");
    }
    return *window;
  }
  std::string Copy(const std::string& media, const std::string& name) {
    const std::string target = scratch.File(name);
    RunCommand("cp " + Quote(Media(media)) + " " + Quote(target));
    return target;
  }
  // One copy of `media` under each name.
  QStringList Copies(const std::string& media, std::initializer_list<const char*> names) {
    QStringList files;
    for (const char* name : names)
      files << QString::fromStdString(Copy(media, name));
    return files;
  }
  // A stored choice of the settings dialog for one format.
  void StoreChoice(int format, const std::string& key, const std::string& value) {
    settings->SetOutputFormat(format);
    settings->Ini().WriteString(FormatSection(format), key, value);
  }
  void Add(const QStringList& files) {
    services.chosenFiles = files;
    QTest::mouseClick(Window().btnAdd, Qt::LeftButton);
    WaitForAdding(Window());
  }
  // Files are added on a thread of their own; the list has them once it is done.
  static void WaitForAdding(TfrmMain& window) { QTRY_VERIFY_WITH_TIMEOUT(!window.Adding(), 20000); }

  ScratchDir scratch;
  FakeServices services;
  std::unique_ptr<TAppSettings> settings;
  std::unique_ptr<TfrmMain> window;
};

inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace moskvid::test

// The main of a window test program: the program's own application object
// (so the error handler sees what escapes event handlers), the Fusion style,
// no display needed.
#define MOSKVID_WINDOW_TEST_MAIN(TestClass)                           \
  int main(int argc, char** argv) {                                   \
    qputenv("QT_QPA_PLATFORM", "offscreen");                          \
    moskvid::TApplication application(argc, argv);                    \
    moskvid::TApplication::setStyle(QStyleFactory::create("Fusion")); \
    TestClass test;                                                   \
    return QTest::qExec(&test, argc, argv);                           \
  }
