#pragma once

#include <string>

#include "vortenc/screen_area.h"

// Starts vortenc-screen (see screen_main.cpp) for a capture of a Wayland session's screen and
// waits for its answer: the picture's size and layout, or why there is none. The frames come
// through a pipe whose reading end stays open in this process, across exec, for ffmpeg; the
// reader ends when that end closes or when this process (ffmpeg by then) ends.
namespace vortenc {

struct ScreenReader {
  int fd = -1;  // the frames' pipe, -1 when the reader did not start
  int width = 0, height = 0;
  std::string pixelFormat;
  long long offsetMicros = 0;  // the first frame's moment after the recording's start
  bool cancelled = false;      // the teacher declined to share the screen
  std::string error;
  bool ok() const { return fd >= 0; }
};

ScreenReader StartScreenReader(const std::string& program, long long startMicros,
                               const std::string& rate, const ScreenArea& area,
                               const std::string& tokenFile);

}  // namespace vortenc
