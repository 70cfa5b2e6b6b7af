#pragma once

#include <cstdint>

namespace vortane {

// A desktop rectangle in screen pixels (right and bottom exclusive). It counts as no region when
// right or bottom is 0.
struct CaptureRegion {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  bool IsSet() const { return right != 0 && bottom != 0; }
  std::int32_t Width() const { return right - left; }
  std::int32_t Height() const { return bottom - top; }
  friend bool operator==(const CaptureRegion&, const CaptureRegion&) = default;
};

}  // namespace vortane
