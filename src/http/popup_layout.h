#pragma once

#include <QRect>

namespace vortane {

// Dialog units of the platform's popups (font 宋体 10) in pixels. The popup's caption band is
// painted over the template's top, so the template keeps its own coordinates.
inline QRect PopupUnitsToPixels(const QRect& units) {
  constexpr int kBaseX = 7;   // pixels per 4 horizontal units
  constexpr int kBaseY = 14;  // pixels per 8 vertical units
  return QRect(units.x() * kBaseX / 4, units.y() * kBaseY / 8, units.width() * kBaseX / 4,
               units.height() * kBaseY / 8);
}

}  // namespace vortane
