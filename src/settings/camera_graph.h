#pragma once

#include <QString>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace vortane {

// A picture size a camera offers.
struct PictureSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// One opened camera: its sizes, its capture format and a live preview in a widget. Every step
// reports failure to its caller and leaves the graph in a state Release() can clean up; one
// camera can be used by one graph at a time, so owners release theirs before another opens it.
class CameraGraph {
 public:
  CameraGraph();
  ~CameraGraph();  // stops and releases everything
  CameraGraph(const CameraGraph&) = delete;
  CameraGraph& operator=(const CameraGraph&) = delete;

  // Finds the camera whose friendly name is exactly `name` (case-sensitive) and opens it.
  bool Open(const QString& name);
  // The sizes the camera offers, in the order it lists them (possibly with repeats).
  std::vector<PictureSize> ListSizes() const;
  // Switches to the first offered format of exactly this size in YUYV, RGB24 or UYVY at 25 fps;
  // nothing happens when none matches. True when a format was applied.
  bool SetFormat(int width, int height);
  // Shows the preview inside `window` (a child video widget filling it).
  bool AttachPreview(QWidget* window);
  bool RenderPreview();
  bool Run();
  void Stop();
  // Sizes the video to the preview window's current client area.
  void FitToWindow();
  // The camera's own controls, if the platform offers any; owned by `owner`.
  void ShowPropertyPages(QWidget* owner);
  // Stops and releases everything; safe on a partly built graph and when called twice.
  void Release();

  // Why the last failing step failed (for logs and tests; users get the caller's own message).
  QString LastError() const;
  // Called on the UI thread when the running camera fails later on (unplugged, taken over).
  void SetFailureHandler(std::function<void(const QString& why)> handler);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A capture format as the preview side sees it: the size, the pixel format as a V4L2 four-letter
// code ("YUYV", "UYVY", "RGB3", "MJPG", ...) and the frame rates it runs at.
struct CameraFormatOffer {
  int width = 0;
  int height = 0;
  QString pixelFormat;
  float minFrameRate = 0;
  float maxFrameRate = 0;
};

// The offer SetFormat applies for width × height: the first of exactly that size in YUYV, RGB24
// or UYVY, preferring the first such one that runs at 25 fps; none when no offer matches.
std::optional<std::size_t> ChooseCameraFormat(const std::vector<CameraFormatOffer>& offers,
                                              int width, int height);

// The size this program prefers for camera capture: the first 1280×720 or 1920×1080 offered;
// else the last size at least 720 high and wider than high; else none.
std::optional<PictureSize> ChooseCameraSize(const std::vector<PictureSize>& sizes);

}  // namespace vortane
