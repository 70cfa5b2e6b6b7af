#include "skin_painter.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vortane::skin {
namespace {

const QColor kPanel(30, 34, 40);
const QColor kPanelEdge(12, 14, 17);
const QColor kSeparator(44, 50, 59);
const QColor kCornerKey(31, 251, 222);
const QColor kShapeKey(255, 0, 255);
const QColor kAccentBlue(76, 154, 255);
const QColor kPopupBody(70, 70, 70);

QFont UiFont(int pixelSize, QFont::Weight weight = QFont::Normal) {
  QFont font(QStringLiteral("WenQuanYi Micro Hei"));
  font.setPixelSize(pixelSize);
  font.setWeight(weight);
  font.setHintingPreference(QFont::PreferFullHinting);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

// Sets every pixel that `shape` does not touch at all to `key`. Pixels the shape covers partly
// keep the blend with the colour they were drawn over, which is the colour the window shows
// around them, so edges stay smooth without a fringe of key colour.
void KeyOutside(QImage& image, const QPainterPath& shape, const QColor& key, QPoint offset = {}) {
  QImage coverage(image.size(), QImage::Format_Grayscale8);
  coverage.fill(0);
  {
    QPainter p(&coverage);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(offset);
    p.fillPath(shape, Qt::white);
  }
  for (int y = 0; y < image.height(); ++y) {
    const uchar* cover = coverage.constScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      if (cover[x] == 0) image.setPixelColor(x, y, key);
    }
  }
}

QPainterPath Rounded(const QRectF& rect, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

struct TileLook {
  QColor top, bottom, border, ink, caption, accent;
  int shift = 0;
};

TileLook BigTileLook(int frame, const QColor& accent, Tone tone) {
  TileLook look;
  look.accent = accent;
  switch (frame) {
    case 0:  // normal
      look.top = QColor(45, 51, 60);
      look.bottom = QColor(37, 42, 50);
      look.border = QColor(52, 59, 69);
      look.ink = QColor(205, 212, 222);
      look.caption = QColor(168, 177, 189);
      break;
    case 1:  // pressed
      look.top = QColor(22, 25, 30);
      look.bottom = QColor(26, 30, 36);
      look.border = QColor(17, 19, 23);
      look.ink = QColor(170, 184, 204);
      look.caption = accent.lighter(110);
      look.shift = 1;
      break;
    default:  // hover
      look.top = QColor(56, 65, 78);
      look.bottom = QColor(46, 53, 64);
      look.border = QColor(accent.red(), accent.green(), accent.blue());
      look.ink = QColor(255, 255, 255);
      look.caption = QColor(255, 255, 255);
      look.accent = accent.lighter(115);
      break;
  }
  if (tone == Tone::kRecording) {
    look.top = frame == 1 ? QColor(40, 20, 24) : QColor(frame == 2 ? 92 : 74, 34, 40);
    look.bottom = frame == 1 ? QColor(46, 22, 26) : QColor(frame == 2 ? 74 : 58, 27, 32);
    if (frame != 2) look.border = QColor(98, 42, 48);
    look.caption = frame == 1 ? QColor(255, 170, 170) : QColor(255, 214, 214);
  } else if (tone == Tone::kActive) {
    look.top = frame == 1 ? QColor(20, 36, 29) : QColor(30, frame == 2 ? 78 : 62, 50);
    look.bottom = frame == 1 ? QColor(22, 40, 32) : QColor(26, frame == 2 ? 62 : 50, 41);
    if (frame != 2) look.border = QColor(40, 96, 70);
    look.caption = QColor(200, 245, 222);
  }
  return look;
}

void PaintTile(QPainter& p, const QRectF& tile, qreal radius, const TileLook& look) {
  QLinearGradient fill(tile.topLeft(), tile.bottomLeft());
  fill.setColorAt(0, look.top);
  fill.setColorAt(1, look.bottom);
  p.setPen(QPen(look.border, 1));
  p.setBrush(fill);
  p.drawRoundedRect(tile, radius, radius);
  if (look.shift == 0) {
    // A faint light line under the top edge gives the tile some depth.
    p.setPen(QPen(QColor(255, 255, 255, 20), 1));
    p.drawLine(QPointF(tile.left() + radius, tile.top() + 1.5),
               QPointF(tile.right() - radius, tile.top() + 1.5));
  }
}

}  // namespace

QImage PaintBigButtonStrip(Icon icon, const QString& caption, const QColor& accent, Tone tone) {
  const int w = kBigButtonWidth;
  const int h = kBigButtonHeight;
  QImage strip(w * 3, h, QImage::Format_RGB32);
  strip.fill(kPanel);
  const QRectF tile(2.5, 1.5, w - 5, h - 3);
  const qreal radius = 7;
  QPainterPath shapes;
  for (int frame = 0; frame < 3; ++frame) {
    const TileLook look = BigTileLook(frame, accent, tone);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(frame * w, 0);
    PaintTile(p, tile, radius, look);
    const QRectF iconBox(w / 2.0 - 11, 6 + look.shift, 22, 22);
    PaintIcon(p, icon, iconBox, look.ink, look.accent);
    p.setFont(UiFont(11));
    p.setPen(look.caption);
    p.drawText(QRectF(0, 30 + look.shift, w, 13), Qt::AlignHCenter | Qt::AlignVCenter, caption);
    shapes.addPath(Rounded(tile.adjusted(-0.5, -0.5, 0.5, 0.5), radius).translated(frame * w, 0));
  }
  KeyOutside(strip, shapes, kCornerKey);
  return strip;
}

QImage PaintSmallButtonStrip(Icon icon, int width, const QColor& accent, Tone tone) {
  const int h = 20;
  QImage strip(width * 3, h, QImage::Format_RGB32);
  strip.fill(kPanel);
  const QRectF tile(1, 1, width - 2, h - 2);
  const qreal radius = 4;
  QPainterPath shapes;
  for (int frame = 0; frame < 3; ++frame) {
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(frame * width, 0);
    QColor fill = kPanel;
    QColor ink(150, 160, 173);
    QColor mark = accent;
    int shift = 0;
    if (frame == 2) {
      fill = tone == Tone::kDanger ? QColor(229, 72, 77) : QColor(58, 66, 79);
      ink = QColor(255, 255, 255);
      mark = tone == Tone::kDanger ? QColor(255, 255, 255) : accent.lighter(115);
    } else if (frame == 1) {
      fill = tone == Tone::kDanger ? QColor(176, 46, 52) : QColor(20, 23, 28);
      ink = QColor(235, 238, 242);
      shift = 1;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(tile, radius, radius);
    const qreal side = 14;
    PaintIcon(p, icon, QRectF((width - side) / 2.0, (h - side) / 2.0 + shift, side, side), ink,
              mark);
    shapes.addPath(Rounded(tile, radius).translated(frame * width, 0));
  }
  KeyOutside(strip, shapes, kCornerKey);
  return strip;
}

QImage PaintToolbarBackground() {
  const int w = kToolbarWidth;
  const int h = kToolbarHeight;
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(kPanelEdge);
  const QRectF outline(0.5, 0.5, w - 1, h - 1);
  const qreal radius = 10;
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(QPen(kPanelEdge, 1));
    p.setBrush(kPanel);
    p.drawRoundedRect(outline, radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    p.drawLine(QPointF(radius, 1.5), QPointF(w - radius, 1.5));

    // The band with the mode and task texts and the small buttons ends at a quiet separator.
    p.setPen(QPen(kSeparator, 1));
    p.drawLine(QPointF(10, 29.5), QPointF(w - 10, 29.5));

    // The status display: LED at x = w − 280 and the status text from x = w − 250, y = 43.
    const QRectF display(w - 288 + 0.5, 35.5, 278, 29);
    p.setPen(QPen(QColor(44, 50, 59), 1));
    p.setBrush(QColor(18, 21, 25));
    p.drawRoundedRect(display, 6, 6);
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.drawLine(QPointF(display.left() + 6, display.top() + 1),
               QPointF(display.right() - 6, display.top() + 1));

    // Wordmark under the display.
    QFont mark = UiFont(10, QFont::Bold);
    mark.setLetterSpacing(QFont::AbsoluteSpacing, 2.2);
    p.setFont(mark);
    const QString brand = QStringLiteral("VORTANE");
    const QFontMetrics metrics(mark);
    const int brandWidth = metrics.horizontalAdvance(brand);
    const int baseline = h - 8;
    const int right = w - 14;
    p.setPen(QColor(78, 88, 101));
    p.drawText(QPoint(right - brandWidth, baseline), brand);
    p.setFont(UiFont(10));
    const QString subtitle = QStringLiteral("课堂录播");
    const QFontMetrics small(p.font());
    const int subtitleX = right - brandWidth - 10 - small.horizontalAdvance(subtitle);
    p.setPen(QColor(64, 72, 83));
    p.drawText(QPoint(subtitleX, baseline), subtitle);
    // A small ring in the accent colour, the program's mark.
    p.setPen(QPen(kAccentBlue.darker(150), 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(subtitleX - 11, baseline - 4), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 77, 79).darker(140));
    p.drawEllipse(QPointF(subtitleX - 11, baseline - 4), 1.6, 1.6);
  }
  KeyOutside(image, Rounded(outline.adjusted(-0.5, -0.5, 0.5, 0.5), radius), kShapeKey);
  return image;
}

QVector<QRect> PopupSkinPieces() {
  // Columns: 28 | 16 | 8; rows: 34 | 16 | 8 (bitmap 52 × 58). Right and bottom pieces are given
  // from the bitmap's right and bottom edges.
  return {
      QRect(0, 0, 28, 34), QRect(28, 0, 16, 34), QRect(-8, 0, 8, 34),
      QRect(0, 34, 8, 16), QRect(8, 34, 36, 16), QRect(-8, 34, 8, 16),
      QRect(0, -8, 8, 8),  QRect(8, -8, 36, 8),  QRect(-8, -8, 8, 8),
  };
}

QImage PaintPopupSkin() {
  const int w = 52;
  const int h = 58;
  const int band = 34;
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(QColor(28, 30, 34));
  QPainterPath outline;
  {
    const QRectF r(0.5, 0.5, w - 1, h - 1);
    const qreal top = 6, bottom = 4;
    outline.moveTo(r.left(), r.top() + top);
    outline.arcTo(QRectF(r.left(), r.top(), 2 * top, 2 * top), 180, -90);
    outline.lineTo(r.right() - top, r.top());
    outline.arcTo(QRectF(r.right() - 2 * top, r.top(), 2 * top, 2 * top), 90, -90);
    outline.lineTo(r.right(), r.bottom() - bottom);
    outline.arcTo(QRectF(r.right() - 2 * bottom, r.bottom() - 2 * bottom, 2 * bottom, 2 * bottom),
                  0, -90);
    outline.lineTo(r.left() + bottom, r.bottom());
    outline.arcTo(QRectF(r.left(), r.bottom() - 2 * bottom, 2 * bottom, 2 * bottom), 270, -90);
    outline.closeSubpath();
  }
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kPopupBody);
    p.drawPath(outline);
    // Title band with a soft vertical gradient and an accent line under it.
    p.save();
    p.setClipPath(outline);
    QLinearGradient title(0, 0, 0, band);
    title.setColorAt(0, QColor(60, 66, 75));
    title.setColorAt(1, QColor(44, 48, 55));
    p.fillRect(QRectF(0, 0, w, band - 1), title);
    p.fillRect(QRectF(0, band - 1, w, 1), kAccentBlue.darker(115));
    p.fillRect(QRectF(0, 1, w, 1), QColor(255, 255, 255, 24));
    p.restore();
    p.setPen(QPen(QColor(28, 30, 34), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);
    // The program's mark in the top-left corner, left of the title text (which starts at 30).
    p.setPen(QPen(kAccentBlue, 1.8));
    p.drawEllipse(QPointF(16, 15.5), 5.5, 5.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 77, 79));
    p.drawEllipse(QPointF(16, 15.5), 2.2, 2.2);
  }
  KeyOutside(image, outline, kCornerKey);
  return image;
}

