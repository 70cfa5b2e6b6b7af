#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

// The toolbar's icon set: line icons on a 20 × 20 grid, drawn with round caps in one ink colour,
// with an accent colour for the parts that carry meaning (the record dot, the camera's "on").
namespace vortane::skin {

enum class Icon {
  kRecord,
  kStop,
  kArea,
  kCamera,
  kCameraOn,
  kSettings,
  kFiles,
  kLive,
  kChat,
  kInteraction,
  kInfo,
  kUser,
  kUserLoggedIn,
  kSlideAway,
  kClose,
};

void PaintIcon(QPainter& painter, Icon icon, const QRectF& box, const QColor& ink,
               const QColor& accent);

}  // namespace vortane::skin
