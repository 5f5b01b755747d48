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
  Clear();
}

void TPicturePane::Clear() {
  const QSize wanted = size().expandedTo(QSize(1, 1));
  if (picture_.size() != wanted) picture_ = QImage(wanted, QImage::Format_RGB32);
  picture_.fill(kPreviewBackground);
  update();
}

void TPicturePane::DrawFitted(const QImage& frame) {
  Clear();
  if (frame.isNull()) return;
  const TBox box = FitPicture(frame.width(), frame.height(), picture_.width(), picture_.height());
  if (box.Width() <= 0 || box.Height() <= 0) return;
  QPainter painter(&picture_);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRect(box.Left, box.Top, box.Width(), box.Height()), frame);
}

void TPicturePane::DrawInto(const QImage& frame, const QRect& target) {
  Clear();
  if (frame.isNull() || target.isEmpty()) return;
  QPainter painter(&picture_);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, frame);
}

void TPicturePane::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, picture_);
}

void TPicturePane::resizeEvent(QResizeEvent*) {
  if (picture_.size() != size()) Clear();
}

}  // namespace moskvid
