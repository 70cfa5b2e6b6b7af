#pragma once

#include <string>

#include "vortenc/screen_area.h"

namespace vortenc {

// A device the translation asked for: the Linux name to open, or the user's message why not.
struct ResolvedDevice {
  std::string value;
  std::string error;
  bool ok() const { return error.empty(); }
};

// The screen of a Wayland session as raw frames from the screen reader: ffmpeg's input (a pipe),
// the picture's size and layout and when its first frame is; or the user's message why not.
struct ResolvedScreenStream {
  std::string input;
  int width = 0, height = 0;
  std::string pixelFormat;
  std::string error;
  bool cancelled = false;      // the teacher declined to share the screen
  long long offsetMicros = 0;  // the first frame shows this long after the recording's start
  bool ok() const { return error.empty(); }
};

// Turns the Windows capture device names of a command line into Linux inputs.
class DeviceResolver {
 public:
  virtual ~DeviceResolver() = default;
  // The X display to grab (the value of DISPLAY), once it is known to answer.
  virtual ResolvedDevice Screen() = 0;
  // A Wayland session: X11's grab of its screen is black, so the desktop portal is asked instead.
  virtual bool IsWaylandSession() { return false; }
  // The area of the screen at `rate` frames per second, frame N showing the moment N frame
  // intervals after the recording's start.
  virtual ResolvedScreenStream PortalScreen(const ScreenArea&, const std::string& /*rate*/) {
    ResolvedScreenStream none;
    none.error = "the screen of a Wayland session cannot be recorded here";
    return none;
  }
  // The V4L2 device node of the camera with this card name.
  virtual ResolvedDevice Camera(const std::string& name) = 0;
  // The PulseAudio source for this friendly name ("virtual-audio-capturer" = the speakers).
  virtual ResolvedDevice SoundSource(const std::string& name) = 0;
};

}  // namespace vortenc
