#pragma once

#include <QString>
#include <functional>
#include <memory>

class QObject;
class QWidget;

namespace vortane {

struct Settings;
class CVideoDlg1;
class ToolbarTrace;

// The camera command of the toolbar (button and F9): opens or closes the camera window, made on
// first use and kept until the toolbar closes. The window says when it has closed
// (cameraWindowClosed), and the button changes back then.
class ToolbarCamera {
 public:
  struct Hooks {
    // The camera button's look: open or closed.
    std::function<void(bool open)> showButton;
    // A message box of the toolbar's (it stays when the camera window goes).
    std::function<void(const QString& text)> showMessage;
    std::function<void(const QString& text)> showWarning;
  };

  // `owner` (the toolbar) receives the window's closes; it outlives this object.
  ToolbarCamera(QObject& owner, const ToolbarTrace& trace, Hooks hooks);
  ~ToolbarCamera();

  // The encoder holds the camera from the moment a camera capture starts until it ends; a
  // remux leaves it free. Then the window shows its busy text instead of the picture.
  static bool ShowsPicture(bool cameraIsSource, bool captureRunning) {
    return !(cameraIsSource && captureRunning);
  }

  void Command(const Settings& settings, bool captureRunning);
  bool IsOpen() const;
  // Closes the window's preview so the camera is free for a recording or the settings dialog.
  void ReleasePreview();
  void Close();
  // Closes (remembering the window's place for the next start) and destroys the window.
  void Destroy();
  CVideoDlg1* Window() const { return window_.get(); }

 private:
  QObject& owner_;
  const ToolbarTrace& trace_;
  Hooks hooks_;
  // A top-level window of its own (its own taskbar entry), so not a Qt child of the toolbar.
  std::unique_ptr<CVideoDlg1> window_;
};

}  // namespace vortane
