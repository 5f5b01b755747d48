// TfrmCover: the borderless start-up picture, centred on the screen, that
// closes itself once the main window is visible.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace moskvid {

class TfrmCover : public QWidget {
  Q_OBJECT
 public:
  // `pictureFile` is shown when it exists; `mainWindow` is watched.
  TfrmCover(const QString& pictureFile, QWidget* mainWindow);

  QTimer* Timer1;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Timer1Timer();

  QImage picture_;
  QPointer<QWidget> mainWindow_;
};

}  // namespace moskvid
