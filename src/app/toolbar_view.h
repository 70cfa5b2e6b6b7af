#pragma once

#include <QString>
#include <string>

#include "platform/color_ref.h"

namespace vortane {

// What the recording controller drives in the toolbar window. The window implements it; the
// controller's decisions are tested against a recording stand-in.
class ToolbarView {
 public:
  virtual ~ToolbarView() = default;

  virtual void SetStatusLabel(const QString& text, ColorRef colour) = 0;
  virtual void SetModeLabel(const QString& text, ColorRef colour) = 0;
  virtual void SetTaskLabel(const QString& text) = 0;
  // 2001 red, 2002 green (blinking); StopLedBlinking holds the lamp in its current phase.
  virtual void SetLed(int colourCode) = 0;
  virtual void StopLedBlinking() = 0;
  // Picture strip (a file name under skin/, e.g. "stop.bmp") and tool tip of the start button.
  virtual void SetStartButton(const QString& skinFile, const QString& toolTip) = 0;
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
