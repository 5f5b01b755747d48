// TCustomRectTracker / TRectTracker: the crop band over the preview, a
// widget of its own: a dotted outline two pixels inside its bounds, eight
// grab squares, handles with their cursors, and OnChange when a drag ends
// with other bounds.
#pragma once

#include <QWidget>

#include "app/dialogs/crop_rules.h"

namespace moskvid {

class TCustomRectTracker : public QWidget {
  Q_OBJECT
 public:
  explicit TCustomRectTracker(QWidget* parent);

  // The picture the rectangle must stay in, in the parent's coordinates.
  void SetLimits(const TArea& picture) { limits_ = picture; }
  TArea Bounds() const { return {x(), y(), width(), height()}; }
  void SetBounds(const TArea& bounds) {
    setGeometry(bounds.Left, bounds.Top, bounds.Width, bounds.Height);
  }
  TTrackerHandle ActiveHandle() const { return handle_; }

 signals:
  void OnMouseDown();
  void OnMouseMove();
  void OnChange();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TArea limits_;
  TTrackerHandle handle_ = thNone;
  QPoint grab_{-1, -1};  // in the parent's coordinates
  TArea atDown_;
};

class TRectTracker : public TCustomRectTracker {
  Q_OBJECT
 public:
  using TCustomRectTracker::TCustomRectTracker;
};

}  // namespace moskvid
