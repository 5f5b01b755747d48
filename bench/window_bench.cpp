// Measures the desktop application's own paths under the offscreen platform:
//   run FILE FORMAT [gated|no-pictures|every-frame|every-frame-update]
//       a conversion run started with the main window's Start, timed until
//       the run has ended (the progress window shown and drawing). The two
//       "every-frame" modes let every picture through the picture hook (and
//       copy it back), to show what the before-hook saves.
//   batch FORMAT FILE...
//       the same run over several files, with the "Simultaneous
//       conversions" the configuration file names.
//   preview FILE COUNT
//       slider changes to random positions on the main window's preview:
//       the time from the change to the frame drawn, median and 95th
//       percentile.
//   add FOLDER COUNT
//       the folder added to the list as a dropped folder is: the time until
//       all COUNT files are in, and the longest gap between two repaints of
//       the list from the drop to the first repaint after adding ended.
#include <QElapsedTimer>
#include <QStyleFactory>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <random>

#include "app/main/win_main.h"
#include "app/widgets/application.h"
#include "app/widgets/ui_services.h"

namespace {

using namespace moskvid;

class BenchServices : public TUiServices {
 public:
  int ExecModal(QDialog& dialog) override { return dialog.exec(); }
  void Message(QWidget*, const QString& caption, const QString& text, QMessageBox::Icon) override {
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
  }
  QStringList OpenFileNames(QWidget*, const QString&, const QString&) override { return {}; }
  QString ExistingFolder(QWidget*, const QString&) override { return {}; }
  void OpenUrl(const QUrl&) override {}
  bool PowerOff(QString& error) override {
    error = "not in a benchmark";
    return false;
  }
  std::unique_ptr<TSleepLock> InhibitSleep(const QString&) override { return nullptr; }
  void Notify(const QString&, const QString&) override {}
};

void AddAndWait(TfrmMain& window, const QStringList& paths) {
  window.AddFiles(paths);
  while (window.Adding())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

// Counts the list's repaints and the longest time between two of them.
class RepaintWatch : public QObject {
 public:
  explicit RepaintWatch(QWidget& watched) {
    watched.installEventFilter(this);
    clock_.start();
  }
  double LongestGapMs() const { return longest_ / 1e6; }
  int Repaints() const { return repaints_; }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      const qint64 now = clock_.nsecsElapsed();
      longest_ = std::max(longest_, now - last_);
      last_ = now;
      ++repaints_;
    }
    return false;
  }

 private:
  QElapsedTimer clock_;
  qint64 last_ = 0, longest_ = 0;
  int repaints_ = 0;
};

int AddFolder(TfrmMain& window, const QString& folder, int count) {
  RepaintWatch watch(*window.lvFiles->viewport());
  // Something to paint every 10 ms, as a user moving the mouse would ask.
  QTimer poke;
  QObject::connect(&poke, &QTimer::timeout, [&window] { window.lvFiles->viewport()->update(); });
  poke.start(10);
  QElapsedTimer clock;
  clock.start();
  AddAndWait(window, {folder});
  const double seconds = clock.nsecsElapsed() / 1e9;
  // The end of adding (the names planned, the list file written) counts
  // too: until the list has painted once more.
  for (const int before = watch.Repaints(); watch.Repaints() == before;)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  std::printf("%d files added in %.2f s; longest gap between repaints %.0f ms (%d repaints)\n",
              window.lvFiles->Count(), seconds, watch.LongestGapMs(), watch.Repaints());
  return window.lvFiles->Count() == count ? 0 : 1;
}

int Run(TfrmMain& window, const QStringList& files, int format, const std::string& mode) {
  window.cbOutputFormat->setCurrentIndex(format);
  AddAndWait(window, files);
  if (window.lvFiles->Count() != files.size()) return 1;
  if (mode == "no-pictures") {
    // The picture hook ends at the first picture: the run without it.
    window.Converter().OnBeforeHook = [](int, int64_t, THookAction& action) { action = haStop; };
  } else if (mode != "gated") {
    // Every picture to the hook, as without the before-hook.
    window.Converter().OnBeforeHook = [](int, int64_t, THookAction& action) {
      action = haContinue;
    };
  }
  if (mode == "every-frame-update") {
    auto hook = window.Converter().OnCustomHook;
    window.Converter().OnCustomHook = [hook](int index, TBitmap24& bitmap, int frame, int64_t pts,
                                             bool& update, bool& stop) {
      hook(index, bitmap, frame, pts, update, stop);
      update = true;
    };
  }
  QElapsedTimer clock;
  clock.start();
  window.btnStart->click();  // returns when the progress window closes at the end
  while (!window.btnStart->isEnabled())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  std::printf("%.3f\n", clock.nsecsElapsed() / 1e9);
  for (int row = 0; row < window.lvFiles->Count(); ++row)
    if (window.lvFiles->SubItem(row, fcProgress) != "100%") return 1;
  return 0;
}

int Preview(TfrmMain& window, const QString& file, int count) {
  AddAndWait(window, {file});
  if (window.lvFiles->Count() != 1) return 1;
  window.imgbtnPlay->click();
  window.imgbtnPause->click();  // the timer leaves the slider alone
  std::mt19937 random(20261209);
  std::uniform_int_distribution<int> position(0, std::max(window.trcPreview->maximum() - 1, 0));
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    QElapsedTimer clock;
    clock.start();
    window.trcPreview->setValue(position(random));  // decodes and draws the frame
    window.imgPreview->repaint();
    times.push_back(clock.nsecsElapsed() / 1e6);
  }
  std::sort(times.begin(), times.end());
  const auto at = [&](double share) {
    return times[std::min(times.size() - 1, static_cast<size_t>(share * times.size()))];
  };
  std::printf("median %.1f ms, 95th percentile %.1f ms, max %.1f ms over %d changes\n", at(0.5),
              at(0.95), times.back(), count);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication application(argc, argv);
  TApplication::setStyle(QStyleFactory::create("Fusion"));
  const QStringList args = TApplication::arguments();
  if (args.size() < 4) {
    std::fprintf(stderr,
                 "usage: %s run FILE FORMAT [gated|no-pictures|every-frame|every-frame-update]\n"
                 "       %s batch FORMAT FILE...\n"
                 "       %s preview FILE COUNT\n"
                 "       %s add FOLDER COUNT\n",
                 argv[0], argv[0], argv[0], argv[0]);
    return 2;
  }
  BenchServices services;
  TfrmMain window(services);
  window.show();
  QCoreApplication::processEvents();
  if (args[1] == "run") {
    return Run(window, {args[2]}, args[3].toInt(),
               args.size() > 4 ? args[4].toStdString() : std::string("gated"));
  }
  if (args[1] == "batch") return Run(window, args.mid(3), args[2].toInt(), "gated");
  if (args[1] == "add") return AddFolder(window, args[2], args[3].toInt());
  return Preview(window, args[2], args[3].toInt());
}
