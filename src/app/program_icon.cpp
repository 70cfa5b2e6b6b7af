#include "app/program_icon.h"

#include <QPainter>
#include <QPixmap>

namespace vortane {

QImage PaintProgramIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(33, 37, 43));
  p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.2, s * 0.2);
  p.setPen(QPen(QColor(220, 224, 230), s * 0.07));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(s / 2, s / 2), s * 0.32, s * 0.32);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 77, 79));
  p.drawEllipse(QPointF(s / 2, s / 2), s * 0.2, s * 0.2);
  return image;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128})
    icon.addPixmap(QPixmap::fromImage(PaintProgramIcon(size)));
  return icon;
}

}  // namespace vortane
