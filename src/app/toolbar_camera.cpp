#include "app/toolbar_camera.h"

#include "app/toolbar_trace.h"
#include "settings/settings.h"
#include "settings/video_dlg1.h"

namespace vortane {

ToolbarCamera::ToolbarCamera(QObject& owner, const ToolbarTrace& trace, Hooks hooks)
    : owner_(owner), trace_(trace), hooks_(std::move(hooks)) {}

ToolbarCamera::~ToolbarCamera() = default;

void ToolbarCamera::Command(const Settings& settings, bool captureRunning) {
  if (!window_) {
    window_ = std::make_unique<CVideoDlg1>();
    // The button changes back once the window's close has run its course.
    QObject::connect(
        window_.get(), &CVideoDlg1::cameraWindowClosed, &owner_,
        [this] { hooks_.showButton(false); }, Qt::QueuedConnection);
    window_->SetMessageSink([this](QWidget*, const QString& text) { hooks_.showWarning(text); });
  }
  if (window_->IsCameraWindowOpen()) {
    window_->CloseCameraWindow();
    return;
  }
  if (settings.videoDevice.isEmpty()) {
    hooks_.showMessage(QStringLiteral("您还没有配置摄像头！\r\n请通过设置功能设置要使用的设备。"));
    return;
  }
  hooks_.showButton(true);
  window_->SetCamera(settings.videoDevice, settings.cameraWidth, settings.cameraHeight);
  const bool picture = ShowsPicture(settings.videoSource == VideoSource::kCamera, captureRunning);
  trace_(picture ? QStringLiteral("camera window: picture")
                 : QStringLiteral("camera window: busy text"));
  window_->OpenCameraWindow(picture);
}

bool ToolbarCamera::IsOpen() const {
  return window_ && window_->IsCameraWindowOpen();
}

void ToolbarCamera::ReleasePreview() {
  if (window_ && window_->IsCameraWindowOpen() && window_->HasPreview())
    window_->CloseCameraWindow();
}

void ToolbarCamera::Close() {
  if (window_) window_->CloseCameraWindow();
}

void ToolbarCamera::Destroy() {
  if (!window_) return;
  if (window_->IsCameraWindowOpen()) window_->CloseCameraWindow();
  window_.reset();
}

}  // namespace vortane
