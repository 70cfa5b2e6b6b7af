#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "platform/camera_provider.h"

namespace vortane::platform {

// Cameras described by a text file instead of V4L2, for tests on machines without a camera.
// The file is UTF-8, one statement a line; blank lines and lines starting with '#' are skipped:
//
//   camera USB Camera HD        starts a camera; the name is the rest of the line, exactly
//   path /dev/video0            its device node (default: /dev/video<index of the camera>)
//   size 1280x720 YUYV          a picture size and its pixel format (default YUYV), in order
//
// The file is read on every listing, so a test may rewrite it between calls.
class FixtureCameraProvider : public CameraProvider {
 public:
  explicit FixtureCameraProvider(QString fixturePath);
  // Empty (and a warning on stderr) when the file cannot be read or is malformed.
  std::vector<CameraDevice> ListCameras() override;

  // Parses fixture text; on a malformed line returns nothing and says which line in `error`.
  static std::optional<std::vector<CameraDevice>> Parse(const QString& text, QString* error);

 private:
  QString fixturePath_;
};

}  // namespace vortane::platform
