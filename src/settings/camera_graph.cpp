#include "settings/camera_graph.h"

#include <QCamera>
#include <QCameraDevice>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QPointer>
#include <QVBoxLayout>
#include <QVideoWidget>
#include <QWidget>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/device_lookup.h"
#include "platform/v4l2_device.h"

namespace vortane {
namespace {

QString FourCcOf(QVideoFrameFormat::PixelFormat format) {
  switch (format) {
    case QVideoFrameFormat::Format_YUYV:
      return QStringLiteral("YUYV");
    case QVideoFrameFormat::Format_UYVY:
      return QStringLiteral("UYVY");
    case QVideoFrameFormat::Format_Jpeg:
      return QStringLiteral("MJPG");
    case QVideoFrameFormat::Format_NV12:
      return QStringLiteral("NV12");
    case QVideoFrameFormat::Format_YUV420P:
      return QStringLiteral("YU12");
    default:
      // Qt has no 24-bit RGB; every other format is one this program never chooses.
      return QStringLiteral("?%1").arg(static_cast<int>(format));
  }
}

// The Qt camera behind a camera of the device lookup: the same device node (the id the GStreamer
// backend gives a V4L2 camera), else the same name.
std::optional<QCameraDevice> FindQtCamera(const platform::CameraDevice& device) {
  const QList<QCameraDevice> inputs = QMediaDevices::videoInputs();
  const QByteArray path = QFile::encodeName(device.devicePath);
  for (const QCameraDevice& input : inputs) {
    if (input.id() == path) return input;
  }
  for (const QCameraDevice& input : inputs) {
    if (input.description() == device.name) return input;
  }
  return std::nullopt;
}

}  // namespace

struct CameraGraph::Impl {
  std::optional<platform::CameraDevice> device;  // set by a successful Open
  std::optional<QCameraDevice> qtDevice;
  std::unique_ptr<QCamera> camera;
  std::unique_ptr<QMediaCaptureSession> session;
  QPointer<QWidget> window;
  QPointer<QVideoWidget> video;
  QString error;
  std::function<void(const QString&)> failureHandler;

  bool Fail(QString why) {
    error = std::move(why);
    return false;
  }

