#pragma once

#include <QString>

#include "platform/camera_provider.h"

namespace vortane::platform {

// The cameras of this machine: every /dev/video<N> (in the order of N) that is a video capture
// device. Opening a node only to ask it questions does not disturb a camera that is in use.
class V4l2CameraProvider : public CameraProvider {
 public:
  explicit V4l2CameraProvider(QString deviceFolder = QStringLiteral("/dev"));
  std::vector<CameraDevice> ListCameras() override;

 private:
  QString deviceFolder_;
};

}  // namespace vortane::platform
