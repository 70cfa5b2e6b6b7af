#include "app/vortane_dlg.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "app/leftover_encoder.h"
#include "app/program_icon.h"
#include "app/startup_check.h"
#include "app/toolbar_layout.h"
#include "files/media_file_dlg.h"
#include "http/platform_client.h"
#include "platform/keyboard_capture.h"
#include "platform/portal_shortcuts.h"
#include "platform/wayland_session.h"
#include "platform/window_message.h"
#include "platform/window_messages.h"
#include "settings/region_windows.h"
#include "settings/setup_dlg.h"
#include "settings/shift_region_window.h"
#include "settings/video_dlg1.h"
#include "ui/dynamic_led.h"
#include "ui/hover_button.h"
#include "ui/label.h"
#include "ui/ui_font.h"

namespace vortane {
namespace {

// The start-up: the window appears this long after it is made, and the check this long later.
constexpr int kPlacementMs = 10;
constexpr int kStartupCheckMs = 50;
// The short pause before a closed window goes.
constexpr int kCloseDelayMs = 50;

// The toolbar's colour where skin/main.bmp is missing.
const QColor kFallbackBackground(33, 37, 43);

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

QColor ToColor(ColorRef colour) {
  return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

}  // namespace

CVortaneDlg::CVortaneDlg() : CVortaneDlg(Services{}) {}

CVortaneDlg::CVortaneDlg(Services services, Settings* settings)
    : QDialog(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      services_(WithDefaults(std::move(services))),
      trace_(services_.trace),
      ownSettings_(settings != nullptr ? Settings() : LoadSettings()),
      settings_(settings != nullptr ? *settings : ownSettings_),
      messages_(std::make_unique<platform::MessageWindow>(
          this, [this](const platform::WindowMessage& m) { OnWindowMessage(m); })),
      controller_(*this, settings_),
      platform_(*this, controller_, settings_, services_, trace_),
      camera_(*this, trace_,
              {[this](bool open) { SetCameraButton(open); },
               [this](const QString& text) { ShowMessage(text); },
               [this](const QString& text) {
                 trace_(QStringLiteral("message: ") + text);
                 services_.showWarning(this, text);
               }}),
      files_([this](QWidget* owner, const QString& text) { services_.showMessage(owner, text); },
             trace_),
      settingsOpener_(
          *this, settings_, services_, trace_, kSettingsDelayMs,
          {[this] { return !IsClosing() && !JobRunning(); }, [this] { camera_.ReleasePreview(); },
           [this] {
             if (closed_) return;
             controller_.ShowReadyStatus();
             // Back in front of everything, where it was.
             raise();
           }}),
      startedStamp_(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"))),
      region_(controller_, trace_, [this](const QString& text) { ShowMessage(text); }),
      controls_(*this, services_.programFolder + QStringLiteral("skin/")),
      drag_(*this) {
  for (QTimer* timer :
       {&placementTimer_, &startupCheckTimer_, &closeTimeoutTimer_, &closeDelayTimer_}) {
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
  }
  connect(&placementTimer_, &QTimer::timeout, this, &CVortaneDlg::OnPlacement);
  connect(&startupCheckTimer_, &QTimer::timeout, this, &CVortaneDlg::RunStartupCheck);
  connect(&closeTimeoutTimer_, &QTimer::timeout, this, &CVortaneDlg::OnCloseTimeout);
  connect(&closeDelayTimer_, &QTimer::timeout, this, &CVortaneDlg::OnCloseDelay);
  connect(&controller_, &RecordingController::jobReported, this,
          [this](bool remux, int code, const QString& text) {
            trace_(QStringLiteral("job %1 code %2 %3")
                       .arg(remux ? "remux" : "capture")
                       .arg(code)
                       .arg(text));
          });
  // The end of a job may be what a close waits for, once the controller has acted on it.
  connect(
      &controller_, &RecordingController::jobReported, this,
      [this] {
        if (closePending_ && !CloseMustWait()) FinishClose();
      },
      Qt::QueuedConnection);
  connect(&recovery_, &RecordingRecovery::finished, this, &CVortaneDlg::OnRecoveryDone);
  slideTimer_ = new QTimer(this);
  slideTimer_->setInterval(1);
  connect(slideTimer_, &QTimer::timeout, this, &CVortaneDlg::SlideStep);

  // The global F8/F9 keys go to this window's message handle.
  QString keyboardMessage;
  if (services_.captureKeyboard) {
    keyboard_ =
        std::make_unique<platform::KeyboardCapture>(messages_->handle(), services_.programFolder);
    keyboardMessage = keyboard_->message();
    if (!keyboard_->detail().isEmpty()) trace_(keyboard_->detail());
  }
  if (services_.portalShortcuts && platform::IsWaylandSession()) BindPortalShortcuts();

  setWindowIcon(ProgramIcon());
  setFont(ui::MakeUiFont(QStringLiteral("MS Shell Dlg"), 13));
  SetUpSkin();
  // The toolbar's window name since its first version; scripts and the tests find it by it.
  setWindowTitle(QStringLiteral("vtnwin"));

  CreateRegionWindows(
      this, [this](const std::optional<CaptureRegion>& region) { region_.OnChosen(region); });
  HideRegionFrame();
  ResetRegionRegistry();
  ClearRegionSet();

  if (!keyboardMessage.isEmpty()) ShowMessage(keyboardMessage);
  // A screen wider than 1920 pixels is pointed out once here; this check never refuses anything.
  controller_.CheckScreenWidth();
  placementTimer_.start(kPlacementMs);
}

CVortaneDlg::~CVortaneDlg() {
  // The region windows report to this window; they must not outlive it.
  DestroyRegionWindows();
}

QString CVortaneDlg::SkinPath(const QString& file) const {
  return services_.programFolder + QStringLiteral("skin/") + file;
}

void CVortaneDlg::SetUpSkin() {
  if (skin_.LoadBackground(SkinPath(QStringLiteral("main.bmp")))) {
    setFixedSize(skin_.BackgroundSize());
    if (auto shape = skin_.BackgroundRegion()) setMask(*shape);
  } else {
    setFixedSize(DialogUnitsToPixels(QSize(365, 50)));
  }
  move(0, 0);
  controls_.Build();
  controller_.ShowReadyStatus();
  ShowUserState(false, QString());
  controller_.SetModeLabel(0);
  controls_.SetTask(QString());

  if (services_.endLeftoverEncoder) {
    if (pid_t pid = EndLeftoverEncoder())
      trace_(QStringLiteral("ended leftover encoder %1").arg(pid));
  }
}

ui::CHoverButton* CVortaneDlg::Button(int id) const {
  return controls_.Button(id);
}

ui::CLabel* CVortaneDlg::Label(int id) const {
  return controls_.Label(id);
}

ui::CDynamicLED* CVortaneDlg::Led() const {
  return controls_.Led();
}

void CVortaneDlg::ShowUserState(bool loggedIn, const QString& name) {
  controls_.ShowUser(loggedIn, name);
  trace_(QStringLiteral("user: ") + (loggedIn ? name : Text("未登录")));
  // The live-task button has a place on the screen now.
  if (loggedIn && ready_) trace_.Controls(*this);
}

void CVortaneDlg::ShowInteractionButtons(bool chat, bool meeting) {
  // The interaction buttons have a place on the screen now.
  if (controls_.ShowInteraction(chat, meeting)) trace_.Controls(*this);
}

// --- Commands and messages -----------------------------------------------------------------

void CVortaneDlg::OnCommand(int id) {
  if (closed_) return;
  switch (id) {
    case kIdStart:
      controller_.StartOrStop();
      break;
    case kIdStop:
      if (controller_.JobActive()) controller_.StopRecording();
      break;
    case kIdSettings:
      settingsOpener_.Command();
      break;
    case kIdCamera:
      camera_.Command(settings_, CaptureRunning());
      break;
    case kIdFiles:
      files_.Open(settings_.saveFolder);
      break;
    case kIdRegion:
      region_.Toggle(settings_);
      break;
    case kIdAbout:
      services_.showAbout(this);
      break;
    case kIdSlide:
      SlideToolbar(true);
      break;
    case kIdClose:
      CloseCommand();
      break;
    case kIdUser:
    case kIdUserName:
      platform_.UserCommand();
      break;
    case kIdLiveTasks:
      platform_.LiveTasksCommand();
      break;
    case kIdChat:
    case kIdMeeting:
      platform_.InteractionCommand(id == kIdChat);
      break;
    case kIdOk:
    default:
      break;
  }
}

void CVortaneDlg::OnNotify(int id, int code) {
  if (id == kIdUserName && code == ui::kLabelClickNotify) OnCommand(kIdUserName);
}

void CVortaneDlg::OnWindowMessage(const platform::WindowMessage& message) {
  switch (message.message) {
    case WM_HOTKEY_EVENT:
      // Until the start-up check has passed there is nothing to record with.
      if (!ready_ || IsClosing()) break;
      if (message.wParam != kVkF8 && message.wParam != kVkF9) break;
      // The settings being edited decide what F8 records and which camera F9 shows, and the
      // dialog's own preview may hold the camera.
      if (IsSettingsPending()) {
        trace_(QStringLiteral("key ignored: the settings are open"));
        break;
      }
      if (message.wParam == kVkF8) {
        // While a region is being drawn the screen shows a still, dimmed picture of itself:
        // that is not what the teacher means to record.
        if (RegionOverlay() != nullptr && RegionOverlay()->isVisible()) {
          trace_(QStringLiteral("key ignored: a region is being chosen"));
          break;
        }
        controller_.StartOrStop();
      } else {
        camera_.Command(settings_, CaptureRunning());
      }
      break;
    default:
      break;
  }
}

bool CVortaneDlg::JobRunning() const {
  const int state = controller_.jobState();
  return state == kJobStarted || state == kJobProgress || controller_.JobActive() ||
         controller_.restartPending();
}

bool CVortaneDlg::CaptureRunning() const {
  return controller_.Capturing();
}

void CVortaneDlg::SetCameraButton(bool open) {
  controls_.ShowCamera(open);
  trace_(QStringLiteral("camera button ") +
         (open ? QStringLiteral("camed.bmp") : QStringLiteral("cam.bmp")));
}

// --- Closing --------------------------------------------------------------------------------

void CVortaneDlg::CloseCommand() {
  if (IsClosing()) return;
  if (controller_.jobState() == kJobProgress) {
    ShowMessage(Text("节目录制中，请先停止录制再退出！"));
    return;
  }
  BeginClose();
}

void CVortaneDlg::EndProgram() {
  if (IsClosing()) return;
  trace_(QStringLiteral("asked to end"));
  BeginClose();
}

void CVortaneDlg::BeginClose() {
  closePending_ = true;
  // From now on a job that ends is finished like a stop, and nothing new starts.
  controller_.SetClosing(true);
  // A live push waiting to reconnect ends as if the user had stopped it.
  if (controller_.restartPending()) controller_.StartOrStop();
  if (!CloseMustWait()) {
    FinishClose();
    return;
  }
  // An encoder still starting (or stopped by the end of the session) is not left running
  // without its toolbar: it is stopped, a recording is remuxed into its final file, and only
  // then does the window go. A remux under way is left to finish.
  controller_.StopRecording();
  closeTimeoutTimer_.start(services_.closeTimeoutMs);
}

bool CVortaneDlg::CloseMustWait() const {
  return controller_.JobActive() || controller_.restartPending() || recovery_.Running();
}

bool CVortaneDlg::RemuxRunning() const {
  return controller_.Remuxing() || recovery_.Running();
}

// --- Unfinished lessons ---------------------------------------------------------------------

void CVortaneDlg::StartRecovery() {
  const QString& folder = settings_.saveFolder;
  if (!services_.recoverUnfinished || folder.isEmpty()) return;
  if (!QFileInfo(folder).isDir()) return;
  trace_(QStringLiteral("recovery started in %1").arg(folder));
  recovery_.Start(folder, static_cast<int>(settings_.saveFormat), startedStamp_);
}

void CVortaneDlg::OnRecoveryDone(const std::vector<RecoveredRecording>& results) {
  trace_(QStringLiteral("recovery done: %1").arg(results.size()));
  const std::optional<RecoveryReport> report = RecordingRecovery::Describe(results);
  // The status line belongs to a lesson that is under way; the report waits for no one.
  if (report && !controller_.JobActive() && !controller_.restartPending())
    controller_.SetStatusText(report->text, report->isError);
  if (closePending_ && !CloseMustWait()) FinishClose();
}

void CVortaneDlg::FinishClose() {
  if (closed_) return;
  closed_ = true;
  closePending_ = false;
  closeTimeoutTimer_.stop();
  slideTimer_->stop();
  settingsOpener_.Cancel();
  camera_.Destroy();
  // A cut still running is stopped and its unfinished clip removed; the window itself goes with
  // the toolbar, once a question it may be asking has returned.
  files_.ShutDown();
  if (keyboard_) keyboard_->Release();
  if (portalShortcuts_) portalShortcuts_->Close();
  closeDelayTimer_.start(kCloseDelayMs);
}

void CVortaneDlg::reject() {
  OnCommand(kIdClose);
}

void CVortaneDlg::accept() {
  OnCommand(kIdOk);
}

// --- Timers and placement -------------------------------------------------------------------

void CVortaneDlg::OnPlacement() {
  PlaceCentred(-200);
  show();
  raise();
  startupCheckTimer_.start(kStartupCheckMs);
}

void CVortaneDlg::OnCloseTimeout() {
  // A copy into the final file is never cut short: a logout that cannot wait for it kills the
  // program, and the capture it leaves is recovered at the next start.
  if (RemuxRunning()) {
    closeTimeoutTimer_.start(services_.closeTimeoutMs);
    return;
  }
  FinishClose();
}

void CVortaneDlg::OnCloseDelay() {
  files_.Destroy();
  DestroyRegionWindows();
  trace_(QStringLiteral("closed"));
  done(exitCode_);
}

void CVortaneDlg::PlaceCentred(int top) {
  QScreen* screen = QGuiApplication::primaryScreen();
  const int screenWidth = screen != nullptr ? screen->geometry().width() : width();
  move(CentredPosition(screenWidth, width(), top));
}

void CVortaneDlg::RunStartupCheck() {
  if (IsClosing()) return;
  const bool passed = services_.runStartupCheck(this);
  if (IsClosing()) return;
  if (!passed) {
    trace_(QStringLiteral("start-up check failed"));
    exitCode_ = kExitCheckFailed;
    closePending_ = true;
    FinishClose();
    return;
  }
  PlaceCentred(0);
  raise();
  activateWindow();
  ready_ = true;
  trace_.Controls(*this);
  trace_(QStringLiteral("ready at %1,%2").arg(x()).arg(y()));
  if (shortcutsNotePending_) ShowMessage(NoGlobalShortcutsNote());
  // The encoder is known to work now, and a leftover one has been ended.
  StartRecovery();
}

void CVortaneDlg::BindPortalShortcuts() {
  portalShortcuts_ = std::make_unique<platform::PortalShortcuts>(
      messages_->handle(),
      std::vector<platform::PortalShortcut>{
          {QStringLiteral("start-stop"), Text("开始/停止录制"), QStringLiteral("F8"), kVkF8},
          {QStringLiteral("camera"), Text("打开/关闭摄像头"), QStringLiteral("F9"), kVkF9}},
      this, [this](platform::PortalShortcutsState state) {
        if (closed_) return;
        using enum platform::PortalShortcutsState;
        if (state == kBound) {
          trace_(QStringLiteral("global shortcuts bound"));
          // One source per key: a press while a Vortane window has focus could otherwise reach
          // the toolbar twice, once from each, and stop the recording it has just started.
          if (keyboard_) keyboard_->Release();
        } else if (state == kNotBound) {
          // The start-up check took the portal's offer as the keys; they are not.
          trace_(QStringLiteral("global shortcuts not bound"));
          // Said once the toolbar is in place, not over the start-up check.
          if (ready_) {
            ShowMessage(NoGlobalShortcutsNote());
          } else {
            shortcutsNotePending_ = true;
          }
        }
      });
}

void CVortaneDlg::BringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  trace_(QStringLiteral("brought to front"));
}

// --- ToolbarView ----------------------------------------------------------------------------

platform::WindowHandle CVortaneDlg::MessageHandle() const {
  return messages_->handle();
}

void CVortaneDlg::SetStatusLabel(const QString& text, ColorRef colour) {
  controls_.SetStatus(text, ToColor(colour));
  // "status:" for the normal green text, "status!" for an error in red.
  trace_(QStringLiteral("status%1 %2").arg(colour == Rgb(255, 0, 0) ? "!" : ":", text));
}

void CVortaneDlg::SetModeLabel(const QString& text, ColorRef colour) {
  controls_.SetMode(text, ToColor(colour));
}

void CVortaneDlg::SetTaskLabel(const QString& text) {
  if (controls_.SetTask(text)) trace_(QStringLiteral("task: ") + text);
}

void CVortaneDlg::ShowLamp(Lamp lamp) {
  controls_.ShowLamp(lamp);
  trace_(lamp == Lamp::kRunning ? QStringLiteral("lamp: green") : QStringLiteral("lamp: red"));
}

void CVortaneDlg::StopLedBlinking() {
  controls_.Led()->StopBlinking();
}

void CVortaneDlg::SetStartButton(StartButton face, const QString& toolTip) {
  controls_.ShowStart(face, toolTip);
}

void CVortaneDlg::SetStartButtonEnabled(bool enabled) {
  controls_.Start()->setEnabled(enabled);
}

void CVortaneDlg::SetSideButtonsEnabled(bool enabled) {
  controls_.SetSideButtonsEnabled(enabled);
}

void CVortaneDlg::HideFileManager() {
  files_.HideForRecording();
}

void CVortaneDlg::MarkFrameRecording(bool on) {
  ::vortane::MarkFrameRecording(on);
}

void CVortaneDlg::ShowMessage(const QString& text) {
  trace_(QStringLiteral("message: ") + text);
  services_.showMessage(this, text);
}

void CVortaneDlg::OpenSettings() {
  settingsOpener_.Command();
}

void CVortaneDlg::ReleaseCamera() {
  camera_.ReleasePreview();
}

int CVortaneDlg::ScreenWidth() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 0;
  return qRound(screen->geometry().width() * screen->devicePixelRatio());
}

bool CVortaneDlg::IsLoggedIn() const {
  return platform_.IsLoggedIn();
}

void CVortaneDlg::SendStopSignal(const std::string& callbackUrl) {
  // Failures come back as a platform reply and show in red.
  if (::vortane::SendStopSignal(callbackUrl, this, [this](const PlatformReply& reply) {
        platform_.OnPlatformReply(reply);
      }))
    trace_(QStringLiteral("stop signal sent"));
}

void CVortaneDlg::SetLoginPending(bool pending) {
  controls_.Button(kIdUser)->setEnabled(!pending);
  // A remux keeps the start button off until it is done.
  const bool remuxing = controller_.Remuxing();
  controls_.Start()->setEnabled(!pending && !remuxing);
}

void CVortaneDlg::SlideToolbar(bool out) {
  QScreen* screen = QGuiApplication::primaryScreen();
  const int screenWidth = screen != nullptr ? screen->geometry().width() : width();
  const QRect frame(pos(), size());
  if (out) {
    slide_.Out(frame, screenWidth, controls_.Start()->width());
  } else {
    slide_.Back(frame, screenWidth);
  }
  if (slide_.Running()) {
    slideTimer_->start();
  } else {
    slideTimer_->stop();
  }
}

void CVortaneDlg::SlideStep() {
  const std::optional<QPoint> next = slide_.Next();
  if (!next) {
    slideTimer_->stop();
    return;
  }
  move(*next);
  raise();
}

// --- Painting, keys and the mouse -----------------------------------------------------------

void CVortaneDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!skin_.DrawBackground(painter, rect())) painter.fillRect(rect(), kFallbackBackground);
}

void CVortaneDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      OnCommand(kIdClose);
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      OnCommand(kIdOk);
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

void CVortaneDlg::closeEvent(QCloseEvent* event) {
  // The window manager's close goes the way of the close button.
  if (!closed_) {
    event->ignore();
    OnCommand(kIdClose);
  }
}

void CVortaneDlg::mousePressEvent(QMouseEvent* event) {
  if (!drag_.Press(*event)) QDialog::mousePressEvent(event);
}

void CVortaneDlg::mouseMoveEvent(QMouseEvent* event) {
  drag_.Move(*event);
}

void CVortaneDlg::mouseReleaseEvent(QMouseEvent* event) {
  drag_.Release(*event);
}

void CVortaneDlg::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  drag_.Cancel();
  OnCommand(kIdAbout);
}

}  // namespace vortane
