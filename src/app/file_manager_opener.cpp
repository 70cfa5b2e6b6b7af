#include "app/file_manager_opener.h"

#include <QFileInfo>

#include "app/file_manager_uploads.h"
#include "app/toolbar_trace.h"
#include "files/media_file_dlg.h"
#include "http/platform_account.h"

namespace vortane {

FileManagerOpener::FileManagerOpener(MessageSink showMessage, const ToolbarTrace& trace)
    : showMessage_(std::move(showMessage)), trace_(trace) {}

FileManagerOpener::~FileManagerOpener() = default;

void FileManagerOpener::Open(const QString& folder) {
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return;
  if (!window_) {
    CMediaFileDlg::Services services;
    services.showMessage = [this](QWidget* owner, const QString& text) {
      trace_(QStringLiteral("message: ") + text);
      showMessage_(owner, text);
    };
    services.trace = [this](const QString& text) { trace_(text); };
    FileManagerUploadOptions uploads;
    uploads.showMessage = services.showMessage;
    uploads.trace = services.trace;
    window_ = std::make_unique<CMediaFileDlg>(std::move(services));
    AttachUploads(*window_, std::move(uploads));
  }
  if (!window_->isVisible()) {
    window_->show();
    window_->RefreshFileList(folder);
    trace_.Controls(*window_);
  }
  window_->showNormal();
  window_->raise();
  window_->activateWindow();
  window_->ShowUploadDestinations(UploadAccount().IsLoaded());
}

void FileManagerOpener::ShowUploadDestinations() {
  if (window_ && window_->isVisible()) window_->ShowUploadDestinations(UploadAccount().IsLoaded());
}

void FileManagerOpener::HideForRecording() {
  if (window_ && window_->isVisible()) window_->HideForRecording();
}

void FileManagerOpener::ShutDown() {
  if (window_) window_->ShutDown();
}

void FileManagerOpener::Destroy() {
  window_.reset();
}

}  // namespace vortane
