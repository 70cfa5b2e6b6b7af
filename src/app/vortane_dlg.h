#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <memory>

#include "app/file_manager_opener.h"
#include "app/platform_commands.h"
#include "app/recording_controller.h"
#include "app/region_command.h"
#include "app/settings_opener.h"
#include "app/toolbar_camera.h"
#include "app/toolbar_controls.h"
#include "app/toolbar_drag.h"
#include "app/toolbar_services.h"
#include "app/toolbar_slide.h"
#include "app/toolbar_trace.h"
#include "app/toolbar_view.h"
#include "files/recording_recovery.h"
#include "platform/window_message.h"
#include "settings/settings.h"
#include "ui/command_target.h"
#include "ui/dialog_utility.h"

class QTimer;

namespace vortane {

class CMediaFileDlg;
class CVideoDlg1;
class SetupDlg;
namespace platform {
enum class DeviceCategory;
class KeyboardCapture;
class PortalShortcuts;
class MessageWindow;
struct WindowMessage;
}  // namespace platform
namespace ui {
class CDynamicLED;
class CHoverButton;
class CLabel;
}  // namespace ui

// The toolbar: a frameless, always-on-top window shaped by skin/main.bmp, with the start button
// and its row, the small buttons in the top-right corner, the status line, the LED, the mode and
// task labels, and the global F8/F9 keys. It hosts the recording controller and shows what it
// decides; the program ends when this window closes.
//
// Start-up: 10 ms after it is made the toolbar appears centred above the screen (y = −200), 50 ms
// later the start-up check runs, and when it passes the toolbar moves to the top edge.
//
// It wires the toolbar's features, each a class of its own (the platform commands, the camera
// window, the file manager, the settings dialog, the region), owns the run's settings and hands
// them to each; while the settings dialog is up or about to open, F8 and F9 do nothing.
class CVortaneDlg : public QDialog, public ui::CCommandTarget, public ToolbarView {
  Q_OBJECT

 public:
  using ControlId = ToolbarControlId;
  using enum ToolbarControlId;
  // The settings dialog opens this long after its command, so a camera the camera window has
  // just let go of is free for the dialog's own preview.
  static constexpr int kSettingsDelayMs = 200;
  static constexpr int kVkF8 = 0x77;
  static constexpr int kVkF9 = 0x78;
  // Exit status of the program when the start-up check failed.
  static constexpr int kExitCheckFailed = 1;

  using Services = ToolbarServices;

  // `settings` defaults to the toolbar's own, loaded from config.cfg.
  CVortaneDlg();
  explicit CVortaneDlg(Services services, Settings* settings = nullptr);
  ~CVortaneDlg() override;

  RecordingController& controller() { return controller_; }
  ui::CHoverButton* Button(int id) const;
  ui::CLabel* Label(int id) const;
  ui::CDynamicLED* Led() const;
  // True once the start-up check has passed; the global keys work from then on.
  bool IsReady() const { return ready_; }
  bool IsClosing() const { return closePending_ || closed_; }
  // The window has closed its parts; only the short pause before it goes remains.
  bool IsClosed() const { return closed_; }
  // The camera window, once the first camera command has made it.
  CVideoDlg1* CameraWindow() const { return camera_.Window(); }
  ToolbarCamera& Camera() { return camera_; }
  // The file manager, once the first file-manager command has made it.
  CMediaFileDlg* FileManager() const { return files_.Window(); }
  FileManagerOpener& Files() { return files_; }
  // The settings dialog while it is shown; true from the command until it has closed.
  SetupDlg* SettingsDialog() const { return settingsOpener_.Dialog(); }
  bool IsSettingsPending() const { return settingsOpener_.IsPending(); }

  // Commands of the buttons (WM_COMMAND) and the notify-style user label.
  void OnCommand(int id) override;
  void OnNotify(int id, int code) override;
  // Window messages from the keyboard-capture library (the global F8/F9).
  void OnWindowMessage(const platform::WindowMessage& message);
  AccountState& account() { return platform_.account(); }

