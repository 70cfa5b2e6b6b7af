#pragma once

#include <QString>
#include <vector>

namespace vortane::platform {

// One picture size a camera offers, with the pixel format it comes in ("YUYV", "MJPG", ...).
struct CameraSize {
  int width = 0;
  int height = 0;
  QString pixelFormat;
  friend bool operator==(const CameraSize&, const CameraSize&) = default;
};

// A camera as the program knows it: its friendly name (the V4L2 card name), the device node
// that opens it and the sizes it offers, in the order the driver lists them.
struct CameraDevice {
  QString name;
  QString devicePath;
  std::vector<CameraSize> sizes;
};

// Where the list of cameras comes from: the V4L2 devices of the machine, or a fixture in tests.
class CameraProvider {
 public:
  virtual ~CameraProvider() = default;
  // Every camera, in enumeration order. Never blocks for long; an unreadable source is empty.
  virtual std::vector<CameraDevice> ListCameras() = 0;
};

}  // namespace vortane::platform
