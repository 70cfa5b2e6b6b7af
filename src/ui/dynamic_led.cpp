#include "ui/dynamic_led.h"

#include <QPainter>
#include <QPainterPath>

namespace vortane::ui {

CDynamicLED::CDynamicLED(int controlId, QWidget* parent)
    : QWidget(parent), controlId_(controlId), timer_(new QTimer(this)) {
  timer_->setTimerType(Qt::CoarseTimer);
  connect(timer_, &QTimer::timeout, this, &CDynamicLED::Tick);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

QColor CDynamicLED::BrightColour(int colourCode) {
  switch (colourCode) {
    case kGreen:
      return QColor(0, 250, 0);
    case kBlue:
      return QColor(0, 0, 250);
    case kYellow:
      return QColor(200, 200, 0);
    default:
      return QColor(250, 0, 0);
  }
}

QColor CDynamicLED::DarkColour(int colourCode) {
  switch (colourCode) {
    case kGreen:
      return QColor(0, 150, 0);
    case kBlue:
      return QColor(0, 0, 150);
    case kYellow:
      return QColor(150, 150, 0);
    default:
      return QColor(150, 0, 0);
  }
}

void CDynamicLED::SetLed(int colourCode) {
  colourCode_ = colourCode;
  shapeCode_ = kRound;
  blinkInterval_ = kBlinkIntervalMs;
  savedInterval_ = kBlinkIntervalMs;
  Tick();
  timer_->start(blinkInterval_);
}

void CDynamicLED::StopBlinking() {
  blinkInterval_ = 0;
  // Ticks do nothing while the interval is 0; the timer has no work left until the next SetLed.
  timer_->stop();
}

void CDynamicLED::SetShape(int shapeCode) {
  shapeCode_ = shapeCode == kSquare ? kSquare : kRound;
  update();
}

void CDynamicLED::Tick() {
  if (blinkInterval_ == 0) return;
  if (phase_ == 1) {
    bright_ = true;
    phase_ = 0;
  } else {
    bright_ = false;
    phase_ = 1;
  }
  lit_ = true;
  update();
}

void CDynamicLED::paintEvent(QPaintEvent*) {
  if (!lit_) return;
  QPainter p(this);
  const QColor fill = bright_ ? BrightColour(colourCode_) : DarkColour(colourCode_);
  const QRect r = rect();
  if (shapeCode_ == kSquare) {
    p.fillRect(r, fill);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(r.bottomLeft(), r.topLeft());
    p.drawLine(r.topLeft(), r.topRight());
    p.setPen(QColor(192, 192, 192));
    p.drawLine(r.topRight(), r.bottomRight());
    p.drawLine(r.bottomRight(), r.bottomLeft());
    return;
  }
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF body = QRectF(r).adjusted(1, 1, -1, -1);
  // The lamp, a grey rim, a light inner ring, a white reflex from the bottom round to the
  // top-right, and a small glint near the top-left.
  p.setPen(QPen(fill, 1));
  p.setBrush(fill);
  p.drawEllipse(body);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(128, 128, 128), 2));
  p.drawEllipse(body);
  p.setPen(QPen(QColor(192, 192, 192), 1));
  p.drawEllipse(body.adjusted(0.5, 0.5, -0.5, -0.5));
  p.setPen(QPen(QColor(255, 255, 255, bright_ ? 200 : 110), 1));
  p.drawArc(body.adjusted(1.5, 1.5, -1.5, -1.5), -90 * 16, 135 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, bright_ ? 230 : 140));
  const qreal glint = std::max<qreal>(2.0, body.width() / 6.0);
  p.drawEllipse(QRectF(body.left() + body.width() * 0.28 - glint / 2,
                       body.top() + body.height() * 0.28 - glint / 2, glint, glint));
}

}  // namespace vortane::ui
