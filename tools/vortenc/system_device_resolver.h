#pragma once

#include <optional>
#include <string>
#include <utility>

#include "platform/sound_server.h"
#include "vortenc/device_resolver.h"

namespace vortenc {

// Resolves device names against this machine through the program's device lookup (V4L2 or the
// camera fixture, PulseAudio, the X display). The sound server is asked once per run.
// On a Wayland session the screen is read by `screenReader` (vortenc-screen), started for the
// recording beginning at `startMicros`; a dry run starts nothing and names a pipe instead.
class SystemDeviceResolver : public DeviceResolver {
 public:
  SystemDeviceResolver(std::string screenReader, long long startMicros, bool dryRun)
      : screenReader_(std::move(screenReader)), startMicros_(startMicros), dryRun_(dryRun) {}

  ResolvedDevice Screen() override;
  bool IsWaylandSession() override;
  ResolvedScreenStream PortalScreen(const ScreenArea& area, const std::string& rate) override;
  ResolvedDevice Camera(const std::string& name) override;
  ResolvedDevice SoundSource(const std::string& name) override;

 private:
  std::string screenReader_;
  long long startMicros_;
  bool dryRun_;
  std::optional<vortane::platform::SoundServerInventory> soundServer_;
};

}  // namespace vortenc
