#pragma once

#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace vortane {

class CMediaFileDlg;
class ToolbarTrace;

// The toolbar's file-manager command: the window is made on first use, afterwards only shown
// and hidden, and destroyed with the toolbar. It is told whether upload destinations are there
// (a login loaded them) whenever it is shown and whenever they come or go.
class FileManagerOpener {
 public:
  using MessageSink = std::function<void(QWidget* owner, const QString& text)>;

  FileManagerOpener(MessageSink showMessage, const ToolbarTrace& trace);
  ~FileManagerOpener();

  // Nothing happens without a recording folder that exists.
  void Open(const QString& folder);
  // The destinations came or went (a reply, a logout): an open window shows it.
  void ShowUploadDestinations();
  // A recording starts: the window goes and its player falls silent.
  void HideForRecording();
  // The program ends: a cut under way is stopped, open boxes close, the window hides.
  void ShutDown();
  void Destroy();
  CMediaFileDlg* Window() const { return window_.get(); }

 private:
  MessageSink showMessage_;
  const ToolbarTrace& trace_;
  std::unique_ptr<CMediaFileDlg> window_;
};

}  // namespace vortane
