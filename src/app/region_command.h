#pragma once

#include <QString>
#include <functional>

namespace vortane {

struct Settings;
class RecordingController;
class ToolbarTrace;
namespace platform {
struct WindowMessage;
}

// The toolbar's region button (区域): starts the selection of a desktop rectangle to record, or
// goes back to the whole screen when a region is set, and takes the rectangle the selection
// reports (WM_REGION_CHOSEN) to the recording controller.
class RegionCommand {
 public:
  RegionCommand(RecordingController& controller, const ToolbarTrace& trace,
                std::function<void(const QString& text)> showMessage);

  void Toggle(const Settings& settings);
  void OnChosen(const platform::WindowMessage& message);

 private:
  RecordingController& controller_;
  const ToolbarTrace& trace_;
  std::function<void(const QString& text)> showMessage_;
};

}  // namespace vortane
