#include "platform/v4l2_device.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

namespace vortane::platform {
namespace {

// Closes a device node when it goes out of scope.
class DeviceNode {
 public:
  explicit DeviceNode(const QString& path)
      : fd_(open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC)),
        error_(fd_ < 0 ? errno : 0) {}
  ~DeviceNode() {
    if (fd_ >= 0) close(fd_);
  }
  DeviceNode(const DeviceNode&) = delete;
  DeviceNode& operator=(const DeviceNode&) = delete;
  int fd() const { return fd_; }
  int error() const { return error_; }

 private:
  int fd_;
  int error_;
};

}  // namespace

int V4l2Ioctl(int fd, unsigned long request, void* argument) {
  int result;
  do {
    result = ioctl(fd, request, argument);
  } while (result == -1 && errno == EINTR);
  return result;
}

// Qt Multimedia on GStreamer does not report a camera that another program is streaming from: the
// preview would just stay black. The driver tells at once: asking it to free the buffers of a queue
// that another open handle owns fails with EBUSY, and asks nothing of a free camera.
bool IsCameraFree(const QString& devicePath, QString* why) {
  DeviceNode node(devicePath);
  if (node.fd() < 0) {
    *why = QStringLiteral("%1: %2").arg(devicePath, QString::fromLocal8Bit(strerror(node.error())));
    return false;
  }
  v4l2_requestbuffers request{};
  request.count = 0;
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  if (V4l2Ioctl(node.fd(), VIDIOC_REQBUFS, &request) != 0 && errno == EBUSY) {
    *why = QStringLiteral("%1 is in use by another program").arg(devicePath);
    return false;
  }
  return true;
}

std::vector<CameraControl> ReadCameraControls(const QString& devicePath) {
  std::vector<CameraControl> controls;
  DeviceNode node(devicePath);
  if (node.fd() < 0) return controls;
  v4l2_queryctrl query{};
  query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
  // Bounded, so a driver that keeps answering cannot hold the window for long.
  for (int i = 0; i < 256 && V4l2Ioctl(node.fd(), VIDIOC_QUERYCTRL, &query) == 0; ++i) {
    const bool shown = !(query.flags & V4L2_CTRL_FLAG_DISABLED) &&
                       query.type != V4L2_CTRL_TYPE_CTRL_CLASS &&
                       (query.type == V4L2_CTRL_TYPE_INTEGER ||
                        query.type == V4L2_CTRL_TYPE_BOOLEAN || query.type == V4L2_CTRL_TYPE_MENU);
    if (shown) {
      const char* name = reinterpret_cast<const char*>(query.name);
      CameraControl control{QString::fromUtf8(name, strnlen(name, sizeof(query.name))), {}};
      v4l2_control current{};
      current.id = query.id;
      if (V4l2Ioctl(node.fd(), VIDIOC_G_CTRL, &current) == 0) {
        control.value = query.type == V4L2_CTRL_TYPE_BOOLEAN
                            ? (current.value ? QStringLiteral("on") : QStringLiteral("off"))
                            : QStringLiteral("%1 (%2 … %3)")
                                  .arg(current.value)
                                  .arg(query.minimum)
                                  .arg(query.maximum);
      } else {
        control.value = QStringLiteral("-");
      }
      controls.push_back(std::move(control));
    }
    query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
  }
  return controls;
}

}  // namespace vortane::platform
