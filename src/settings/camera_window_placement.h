#pragma once

#include <QRect>
#include <QString>
#include <cstdint>
#include <optional>

namespace vortane {

// The camera window's last screen rectangle as "vw1.cfg" keeps it: four little-endian int32
// values left, top, right, bottom (right and bottom exclusive), 16 bytes through the text-mode
// translation of record files.
struct CameraWindowRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  static CameraWindowRect FromGeometry(const QRect& geometry);
  QRect ToGeometry() const;
  friend bool operator==(const CameraWindowRect&, const CameraWindowRect&) = default;
};
static_assert(sizeof(CameraWindowRect) == 16);

inline constexpr int kDefaultCameraWindowWidth = 280;
inline constexpr int kDefaultCameraWindowHeight = 210;
inline constexpr int kDefaultCameraWindowTop = 30;
// A stored window must be larger than this both ways to be taken back.
inline constexpr int kMinimumStoredCameraWindowSide = 32;

// "vw1.cfg" in the user data folder, beside config.cfg.
QString CameraWindowFilePath();

// The stored rectangle, only when the file holds all 16 bytes.
std::optional<CameraWindowRect> ReadCameraWindowRect(const QString& path);
// Replaces the file atomically; false when it could not be written.
bool WriteCameraWindowRect(const QString& path, const CameraWindowRect& rect);

// A stored rectangle is taken back when it is more than 32 pixels wide and high and ends left of
// the screen's right edge and above its bottom edge; it must also reach onto the screen and not
// exceed the largest window size.
bool IsPlausibleCameraWindowRect(const CameraWindowRect& rect, const QRect& screen);
// The top-right corner of the screen: 280 × 210, 30 pixels below the top.
CameraWindowRect DefaultCameraWindowRect(const QRect& screen);
// Where the window opens: the stored rectangle when plausible, else the default.
CameraWindowRect PlaceCameraWindow(const std::optional<CameraWindowRect>& stored,
                                   const QRect& screen);

}  // namespace vortane