  // The logged-in / logged-out look of the user button, the user label and the live buttons.
  void ShowUserState(bool loggedIn, const QString& name);
  // A chosen live task offers its chat and video pages.
  void ShowInteractionButtons(bool chat, bool meeting);
  // The user button and the start button wait while a login runs.
  void SetLoginPending(bool pending);
  // Another start of the program wants this toolbar in front.
  void BringToFront();
  // The program is asked to end (a termination signal, the session ends): like the close
  // command, but also while recording. A running capture is stopped and its recording finished
  // before the window closes.
  void EndProgram();

  // ToolbarView
  // The window that receives the key-grab library's messages.
  platform::WindowHandle MessageHandle() const;
  void SetStatusLabel(const QString& text, ColorRef colour) override;
  void SetModeLabel(const QString& text, ColorRef colour) override;
  void SetTaskLabel(const QString& text) override;
  void ShowLamp(Lamp lamp) override;
  void StopLedBlinking() override;
  void SetStartButton(StartButton face, const QString& toolTip) override;
  void SetStartButtonEnabled(bool enabled) override;
  void SetSideButtonsEnabled(bool enabled) override;
  void HideFileManager() override;
  void MarkFrameRecording(bool on) override;
  void SlideToolbar(bool out) override;
  void ShowMessage(const QString& text) override;
  void OpenSettings() override;
  void ReleaseCamera() override;
  int ScreenWidth() const override;
  bool IsLoggedIn() const override;
  void SendStopSignal(const std::string& callbackUrl) override;

  // Esc is the close command, Enter does nothing.
  void reject() override;
  void accept() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void SetUpSkin();
  QString SkinPath(const QString& file) const;
  void SetCameraButton(bool open);
  // The start-up: placed above the screen, then the check.
  void OnPlacement();
  // A close still waiting for the encoder after the close time-out.
  void OnCloseTimeout();
  // The short pause after the close: the window goes.
  void OnCloseDelay();
  void PlaceCentred(int top);
  void RunStartupCheck();
  void BindPortalShortcuts();
  // A capture or remux job exists or is about to restart: no settings now.
  bool JobRunning() const;
  // A capture (not a remux) holds the camera and the screen.
  bool CaptureRunning() const;
  void CloseCommand();
  void BeginClose();
  void FinishClose();
  // A job, a pending live restart or a recovery that the close waits for.
  bool CloseMustWait() const;
  bool RemuxRunning() const;
  void StartRecovery();
  void OnRecoveryDone(const std::vector<RecoveredRecording>& results);
  void SlideStep();

  ToolbarServices services_;
  ToolbarTrace trace_;
  Settings ownSettings_;
  Settings& settings_;
  ui::CDialogUtility skin_;
  std::unique_ptr<platform::MessageWindow> messages_;
  RecordingController controller_;
  PlatformCommands platform_;
  ToolbarCamera camera_;
  FileManagerOpener files_;
  SettingsOpener settingsOpener_;
  RecordingRecovery recovery_;
  // "%Y%m%d%H%M%S" when this toolbar started: captures named after it or later are this run's.
  QString startedStamp_;
  std::unique_ptr<platform::KeyboardCapture> keyboard_;
  // F8/F9 from the desktop portal on a Wayland session, posted like the key grab's.
  std::unique_ptr<platform::PortalShortcuts> portalShortcuts_;
  // One-shot timers of the window's own steps.
  QTimer placementTimer_;
  QTimer startupCheckTimer_;
  QTimer closeTimeoutTimer_;
  QTimer closeDelayTimer_;

  bool ready_ = false;
  // The portal refused the keys before the toolbar was ready.
  bool shortcutsNotePending_ = false;
  bool closePending_ = false;
  bool closed_ = false;
  int exitCode_ = 0;

  RegionCommand region_;
  ToolbarControls controls_;
  ToolbarDrag drag_;
  // SlideToolbar runs its steps on a timer so the window keeps painting and answering.
  QTimer* slideTimer_ = nullptr;
  ToolbarSlide slide_;
};

}  // namespace vortane
