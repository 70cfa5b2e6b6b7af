#include "platform/v4l2_camera_provider.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <unistd.h>

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/v4l2_device.h"

namespace vortane::platform {
namespace {

// Sizes offered for a camera that describes a range instead of a list: the common picture sizes
// inside the range, then the largest size itself.
constexpr std::pair<int, int> kCommonSizes[] = {{320, 240},  {640, 480},  {800, 600},  {1024, 768},
                                                {1280, 720}, {1280, 960}, {1920, 1080}};

QString FourCc(std::uint32_t code) {
  QString text;
  for (int shift = 0; shift < 32; shift += 8) {
    char c = static_cast<char>((code >> shift) & 0xFF);
    if (c != ' ' && c != '\0') text += QLatin1Char(c);
  }
  return text;
}

void AddRangeSizes(const v4l2_frmsize_stepwise& range, const QString& format,
                   std::vector<CameraSize>& sizes) {
  auto fits = [&range](int width, int height) {
    auto inStep = [](int value, std::uint32_t low, std::uint32_t step) {
      return step == 0 || (static_cast<std::uint32_t>(value) - low) % step == 0;
    };
    return width >= static_cast<int>(range.min_width) &&
           width <= static_cast<int>(range.max_width) &&
           height >= static_cast<int>(range.min_height) &&
           height <= static_cast<int>(range.max_height) &&
           inStep(width, range.min_width, range.step_width) &&
           inStep(height, range.min_height, range.step_height);
  };
  for (auto [width, height] : kCommonSizes) {
    if (fits(width, height)) sizes.push_back({width, height, format});
  }
  CameraSize largest{static_cast<int>(range.max_width), static_cast<int>(range.max_height), format};
  if (std::find(sizes.begin(), sizes.end(), largest) == sizes.end()) sizes.push_back(largest);
}

std::vector<CameraSize> ListSizes(int fd) {
  std::vector<CameraSize> sizes;
  v4l2_fmtdesc format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  for (format.index = 0; V4l2Ioctl(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
    QString name = FourCc(format.pixelformat);
    v4l2_frmsizeenum size{};
    size.pixel_format = format.pixelformat;
    for (size.index = 0; V4l2Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
      if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
        sizes.push_back(
            {static_cast<int>(size.discrete.width), static_cast<int>(size.discrete.height), name});
      } else {
        AddRangeSizes(size.stepwise, name, sizes);
        break;  // a range is described once, at index 0
      }
    }
  }
  return sizes;
}

}  // namespace

V4l2CameraProvider::V4l2CameraProvider(QString deviceFolder)
    : deviceFolder_(std::move(deviceFolder)) {}

std::vector<CameraDevice> V4l2CameraProvider::ListCameras() {
  // video<N> in the order of N, as the kernel numbers them (video10 after video9).
  std::vector<std::pair<int, QString>> nodes;
  const QStringList entries =
      QDir(deviceFolder_).entryList({QStringLiteral("video*")}, QDir::System | QDir::Files);
  for (const QString& entry : entries) {
    bool isNumber = false;
    int number = entry.mid(5).toInt(&isNumber);
    if (isNumber) nodes.emplace_back(number, deviceFolder_ + QLatin1Char('/') + entry);
  }
  std::sort(nodes.begin(), nodes.end());

  std::vector<CameraDevice> cameras;
  for (const auto& [number, path] : nodes) {
    // Non-blocking, so a node whose driver is busy cannot stall the listing.
    int fd = open(path.toLocal8Bit().constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    v4l2_capability capability{};
    if (V4l2Ioctl(fd, VIDIOC_QUERYCAP, &capability) == 0) {
      std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS)
                               ? capability.device_caps
                               : capability.capabilities;
      // A camera has one capture node; its metadata node (same card name) is left out.
      if (caps & V4L2_CAP_VIDEO_CAPTURE) {
        const char* card = reinterpret_cast<const char*>(capability.card);
        CameraDevice camera;
        camera.name = QString::fromUtf8(card, strnlen(card, sizeof(capability.card)));
        camera.devicePath = path;
        camera.sizes = ListSizes(fd);
        cameras.push_back(std::move(camera));
      }
    }
    close(fd);
  }
  return cameras;
}

}  // namespace vortane::platform
