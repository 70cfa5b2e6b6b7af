#pragma once

#include <QString>
#include <vector>

// Questions to a V4L2 camera node that the camera graph needs beyond listing the cameras.
namespace vortane::platform {

// ioctl, repeated when a signal interrupts it.
int V4l2Ioctl(int fd, unsigned long request, void* argument);

// False (with the reason in `why`) when the node cannot be opened or another program streams
// from the camera.
bool IsCameraFree(const QString& devicePath, QString* why);

// One control of a camera, as its driver describes it.
struct CameraControl {
  QString name;
  QString value;
};
std::vector<CameraControl> ReadCameraControls(const QString& devicePath);

}  // namespace vortane::platform
