#include "app/widgets/picture_pane.h"

#include <QPainter>
#include <cstring>

#include "app/widgets/picture_fit.h"

namespace moskvid {

QImage ImageFromBitmap(const TBitmap24& bitmap) {
  if (bitmap.Empty()) return {};
  const QImage view(bitmap.ScanLine(0), bitmap.Width(), bitmap.Height(), bitmap.Stride(),
                    QImage::Format_BGR888);
  return view.copy();
}

void BitmapFromImage(const QImage& image, TBitmap24& bitmap) {
  const QImage converted = image.convertToFormat(QImage::Format_BGR888);
  bitmap.SetSize(converted.width(), converted.height());
  for (int y = 0; y < converted.height(); ++y) {
    std::memcpy(bitmap.ScanLine(y), converted.constScanLine(y),
                static_cast<size_t>(bitmap.Stride()));
  }
}

TPicturePane::TPicturePane(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPicturePane::Clear() {
  frame_ = QImage();
  update();
}

void TPicturePane::DrawFitted(const QImage& frame, double pixelAspect) {
  frame_ = frame;
  fitted_ = true;
  pixelAspect_ = pixelAspect > 0 ? pixelAspect : 1.0;
  update();
}

void TPicturePane::DrawInto(const QImage& frame, const QRect& target) {
  frame_ = target.isEmpty() ? QImage() : frame;
  fitted_ = false;
  target_ = target;
  update();
}

QImage TPicturePane::Picture() const {
  QImage picture(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  QPainter painter(&picture);
  Render(painter);
  return picture;
}

void TPicturePane::Render(QPainter& painter) const {
  painter.fillRect(rect(), QColor::fromRgb(kPreviewBackground));
  if (frame_.isNull()) return;
  QRectF target = target_;
  if (fitted_) {
    // Fitted in device pixels, so that the margins are exact at any scale.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const TBox box = FitPicture(qRound(frame_.width() * pixelAspect_), frame_.height(),
                                qRound(width() * ratio), qRound(height() * ratio));
    if (box.Width() <= 0 || box.Height() <= 0) return;
    target = QRectF(box.Left / ratio, box.Top / ratio, box.Width() / ratio, box.Height() / ratio);
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, frame_);
}

void TPicturePane::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Render(painter);
}

}  // namespace moskvid
