#pragma once

#include <string>

namespace vortenc {

// A device the translation asked for: the Linux name to open, or the user's message why not.
struct ResolvedDevice {
  std::string value;
  std::string error;
  bool ok() const { return error.empty(); }
};

// Turns the Windows capture device names of a command line into Linux inputs.
class DeviceResolver {
 public:
  virtual ~DeviceResolver() = default;
  // The X display to grab (the value of DISPLAY), once it is known to answer.
  virtual ResolvedDevice Screen() = 0;
  // The V4L2 device node of the camera with this card name.
  virtual ResolvedDevice Camera(const std::string& name) = 0;
  // The PulseAudio source for this friendly name ("virtual-audio-capturer" = the speakers).
  virtual ResolvedDevice SoundSource(const std::string& name) = 0;
};

}  // namespace vortenc
