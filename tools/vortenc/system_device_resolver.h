#pragma once

#include <optional>

#include "platform/sound_server.h"
#include "vortenc/device_resolver.h"

namespace vortenc {

// Resolves device names against this machine through the program's device lookup (V4L2 or the
// camera fixture, PulseAudio, the X display). The sound server is asked once per run.
class SystemDeviceResolver : public DeviceResolver {
 public:
  ResolvedDevice Screen() override;
  ResolvedDevice Camera(const std::string& name) override;
  ResolvedDevice SoundSource(const std::string& name) override;

 private:
  std::optional<vortane::platform::SoundServerInventory> soundServer_;
};

}  // namespace vortenc
