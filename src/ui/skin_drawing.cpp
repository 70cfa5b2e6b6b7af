#include "ui/skin_drawing.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace vortane::ui {
namespace {

constexpr QRgb kRgbMask = 0x00FFFFFF;

// How many key pixels each column of one corner loses, walking columns from `firstX` in steps
// of `stepX`, and rows from `firstY` in steps of `stepY`.
std::vector<int> CornerColumns(const QImage& picture, QSize size, QRgb colour, int firstX,
                               int stepX, int firstY, int stepY) {
  std::vector<int> lost;
  int limit = size.height() / 2;
  for (int x = firstX; x >= 0 && x < size.width() && limit > 0; x += stepX) {
    int n = 0;
    for (int y = firstY; n < limit && y >= 0 && y < size.height(); y += stepY) {
      if (!PixelIs(picture, x, y, colour)) break;
      ++n;
    }
    if (n == 0) break;
    lost.push_back(n);
    limit = n;
  }
  return lost;
}

}  // namespace

QImage LoadSkinPicture(const QString& path) {
  QImage image;
  if (path.isEmpty() || !image.load(path)) return {};
  if (image.format() != QImage::Format_RGB32) image = image.convertToFormat(QImage::Format_RGB32);
  return image;
}

bool PixelIs(const QImage& picture, int x, int y, QRgb rgb) {
  if (x < 0 || y < 0 || x >= picture.width() || y >= picture.height()) return false;
  return (picture.pixel(x, y) & kRgbMask) == (rgb & kRgbMask);
}

QRegion CornerCutRegion(const QImage& picture, QSize size, QRgb colour) {
  const int w = size.width();
  const int h = size.height();
  QRegion region(0, 0, w, h);
  if (w <= 0 || h <= 0) return region;
  QRegion removed;
  auto cut = [&](int firstX, int stepX, bool fromTop) {
    const std::vector<int> lost =
        CornerColumns(picture, size, colour, firstX, stepX, fromTop ? 0 : h - 1, fromTop ? 1 : -1);
    for (size_t i = 0; i < lost.size(); ++i) {
      const int x = firstX + stepX * static_cast<int>(i);
      removed += fromTop ? QRect(x, 0, 1, lost[i]) : QRect(x, h - lost[i], 1, lost[i]);
    }
  };
  cut(0, 1, true);
  cut(w - 1, -1, true);
  cut(0, 1, false);
  cut(w - 1, -1, false);
  return removed.isEmpty() ? region : region.subtracted(removed);
}

void CutCornerRegion(const QImage& picture, QWidget* window, QRgb colour) {
  if (!window) return;
  const QRegion region = CornerCutRegion(picture, window->size(), colour);
  if (region == QRegion(window->rect())) {
    if (!window->mask().isEmpty()) window->clearMask();
    return;
  }
  if (window->mask() != region) window->setMask(region);
}

QRegion OpaqueRegion(const QImage& source, QRgb keyColour) {
  if (source.isNull()) return {};
  const QImage picture =
      source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
          ? source
          : source.convertToFormat(QImage::Format_RGB32);
  const QRgb key = keyColour & kRgbMask;
  // Runs of one row as [start, end) pairs; rows with the same runs as the row above extend the
  // band above instead of starting a new one. Bands arrive sorted top to bottom and left to
  // right, which QRegion appends without re-sorting.
  QRegion region;
  std::vector<int> bandRuns;
  std::vector<int> rowRuns;
  int bandTop = 0;
  auto flushBand = [&](int bandBottom) {
    for (size_t i = 0; i + 1 < bandRuns.size(); i += 2)
      region += QRect(bandRuns[i], bandTop, bandRuns[i + 1] - bandRuns[i], bandBottom - bandTop);
  };
  const int w = picture.width();
  for (int y = 0; y < picture.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    rowRuns.clear();
    int x = 0;
    while (x < w) {
      while (x < w && (line[x] & kRgbMask) == key)
        ++x;
      if (x >= w) break;
      const int start = x;
      while (x < w && (line[x] & kRgbMask) != key)
        ++x;
      rowRuns.push_back(start);
      rowRuns.push_back(x);
    }
    if (y == 0 || rowRuns != bandRuns) {
      if (y > 0) flushBand(y);
      bandRuns.swap(rowRuns);
      bandTop = y;
    }
  }
  flushBand(picture.height());
  return region;
}

void DrawBitmapTransparent(QPainter& painter, const QImage& bitmap, QRgb keyColour) {
  if (bitmap.isNull()) return;
  QImage keyed = bitmap.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = keyColour & kRgbMask;
  for (int y = 0; y < keyed.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(y));
    for (int x = 0; x < keyed.width(); ++x) {
      if ((line[x] & kRgbMask) == key) line[x] = 0;
    }
  }
  painter.drawImage(QPoint(8, 2), keyed);
}

}  // namespace vortane::ui
