#include "vortenc/system_device_resolver.h"

#include "platform/device_lookup.h"

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
