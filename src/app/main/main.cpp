// moskvid: the desktop application. Files named on the command line are
// added to the list once the main window is up.
#include <QComboBox>
#include <QIcon>
#include <QStyleFactory>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/main/win_cover.h"
#include "app/main/win_main.h"
#include "app/settings/global_object.h"
#include "app/widgets/application.h"
#include "app/widgets/ui_services.h"
#include "binding/install_paths.h"

int main(int argc, char** argv) {
  using namespace moskvid;
  TApplication application(argc, argv);
  TApplication::setApplicationName("moskvid");
  // The installed desktop entry's name, so that desktops match windows to it.
  TApplication::setDesktopFileName("io.github.moskvid.Moskvid");
  TApplication::setStyle(QStyleFactory::create("Fusion"));
  TApplication::setWindowIcon(QIcon(QString::fromStdString(DataFile("skin/moskvid.png"))));

  TDesktopServices services;
  TfrmMain window(services);
  auto* cover = new TfrmCover(QString::fromStdString(DataFile("skin/moskvidcover.jpg")), &window);
  cover->show();
  window.show();
  cover->raise();  // over the main window until its timer closes it

  QStringList files = TApplication::arguments();
  files.removeFirst();
  if (!files.isEmpty()) {
    QTimer::singleShot(0, &window, [&window, files] { Guarded([&] { window.AddFiles(files); }); });
  }
  // For checks of an installed program without a display: once the main
  // window is up, tell what it found and leave.
  if (std::getenv("MOSKVID_EXIT_AFTER_START")) {
    QTimer::singleShot(0, &window, [&window] {
      const auto* formats = window.findChild<QComboBox*>("cbOutputFormat");
      const TGlobalObject global;
      std::printf("main window \"%s\" shown: %s, %d output formats from %s, help page %s\n",
                  window.windowTitle().toUtf8().constData(),
                  window.isVisible() ? "visible" : "hidden", formats ? formats->count() : 0,
                  global.ProfileFile().c_str(), global.HelpPage().c_str());
      std::fflush(stdout);
      TApplication::exit(window.isVisible() ? 0 : 1);
    });
  }
  return TApplication::exec();
}
