#include "app/file_manager_uploads.h"

#include <QMessageBox>

#include "files/media_file_dlg.h"
#include "files/recording_entry.h"
#include "platform/program_info.h"

namespace vortane {

RecordingUploads& AttachUploads(CMediaFileDlg& window, FileManagerUploadOptions options) {
  RecordingUploads::Controls controls;
  controls.list = window.List();
  controls.start = window.StartUploadButton();
  controls.stop = window.StopUploadButton();
  controls.targets = window.TargetCombo();
  controls.log = window.UploadLog();
  RecordingUploads::Hooks hooks;
  // A row's user data is its RecordingEntry, whose base is the upload part.
  hooks.partOf = [](void* rowData) -> RecordingUploadPart* {
    return static_cast<RecordingEntry*>(rowData);
  };
  hooks.folder = [&window] { return window.RecordingFolder(); };
  hooks.saveSideFile = [&window](int row) { return window.SaveRowSideFile(row); };
  hooks.showMessage =
      options.showMessage ? options.showMessage : [](QWidget* owner, const QString& text) {
        QMessageBox::information(owner, ProgramTitle(), text);
      };
  hooks.trace = options.trace;
  hooks.traceRows = [&window] { window.TraceRows(); };
  hooks.targets = options.targets;
  hooks.launcher = options.launcher;
  auto* uploads = new RecordingUploads(window, controls, std::move(hooks));

  CMediaFileDlg::UploadHooks asked;
  asked.switchQueue = [uploads](bool start) {
    if (start) {
      uploads->StartQueue();
    } else {
      uploads->StopQueue();
    }
  };
  asked.queueOn = [uploads] { return uploads->QueueOn(); };
  asked.busy = [uploads] { return uploads->Busy(); };
  asked.showDestinations = [uploads](bool loaded) { uploads->ShowDestinations(loaded); };
  asked.forget = [uploads](const RecordingUploadPart* part) { uploads->Forget(part); };
  asked.shutDown = [uploads] { uploads->ShutDown(); };
  window.SetUploads(std::move(asked));
  return *uploads;
}

}  // namespace vortane
