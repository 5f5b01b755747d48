// A picture area that keeps what it shows as a picture of its own size: a
// background colour with a frame fitted in, centred. The snapshot of the
// "small" frame is this picture.
#pragma once

#include <QImage>
#include <QWidget>

#include "engine/bitmap24.h"

namespace moskvid {

// The preview background before the first frame, and around fitted frames.
inline constexpr QRgb kPreviewBackground = 0xFFA6CAF0;

// A deep copy of a 24-bit bitmap as a QImage, safe to keep and hand on.
QImage ImageFromBitmap(const TBitmap24& bitmap);
// The picture as a 24-bit bitmap.
void BitmapFromImage(const QImage& image, TBitmap24& bitmap);

class TPicturePane : public QWidget {
  Q_OBJECT
 public:
  explicit TPicturePane(QWidget* parent = nullptr);

  // Fills the pane with the background colour.
  void Clear();
  // Fills it and draws `frame` scaled to the largest rectangle of its shape
  // that fits, centred.
  void DrawFitted(const QImage& frame);
  // Fills it and draws `frame` stretched into `target`.
  void DrawInto(const QImage& frame, const QRect& target);
  const QImage& Picture() const { return picture_; }

  QSize sizeHint() const override { return minimumSize(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage picture_;
};

}  // namespace moskvid