QImage PaintDialogButtonStrip() {
  const int w = 60;
  const int h = 25;
  QImage strip(w * 3, h, QImage::Format_RGB32);
  strip.fill(kPopupBody);
  QPainterPath shapes;
  const QRectF face(0.5, 0.5, w - 1, h - 1);
  const qreal radius = 4;
  struct Look {
    QColor top, bottom, border;
  };
  const Look looks[3] = {
      {QColor(100, 107, 118), QColor(80, 86, 96), QColor(112, 120, 132)},  // normal
      {QColor(66, 142, 255), QColor(46, 114, 222), QColor(92, 160, 255)},  // hover
      {QColor(36, 92, 178), QColor(30, 82, 160), QColor(28, 72, 140)},     // pressed
  };
  for (int frame = 0; frame < 3; ++frame) {
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(frame * w, 0);
    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    fill.setColorAt(0, looks[frame].top);
    fill.setColorAt(1, looks[frame].bottom);
    p.setPen(QPen(looks[frame].border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(face, radius, radius);
    if (frame != 2) {
      p.setPen(QPen(QColor(255, 255, 255, 36), 1));
      p.drawLine(QPointF(radius, 1.5), QPointF(w - radius, 1.5));
    }
    shapes.addPath(Rounded(face.adjusted(-0.5, -0.5, 0.5, 0.5), radius).translated(frame * w, 0));
  }
  KeyOutside(strip, shapes, QColor(0, 0, 0));
  return strip;
}

}  // namespace vortane::skin
