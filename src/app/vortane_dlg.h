#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/recording_controller.h"
#include "app/settings_login_memory.h"
#include "app/toolbar_slide.h"
#include "app/toolbar_view.h"
#include "files/recording_recovery.h"
#include "http/account_state.h"
#include "http/interaction_launcher.h"
#include "platform/window_message.h"
#include "ui/command_target.h"
#include "ui/dialog_utility.h"

class QTimer;

namespace vortane {

struct CaptureSettings;
class CMediaFileDlg;
class CVideoDlg1;
class SetupDlg;
class WindowTimers;
namespace platform {
enum class DeviceCategory;
class KeyboardCapture;
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
// It owns the camera window and the file manager (each made on its first command, destroyed by
// the close) and runs the settings dialog modally; while that dialog is up or about to open, F8
// and F9 do nothing.
class CVortaneDlg : public QDialog,
                    public ui::CDialogUtility,
                    public ui::CCommandTarget,
                    public ToolbarView,
                    public AccountView,
                    public InteractionHost {
  Q_OBJECT

 public:
  // Control ids of the toolbar.
  enum ControlId : int {
    kIdOk = 1,  // Enter
    kIdClose = 2,
    kIdSettings = 3,
    kIdUser = 6,
    kIdSlide = 14,
    kIdStop = 1000,
    kIdStart = 1001,
    kIdStatus = 1002,
    kIdCamera = 1015,
    kIdLed = 1018,
    kIdFiles = 1019,
    kIdRegion = 1021,
    kIdAbout = 1023,
    kIdLiveTasks = 1054,
    kIdChat = 1065,
    kIdMeeting = 1066,
    kIdUserName = 2020,
    kIdTask = 2022,
    kIdMode = 2023,
  };
  static constexpr int kPlacementTimer = 10;
  static constexpr int kStartupCheckTimer = 12;
  // The settings dialog opens this long after its command, so a camera the camera window has
  // just let go of is free for the dialog's own preview.
  static constexpr int kSettingsDelayTimer = 33;
  static constexpr int kSettingsDelayMs = 200;
  // A close that waits for the encoder waits this long for a capture to stop; a copy into the
  // final file (a remux) is always waited for, since cutting it short would break the file.
  static constexpr int kCloseTimeoutTimer = 32;
  static constexpr int kCloseTimeoutMs = 60000;
  static constexpr int kVkF8 = 0x77;
  static constexpr int kVkF9 = 0x78;
  // Exit status of the program when the start-up check failed.
  static constexpr int kExitCheckFailed = 1;

  // What the window reaches outside itself. Empty members take the program's own behaviour;
  // tests replace what would block them or reach beyond them.
  struct Services {
    // A modal OK box with the program's title.
    std::function<void(QWidget* owner, const QString& text)> showMessage;
    // The same with a warning sign: the settings dialog's and the camera window's messages.
    // When only showMessage is given, these go there too.
    std::function<void(QWidget* owner, const QString& text)> showWarning;
    // The same with an information sign (the interaction buttons' notes); showMessage when only
    // that is given.
    std::function<void(QWidget* owner, const QString& text)> showInformation;
    // The capture devices the settings dialog offers (default: the machine's). Called on a
    // worker thread.
    std::function<QStringList(platform::DeviceCategory)> listDevices;
    // The start-up check dialog; true when it passed.
    std::function<bool(QWidget* owner)> runStartupCheck;
    // The About box.
    std::function<void(QWidget* owner)> showAbout;
    // A question with Yes and No; true for Yes.
    std::function<bool(QWidget* owner, const QString& text)> askQuestion;
    // Where skin/ and the keyboard-capture library are (default: the program folder).
    QString programFolder;
    // Take F8/F9 through the keyboard-capture library.
    bool captureKeyboard = true;
    // End an encoder an earlier run left behind.
    bool endLeftoverEncoder = true;
    // Copy the lessons an earlier run left unfinished into their final files.
    bool recoverUnfinished = true;
    // Trace status texts and messages on standard error (VORTANE_TRACE=1 turns it on).
    bool trace = false;
  };

  // `settings` defaults to the process-wide record (loaded from config.cfg on first use).
  CVortaneDlg();
  explicit CVortaneDlg(Services services, CaptureSettings* settings = nullptr);
  ~CVortaneDlg() override;

  RecordingController& controller() { return controller_; }
  ui::CHoverButton* Button(int id) const;
  ui::CLabel* Label(int id) const;
  ui::CDynamicLED* Led() const { return led_; }
  WindowTimers& Timers() const { return *timers_; }
  // True once the start-up check has passed; the global keys work from then on.
  bool IsReady() const { return ready_; }
  bool IsClosing() const { return closePending_ || closed_; }
  // The camera window, once the first camera command has made it.
  CVideoDlg1* CameraWindow() const { return cameraWindow_.get(); }
  // The file manager, once the first file-manager command has made it.
  CMediaFileDlg* FileManager() const { return fileManager_.get(); }
  // The settings dialog while it is shown; true from the command until it has closed.
  SetupDlg* SettingsDialog() const;
  bool IsSettingsPending() const;

  // Commands of the buttons (WM_COMMAND) and the notify-style user label.
  void OnCommand(int id) override;
  void OnNotify(int id, int code) override;
  // Window messages from jobs, the region windows and the keyboard-capture library.
  void OnWindowMessage(const platform::WindowMessage& message);
  AccountState& account() { return account_; }

  // AccountView: the logged-in / logged-out look of the user button, the user label and the
  // live buttons; the status line; the buttons that wait for a login's reply.
  void ShowUserState(bool loggedIn, const QString& name) override;
  void SetStatusText(const QString& text, bool isError) override;
  void SetLoginPending(bool pending) override;
  // Another start of the program wants this toolbar in front.
  void BringToFront();
  // The program is asked to end (a termination signal, the session ends): like the close
  // command, but also while recording. A running capture is stopped and its recording finished
  // before the window closes.
  void EndProgram();

  // ToolbarView
  platform::WindowHandle MessageHandle() const;
  void SetStatusLabel(const QString& text, ColorRef colour) override;
  void SetModeLabel(const QString& text, ColorRef colour) override;
  void SetTaskLabel(const QString& text) override;
  void SetLed(int colourCode) override;
  void StopLedBlinking() override;
  void SetStartButton(const QString& skinFile, const QString& toolTip) override;
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

  // InteractionHost (IsLoggedIn above serves it too)
  std::optional<LiveTask> SelectedTask() const override;
  void ChooseLiveTask() override;
  void ShowLauncherMessage(const QString& text, MessageIcon icon) override;
  bool IsCameraOpen() const override;
  void CloseCamera() override;

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
  ui::CHoverButton* AddButton(int id);
  ui::CLabel* AddLabel(int id, const QRect& dialogUnits);
  QString SkinPath(const QString& file) const;
  void OnTimer(int id);
  void PlaceCentred(int top);
  void RunStartupCheck();
  // A capture or remux job exists or is about to restart: no settings now.
  bool JobRunning() const;
  void SettingsCommand();
  void RunSettingsDialog();
  // Below the toolbar, on its screen.
  void PlaceBelowToolbar(QWidget& dialog) const;
  void UserCommand();
  void LiveTasksCommand();
  void InteractionCommand(int id);
  void TraceListRows(const QWidget& dialog) const;
  void TraceControls(const QWidget& dialog) const;
  void CameraCommand();
  void SetCameraButton(const QString& skinFile);
  void FileManagerCommand();
  // Gives an open file manager the upload destinations as they are now.
  void ShowUploadDestinations();
  void RegionCommand();
  void OnRegionChosen(const std::optional<CaptureRegion>& region);
  void CloseCommand();
  void BeginClose();
  void FinishClose();
  // A job, a pending live restart or a recovery that the close waits for.
  bool CloseMustWait() const;
  bool RemuxRunning() const;
  void StartRecovery();
  void OnRecoveryDone(const std::vector<RecoveredRecording>& results);
  void OnPlatformReply(const PlatformReply& reply);
  void SlideStep();
  void Trace(const QString& text) const;

  Services services_;
  CaptureSettings& settings_;
  RecordingController controller_;
  SettingsLoginMemory loginMemory_;
  AccountState account_;
  InteractionLauncher launcher_;
  std::unique_ptr<platform::MessageWindow> messages_;
  RecordingRecovery recovery_;
  // "%Y%m%d%H%M%S" when this toolbar started: captures named after it or later are this run's.
  QString startedStamp_;
  std::unique_ptr<platform::KeyboardCapture> keyboard_;
  std::unique_ptr<WindowTimers> timers_;
  std::map<int, ui::CHoverButton*> buttons_;  // children, owned through the Qt parent
  std::map<int, ui::CLabel*> labels_;
  ui::CHoverButton* start_ = nullptr;
  ui::CDynamicLED* led_ = nullptr;
  // A top-level window of its own (its own taskbar entry), so not a Qt child.
  std::unique_ptr<CVideoDlg1> cameraWindow_;
  // Made on the first file-manager command, hidden and shown afterwards, destroyed by the close.
  std::unique_ptr<CMediaFileDlg> fileManager_;
  // Lives on the stack of RunSettingsDialog while it is shown.
  QPointer<SetupDlg> settingsDialog_;
  bool settingsPending_ = false;

  bool ready_ = false;
  bool closePending_ = false;
  bool closed_ = false;
  int exitCode_ = 0;

  // Dragging from a free spot: the press point relative to the window's corner.
  bool pressed_ = false;
  bool systemMoveTried_ = false;
  QPoint pressOffset_;
  QPoint pressGlobal_;

  // SlideToolbar runs its steps on a timer so the window keeps painting and answering.
  QTimer* slideTimer_ = nullptr;
  ToolbarSlide slide_;
};

}  // namespace vortane
