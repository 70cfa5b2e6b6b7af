#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace vortane {

struct Settings;
class RecordingController;
class ToolbarTrace;
struct CaptureRegion;

// The toolbar's region button (区域): starts the selection of a desktop rectangle to record, or
// goes back to the whole screen when a region is set, and takes the rectangle the selection
// reports to the recording controller.
class RegionCommand {
 public:
  RegionCommand(RecordingController& controller, const ToolbarTrace& trace,
                std::function<void(const QString& text)> showMessage);

  void Toggle(const Settings& settings);
  // What the selection reported: a rectangle, or nothing when it was cancelled.
  void OnChosen(const std::optional<CaptureRegion>& region);

 private:
  RecordingController& controller_;
  const ToolbarTrace& trace_;
  std::function<void(const QString& text)> showMessage_;
};

}  // namespace vortane
