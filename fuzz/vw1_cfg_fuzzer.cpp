// vw1.cfg, the camera window's last rectangle, as the camera window reads it when it opens: the
// window it places always fits the screen's rules.
#include <QRect>

#include "fuzz_input.h"
#include "settings/camera_window_placement.h"

using namespace vortane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::ScratchFile file("vw1.cfg");
  const std::optional<CameraWindowRect> stored =
      ReadCameraWindowRect(file.Write(fuzz::Bytes(data, size)));
  for (const QRect& screen : {QRect(0, 0, 1920, 1080), QRect(-1366, 0, 3286, 1080)}) {
    const CameraWindowRect placed = PlaceCameraWindow(stored, screen);
    const QRect geometry = placed.ToGeometry();
    FUZZ_CHECK(geometry.width() > 0 && geometry.height() > 0);
    FUZZ_CHECK(geometry.intersects(screen));
  }
  return 0;
}
