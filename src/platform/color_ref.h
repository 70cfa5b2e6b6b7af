#pragma once

#include <cstdint>

namespace vortane {

// A colour as 0x00BBGGRR, the way the Windows build stored colours (RGB macro); core code keeps
// colours in this form so it needs no GUI library.
using ColorRef = std::uint32_t;

constexpr ColorRef Rgb(int red, int green, int blue) {
  return static_cast<ColorRef>(red & 0xFF) | (static_cast<ColorRef>(green & 0xFF) << 8) |
         (static_cast<ColorRef>(blue & 0xFF) << 16);
}
constexpr int RedOf(ColorRef colour) {
  return static_cast<int>(colour & 0xFF);
}
constexpr int GreenOf(ColorRef colour) {
  return static_cast<int>((colour >> 8) & 0xFF);
}
constexpr int BlueOf(ColorRef colour) {
  return static_cast<int>((colour >> 16) & 0xFF);
}

}  // namespace vortane
