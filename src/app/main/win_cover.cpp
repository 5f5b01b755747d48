#include "app/main/win_cover.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace moskvid {

TfrmCover::TfrmCover(const QString& pictureFile, QWidget* mainWindow)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      mainWindow_(mainWindow) {
  setObjectName("frmCover");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(399, 239);
  picture_.load(pictureFile);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  Timer1 = new QTimer(this);
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &TfrmCover::Timer1Timer);
  Timer1->start();
}

void TfrmCover::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.isNull()) {
    painter.fillRect(rect(), QColor(0x2B, 0x4C, 0x8C));
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter, "Moskvid");
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(rect(), picture_);
}

void TfrmCover::Timer1Timer() {
  // Stays up until the main window is there to take over.
  if (!mainWindow_ || mainWindow_->isVisible()) close();
}

}  // namespace moskvid
