#include "settings/camera_window_placement.h"

#include "platform/folders.h"
#include "platform/record_file.h"

namespace vortane {
namespace {

constexpr std::int64_t kLargestWindowSide = 16777215;  // QWIDGETSIZE_MAX

}  // namespace

CameraWindowRect CameraWindowRect::FromGeometry(const QRect& geometry) {
  return {geometry.x(), geometry.y(), geometry.x() + geometry.width(),
          geometry.y() + geometry.height()};
}

QRect CameraWindowRect::ToGeometry() const {
  return QRect(left, top, right - left, bottom - top);
}

QString CameraWindowFilePath() {
  return GetUserDataFolder() + QStringLiteral("vw1.cfg");
}

std::optional<CameraWindowRect> ReadCameraWindowRect(const QString& path) {
  CameraWindowRect rect;
  if (ReadRecordFile(path, &rect, sizeof(rect)) != sizeof(rect)) return std::nullopt;
  return rect;
}

bool WriteCameraWindowRect(const QString& path, const CameraWindowRect& rect) {
  return WriteRecordFile(path, &rect, sizeof(rect));
}

bool IsPlausibleCameraWindowRect(const CameraWindowRect& rect, const QRect& screen) {
  // Widened first: a damaged file may hold values whose differences overflow 32 bits.
  const std::int64_t width = std::int64_t{rect.right} - rect.left;
  const std::int64_t height = std::int64_t{rect.bottom} - rect.top;
  const std::int64_t screenRight = std::int64_t{screen.x()} + screen.width();
  const std::int64_t screenBottom = std::int64_t{screen.y()} + screen.height();
  const bool kept = width > kMinimumStoredCameraWindowSide &&
                    height > kMinimumStoredCameraWindowSide && rect.right < screenRight &&
                    rect.bottom < screenBottom;
  // Beyond those rules, a damaged file must not make a window nobody can see or Qt cannot make:
  // it has to reach onto the screen, and fit the largest window size.
  const bool visible = rect.right > screen.x() && rect.bottom > screen.y();
  const bool makeable = width <= kLargestWindowSide && height <= kLargestWindowSide;
  return kept && visible && makeable;
}

CameraWindowRect DefaultCameraWindowRect(const QRect& screen) {
  const int left = screen.x() + screen.width() - kDefaultCameraWindowWidth;
  const int top = screen.y() + kDefaultCameraWindowTop;
  return {left, top, left + kDefaultCameraWindowWidth, top + kDefaultCameraWindowHeight};
}

CameraWindowRect PlaceCameraWindow(const std::optional<CameraWindowRect>& stored,
                                   const QRect& screen) {
  if (stored && IsPlausibleCameraWindowRect(*stored, screen)) return *stored;
  return DefaultCameraWindowRect(screen);
}

}  // namespace vortane
