#include "files/range_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <algorithm>

namespace vortane {
namespace {

const QColor kTrackGrey(128, 128, 128);
const QColor kVisualGreen(0, 250, 0);

}  // namespace

CRangeSlider::CRangeSlider(int controlId, QWidget* parent)
    : QWidget(parent), controlId_(controlId) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::ArrowCursor);
}

QSize CRangeSlider::sizeHint() const {
  return horizontal_ ? QSize(360, 20) : QSize(20, 360);
}

void CRangeSlider::SetMinMax(double a, double b) {
  if (a > b) std::swap(a, b);
  if (inverted_) {
    min_ = -b;
    max_ = -a;
  } else {
    min_ = a;
    max_ = b;
  }
  NormaliseSelection();
  update();
}

void CRangeSlider::SetRange(double a, double b) {
  if (inverted_) {
    left_ = -b;
    right_ = -a;
  } else {
    left_ = a;
    right_ = b;
  }
  NormaliseSelection();
  update();
}

void CRangeSlider::SetVisualMinMax(double a, double b) {
  if (inverted_) {
    visualMin_ = -b;
    visualMax_ = -a;
  } else {
    visualMin_ = a;
    visualMax_ = b;
  }
  NormaliseVisual();
  update();
}

void CRangeSlider::SetVisualMode(bool on) {
  if (visualMode_ == on) return;
  visualMode_ = on;
  update();
}

std::pair<double, double> CRangeSlider::GetRange() const {
  return inverted_ ? std::make_pair(-right_, -left_) : std::make_pair(left_, right_);
}

std::pair<double, double> CRangeSlider::GetMinMax() const {
  return inverted_ ? std::make_pair(-max_, -min_) : std::make_pair(min_, max_);
}

std::pair<double, double> CRangeSlider::GetVisualMinMax() const {
  return inverted_ ? std::make_pair(-visualMax_, -visualMin_)
                   : std::make_pair(visualMin_, visualMax_);
}

void CRangeSlider::SetHorizontal(bool horizontal) {
  horizontal_ = horizontal;
  updateGeometry();
  update();
}

void CRangeSlider::SetInverted(bool inverted) {
  if (inverted == inverted_) return;
  // Keep the values the owner sees; only their stored form changes.
  const auto range = GetMinMax();
  const auto selection = GetRange();
  const auto visual = GetVisualMinMax();
  inverted_ = inverted;
  SetMinMax(range.first, range.second);
  SetRange(selection.first, selection.second);
  SetVisualMinMax(visual.first, visual.second);
}

void CRangeSlider::NormaliseSelection() {
  if (min_ > left_) left_ = min_;
  if (min_ > right_) right_ = min_;
  if (max_ < right_) right_ = max_;
  if (max_ < left_) left_ = max_;
}

void CRangeSlider::NormaliseVisual() {
  if (visualMin_ > visualMax_) std::swap(visualMin_, visualMax_);
  if (min_ > visualMin_) visualMin_ = min_;
  if (min_ > visualMax_) visualMax_ = min_;
  if (max_ < visualMax_) visualMax_ = max_;
  if (max_ < visualMin_) visualMin_ = max_;
}

int CRangeSlider::ThumbSize() const {
  return Breadth() * 3 / 4;
}

int CRangeSlider::TrackLength() const {
  return Length() - 2 * ThumbSize();
}

int CRangeSlider::ValueToPixel(double value) const {
  const int track = TrackLength();
  if (track <= 0 || max_ <= min_) return 0;
  return static_cast<int>(track * (value - min_) / (max_ - min_) + 0.5);
}

QRect CRangeSlider::Box(int a0, int c0, int a1, int c1) const {
  return horizontal_ ? QRect(a0, c0, a1 - a0, c1 - c0) : QRect(c0, a0, c1 - c0, a1 - a0);
}

QRect CRangeSlider::LeftThumbRect() const {
  const int w = ThumbSize();
  const int p = ValueToPixel(left_);
  return Box(p + 1, 1, p + w - 2, Breadth() - 2);
}

QRect CRangeSlider::RightThumbRect() const {
  const int w = ThumbSize();
  const int p = ValueToPixel(right_);
  return Box(p + w + 1, 1, p + 2 * w - 2, Breadth() - 2);
}

QRect CRangeSlider::MiddleBarRect() const {
  const int w = ThumbSize();
  return Box(ValueToPixel(left_) + w + 1, 1, ValueToPixel(right_) + w, Breadth() - 1);
}

void CRangeSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int w = ThumbSize();
  const int h = Breadth();
  const int pl = ValueToPixel(left_);
  const int pr = ValueToPixel(right_);

  // Grey ground with a black border.
  p.fillRect(rect(), kTrackGrey);
  p.setPen(Qt::black);
  p.drawRect(rect().adjusted(0, 0, -1, -1));

  const QColor face = palette().color(QPalette::Button);
  const QColor light = palette().color(QPalette::Light);
  const QColor shadow = palette().color(QPalette::Dark);
  auto thumb = [&](int start, bool raised, bool pointsForward) {
    const QRect body = Box(start, 0, start + w, h);
    p.setPen(Qt::black);
    p.setBrush(face);
    p.drawRect(body.adjusted(0, 0, -1, -1));
    if (raised) {
      const QRect inner = body.adjusted(1, 1, -2, -2);
      p.setPen(light);
      p.drawLine(inner.topLeft(), inner.topRight());
      p.drawLine(inner.topLeft(), inner.bottomLeft());
      p.setPen(shadow);
      p.drawLine(inner.bottomLeft(), inner.bottomRight());
      p.drawLine(inner.topRight(), inner.bottomRight());
    }
    // A black triangle pointing into the selection.
    const int back = pointsForward ? start + w / 3 : start + 2 * w / 3;
    const int tip = pointsForward ? start + 2 * w / 3 : start + w / 3;
    auto at = [&](int along, int across) {
      return horizontal_ ? QPoint(along, across) : QPoint(across, along);
    };
    const QPoint triangle[3] = {at(back, h / 3), at(back, 2 * h / 3), at(tip, h / 2)};
    p.setPen(Qt::black);
    p.setBrush(Qt::black);
    p.drawPolygon(triangle, 3);
  };
  thumb(pl, !(dragging_ && dragElement_ == kLeftThumb), true);
  thumb(pr + w, !(dragging_ && dragElement_ == kRightThumb), false);

  const QRect bar = Box(pl + w + 1, 1, pr + w, h - 1);
  p.fillRect(bar, Qt::white);
  if (visualMode_ && visualMin_ < right_ && visualMax_ > left_) {
    const int from = std::max(ValueToPixel(visualMin_), pl) + w;
    const int to = std::min(ValueToPixel(visualMax_), pr) + w;
    p.fillRect(Box(from, 1, to, h - 1), kVisualGreen);
  }
  if (hasFocus() && bar.width() > 6 && bar.height() > 6) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = bar.adjusted(3, 3, -3, -3);
    focus.backgroundColor = Qt::white;
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
  }
}

void CRangeSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  setFocus(Qt::MouseFocusReason);
  update();
  if (dragging_) return;
  const QPoint pos = event->position().toPoint();
  const QRect leftThumb = LeftThumbRect();
  const QRect rightThumb = RightThumbRect();
  // The middle bar for grabbing: between the two thumbs, across the whole control.
  const int barStart =
      Along(leftThumb.topLeft()) + (horizontal_ ? leftThumb.width() : leftThumb.height());
  const int barEnd = Along(rightThumb.topLeft());
  const QRect bar = Box(barStart, 0, barEnd, Breadth());
  QRect grabbed;
  if (leftThumb.contains(pos)) {
    dragElement_ = kLeftThumb;
    grabbed = leftThumb;
  } else if (rightThumb.contains(pos)) {
    dragElement_ = kRightThumb;
    grabbed = rightThumb;
  } else if (bar.contains(pos)) {
    dragElement_ = kMiddleBar;
    grabbed = bar;
  } else {
    return;
  }
  dragging_ = true;
  // The offset from the element's centre, as the element's own (start + end) / 2.
  const int start = Along(grabbed.topLeft());
  const int end = start + (horizontal_ ? grabbed.width() : grabbed.height());
  dragOffset_ = Along(pos) - (start + end) / 2;
}

void CRangeSlider::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  const int track = TrackLength();
  if (track <= 0 || max_ <= min_) return;
  const int w = ThumbSize();
  const double a = Along(event->position().toPoint()) - dragOffset_;
  const double span = max_ - min_;
  switch (dragElement_) {
    case kLeftThumb:
      left_ = min_ + (a - w / 2) / track * span;
      if (left_ >= right_) left_ = right_;
      if (left_ <= min_) left_ = min_;
      break;
    case kRightThumb:
      right_ = min_ + (a - 3 * w / 2) / track * span;
      if (right_ <= left_) right_ = left_;
      if (right_ >= max_) right_ = max_;
      break;
    default: {
      const double centre = min_ + (a - w) / track * span;
      const double width = right_ - left_;
      left_ = centre - width / 2;
      right_ = centre + width / 2;
      if (left_ <= min_) {
        left_ = min_;
        right_ = min_ + width;
      }
      if (right_ >= max_) {
        right_ = max_;
        left_ = max_ - width;
      }
      break;
    }
  }
  update();
}

void CRangeSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  if (dragging_) {
    dragging_ = false;
    update();
  }
  Notify(1);
}

void CRangeSlider::keyPressEvent(QKeyEvent* event) {
  const int decrease = horizontal_ ? Qt::Key_Left : Qt::Key_Up;
  const int increase = horizontal_ ? Qt::Key_Right : Qt::Key_Down;
  const int key = event->key();
  if ((key != decrease && key != increase) || (event->modifiers() & Qt::ControlModifier)) {
    QWidget::keyPressEvent(event);
    return;
  }
  event->accept();
  const int track = TrackLength();
  if (track <= 0 || max_ <= min_) return;
  const double step = (max_ - min_) / track;
  int pl = static_cast<int>((left_ - min_) / step + 0.5);
  int pr = static_cast<int>((right_ - min_) / step + 0.5);
  const int delta = key == increase ? 1 : -1;
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  if (!shift) pl += delta;
  pr += delta;
  if (pl >= 0 && pr <= track && pr >= pl) {
    left_ = min_ + pl * step;
    right_ = min_ + pr * step;
  }
  Notify(shift ? 0 : 2);
  update();
}

void CRangeSlider::focusInEvent(QFocusEvent* event) {
  update();
  QWidget::focusInEvent(event);
}

void CRangeSlider::focusOutEvent(QFocusEvent* event) {
  update();
  QWidget::focusOutEvent(event);
}

void CRangeSlider::Notify(int wParam) {
  emit rangeChanged(wParam);
}

}  // namespace vortane
