// moskvid: the desktop application. Files named on the command line are
// added to the list once the main window is up.
#include <QIcon>
#include <QStyleFactory>
#include <QTimer>

#include "app/main/application.h"
#include "app/main/ui_services.h"
#include "app/main/win_cover.h"
#include "app/main/win_main.h"
#include "binding/my_utils.h"

int main(int argc, char** argv) {
  using namespace moskvid;
  TApplication application(argc, argv);
  TApplication::setApplicationName("moskvid");
  TApplication::setDesktopFileName("moskvid");
  TApplication::setStyle(QStyleFactory::create("Fusion"));
  const QString folder = QString::fromStdString(ExecutableFolder());
  TApplication::setWindowIcon(QIcon(folder + "skin/moskvid.png"));

  TDesktopServices services;
  TfrmMain window(services);
  auto* cover = new TfrmCover(folder + "skin/moskvidcover.jpg", &window);
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
