#pragma once

namespace vortenc {

// The recorded part of the desktop, in desktop units; a width of 0 means the whole monitor.
struct ScreenArea {
  long long x = 0, y = 0;
  long long width = 0, height = 0;
};

}  // namespace vortenc
