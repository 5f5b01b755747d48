#include "app/dialogs/rect_tracker.h"

#include <QMouseEvent>
#include <QPainter>

namespace moskvid {

namespace {

Qt::CursorShape CursorFor(TTrackerHandle handle) {
  switch (handle) {
    case thLeft:
    case thRight:
      return Qt::SizeHorCursor;
    case thTop:
    case thBottom:
      return Qt::SizeVerCursor;
    case thTopLeft:
    case thBottomRight:
      return Qt::SizeFDiagCursor;
    case thTopRight:
    case thBottomLeft:
      return Qt::SizeBDiagCursor;
    case thInside:
      return Qt::SizeAllCursor;
    case thNone:
      break;
  }
  return Qt::ArrowCursor;
}

}  // namespace

TCustomRectTracker::TCustomRectTracker(QWidget* parent) : QWidget(parent) {
  setObjectName("RectTracker");
  setMouseTracking(true);
  setAttribute(Qt::WA_TranslucentBackground);
}

void TCustomRectTracker::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QPen dotted(Qt::white, 1, Qt::DotLine);
  painter.setPen(QPen(Qt::black, 1));
  painter.drawRect(rect().adjusted(2, 2, -3, -3));
  painter.setPen(dotted);
  painter.drawRect(rect().adjusted(2, 2, -3, -3));
  const int w = width(), h = height(), s = kGrabSize;
  const QPoint centres[] = {{0, 0},         {w / 2, 0}, {w - 1, 0},     {0, h / 2},
                            {w - 1, h / 2}, {0, h - 1}, {w / 2, h - 1}, {w - 1, h - 1}};
  for (const QPoint& centre : centres) {
    const int left = std::clamp(centre.x() - s / 2, 0, w - s);
    const int top = std::clamp(centre.y() - s / 2, 0, h - s);
    painter.fillRect(left, top, s, s, Qt::black);
  }
}

void TCustomRectTracker::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  atDown_ = Bounds();
  grab_ = mapToParent(event->position().toPoint());
  handle_ = TrackerHandleAt(atDown_, grab_.x(), grab_.y());
  emit OnMouseDown();
}

void TCustomRectTracker::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = mapToParent(event->position().toPoint());
  if (handle_ == thNone) {
    setCursor(CursorFor(TrackerHandleAt(Bounds(), at.x(), at.y())));
    return;
  }
  SetBounds(DragTracker(atDown_, handle_, at.x() - grab_.x(), at.y() - grab_.y(), limits_));
  emit OnMouseMove();
}

void TCustomRectTracker::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || handle_ == thNone) return;
  handle_ = thNone;
  grab_ = {-1, -1};
  if (Bounds() != atDown_) emit OnChange();
}

}  // namespace moskvid
