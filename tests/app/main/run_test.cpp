// Conversion runs from the main window, with real conversions of small
// clips checked by ffprobe: the tasks, the progress texts, cancel, a failing
// task, the end-of-run actions and the shutdown seam.
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "app/settings/output_formats.h"
#include "app/settings/simultaneous.h"
#include "app/window_test_support.h"

namespace moskvid::test {

namespace fs = std::filesystem;

// A folder nobody may write into while it lives: read-only by its mode for a
// user, immutable for root (whom the mode does not stop). `why` is the reason
// a write is refused, as the system words it.
class FolderLock {
 public:
  FolderLock(const std::string& folder, std::string& why) : folder_(folder) {
    if (geteuid() != 0) {
      fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
      locked_ = true;
      why = std::strerror(EACCES);
      return;
    }
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (descriptor >= 0 && ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      locked_ = ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
    }
    why = locked_ ? std::strerror(EPERM) : std::strerror(errno);
    if (descriptor >= 0) ::close(descriptor);
  }
  ~FolderLock() { Unlock(); }
  bool Locked() const { return locked_; }
  void Unlock() {
    if (!locked_) return;
    locked_ = false;
    if (geteuid() != 0) {
      fs::permissions(folder_, fs::perms::owner_all);
      return;
    }
    const int descriptor = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (descriptor >= 0 && ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags);
    }
    if (descriptor >= 0) ::close(descriptor);
  }

 private:
  std::string folder_;
  bool locked_ = false;
};

class RunTest : public QObject {
  Q_OBJECT

 private:
  static std::string LongClip(WindowFixture& fixture, const std::string& name) {
    const std::string clip = fixture.scratch.File(name);
    RunCommand(
        "ffmpeg -v error -nostdin -f lavfi -i testsrc=size=640x480:rate=25:duration=60 "
        "-f lavfi -i sine=duration=60 -c:v mpeg4 -q:v 8 -c:a mp2 " +
        Quote(clip));
    return clip;
  }

  static QStringList ThreeClips(WindowFixture& fixture) {
    return {Q(fixture.Copy("h264_aac.mp4", "one.mp4")), Q(fixture.Copy("audio.mp3", "two.mp3")),
            Q(fixture.Copy("h264_aac.mkv", "three.mkv"))};
  }

 private slots:
  void NoCheckedEntryGivesTheWarning() {
    WindowFixture fixture;
    fixture.Add({Q(fixture.Copy("audio.mp3", "a.mp3"))});
    TfrmMain& window = fixture.Window();
    window.UncheckAll1->trigger();
    QTest::mouseClick(window.btnStart, Qt::LeftButton);
    QCOMPARE(fixture.services.messages.size(), size_t{1});
    QCOMPARE(fixture.services.messages[0].caption, QString("Warning"));
    QCOMPARE(fixture.services.messages[0].text,
             QString("Please select a file by clicking the check box!"));
    QCOMPARE(window.Converter().TaskCount(), 0);
    QCOMPARE(fixture.services.execCount, 0);
  }

  void RunsTheCheckedEntries() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(5);  // PSP MPEG-4 Normal Quality
    fixture.Add(ThreeClips(fixture));
    TfrmMain& window = fixture.Window();
    window.lvFiles->SetChecked(1, false);
    fixture.services.onExec = [&](QDialog& dialog) {
      QCOMPARE(dialog.size(), QSize(420, 460));
      auto* progress = static_cast<TfrmProgress*>(&dialog);
      QVERIFY(progress->ckOpen->isChecked());
      QVERIFY(!progress->ckShutDown->isChecked());
      QVERIFY(progress->btnPause->isEnabled() && !progress->btnResume->isEnabled());
      QCOMPARE(progress->Timer1->interval(), 100);
    };
    window.btnStartBelow->click();  // returns when the run is over
    QVERIFY(!fixture.services.watchdogFired);
    QCOMPARE(window.TaskMap(), (std::vector<int>{0, 2}));
    QCOMPARE(window.lvFiles->SubItem(0, fcProgress), QString("100%"));
    QCOMPARE(window.lvFiles->SubItem(1, fcProgress), QString());
    QCOMPARE(window.lvFiles->SubItem(2, fcProgress), QString("100%"));
    QVERIFY(fixture.services.messages.empty());
    QCOMPARE(window.Converter().TaskCount(), 0);  // cleared at the end of the run
    QVERIFY(window.btnStart->isEnabled() && window.btnAdd->isEnabled());
    QVERIFY(!window.btnStop->isEnabled());