  void DropVideo() {
    if (session) session->setVideoOutput(nullptr);
    if (video) {
      // Later, not now: this may run inside an event handler of the preview window.
      video->hide();
      video->deleteLater();
    }
    video = nullptr;
  }
};

CameraGraph::CameraGraph() : impl_(std::make_unique<Impl>()) {}

CameraGraph::~CameraGraph() {
  Release();
}

bool CameraGraph::Open(const QString& name) {
  Release();
  if (name.isEmpty()) return impl_->Fail(QStringLiteral("no camera name"));
  std::optional<platform::CameraDevice> device = platform::FindCamera(name);
  if (!device) return impl_->Fail(QStringLiteral("no camera named \"%1\"").arg(name));
  impl_->device = std::move(device);
  // A camera the device lookup knows but Qt Multimedia does not offer stays open for its sizes;
  // the preview steps fail for it.
  impl_->qtDevice = FindQtCamera(*impl_->device);
  if (impl_->qtDevice) {
    impl_->camera = std::make_unique<QCamera>(*impl_->qtDevice);
    impl_->session = std::make_unique<QMediaCaptureSession>();
    impl_->session->setCamera(impl_->camera.get());
    Impl* impl = impl_.get();
    QObject::connect(impl_->camera.get(), &QCamera::errorOccurred, impl_->camera.get(),
                     [impl](QCamera::Error error, const QString& text) {
                       if (error == QCamera::NoError) return;
                       impl->error = text;
                       if (impl->failureHandler) impl->failureHandler(text);
                     });
  }
  return true;
}

std::vector<PictureSize> CameraGraph::ListSizes() const {
  std::vector<PictureSize> sizes;
  if (!impl_->device) return sizes;
  for (const platform::CameraSize& size : impl_->device->sizes)
    sizes.push_back({size.width, size.height});
  return sizes;
}

bool CameraGraph::SetFormat(int width, int height) {
  if (!impl_->camera) return impl_->Fail(QStringLiteral("the camera offers no formats to Qt"));
  const QList<QCameraFormat> formats = impl_->qtDevice->videoFormats();
  std::vector<CameraFormatOffer> offers;
  offers.reserve(formats.size());
  for (const QCameraFormat& format : formats) {
    offers.push_back({format.resolution().width(), format.resolution().height(),
                      FourCcOf(format.pixelFormat()), format.minFrameRate(),
                      format.maxFrameRate()});
  }
  std::optional<std::size_t> choice = ChooseCameraFormat(offers, width, height);
  if (!choice)
    return impl_->Fail(QStringLiteral("no uncompressed %1x%2 format").arg(width).arg(height));
  impl_->camera->setCameraFormat(formats[static_cast<qsizetype>(*choice)]);
  return true;
}

bool CameraGraph::AttachPreview(QWidget* window) {
  if (!impl_->device) return impl_->Fail(QStringLiteral("no camera is open"));
  if (window == nullptr) return impl_->Fail(QStringLiteral("no preview window"));
  impl_->DropVideo();
  impl_->window = window;
  auto* video = new QVideoWidget(window);  // owned by the preview window
  // The picture fills the window, as the Windows renderer stretched it.
  video->setAspectRatioMode(Qt::IgnoreAspectRatio);
  video->setGeometry(window->rect());
  video->show();
  impl_->video = video;
  return true;
}

bool CameraGraph::RenderPreview() {
  if (!impl_->video || !impl_->window) return impl_->Fail(QStringLiteral("no preview attached"));
  if (!impl_->camera)
    return impl_->Fail(QStringLiteral("Qt Multimedia does not offer the camera \"%1\" (%2)")
                           .arg(impl_->device->name, impl_->device->devicePath));
  impl_->session->setVideoOutput(impl_->video.data());
  FitToWindow();
  return true;
}

bool CameraGraph::Run() {
  if (!impl_->camera) return impl_->Fail(QStringLiteral("no camera to run"));
  QString why;
  if (!platform::IsCameraFree(impl_->device->devicePath, &why)) return impl_->Fail(why);
  impl_->camera->start();
  if (impl_->camera->error() != QCamera::NoError) return impl_->Fail(impl_->camera->errorString());
  return true;
}

void CameraGraph::Stop() {
  if (impl_->camera) impl_->camera->stop();
}

void CameraGraph::FitToWindow() {
  if (impl_->video && impl_->window) impl_->video->setGeometry(impl_->window->rect());
}

void CameraGraph::ShowPropertyPages(QWidget* owner) {
  if (!impl_->device) return;
  const std::vector<platform::CameraControl> controls =
      platform::ReadCameraControls(impl_->device->devicePath);
  if (controls.empty()) return;
  // The driver's controls, shown for reading: changing them is left to the camera's own tools.
  QDialog dialog(owner);
  dialog.setWindowTitle(impl_->device->name);
  auto* layout = new QVBoxLayout(&dialog);
  auto* form = new QFormLayout;
  for (const platform::CameraControl& control : controls)
    form->addRow(control.name, new QLabel(control.value, &dialog));
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.exec();
}

void CameraGraph::Release() {
  if (impl_->camera) impl_->camera->stop();
  impl_->DropVideo();
  if (impl_->session) impl_->session->setCamera(nullptr);
  impl_->camera.reset();
  impl_->session.reset();
  impl_->window = nullptr;
  impl_->qtDevice.reset();
  impl_->device.reset();
}

QString CameraGraph::LastError() const {
  return impl_->error;
}

void CameraGraph::SetFailureHandler(std::function<void(const QString& why)> handler) {
  impl_->failureHandler = std::move(handler);
}

}  // namespace vortane
