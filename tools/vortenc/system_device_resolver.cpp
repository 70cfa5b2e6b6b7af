#include "vortenc/system_device_resolver.h"

#include "platform/device_lookup.h"
#include "platform/wayland_session.h"
#include "vortenc/screen_reader_process.h"

namespace vortenc {
namespace {

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

}  // namespace

ResolvedDevice SystemDeviceResolver::Screen() {
  namespace platform = vortane::platform;
  std::string display = platform::DisplayName().toStdString();
  if (display.empty()) return {{}, "no display to capture: DISPLAY is not set"};
  if (!platform::IsDisplayReachable()) return {{}, "cannot open display " + Quoted(display)};
  return {display, {}};
}

bool SystemDeviceResolver::IsWaylandSession() {
  return vortane::platform::IsWaylandSession();
}

ResolvedScreenStream SystemDeviceResolver::PortalScreen(const ScreenArea& area,
                                                        const std::string& rate) {
  // Named as a file: ffmpeg takes any "pipe:" input for its standard input and would then
  // stop listening there for "q".
  if (dryRun_)
    return {"file:/proc/self/fd/3", int(area.width), int(area.height), "bgr0", {}, false, 0};
  ScreenReader reader = StartScreenReader(screenReader_, startMicros_, rate, area,
                                          vortane::platform::ScreenCastTokenFile().toStdString());
  if (!reader.ok()) return {{}, 0, 0, {}, reader.error, reader.cancelled, 0};
  return {"file:/proc/self/fd/" + std::to_string(reader.fd),
          reader.width,
          reader.height,
          reader.pixelFormat,
          {},
          false,
          reader.offsetMicros};
}

ResolvedDevice SystemDeviceResolver::Camera(const std::string& name) {
  std::optional<vortane::platform::CameraDevice> camera =
      vortane::platform::FindCamera(QString::fromStdString(name));
  if (!camera) return {{}, "no such camera: " + Quoted(name)};
  return {camera->devicePath.toStdString(), {}};
}

ResolvedDevice SystemDeviceResolver::SoundSource(const std::string& name) {
  namespace platform = vortane::platform;
  if (!soundServer_) soundServer_ = platform::QuerySoundServer();
  platform::SoundSourceMatch match =
      platform::FindSoundSource(QString::fromStdString(name), *soundServer_);
  using Outcome = platform::SoundSourceMatch::Outcome;
  switch (match.outcome) {
    case Outcome::kFound:
      return {match.pulseName.toStdString(), {}};
    case Outcome::kNoSuchSource:
      return {{}, "no such microphone: " + Quoted(name)};
    case Outcome::kNoSpeakerMonitor:
      return {{}, "no speaker sound to capture: " + match.detail.toStdString()};
    case Outcome::kNoSoundServer:
      break;
  }
  return {{},
          "cannot reach the sound server for " + Quoted(name) + ": " + match.detail.toStdString()};
}

}  // namespace vortenc
