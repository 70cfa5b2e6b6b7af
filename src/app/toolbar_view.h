#pragma once

#include <QString>
#include <string>

#include "platform/color_ref.h"

namespace vortane {

// The lamp beside the status line: blinking green while a job runs, red after a failure.
enum class Lamp { kRunning, kError };
// The start button's face: start (idle) or stop (a job runs).
enum class StartButton { kStart, kStop };

// What the recording controller drives in the toolbar window. The window implements it; the
// controller's decisions are tested against a recording stand-in.
class ToolbarView {
 public:
  virtual ~ToolbarView() = default;

  virtual void SetStatusLabel(const QString& text, ColorRef colour) = 0;
  virtual void SetModeLabel(const QString& text, ColorRef colour) = 0;
  virtual void SetTaskLabel(const QString& text) = 0;
  // Starts the lamp blinking in the state's colour; StopLedBlinking holds it in its current
  // phase.
  virtual void ShowLamp(Lamp lamp) = 0;
  virtual void StopLedBlinking() = 0;
  // Face and tool tip of the start button.
  virtual void SetStartButton(StartButton face, const QString& toolTip) = 0;
  virtual void SetStartButtonEnabled(bool enabled) = 0;
  // Region, file manager, live task and settings buttons.
  virtual void SetSideButtonsEnabled(bool enabled) = 0;
  virtual void HideFileManager() = 0;
  virtual void MarkFrameRecording(bool on) = 0;
  // Slides the toolbar to the right screen edge (out) or back to where it was.
  virtual void SlideToolbar(bool out) = 0;
  // A modal OK message box with the program's title.
  virtual void ShowMessage(const QString& text) = 0;
  // The settings command (refused while a job runs).
  virtual void OpenSettings() = 0;
  // Closes the camera window's preview so the camera is free for recording.
  virtual void ReleaseCamera() = 0;
  virtual int ScreenWidth() const = 0;
  // The live account has loaded its task list.
  virtual bool IsLoggedIn() const = 0;
  // Sends the live task's stop signal to the platform.
  virtual void SendStopSignal(const std::string& callbackUrl) = 0;
};

}  // namespace vortane
