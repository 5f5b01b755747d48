// A picture area: a background colour with a frame fitted in, centred, or
// stretched into a given rectangle. The snapshot of the "small" frame is
// what it shows, at its own size.
#pragma once

#include <QImage>
#include <QPainter>
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

  // Shows the background colour only.
  void Clear();
  // Shows `frame` scaled to the largest rectangle of its shape that fits,
  // centred, on the background; its pixels `pixelAspect` times as wide as
  // high (an anamorphic picture).
  void DrawFitted(const QImage& frame, double pixelAspect = 1.0);
  // Shows `frame` stretched into `target` (in the pane's coordinates).
  void DrawInto(const QImage& frame, const QRect& target);
  // What the pane shows, one pixel for each of its own (the small snapshot).
  QImage Picture() const;
  // Draws what the pane shows on `painter`: the frame is scaled for the
  // device's pixel ratio, so that it stays sharp on a screen at 200%.
  void Render(QPainter& painter) const;

  QSize sizeHint() const override { return minimumSize(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage frame_;
  bool fitted_ = true;
  double pixelAspect_ = 1.0;
  QRect target_;
};

}  // namespace moskvid
