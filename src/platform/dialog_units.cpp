#include "platform/dialog_units.h"

#include <algorithm>
#include <cmath>

namespace vortane {

QRect DialogUnitsToPixels(const QRect& units) {
  return QRect(units.x() * kDialogBaseUnitX / 4, units.y() * kDialogBaseUnitY / 8,
               units.width() * kDialogBaseUnitX / 4, units.height() * kDialogBaseUnitY / 8);
}

QSize DialogUnitsToPixels(const QSize& units) {
  return DialogUnitsToPixels(QRect(QPoint(0, 0), units)).size();
}

double FittingScale(const QSize& size, const QRect& available, int frameHeight) {
  if (size.isEmpty() || available.isEmpty()) return 1.0;
  return std::min({1.0, static_cast<double>(available.width()) / size.width(),
                   static_cast<double>(available.height() - frameHeight) / size.height()});
}

QRect ScaledRect(const QRect& rect, double scale) {
  const auto scaled = [scale](int v) { return static_cast<int>(std::lround(v * scale)); };
  return QRect(scaled(rect.x()), scaled(rect.y()), scaled(rect.width()), scaled(rect.height()));
}

}  // namespace vortane
