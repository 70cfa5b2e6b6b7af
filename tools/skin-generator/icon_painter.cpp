#include "icon_painter.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace vortane::skin {
namespace {

constexpr qreal kStroke = 1.6;

QPen InkPen(const QColor& ink, qreal width = kStroke) {
  QPen pen(ink, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

void Record(QPainter& p, const QColor& ink, const QColor& accent) {
  p.setPen(InkPen(ink, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(10, 10), 8.3, 8.3);
  p.setPen(Qt::NoPen);
  p.setBrush(accent);
  p.drawEllipse(QPointF(10, 10), 5.2, 5.2);
}

void Stop(QPainter& p, const QColor& ink, const QColor& accent) {
  p.setPen(InkPen(ink, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(10, 10), 8.3, 8.3);
  p.setPen(Qt::NoPen);
  p.setBrush(accent);
  p.drawRoundedRect(QRectF(6.2, 6.2, 7.6, 7.6), 1.4, 1.4);
}

void Area(QPainter& p, const QColor& ink, const QColor& accent) {
  p.setPen(InkPen(ink));
  p.setBrush(Qt::NoBrush);
  QPainterPath corners;
  const qreal a = 2.5, b = 17.5, l = 4.5;
  corners.moveTo(a, a + l);
  corners.lineTo(a, a);
  corners.lineTo(a + l, a);
  corners.moveTo(b - l, a);
  corners.lineTo(b, a);
  corners.lineTo(b, a + l);
  corners.moveTo(b, b - l);
  corners.lineTo(b, b);
  corners.lineTo(b - l, b);
  corners.moveTo(a + l, b);
  corners.lineTo(a, b);
  corners.lineTo(a, b - l);
  p.drawPath(corners);
  p.setPen(InkPen(accent, 1.4));
  p.drawLine(QPointF(10, 7), QPointF(10, 13));
  p.drawLine(QPointF(7, 10), QPointF(13, 10));
}

void Camera(QPainter& p, const QColor& ink, const QColor& accent, bool on) {
  p.setPen(InkPen(ink));
  p.setBrush(on ? QBrush(accent) : QBrush(Qt::NoBrush));
  p.drawRoundedRect(QRectF(1.8, 5.2, 11.6, 9.6), 2.2, 2.2);
  QPainterPath lens;
  lens.moveTo(13.4, 8.6);
  lens.lineTo(18.2, 6.2);
  lens.lineTo(18.2, 13.8);
  lens.lineTo(13.4, 11.4);
  lens.closeSubpath();
  p.drawPath(lens);
  if (!on) {
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawEllipse(QPointF(5.0, 8.2), 1.1, 1.1);
  }
}

void Settings(QPainter& p, const QColor& ink, const QColor& accent) {
  QPainterPath gear;
  const int teeth = 8;
  const qreal outer = 8.4, inner = 6.4;
  for (int i = 0; i < teeth * 2; ++i) {
    const qreal span = M_PI / teeth;
    const qreal r = (i % 2 == 0) ? outer : inner;
    const qreal a0 = i * span - span * 0.32;
    const qreal a1 = i * span + span * 0.32;
    const QPointF p0(10 + r * qCos(a0), 10 + r * qSin(a0));
    const QPointF p1(10 + r * qCos(a1), 10 + r * qSin(a1));
    if (i == 0)
      gear.moveTo(p0);
    else
      gear.lineTo(p0);
    gear.lineTo(p1);
  }
  gear.closeSubpath();
  p.setPen(InkPen(ink, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawPath(gear);
  p.setPen(InkPen(accent, 1.5));
  p.drawEllipse(QPointF(10, 10), 2.6, 2.6);
}

void Files(QPainter& p, const QColor& ink, const QColor& accent) {
  QPainterPath folder;
  folder.moveTo(2, 5.5);
  folder.quadTo(2, 3.8, 3.7, 3.8);
  folder.lineTo(7.6, 3.8);
  folder.lineTo(9.4, 5.8);
  folder.lineTo(16.3, 5.8);
  folder.quadTo(18, 5.8, 18, 7.5);
  folder.lineTo(18, 14.6);
  folder.quadTo(18, 16.3, 16.3, 16.3);
  folder.lineTo(3.7, 16.3);
  folder.quadTo(2, 16.3, 2, 14.6);
  folder.closeSubpath();
  p.setPen(InkPen(ink));
  p.setBrush(Qt::NoBrush);
  p.drawPath(folder);
  p.setPen(InkPen(accent, 1.4));
  p.drawLine(QPointF(2.6, 8.6), QPointF(17.4, 8.6));
  p.setPen(Qt::NoPen);
  p.setBrush(accent);
  p.drawPolygon(QPolygonF({QPointF(8.6, 10.3), QPointF(8.6, 14.5), QPointF(12.2, 12.4)}));
}

void Live(QPainter& p, const QColor& ink, const QColor& accent) {
  p.setPen(Qt::NoPen);
  p.setBrush(accent);
  p.drawEllipse(QPointF(10, 10), 2.3, 2.3);
  p.setPen(InkPen(ink));
  p.setBrush(Qt::NoBrush);
  for (qreal r : {5.2, 8.4}) {
    const QRectF box(10 - r, 10 - r, 2 * r, 2 * r);
    p.drawArc(box, -45 * 16, 90 * 16);
    p.drawArc(box, 135 * 16, 90 * 16);
  }
}

void Chat(QPainter& p, const QColor& ink, const QColor& accent) {
  QPainterPath bubble;
  bubble.addRoundedRect(QRectF(2, 3, 16, 11.2), 3, 3);
  QPainterPath tail;
  tail.moveTo(5.5, 13.6);
  tail.lineTo(4.6, 17.6);
  tail.lineTo(9.6, 13.6);
  tail.closeSubpath();
  p.setPen(InkPen(ink));
  p.setBrush(Qt::NoBrush);
  p.drawPath(bubble.united(tail).simplified());
  p.setPen(Qt::NoPen);
  p.setBrush(accent);
  for (qreal x : {6.4, 10.0, 13.6})
    p.drawEllipse(QPointF(x, 8.6), 1.15, 1.15);
}

void Interaction(QPainter& p, const QColor& ink, const QColor& accent) {
  p.setBrush(Qt::NoBrush);
  p.setPen(InkPen(accent, 1.5));
  p.drawEllipse(QPointF(13.6, 6.2), 2.4, 2.4);
  QPainterPath back;
  back.moveTo(11.8, 11.4);
  back.quadTo(13.6, 10.4, 15.4, 10.6);
  back.quadTo(18.4, 11.2, 18.6, 15.0);
  p.drawPath(back);
  p.setPen(InkPen(ink));
  p.drawEllipse(QPointF(7.4, 7.4), 3.0, 3.0);
  QPainterPath front;
  front.moveTo(1.6, 17.2);
  front.quadTo(2.0, 12.2, 7.4, 12.2);
  front.quadTo(12.8, 12.2, 13.2, 17.2);
  p.drawPath(front);
}

void Info(QPainter& p, const QColor& ink, const QColor&) {
  p.setPen(InkPen(ink, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(10, 10), 7.4, 7.4);
  p.setPen(InkPen(ink, 1.8));
  p.drawLine(QPointF(10, 9.2), QPointF(10, 13.8));
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  p.drawEllipse(QPointF(10, 6.3), 1.1, 1.1);
}

void User(QPainter& p, const QColor& ink, const QColor& accent, bool loggedIn) {
  p.setPen(InkPen(loggedIn ? accent : ink));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(10, 6.6), 3.4, 3.4);
  QPainterPath body;
  body.moveTo(3.2, 17.4);
  body.quadTo(3.6, 11.8, 10, 11.8);
  body.quadTo(16.4, 11.8, 16.8, 17.4);
  p.drawPath(body);
  if (loggedIn) {
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawEllipse(QPointF(16.2, 4.2), 2.6, 2.6);
  }
}

void SlideAway(QPainter& p, const QColor& ink, const QColor&) {
  p.setPen(InkPen(ink, 1.7));
  p.setBrush(Qt::NoBrush);
  p.drawLine(QPointF(3.5, 10), QPointF(13.5, 10));
  p.drawLine(QPointF(9.5, 6), QPointF(13.5, 10));
  p.drawLine(QPointF(9.5, 14), QPointF(13.5, 10));
  p.drawLine(QPointF(16.5, 4.5), QPointF(16.5, 15.5));
}

void Close(QPainter& p, const QColor& ink, const QColor&) {
  p.setPen(InkPen(ink, 1.7));
  p.drawLine(QPointF(5, 5), QPointF(15, 15));
  p.drawLine(QPointF(15, 5), QPointF(5, 15));
}

}  // namespace

void PaintIcon(QPainter& painter, Icon icon, const QRectF& box, const QColor& ink,
               const QColor& accent) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(box.topLeft());
  painter.scale(box.width() / 20.0, box.height() / 20.0);
  switch (icon) {
    case Icon::kRecord:
      Record(painter, ink, accent);
      break;
    case Icon::kStop:
      Stop(painter, ink, accent);
      break;
    case Icon::kArea:
      Area(painter, ink, accent);
      break;
    case Icon::kCamera:
      Camera(painter, ink, accent, false);
      break;
    case Icon::kCameraOn:
      Camera(painter, ink, accent, true);
      break;
    case Icon::kSettings:
      Settings(painter, ink, accent);
      break;
    case Icon::kFiles:
      Files(painter, ink, accent);
      break;
    case Icon::kLive:
      Live(painter, ink, accent);
      break;
    case Icon::kChat:
      Chat(painter, ink, accent);
      break;
    case Icon::kInteraction:
      Interaction(painter, ink, accent);
      break;
    case Icon::kInfo:
      Info(painter, ink, accent);
      break;
    case Icon::kUser:
      User(painter, ink, accent, false);
      break;
    case Icon::kUserLoggedIn:
      User(painter, ink, accent, true);
      break;
    case Icon::kSlideAway:
      SlideAway(painter, ink, accent);
      break;
    case Icon::kClose:
      Close(painter, ink, accent);
      break;
  }
  painter.restore();
}

}  // namespace vortane::skin
