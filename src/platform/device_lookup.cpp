#include "platform/device_lookup.h"

#include <X11/Xlib.h>

#include <QByteArray>
#include <mutex>
#include <utility>

#include "platform/fixture_camera_provider.h"
#include "platform/v4l2_camera_provider.h"

namespace vortane::platform {
namespace {

struct InstalledProvider {
  std::mutex mutex;
  std::unique_ptr<CameraProvider> provider;
};

InstalledProvider& Installed() {
  static InstalledProvider installed;
  return installed;
}

void AddListed(QStringList& names, const QString& name) {
  if (names.size() < kMaxListedDevices && !name.isEmpty() && name.size() <= kMaxDeviceNameLength)
    names.push_back(name);
}

}  // namespace

QStringList VideoDeviceNames(const std::vector<CameraDevice>& cameras, bool displayReachable) {
  QStringList names;
  for (const CameraDevice& camera : cameras)
    AddListed(names, camera.name);
  if (displayReachable) AddListed(names, QString::fromLatin1(kScreenCaptureDeviceName));
  return names;
}

QStringList AudioDeviceNames(const SoundServerInventory& inventory) {
  QStringList names;
  // Monitors are not microphones: the speakers are offered once, as the virtual device.
  for (const SoundSource& source : inventory.sources) {
    if (!source.isMonitor) AddListed(names, source.description);
  }
  if (!inventory.defaultSinkMonitor.isEmpty())
    AddListed(names, QString::fromLatin1(kSpeakerCaptureDeviceName));
  return names;
}

QStringList ListCaptureDevices(DeviceCategory category) {
  if (category == DeviceCategory::kVideoInput)
    return VideoDeviceNames(ListCameras(), IsDisplayReachable());
  return AudioDeviceNames(QuerySoundServer());
}

bool AreVirtualFiltersInstalled() {
  return IsDisplayReachable() && !QuerySoundServer().defaultSinkMonitor.isEmpty();
}

std::vector<CameraDevice> ListCameras() {
  InstalledProvider& installed = Installed();
  {
    std::lock_guard lock(installed.mutex);
    if (installed.provider) return installed.provider->ListCameras();
  }
  QByteArray fixture = qgetenv(kDeviceFixtureVariable);
  if (!fixture.isEmpty())
    return FixtureCameraProvider(QString::fromLocal8Bit(fixture)).ListCameras();
  return V4l2CameraProvider().ListCameras();
}

std::optional<CameraDevice> FindCamera(const QString& name) {
  for (CameraDevice& camera : ListCameras()) {
    if (camera.name == name) return std::move(camera);
  }
  return std::nullopt;
}

std::unique_ptr<CameraProvider> InstallCameraProvider(std::unique_ptr<CameraProvider> provider) {
  InstalledProvider& installed = Installed();
  std::lock_guard lock(installed.mutex);
  std::swap(installed.provider, provider);
  return provider;
}

SoundSourceMatch FindSoundSource(const QString& name) {
  return FindSoundSource(name, QuerySoundServer());
}

SoundSourceMatch FindSoundSource(const QString& name, const SoundServerInventory& inventory) {
  using Outcome = SoundSourceMatch::Outcome;
  if (!inventory.reachable) return {Outcome::kNoSoundServer, {}, inventory.error};
  if (name == QLatin1String(kSpeakerCaptureDeviceName)) {
    if (inventory.defaultSinkMonitor.isEmpty())
      return {
          Outcome::kNoSpeakerMonitor, {}, QStringLiteral("the sound server has no default output")};
    return {Outcome::kFound, inventory.defaultSinkMonitor, {}};
  }
  for (const SoundSource& source : inventory.sources) {
    if (source.description == name) return {Outcome::kFound, source.name, {}};
  }
  return {Outcome::kNoSuchSource, {}, {}};
}

QString DisplayName() {
  return QString::fromLocal8Bit(qgetenv("DISPLAY"));
}

bool IsDisplayReachable() {
  QByteArray name = qgetenv("DISPLAY");
  if (name.isEmpty()) return false;
  Display* display = XOpenDisplay(name.constData());
  if (!display) return false;
  XCloseDisplay(display);
  return true;
}

}  // namespace vortane::platform
