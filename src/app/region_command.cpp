#include "app/region_command.h"

#include "app/recording_controller.h"
#include "app/toolbar_trace.h"
#include "encoder/capture_region.h"
#include "settings/region_windows.h"
#include "settings/settings.h"

namespace vortane {

RegionCommand::RegionCommand(RecordingController& controller, const ToolbarTrace& trace,
                             std::function<void(const QString& text)> showMessage)
    : controller_(controller), trace_(trace), showMessage_(std::move(showMessage)) {}

void RegionCommand::Toggle(const Settings& settings) {
  if (IsRegionSet()) {
    HideRegionFrame();
    ResetRegionRegistry();
    ClearRegionSet();
    controller_.SetRegionMode(false);
    controller_.SetRegion({});
  } else if (settings.videoSource == VideoSource::kCamera) {
    showMessage_(QStringLiteral("采集摄像头时无需划定桌面区域！"));
  } else {
    HideRegionFrame();
    ResetRegionRegistry();
    ClearRegionSet();
    BeginRegionSelection();
    controller_.SetRegionMode(true);
  }
  controller_.ShowReadyStatus();
}

void RegionCommand::OnChosen(const std::optional<CaptureRegion>& region) {
  if (region) {
    trace_(QStringLiteral("region %1,%2-%3,%4")
               .arg(region->left)
               .arg(region->top)
               .arg(region->right)
               .arg(region->bottom));
    controller_.SetStatusText(
        QStringLiteral("就绪 - 区域模式(%1x%2)").arg(region->Width()).arg(region->Height()), false);
    controller_.SetRegion(*region);
  } else {
    // A cancelled drag may have posted rectangles before it was given up: none of them counts.
    trace_(QStringLiteral("region cancelled"));
    controller_.SetRegionMode(false);
    controller_.SetRegion({});
    controller_.ShowReadyStatus();
  }
}

}  // namespace vortane
