// moskvid: the desktop application. Files named on the command line are
// added to the list once the main window is up.
#include <QIcon>
#include <QStyleFactory>
#include <QTimer>

#include "app/main/application.h"
#include "app/main/ui_services.h"
#include "app/main/win_cover.h"
#include "app/main/win_main.h"
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
  return TApplication::exec();
}