    // Two outputs with the format's codecs, each as long as its source.
    const std::string out = fixture.scratch.File("out");
    for (const auto& [name, seconds] :
         {std::pair{"one_(new).mp4", 3.0}, {"three_(new).mp4", 3.0}}) {
      const std::string file = out + "/" + name;
      QVERIFY2(fs::exists(file), file.c_str());
      const auto streams = ProbeStreams(file);
      QCOMPARE(streams.size(), size_t{2});
      QCOMPARE(Q(streams[0].at("codec_name")), QString("mpeg4"));
      QCOMPARE(Q(streams[1].at("codec_name")), QString("aac"));
      QVERIFY(std::abs(ToDouble(ProbeFormat(file).at("duration")) - seconds) < 0.15);
    }
    QVERIFY(!fs::exists(out + "/two_(new).mp4"));
    // The output folder opened once, after the last task; nothing powered off.
    QTRY_COMPARE(fixture.services.openedUrls.size(), 1);
    QCOMPARE(fixture.services.openedUrls[0].toLocalFile(), Q(out));
    QCOMPARE(fixture.services.powerOffCalls, 0);
    // The progress window showed a frame of the run.
    QImage picture = window.ProgressWindow()->imgPreview->Picture();
    QVERIFY(picture.pixel(picture.width() / 2, picture.height() / 2) != kPreviewBackground);
  }

  void TwoSourcesOfOneNameGetTwoOutputs() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(9);  // MP3
    fixture.Add({Q(fixture.Copy("h264_aac.mkv", "clip.mkv")),
                 Q(fixture.Copy("mpeg4_mp3_720p.avi", "clip.avi"))});
    TfrmMain& window = fixture.Window();
    window.btnStart->click();
    const std::string out = fixture.scratch.File("out");
    QVERIFY(fs::exists(out + "/clip_(new).mp3"));
    QVERIFY(fs::exists(out + "/clip_(new_1).mp3"));
    QCOMPARE(Q(ProbeStreams(out + "/clip_(new_1).mp3")[0].at("codec_name")), QString("mp3"));
  }

  void CancelStopsEveryTask() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(5);
    const std::string longer = fixture.scratch.File("long.mkv");
    RunCommand(
        "ffmpeg -v error -nostdin -f lavfi -i testsrc=size=640x480:rate=25:duration=60 "
        "-f lavfi -i sine=duration=60 -c:v mpeg4 -q:v 8 -c:a mp2 " +
        Quote(longer));
    fixture.Add({Q(longer), Q(fixture.Copy("h264_aac.mp4", "second.mp4"))});
    TfrmMain& window = fixture.Window();
    fixture.services.onExec = [&](QDialog& dialog) {
      auto* progress = static_cast<TfrmProgress*>(&dialog);
      QTRY_VERIFY_WITH_TIMEOUT(!progress->lblTime->text().isEmpty(), 60000);
      QVERIFY(progress->windowTitle().endsWith("% - Converting"));
      QTest::mouseClick(progress->btnCancel, Qt::LeftButton);
    };
    window.btnStart->click();
    QVERIFY(!window.ProgressWindow()->isVisible());
    QVERIFY(!window.btnStart->isEnabled());  // until the stopped run reports its end
    QTRY_VERIFY_WITH_TIMEOUT(window.btnStart->isEnabled(), 30000);
    QCOMPARE(window.lvFiles->SubItem(0, fcProgress), QString("Stopped"));
    QCOMPARE(window.lvFiles->SubItem(1, fcProgress), QString("Stopped"));
    QVERIFY(fixture.services.openedUrls.isEmpty());
    QVERIFY(fixture.services.messages.empty());
    // What was converted before the stop is a file that plays.
    const std::string first = fixture.scratch.File("out") + "/long_(new).mp4";
    QVERIFY(CountFrames(first, "v:0") > 0);
    QVERIFY(ToDouble(ProbeFormat(first).at("duration")) < 59);
    QVERIFY(!fs::exists(fixture.scratch.File("out") + "/second_(new).mp4") ||
            CountPackets(fixture.scratch.File("out") + "/second_(new).mp4", "v:0") == 0);
  }

  void PauseAndResumeKeepBothWindowsInStep() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(5);
    fixture.Add({Q(fixture.Copy("h264_aac.mp4", "a.mp4"))});
    TfrmMain& window = fixture.Window();
    fixture.services.onExec = [&](QDialog& dialog) {
      auto* progress = static_cast<TfrmProgress*>(&dialog);
      QTest::mouseClick(progress->btnPause, Qt::LeftButton);
      QVERIFY(!progress->btnPause->isEnabled() && progress->btnResume->isEnabled());
      QVERIFY(!window.btnPause->isEnabled() && window.btnResume->isEnabled());
      QTest::mouseClick(progress->btnResume, Qt::LeftButton);
      QVERIFY(progress->btnPause->isEnabled() && !progress->btnResume->isEnabled());
      QVERIFY(window.btnPause->isEnabled() && !window.btnResume->isEnabled());
    };
    window.btnStart->click();
    QCOMPARE(window.lvFiles->SubItem(0, fcProgress), QString("100%"));
  }

  // Three at a time: the bar and the title follow the whole run, the
  // counter the tasks done, one line per running file; Pause holds them all.
  void SeveralAtOnceShowTheWholeRun() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(5);
    WriteSimultaneous(fixture.settings->Ini(), 3);
    QStringList clips;
    // The first one ends early: the other two go on alone.
    const int seconds[] = {12, 30, 30};
    for (int k = 0; k < 3; ++k) {
      clips << Q(fixture.scratch.File(std::string(1, "abc"[k]) + ".mkv"));
      const std::string length = std::to_string(seconds[k]);
      RunCommand("ffmpeg -v error -nostdin -f lavfi -i testsrc=size=480x360:rate=25:duration=" +
                 length + " -f lavfi -i sine=duration=" + length + " -c:v mpeg4 -q:v 8 -c:a mp2 " +
                 Quote(clips.back().toStdString()));
    }
    fixture.Add(clips);
    TfrmMain& window = fixture.Window();
    // A report every 50 ms: at the usual half second, the short file may
    // end unseen on a quick machine.
    window.Converter().SetProgressInterval(50);
    QStringList seen;
    fixture.services.onExec = [&](QDialog& dialog) {
      auto* progress = static_cast<TfrmProgress*>(&dialog);
      // Once the tasks are set up.
      QTRY_VERIFY_WITH_TIMEOUT(progress->lblTasks->isVisibleTo(progress), 30000);
      const QRegularExpression line("^[abc]\\.mkv  \\d+%  \\d+\\.\\dx$");
      // One line each, once every file has reported: name, percentage, speed.
      QTRY_VERIFY_WITH_TIMEOUT(
          [&] {
            seen = progress->lblTasks->text().split('\n');
            return seen.size() == 3 && std::all_of(seen.begin(), seen.end(), [&](const QString& l) {
                     return line.match(l).hasMatch();
                   });
          }(),
          60000);
      QCOMPARE(progress->lblProgress->text(), QString("[0/3]"));
      QVERIFY(progress->windowTitle().endsWith("% - Converting"));
      QTest::mouseClick(progress->btnPause, Qt::LeftButton);
      QTest::qWait(300);
      const QString held = progress->lblTasks->text();
      const int bar = progress->progbarFile->value();
      QTest::qWait(500);
      QCOMPARE(progress->lblTasks->text(), held);
      QCOMPARE(progress->progbarFile->value(), bar);
      QVERIFY(bar < 100);
      QTest::mouseClick(progress->btnResume, Qt::LeftButton);
      QTRY_VERIFY_WITH_TIMEOUT(progress->lblProgress->text() == "[1/3]", 60000);
      QCOMPARE(progress->lblTasks->text().count(QChar(10)), 1);  // the two still running
    };
    window.btnStart->click();
    QVERIFY(!fixture.services.watchdogFired);
    seen.sort();
    for (int k = 0; k < 3; ++k)
      QVERIFY(seen[k].startsWith(QString("abc"[k])));
    TfrmProgress* progress = window.ProgressWindow();
    QCOMPARE(progress->lblProgress->text(), QString("[3/3]"));
    QCOMPARE(progress->progbarFile->value(), 100);
    for (int k = 0; k < 3; ++k) {
      QCOMPARE(window.lvFiles->SubItem(k, fcProgress), QString("100%"));
      const std::string out =
          fixture.scratch.File("out") + "/" + std::string(1, "abc"[k]) + "_(new).mp4";
      QVERIFY(std::abs(ToDouble(ProbeFormat(out).at("duration")) - seconds[k]) < 0.15);
    }
    QTRY_COMPARE(fixture.services.openedUrls.size(), 1);  // once, after the last one
  }

  void AFailingTaskShowsItsMessage() {
    WindowFixture fixture;
    fixture.StoreChoice(9, "paraAudioEncoder", "nosuchencoder");
    fixture.Add({Q(fixture.Copy("audio.mp3", "a.mp3"))});
    TfrmMain& window = fixture.Window();
    window.btnStart->click();
    QCOMPARE(window.lvFiles->SubItem(0, fcProgress), QString("Failed"));
    QTRY_COMPARE(fixture.services.messages.size(), size_t{1});
    QCOMPARE(fixture.services.messages[0].caption, QString("Moskvid"));
    QCOMPARE(fixture.services.messages[0].icon, QMessageBox::Warning);
    QVERIFY(!fixture.services.messages[0].text.isEmpty());
    QVERIFY(fixture.services.openedUrls.isEmpty());
    QVERIFY(window.btnStart->isEnabled());
  }

  void ABadStoredSettingReachesTheErrorHandler() {
    WindowFixture fixture;
    fixture.StoreChoice(5, "paraVideoBitRate", "fast");
    fixture.Add({Q(fixture.Copy("h264_aac.mp4", "a.mp4"))});
    TfrmMain& window = fixture.Window();
    QTest::mouseClick(window.btnStart, Qt::LeftButton);
    // The set-up stopped at it: no task ran, and the progress window went.
    QVERIFY(!window.ProgressWindow()->isVisible());
    QTRY_COMPARE(fixture.services.messages.size(), size_t{1});
    QCOMPARE(window.Run().Phase(), rpIdle);
    QCOMPARE(window.lvFiles->SubItem(0, fcProgress), QString());
    QCOMPARE(fixture.services.messages[0].caption, QString("Moskvid"));
    QCOMPARE(fixture.services.messages[0].icon, QMessageBox::Critical);
    QVERIFY(fixture.services.messages[0].text.endsWith("."));
    QCOMPARE(window.Converter().TaskCount(), 0);
  }

  void ShutdownGoesThroughTheSeam() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(11);  // WAV
    fixture.Add({Q(fixture.Copy("audio.mp3", "a.mp3")), Q(fixture.Copy("audio.mp3", "b.mp3"))});
    TfrmMain& window = fixture.Window();
    fixture.services.onExec = [](QDialog& dialog) {
      auto* progress = static_cast<TfrmProgress*>(&dialog);
      progress->ckShutDown->setChecked(true);
      progress->ckOpen->setChecked(false);
    };
    window.btnStart->click();
    QTRY_COMPARE(fixture.services.powerOffCalls, 1);  // once, after the last task
    QVERIFY(fixture.services.openedUrls.isEmpty());
    QCOMPARE(window.lvFiles->SubItem(1, fcProgress), QString("100%"));
    // The box was for that run only: the next one opens with it clear and
    // powers nothing off.
    bool clear = false;
    fixture.services.onExec = [&](QDialog& dialog) {
      auto* progress = static_cast<TfrmProgress*>(&dialog);
      clear = !progress->ckShutDown->isChecked();
      progress->ckOpen->setChecked(false);
    };
    window.btnStart->click();
    QVERIFY(clear);
    // The run's end acts once the list is written: give it the time.
    QTRY_VERIFY(window.lvFiles->SubItem(1, fcProgress) == "100%");
    QTest::qWait(300);
    QCOMPARE(fixture.services.powerOffCalls, 1);
  }

  // While a run converts the machine stays awake; the lock goes when the
  // run ends or is cancelled. A run that ends while another program's
  // window is active tells the desktop how it went.
  void SleepLockAndNotification() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(11);  // WAV
    fixture.Add({Q(fixture.Copy("audio.mp3", "a.mp3")), Q(fixture.Copy("audio.mp3", "b.mp3"))});
    TfrmMain& window = fixture.Window();
    QDialog elsewhere;  // stands for another program's window
    int held = -1;
    fixture.services.onExec = [&](QDialog&) {
      held = fixture.services.sleepLocksHeld;
      elsewhere.setModal(true);
      elsewhere.show();
      elsewhere.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    };
    window.btnStart->click();
    QCOMPARE(held, 1);
    QCOMPARE(fixture.services.sleepLocksHeld, 0);
    QCOMPARE(fixture.services.inhibitReasons, QStringList({"Converting 2 files"}));
    QCOMPARE(fixture.services.notifications.size(), size_t{1});
    QCOMPARE(fixture.services.notifications[0].text, QString("2 files converted."));
    elsewhere.hide();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // Watched, and cancelled: the lock goes at once, nobody is told.
    fixture.services.onExec = [&](QDialog& dialog) {
      QTest::mouseClick(static_cast<TfrmProgress*>(&dialog)->btnCancel, Qt::LeftButton);
      held = fixture.services.sleepLocksHeld;
    };
    window.btnStart->click();
    QCOMPARE(held, 0);
    QTRY_COMPARE(window.Run().Phase(), rpIdle);
    QCOMPARE(fixture.services.notifications.size(), size_t{1});
  }

  // Cancel, then Start at once by every route: refused until the cancelled
  // run has ended, and the run started then converts every file, untouched
  // by the cancelled run's last events.
  void CancelThenStartAtOnceByEveryRoute() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(11);  // WAV: quick
    fixture.Add({Q(fixture.Copy("audio.mp3", "a.mp3")), Q(fixture.Copy("audio.mp3", "b.mp3"))});
    TfrmMain& window = fixture.Window();
    const std::function<void()> routes[] = {[&] { window.btnStart->click(); },
                                            [&] { window.btnStartBelow->click(); },
                                            [&] { window.Start1->trigger(); },
                                            [&] {
                                              emit window.pmFiles->aboutToShow();
                                              window.Start2->trigger();
                                            }};
    const std::string out = fixture.scratch.File("out");
    for (int round = 0; round < 30; ++round) {
      fs::remove_all(out);
      bool cancelled = false;
      fixture.services.onExec = [&](QDialog& dialog) {
        if (cancelled) return;
        cancelled = true;
        QTest::mouseClick(static_cast<TfrmProgress*>(&dialog)->btnCancel, Qt::LeftButton);
      };
      window.btnStart->click();
      QVERIFY(cancelled);
      const int runs = fixture.services.execCount;
      const auto& start = routes[round % 4];
      start();
      if (fixture.services.execCount == runs) {
        QTRY_VERIFY_WITH_TIMEOUT(window.btnStart->isEnabled(), 30000);
        start();
      }
      QCOMPARE(fixture.services.execCount, runs + 1);
      QVERIFY(!fixture.services.watchdogFired);
      for (int row = 0; row < 2; ++row) {
        const QString cell = window.lvFiles->SubItem(row, fcProgress);
        QVERIFY2(cell == "100%",
                 qPrintable(QString("round %1 row %2: \"%3\"").arg(round).arg(row).arg(cell)));
      }
      // Each source has an output of its whole length.
      for (const char* stem : {"a_(new", "b_(new"}) {
        double longest = 0;
        for (const auto& file : fs::directory_iterator(out)) {
          if (file.path().filename().string().rfind(stem, 0) == 0)
            longest = std::max(longest, ToDouble(ProbeFormat(file.path()).at("duration")));
        }
        QVERIFY2(std::abs(longest - 3.03) < 0.1, stem);
      }
    }
  }

  // The session KilledWithTwoTasksSideBySide kills: it starts a run of the
  // files it is given, two at a time, and converts until it is killed.
  void SessionToKill() {
    const QStringList files = qEnvironmentVariable("MOSKVID_SESSION_TO_KILL").split('\n');
    if (files.size() < 2) QSKIP("the session that KilledWithTwoTasksSideBySide kills");
    FakeServices services;
    services.watchdogMs = 600000;
    TfrmMain window(services);
    window.show();
    window.AddFiles(files);
    WindowFixture::WaitForAdding(window);
    window.btnStart->click();
    QFAIL("the run ended before the session was killed");
  }

  // A session killed with two tasks converting side by side: the next one
  // brings back both as Stopped, and names both parts they left.
  void KilledWithTwoTasksSideBySide() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(5);
    WriteSimultaneous(fixture.settings->Ini(), 2);
    const std::string clip = LongClip(fixture, "a.mkv");
    RunCommand("cp " + Quote(clip) + " " + Quote(fixture.scratch.File("b.mkv")));
    const std::string files = clip + "\n" + fixture.scratch.File("b.mkv");
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
      setenv("MOSKVID_SESSION_TO_KILL", files.c_str(), 1);
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      execl(self.c_str(), self.c_str(), "SessionToKill", static_cast<char*>(nullptr));
      _exit(127);
    }
    // Killed as soon as the list file says the run has begun.
    const std::string listFile = fixture.scratch.File("state/moskvid/files.list");
    bool converting = false;
    for (int wait = 0; wait < 6000 && !converting; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      converting = RunCommand("cat " + Quote(listFile) + " 2>/dev/null").find("Converting") !=
                   std::string::npos;
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    QVERIFY(WIFSIGNALED(status));
    QVERIFY(converting);

    TfrmMain& window = fixture.Window();
    QCOMPARE(window.lvFiles->Count(), 2);
    QCOMPARE(window.lvFiles->SubItem(0, fcProgress), QString("Stopped"));
    QCOMPARE(window.lvFiles->SubItem(1, fcProgress), QString("Stopped"));
    const std::string out = fixture.scratch.File("out");
    QVERIFY(!fs::exists(out + "/a_(new).mp4") && !fs::exists(out + "/b_(new).mp4"));
    const QString log = window.mmoLog->toPlainText();
    QVERIFY(log.contains("did not close normally"));
    // Each part once it has been created; the kill may come before.
    for (const char* part : {"/a_(new).mp4.part", "/b_(new).mp4.part"}) {
      if (fs::exists(out + part)) QVERIFY2(log.contains(Q(out + part)), part);
    }
  }

  // Every file of the run fails while converting: the run goes on to its
  // end and one message names them all; the log and each entry's tooltip
  // keep the details. With shut-down chosen the machine powers off once,
  // although the last task to end failed, and only after the list file
  // holds the run's end.
  void FailuresEndInOneMessageAndTheShutDownStillComes() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(5);
    const std::string damaged = fixture.scratch.File("damaged.flv");
    // Opens and lists, then fails while converting: a picture size no
    // decoder takes.
    RunCommand("cp " +
               Quote(std::string(MOSKVID_TEST_SUPPORT_DIR) +
                     "/../../fuzz/seeds/probe_fuzzer/size_jump_to_huge_picture.flv") +
               " " + Quote(damaged));
    QStringList files = {Q(fixture.Copy("audio.mp3", "first.mp3"))};
    for (int k = 0; k < 20; ++k) {
      files << Q(fixture.scratch.File("d" + std::to_string(k) + ".flv"));
      RunCommand("cp " + Quote(damaged) + " " + Quote(files.back().toStdString()));
    }
    fixture.Add(files);
    TfrmMain& window = fixture.Window();
    QCOMPARE(window.lvFiles->Count(), 21);
    const std::string listFile = fixture.scratch.File("state/moskvid/files.list");
    std::string listAtPowerOff;
    fixture.services.onPowerOff = [&] { listAtPowerOff = RunCommand("cat " + Quote(listFile)); };
    fixture.services.onExec = [](QDialog& dialog) {
      static_cast<TfrmProgress*>(&dialog)->ckShutDown->setChecked(true);
    };
    window.btnStart->click();
    QTRY_COMPARE_WITH_TIMEOUT(fixture.services.powerOffCalls, 1, 30000);
    QTRY_COMPARE(fixture.services.messages.size(), size_t{1});
    QTest::qWait(200);  // nothing more comes
    QCOMPARE(fixture.services.messages.size(), size_t{1});
    QCOMPARE(fixture.services.powerOffCalls, 1);
    const QStringList lines = fixture.services.messages[0].text.split('\n');
    QCOMPARE(lines.size(), 20);
    QCOMPARE(window.lvFiles->SubItem(0, fcProgress), QString("100%"));
    for (int k = 1; k <= 20; ++k) {
      QCOMPARE(window.lvFiles->SubItem(k, fcProgress), QString("Failed"));
      QVERIFY(lines.contains("d" + QString::number(k - 1) + ".flv: " +
                             window.lvFiles->Entry(k)->toolTip(fcProgress).section('\n', 0, 0)));
    }
    // The list the machine goes down with has every end in it, and says
    // the session closed.
    QVERIFY2(listAtPowerOff.find("Converting") == std::string::npos, listAtPowerOff.c_str());
    QVERIFY2(listAtPowerOff.find("\nclosed=1\n") != std::string::npos, listAtPowerOff.c_str());
    size_t failed = 0;
    for (size_t at = listAtPowerOff.find("Failed"); at != std::string::npos;
         at = listAtPowerOff.find("Failed", at + 1))
      ++failed;
    QVERIFY2(failed >= 20, listAtPowerOff.c_str());
  }

  // Cancel, then adding files or playing one while the stopped tasks wind
  // down: their ends still arrive, and every task that had started reads
  // "Stopped" with its partial output named.
  void StoppedTasksKeepTheirEndWhenTheListChangesMeanwhile() {
    for (const bool play : {false, true}) {
      WindowFixture fixture;
      fixture.settings->SetOutputFormat(5);
      WriteSimultaneous(fixture.settings->Ini(), 2);
      const std::string clip = LongClip(fixture, "a.mkv");
      RunCommand("cp " + Quote(clip) + " " + Quote(fixture.scratch.File("b.mkv")));
      fixture.Add({Q(clip), Q(fixture.scratch.File("b.mkv"))});
      TfrmMain& window = fixture.Window();
      fixture.services.onExec = [&](QDialog& dialog) {
        auto* progress = static_cast<TfrmProgress*>(&dialog);
        QTRY_VERIFY_WITH_TIMEOUT(progress->lblTasks->text().count('%') == 2, 60000);
        QTest::mouseClick(progress->btnCancel, Qt::LeftButton);
        // At once, before the tasks' ends come in.
        if (play) {
          window.lvFiles->Select(1);
          QTest::mouseClick(window.imgbtnPlay, Qt::LeftButton);
        } else {
          window.AddFiles({Q(fixture.Copy("audio.mp3", "late.mp3"))});
        }
      };
      window.btnStart->click();
      WindowFixture::WaitForAdding(window);
      QTRY_COMPARE_WITH_TIMEOUT(window.Run().Phase(), rpIdle, 30000);
      for (int row = 0; row < 2; ++row) {
        QCOMPARE(window.lvFiles->SubItem(row, fcProgress), QString("Stopped"));
        QVERIFY(window.lvFiles->Entry(row)
                    ->toolTip(fcProgress)
                    .startsWith("What was converted is in "));
      }
      QCOMPARE(window.lvFiles->Count(), play ? 2 : 3);
      QVERIFY(fixture.services.messages.empty());
    }
  }

  // A file whose name is not UTF-8 is listed with replacement characters
  // and converts from its real name.
  void ANameThatIsNotUtf8Converts() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(11);  // WAV
    // Such a name reaches the list from a folder: no text can carry it.
    RunCommand("mkdir " + Quote(fixture.scratch.File("party")));
    const std::string latin1 = fixture.Copy("audio.mp3", "party/f\xe9te.mp3");
    TfrmMain& window = fixture.Window();
    window.AddFiles({Q(fixture.scratch.File("party"))});
    WindowFixture::WaitForAdding(window);
    QCOMPARE(window.lvFiles->Count(), 1);
    QCOMPARE(window.lvFiles->Entry(0)->Record.SourceFile, latin1);
    window.btnStart->click();
    QCOMPARE(window.lvFiles->SubItem(0, fcProgress), QString("100%"));
    QCOMPARE(window.lvFiles->SubItem(0, fcSource), Q(latin1));  // shown with U+FFFD
    const std::string output = fixture.scratch.File("out/f\xe9te_(new).wav");
    QVERIFY(CountPackets(output, "a:0") > 0);
    QTRY_VERIFY(fixture.services.messages.empty());
  }

  // Start puts the progress window up at once and sets the tasks up behind
  // it, opening each source once to set it up, without showing it.
  void StartOpensEachSourceOnceBehindTheProgressWindow() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(5);
    const std::string folder = fixture.scratch.File("clips");
    RunCommand(
        "mkdir -p " + Quote(folder) +
        " && ffmpeg -v error -nostdin -f lavfi -i testsrc=size=1280x720:rate=25:duration=0.4 "
        "-c:v libx264 -preset ultrafast " +
        Quote(folder + "/c00.mkv"));
    QStringList files;
    for (int k = 0; k < 60; ++k) {
      const std::string name = folder + "/c" + std::to_string(100 + k).substr(1) + ".mkv";
      if (k > 0) RunCommand("cp " + Quote(folder + "/c00.mkv") + " " + Quote(name));
      files << Q(name);
    }
    fixture.Add(files);
    TfrmMain& window = fixture.Window();
    QCOMPARE(window.lvFiles->Count(), 60);
    // Every open of a file in the folder from now on. Closes are watched
    // too: the system merges an event with the one before it when they
    // are the same, and open, close, open is then counted right.
    const int watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watcher >= 0 &&
            inotify_add_watch(watcher, folder.c_str(), IN_OPEN | IN_CLOSE_NOWRITE) >= 0);
    TRunPhase phaseAtShow = rpIdle;
    fixture.services.onExec = [&](QDialog&) { phaseAtShow = window.Run().Phase(); };
    window.btnStart->click();
    QCOMPARE(phaseAtShow, rpPreparing);
    std::map<std::string, int> opens;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t got; (got = read(watcher, buffer, sizeof buffer)) > 0;) {
      for (char* at = buffer; at < buffer + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len > 0 && (event->mask & IN_OPEN)) ++opens[event->name];
        at += sizeof(inotify_event) + event->len;
      }
    }
    close(watcher);
    // The first tasks keep the open of their set-up for their run; later
    // ones hold no descriptor while they wait, and open again to run.
    QCOMPARE(opens.size(), size_t{60});
    int k = 0;
    for (const auto& [name, count] : opens) {
      const int most = k++ < TCCAVConverter::kKeptInputs ? 1 : 2;
      QVERIFY2(count <= most, qPrintable(Q(name) + " opened " + QString::number(count) + " times"));
    }
    for (int k = 0; k < 60; ++k)
      QCOMPARE(window.lvFiles->SubItem(k, fcProgress), QString("100%"));
  }

  // Beside its source, in a folder that cannot be written: that entry fails
  // and says why, the others convert.
  void BesideASourceThatCannotBeWritten() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(11);  // WAV
    RunCommand("mkdir -p " + Quote(fixture.scratch.File("locked")) + " " +
               Quote(fixture.scratch.File("open")));
    const QStringList files = fixture.Copies("audio.mp3", {"locked/a.mp3", "open/b.mp3"});
    std::string why;
    FolderLock lock(fixture.scratch.File("locked"), why);
    if (!lock.Locked()) QSKIP(qPrintable("the folder cannot be locked: " + Q(why)));
    fixture.Add(files);
    TfrmMain& window = fixture.Window();
    window.ckSameFolder->click();
    window.btnStart->click();
    lock.Unlock();
    QCOMPARE(window.lvFiles->SubItem(0, fcProgress), QString("Failed"));
    QCOMPARE(window.lvFiles->SubItem(1, fcProgress), QString("100%"));
    const QString reason = window.lvFiles->Entry(0)->toolTip(fcProgress);
    QCOMPARE(reason, "Could not open '" + Q(fixture.scratch.File("locked/a_(new).wav")) +
                         "': the folder " + Q(fixture.scratch.File("locked")) +
                         " cannot be written (" + Q(why) + ")");
    QVERIFY(window.mmoLog->toPlainText().split('\n').contains("a.mp3: " + reason));
    // Nothing was left in the locked folder; the other output is whole.
    const auto locked = fs::directory_iterator(fixture.scratch.File("locked"));
    QCOMPARE(std::distance(fs::begin(locked), fs::end(locked)), 1);
    QVERIFY(CountPackets(fixture.scratch.File("open/b_(new).wav"), "a:0") > 0);
  }

  // An output that cannot be created fails its entry with the real reason:
  // in the cell's tooltip, in one log line that later probe texts keep, and
  // in the message.
  void AFailedOutputKeepsItsReason() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(11);  // WAV
    // The output name is one character longer than the file system takes.
    const std::string stem(246, 'x');
    fixture.Add(
        {Q(fixture.Copy("audio.mp3", stem + ".mp3")), Q(fixture.Copy("audio.mp3", "b.mp3"))});
    TfrmMain& window = fixture.Window();
    window.btnStart->click();
    QCOMPARE(window.lvFiles->SubItem(0, fcProgress), QString("Failed"));
    QCOMPARE(window.lvFiles->SubItem(1, fcProgress), QString("100%"));
    const QString reason = window.lvFiles->Entry(0)->toolTip(fcProgress);
    QVERIFY2(reason.contains("Could not open"),
             qPrintable("tooltip \"" + reason + "\", message \"" +
                        (fixture.services.messages.empty() ? QString()
                                                           : fixture.services.messages[0].text) +
                        "\""));
    QTRY_COMPARE(fixture.services.messages.size(), size_t{1});
    QCOMPARE(fixture.services.messages[0].text, reason);
    const QString line = Q(stem) + ".mp3: " + reason;
    QCOMPARE(window.mmoLog->toPlainText().split('\n').count(line), 1);
    window.lvFiles->Select(1);
    QTest::mouseClick(window.imgbtnPlay, Qt::LeftButton);
    QVERIFY(window.mmoLog->toPlainText().contains("Duration"));
    QCOMPARE(window.mmoLog->toPlainText().split('\n').count(line), 1);
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::RunTest)

#include "run_test.moc"
