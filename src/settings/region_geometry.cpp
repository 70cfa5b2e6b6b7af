#include "settings/region_geometry.h"

#include <algorithm>
#include <cmath>

namespace vortane {
namespace {

// One side of the button-up rule: a side shorter than the minimum grows by it, towards the far
// edge when there is room, else towards the near one.
void GrowShortSide(std::int32_t& low, std::int32_t& high, int screenExtent) {
  if (high - low >= kMinimumRegionSize) return;
  if (high < screenExtent - kMinimumRegionSize) {
    high += kMinimumRegionSize;
  } else {
    // On a screen narrower than two minimum sizes this would leave the screen.
    low = std::max(0, low - kMinimumRegionSize);
  }
}

std::int32_t Truncate(double value) {
  return static_cast<std::int32_t>(std::trunc(value));
}

}  // namespace

bool IsEmptyRect(const CaptureRegion& rect) {
  return rect.right <= rect.left || rect.bottom <= rect.top;
}

DragStep DragTo(const CaptureRegion& current, QPoint cursor, int screenWidth, int screenHeight) {
  DragStep step;
  step.rect = current;
  step.rect.right = cursor.x();
  step.rect.bottom = cursor.y();
  if (cursor.x() < current.left || cursor.y() < current.top) return step;
  step.rect.right = std::min(step.rect.right, screenWidth - 1);
  step.rect.bottom = std::min(step.rect.bottom, screenHeight - 1);
  step.forward = true;
  return step;
}

std::optional<CaptureRegion> FinishSelection(CaptureRegion rect, int screenWidth,
                                             int screenHeight) {
  GrowShortSide(rect.left, rect.right, screenWidth);
  GrowShortSide(rect.top, rect.bottom, screenHeight);
  if (IsEmptyRect(rect) || rect.Width() <= kMinimumRegionSize ||
      rect.Height() <= kMinimumRegionSize) {
    return std::nullopt;
  }
  return EvenFrameRect(rect);
}

QStringList StandardSizeTexts() {
  return {QStringLiteral("1920x1080"), QStringLiteral("1600x900"), QStringLiteral("1280x720"),
          QStringLiteral("960x540"), QStringLiteral("800x600")};
}

QSize StandardSizeForIndex(int index) {
  switch (index) {
    case 0:
      return {1920, 1080};
    case 1:
      return {1600, 900};
    case 3:
      return {960, 540};
    case 4:
      return {800, 600};
    default:
      return {1280, 720};
  }
}

CaptureRegion PlaceStandardSize(QPoint cursor, QSize size, int screenWidth, int screenHeight) {
  QPoint topLeft = cursor;
  if (cursor.x() + size.width() > screenWidth || cursor.y() + size.height() > screenHeight)
    topLeft = QPoint(0, 0);
  CaptureRegion rect{topLeft.x(), topLeft.y(), topLeft.x() + size.width(),
                     topLeft.y() + size.height()};
  rect.right = std::min(rect.right, screenWidth);
  rect.bottom = std::min(rect.bottom, screenHeight);
  return rect;
}

CaptureRegion EvenFrameRect(const CaptureRegion& frame) {
  CaptureRegion even = frame;
  if (even.Height() % 2 != 0) --even.bottom;
  if (even.Width() % 2 != 0) --even.right;
  return even;
}

CaptureRegion FrameInside(const CaptureRegion& frame) {
  return {frame.left + kFrameRingWidth, frame.top + kFrameRingWidth, frame.right - kFrameRingWidth,
          frame.bottom - kFrameRingWidth};
}

CaptureRegion FrameAround(const CaptureRegion& inside) {
  return {inside.left - kFrameRingWidth, inside.top - kFrameRingWidth,
          inside.right + kFrameRingWidth, inside.bottom + kFrameRingWidth};
}

CaptureRegion ApplyScale(const CaptureRegion& rect, double factor) {
  if (factor == 1.0) return rect;
  return {Truncate(rect.left * factor), Truncate(rect.top * factor), Truncate(rect.right * factor),
          Truncate(rect.bottom * factor)};
}

CaptureRegion ScaledCaptureRect(const CaptureRegion& inside, double factor) {
  return EvenFrameRect(ApplyScale(inside, factor));
}

QString SizeLabelText(const CaptureRegion& rect) {
  if (rect.Width() > 4 || rect.Height() > 4)
    return QStringLiteral("录制区域（%1x%2）").arg(rect.Width()).arg(rect.Height());
  return QStringLiteral("请按下左键拖动鼠标");
}

QPoint SizeLabelOrigin(const CaptureRegion& rect, int textHeight) {
  int above = textHeight + 5;
  int y = rect.top < above ? rect.bottom + 5 : rect.top - above;
  return {rect.left + 10, y};
}

CaptureRegion SizeLabelPatch(QPoint origin, QSize textSize) {
  return {origin.x() - 4, origin.y() - 4, origin.x() + textSize.width() + 4,
          origin.y() + textSize.height() + 4};
}

FrameZone HitTestFrame(QPoint point, QSize frameSize) {
  int x = point.x();
  int y = point.y();
  int w = frameSize.width();
  int h = frameSize.height();
  if (x < 0 || y < 0 || x >= w || y >= h) return FrameZone::None;
  bool left = x < kFrameEdgeZone;
  bool right = x >= w - kFrameEdgeZone;
  bool top = y < kFrameEdgeZone;
  bool bottom = y >= h - kFrameEdgeZone;
  if (!left && !right && !top && !bottom) return FrameZone::None;
  // Along an edge, the first and last corner-square lengths belong to the corner.
  bool nearLeft = x < kFrameCornerSize;
  bool nearRight = x >= w - kFrameCornerSize;
  bool nearTop = y < kFrameCornerSize;
  bool nearBottom = y >= h - kFrameCornerSize;
  if ((top && nearLeft) || (left && nearTop)) return FrameZone::TopLeft;
  if ((top && nearRight) || (right && nearTop)) return FrameZone::TopRight;
  if ((bottom && nearLeft) || (left && nearBottom)) return FrameZone::BottomLeft;
  if ((bottom && nearRight) || (right && nearBottom)) return FrameZone::BottomRight;
  if (left) return FrameZone::Left;
  if (right) return FrameZone::Right;
  if (top) return FrameZone::Top;
  return FrameZone::Bottom;
}

CaptureRegion ResizeFrame(const CaptureRegion& start, FrameZone zone, int dx, int dy,
                          int screenWidth, int screenHeight) {
  CaptureRegion rect = start;
  bool moveLeft =
      zone == FrameZone::Left || zone == FrameZone::TopLeft || zone == FrameZone::BottomLeft;
  bool moveRight =
      zone == FrameZone::Right || zone == FrameZone::TopRight || zone == FrameZone::BottomRight;
  bool moveTop =
      zone == FrameZone::Top || zone == FrameZone::TopLeft || zone == FrameZone::TopRight;
  bool moveBottom =
      zone == FrameZone::Bottom || zone == FrameZone::BottomLeft || zone == FrameZone::BottomRight;
  if (moveLeft)
    rect.left = std::min(std::max(start.left + dx, 0), start.right - kMinimumRegionSize);
  if (moveRight)
    rect.right = std::max(std::min(start.right + dx, screenWidth), start.left + kMinimumRegionSize);
  if (moveTop) rect.top = std::min(std::max(start.top + dy, 0), start.bottom - kMinimumRegionSize);
  if (moveBottom)
    rect.bottom =
        std::max(std::min(start.bottom + dy, screenHeight), start.top + kMinimumRegionSize);
  return rect;
}

}  // namespace vortane
