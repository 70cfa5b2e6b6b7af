#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "http/recording_uploads.h"

class QWidget;

namespace vortane {

class CMediaFileDlg;

// Gives the file manager its upload part: the uploads work on the window's list and upload
// controls, and the window asks them before it closes or deletes a row. The part is a child of
// the window and goes with it.
struct FileManagerUploadOptions {
  std::function<void(QWidget* owner, const QString& text)> showMessage;
  std::function<void(const QString& text)> trace;
  // Empty: the upload account's destinations and the real upload job.
  std::function<std::vector<UploadTarget>()> targets;
  UploadQueue::Launcher launcher;
};
RecordingUploads& AttachUploads(CMediaFileDlg& window, FileManagerUploadOptions options);

}  // namespace vortane
