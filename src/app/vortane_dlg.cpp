#include "app/vortane_dlg.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyleHints>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <any>
#include <cstdio>

#include "app/about_dlg.h"
#include "app/init_dlg.h"
#include "app/leftover_encoder.h"
#include "app/program_icon.h"
#include "app/toolbar_layout.h"
#include "app/window_timers.h"
#include "files/media_file_dlg.h"
#include "http/live_list_dlg.h"
#include "http/live_task_choice.h"
#include "http/login_dlg.h"
#include "http/platform_account.h"
#include "http/platform_client.h"
#include "platform/code_page.h"
#include "platform/device_lookup.h"
#include "platform/folders.h"
#include "platform/keyboard_capture.h"
#include "platform/program_info.h"
#include "platform/window_message.h"
#include "platform/window_messages.h"
#include "settings/capture_settings.h"
#include "settings/region_windows.h"
#include "settings/setup_dlg.h"
#include "settings/shift_region_window.h"
#include "settings/video_dlg1.h"
#include "ui/dynamic_led.h"
#include "ui/hover_button.h"
#include "ui/label.h"
#include "ui/skin_list_ctrl.h"
#include "ui/ui_font.h"

namespace vortane {
namespace {

// The window's own timers, beside the start-up (10, 12).
constexpr int kCloseDelayTimer = 31;  // the short pause before the window goes

constexpr int kCloseDelayMs = 50;
// Between the toolbar's lower edge and the settings dialog.
constexpr int kSettingsGap = 8;

const QColor kGreen(0, 255, 0);
const QColor kGrey(192, 192, 192);
// The toolbar's colour where skin/main.bmp is missing.
const QColor kFallbackBackground(33, 37, 43);

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

QColor ToColor(ColorRef colour) {
  return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

QElapsedTimer& ProgramClock() {
  static QElapsedTimer clock = [] {
    QElapsedTimer timer;
    timer.start();
    return timer;
  }();
  return clock;
}

void ShowBox(QMessageBox::Icon icon, QWidget* owner, const QString& text) {
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QMessageBox box(icon, ProgramTitle(), shown, QMessageBox::Ok, owner);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
}

void ShowMessageBox(QWidget* owner, const QString& text) {
  ShowBox(QMessageBox::NoIcon, owner, text);
}

void ShowWarningBox(QWidget* owner, const QString& text) {
  ShowBox(QMessageBox::Warning, owner, text);
}

void ShowInformationBox(QWidget* owner, const QString& text) {
  ShowBox(QMessageBox::Information, owner, text);
}

bool AskYesNo(QWidget* owner, const QString& text) {
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QMessageBox box(QMessageBox::Question, ProgramTitle(), shown, QMessageBox::NoButton, owner);
  QPushButton* yes = box.addButton(QStringLiteral("是(&Y)"), QMessageBox::YesRole);
  box.addButton(QStringLiteral("否(&N)"), QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
  return box.clickedButton() == yes;
}

bool RunInitDialog(QWidget* owner) {
  CInitDlg check(owner);
  return check.exec() == QDialog::Accepted;
}

void ShowAboutBox(QWidget* owner) {
  AboutDlg about(owner);
  about.exec();
}

}  // namespace

CVortaneDlg::CVortaneDlg() : CVortaneDlg(Services{}) {}

CVortaneDlg::CVortaneDlg(Services services, CaptureSettings* settings)
    : QDialog(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      services_(std::move(services)),
      settings_(settings != nullptr ? *settings : GetCaptureSettings()),
      controller_(*this, settings_),
      loginMemory_(settings_),
      account_(*this, loginMemory_),
      launcher_(*this, settings_),
      startedStamp_(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"))) {
  ProgramClock();
  if (!services_.showWarning)
    services_.showWarning = services_.showMessage ? services_.showMessage : ShowWarningBox;
  if (!services_.showInformation)
    services_.showInformation = services_.showMessage ? services_.showMessage : ShowInformationBox;
  if (!services_.showMessage) services_.showMessage = ShowMessageBox;
  if (!services_.runStartupCheck) services_.runStartupCheck = RunInitDialog;
  if (!services_.showAbout) services_.showAbout = ShowAboutBox;
  if (!services_.askQuestion) services_.askQuestion = AskYesNo;
  services_.programFolder = services_.programFolder.isEmpty()
                                ? GetProgramFolder()
                                : WithTrailingSeparator(services_.programFolder);

  messages_ = std::make_unique<platform::MessageWindow>(
      this, [this](const platform::WindowMessage& m) { OnWindowMessage(m); });
  timers_ = std::make_unique<WindowTimers>([this](int id) { OnTimer(id); });
  connect(&controller_, &RecordingController::jobReported, this,
          [this](bool remux, int code, const QString& text) {
            Trace(QStringLiteral("job %1 code %2 %3")
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
    if (!keyboard_->detail().isEmpty()) Trace(keyboard_->detail());
  }

  setWindowIcon(ProgramIcon());
  setFont(ui::MakeUiFont(QStringLiteral("MS Shell Dlg"), 13));
  SetUpSkin();
  // The toolbar's window name since its first version; scripts and the tests find it by it.
  setWindowTitle(QStringLiteral("vtnwin"));

  CreateRegionWindows(
      this, [this](const std::optional<CaptureRegion>& region) { OnRegionChosen(region); });
  HideRegionFrame();
  ResetRegionRegistry();
  ClearRegionSet();

  if (!keyboardMessage.isEmpty()) ShowMessage(keyboardMessage);
  // A screen wider than 1920 pixels is pointed out once here; this check never refuses anything.
  controller_.CheckScreenWidth();
  timers_->StartTimer(kPlacementTimer, 10);
}

CVortaneDlg::~CVortaneDlg() {
  // The region windows report to this window; they must not outlive it.
  DestroyRegionWindows();
}

ui::CHoverButton* CVortaneDlg::AddButton(int id) {
  auto* button = new ui::CHoverButton(id, this);
  // The trace lists controls by their ids.
  button->setObjectName(QString::number(id));
  buttons_[id] = button;
  return button;
}

ui::CLabel* CVortaneDlg::AddLabel(int id, const QRect& dialogUnits) {
  auto* label = new ui::CLabel(id, this);
  label->setObjectName(QString::number(id));
  label->setGeometry(DialogUnitsToPixels(dialogUnits));
  labels_[id] = label;
  return label;
}

QString CVortaneDlg::SkinPath(const QString& file) const {
  return services_.programFolder + QStringLiteral("skin/") + file;
}

void CVortaneDlg::SetUpSkin() {
  if (LoadBackground(SkinPath(QStringLiteral("main.bmp")))) {
    setFixedSize(BackgroundSize());
    if (auto shape = BackgroundRegion()) setMask(*shape);
  } else {
    setFixedSize(DialogUnitsToPixels(QSize(365, 50)));
  }
  move(0, 0);

  // The bottom row: every button takes the start button's size.
  start_ = AddButton(kIdStart);
  start_->LoadBitmapStrip(SkinPath(QStringLiteral("start.bmp")));
  start_->SetToolTipText(Text("开始"));
  const QSize size = start_->size();
  start_->move(BottomRowPosition(0, size, height()));
  struct RowButton {
    int id;
    const char* skin;
    const char* toolTip;
  };
  const RowButton row[] = {
      {kIdRegion, "area.bmp", "选择录制区域"},    {kIdCamera, "cam.bmp", "开启摄像头"},
      {kIdSettings, "setup.bmp", "设置"},         {kIdFiles, "files.bmp", "文件管理"},
      {kIdLiveTasks, "liveshow.bmp", "直播任务"}, {kIdChat, "chat.bmp", "文字互动"},
      {kIdMeeting, "hudong.bmp", "视频互动"},
  };
  int n = 1;
  for (const RowButton& item : row) {
    ui::CHoverButton* button = AddButton(item.id);
    button->LoadBitmapStrip(SkinPath(QLatin1String(item.skin)));
    button->SetToolTipText(Text(item.toolTip));
    button->setGeometry(QRect(BottomRowPosition(n++, size, height()), size));
  }
  // The stop command has a button that is never shown.
  ui::CHoverButton* stop = AddButton(kIdStop);
  stop->LoadBitmapStrip(SkinPath(QStringLiteral("stop.bmp")));
  stop->hide();
  // The live task list and the two interaction pages appear after a login.
  buttons_[kIdLiveTasks]->hide();
  buttons_[kIdChat]->hide();
  buttons_[kIdMeeting]->hide();

  ui::CLabel* status = AddLabel(kIdStatus, QRect(219, 26, 127, 8));
  ui::CLabel* userName = AddLabel(kIdUserName, QRect(271, 1, 41, 8));
  AddLabel(kIdTask, QRect(76, 1, 149, 8));
  AddLabel(kIdMode, QRect(5, 1, 63, 8));
  status->SetTextColor(kGreen).SetTransparent(true);
  controller_.ShowReadyStatus();
  userName->SetNotify(true).SetTransparent(true);
  ShowUserState(false, QString());
  controller_.SetModeLabel(0);
  labels_[kIdTask]->SetTextColor(kGreen).SetTransparent(true).SetText(QString());

  // The small buttons of the top-right corner.
  ui::CHoverButton* about = AddButton(kIdAbout);
  about->LoadBitmapStrip(SkinPath(QStringLiteral("info.bmp")));
  ui::CHoverButton* user = AddButton(kIdUser);
  user->LoadBitmapStrip(SkinPath(QStringLiteral("user.bmp")));
  ui::CHoverButton* slide = AddButton(kIdSlide);
  slide->LoadBitmapStrip(SkinPath(QStringLiteral("min.bmp")));
  ui::CHoverButton* close = AddButton(kIdClose);
  close->LoadBitmapStrip(SkinPath(QStringLiteral("close.bmp")));
  const std::vector<QPoint> corner = TopRightRow({{close->size(), 2},
                                                  {slide->size(), 2},
                                                  {about->size(), 2},
                                                  {userName->size(), 5},
                                                  {user->size(), 2}},
                                                 width());
  close->move(corner[0]);
  slide->move(corner[1]);
  about->move(corner[2]);
  userName->move(corner[3]);
  user->move(corner[4]);

  // The status line and the LED sit in the display of the background picture. The LED's
  // 8 × 8 dialog units come out 14 × 16 pixels; the lamp is kept round at 14 × 14.
  status->move(width() - 250, 43);
  led_ = new ui::CDynamicLED(kIdLed, this);
  const QRect ledRect = DialogUnitsToPixels(QRect(209, 25, 8, 8));
  const int side = std::min(ledRect.width(), ledRect.height());
  led_->setGeometry(width() - 280, 43, side, side);

  if (services_.endLeftoverEncoder) {
    if (pid_t pid = EndLeftoverEncoder())
      Trace(QStringLiteral("ended leftover encoder %1").arg(pid));
  }
}

ui::CHoverButton* CVortaneDlg::Button(int id) const {
  auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second;
}

ui::CLabel* CVortaneDlg::Label(int id) const {
  auto it = labels_.find(id);
  return it == labels_.end() ? nullptr : it->second;
}

void CVortaneDlg::ShowUserState(bool loggedIn, const QString& name) {
  ui::CHoverButton* user = Button(kIdUser);
  if (user != nullptr) {
    user->LoadBitmapStrip(
        SkinPath(loggedIn ? QStringLiteral("userlogin.bmp") : QStringLiteral("user.bmp")));
    user->update();
  }
  ui::CLabel* label = labels_[kIdUserName];
  Trace(QStringLiteral("user: ") + (loggedIn ? name : Text("未登录")));
  if (loggedIn) {
    label->SetTextColor(kGreen).SetText(name);
    buttons_[kIdLiveTasks]->show();
    // The live-task button has a place on the screen now.
    if (ready_) TraceControls(*this);
  } else {
    label->SetTextColor(kGrey).SetText(Text("未登录"));
    buttons_[kIdLiveTasks]->hide();
    buttons_[kIdChat]->hide();
    buttons_[kIdMeeting]->hide();
  }
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
      SettingsCommand();
      break;
    case kIdCamera:
      CameraCommand();
      break;
    case kIdFiles:
      FileManagerCommand();
      break;
    case kIdRegion:
      RegionCommand();
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
      UserCommand();
      break;
    case kIdLiveTasks:
      LiveTasksCommand();
      break;
    case kIdChat:
    case kIdMeeting:
      InteractionCommand(id);
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
        Trace(QStringLiteral("key ignored: the settings are open"));
        break;
      }
      if (message.wParam == kVkF8) {
        // While a region is being drawn the screen shows a still, dimmed picture of itself:
        // that is not what the teacher means to record.
        if (RegionOverlay() != nullptr && RegionOverlay()->isVisible()) {
          Trace(QStringLiteral("key ignored: a region is being chosen"));
          break;
        }
        controller_.StartOrStop();
      } else {
        CameraCommand();
      }
      break;
    default:
      break;
  }
}

void CVortaneDlg::OnPlatformReply(const PlatformReply& reply) {
  Trace(QStringLiteral("platform reply %1 %2").arg(reply.StatusCode()).arg(reply.text));
  account_.OnPlatformReply(reply);
  ShowUploadDestinations();
}

SetupDlg* CVortaneDlg::SettingsDialog() const {
  return settingsDialog_;
}

bool CVortaneDlg::IsSettingsPending() const {
  return settingsPending_ || settingsDialog_ != nullptr;
}

bool CVortaneDlg::JobRunning() const {
  const int state = controller_.jobState();
  return state == kJobStarted || state == kJobProgress || controller_.JobActive() ||
         controller_.restartPending();
}

void CVortaneDlg::SettingsCommand() {
  if (IsClosing() || JobRunning()) return;
  if (settingsDialog_ != nullptr) {
    settingsDialog_->raise();
    settingsDialog_->activateWindow();
    return;
  }
  if (settingsPending_) return;
  ReleaseCamera();
  // The wait runs on a timer, so the toolbar keeps painting and answering meanwhile.
  settingsPending_ = true;
  timers_->StartTimer(kSettingsDelayTimer, kSettingsDelayMs);
}

void CVortaneDlg::RunSettingsDialog() {
  settingsPending_ = false;
  // A job may have started during the wait (the start button still worked).
  if (IsClosing() || JobRunning()) return;
  SetupDlg dialog(this, services_.listDevices);
  settingsDialog_ = &dialog;
  dialog.SetMessageSink([this](QWidget* parent, const QString& text) {
    Trace(QStringLiteral("message: ") + text);
    services_.showWarning(parent, text);
  });
  connect(&dialog, &SetupDlg::Filled, this, [this, &dialog] {
    TraceControls(dialog);
    Trace(QStringLiteral("settings dialog filled"));
  });
  dialog.adjustSize();
  PlaceBelowToolbar(dialog);
  Trace(QStringLiteral("settings dialog opened"));
  const int result = dialog.exec();
  settingsDialog_ = nullptr;
  Trace(result == QDialog::Accepted ? QStringLiteral("settings dialog closed: OK")
                                    : QStringLiteral("settings dialog closed: cancelled"));
  if (closed_) return;
  controller_.ShowReadyStatus();
  // Back in front of everything, where it was.
  raise();
}

void CVortaneDlg::PlaceBelowToolbar(QWidget& dialog) const {
  // Centred on a thin toolbar at the top of the screen, a dialog would hide it: it opens just
  // below it instead, on the toolbar's screen.
  QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
  QPoint place(x() + (width() - dialog.width()) / 2, y() + height() + kSettingsGap);
  if (screen != nullptr) {
    const QRect area = screen->availableGeometry();
    place.setX(std::clamp(place.x(), area.left(),
                          std::max(area.left(), area.right() + 1 - dialog.width())));
    place.setY(std::clamp(place.y(), area.top(),
                          std::max(area.top(), area.bottom() + 1 - dialog.height())));
  }
  dialog.move(place);
}

// --- The platform ---------------------------------------------------------------------------

void CVortaneDlg::UserCommand() {
  // The stream's push address and stop signal belong to the login: it stays while pushing.
  if (IsClosing() || controller_.liveMode()) return;
  if (account_.IsLoggedIn()) {
    if (!services_.askQuestion(this, Text("要退出登录吗？"))) return;
    account_.Logout();
    ShowUploadDestinations();
    controller_.SetSelectedLiveTask(std::nullopt);
    controller_.ShowReadyStatus();
    return;
  }
  LoginDlg dialog(account_.Prefill(), this);
  dialog.SetMessageSink([this](QWidget* parent, const QString& text) {
    Trace(QStringLiteral("message: ") + text);
    services_.showMessage(parent, text);
  });
  connect(&dialog, &LoginDlg::Shown, this, [this, &dialog] {
    TraceControls(dialog);
    Trace(QStringLiteral("login dialog opened"));
  });
  PlaceBelowToolbar(dialog);
  const int result = dialog.exec();
  if (closed_ || result != QDialog::Accepted) return;
  Trace(QStringLiteral("login to ") + dialog.Fields().server);
  if (!account_.Login(dialog.Fields(), this,
                      [this](const PlatformReply& reply) { OnPlatformReply(reply); }))
    Trace(QStringLiteral("config.cfg could not be written"));
}

void CVortaneDlg::LiveTasksCommand() {
  switch (live_task_choice::Decide(controller_.jobState(), IsLoggedIn())) {
    case live_task_choice::Command::kIgnore:
      return;
    case live_task_choice::Command::kNeedLogin:
      ShowMessage(live_task_choice::NeedLoginMessage());
      return;
    case live_task_choice::Command::kOpenList:
      break;
  }
  CLiveListDlg dialog(this);
  dialog.SetMessageSink([this](QWidget* parent, const QString& text) {
    Trace(QStringLiteral("message: ") + text);
    services_.showMessage(parent, text);
  });
  connect(&dialog, &CLiveListDlg::Shown, this, [this, &dialog] {
    TraceControls(dialog);
    TraceListRows(dialog);
    Trace(QStringLiteral("live list opened"));
  });
  PlaceBelowToolbar(dialog);
  const int result = dialog.exec();
  if (closed_ || result != QDialog::Accepted || !dialog.ChosenTask()) return;
  const LiveTask& task = *dialog.ChosenTask();
  Trace(QStringLiteral("live task chosen: ") + task.name);
  controller_.SetSelectedLiveTask(task);
  const live_task_choice::Effect effect =
      live_task_choice::Choose(task, settings_.liveEnabled == 1);
  if (effect.showChat) buttons_[kIdChat]->show();
  if (effect.showMeeting) buttons_[kIdMeeting]->show();
  // The interaction buttons have a place on the screen now.
  if (effect.showChat || effect.showMeeting) TraceControls(*this);
  // Switched on for this run only; the settings dialog saves it when the user keeps it.
  if (effect.askLive && services_.askQuestion(this, live_task_choice::LiveQuestion()))
    settings_.liveEnabled = 1;
  controller_.ShowReadyStatus();
}

void CVortaneDlg::InteractionCommand(int id) {
  if (IsClosing()) return;
  const bool chat = id == kIdChat;
  const LaunchResult result = chat ? launcher_.OpenChat() : launcher_.OpenVideoInteraction();
  if (closed_) return;
  // The video page's address carries the password: only the program is traced.
  Trace(QStringLiteral("interaction %1: %2 %3")
            .arg(chat ? QStringLiteral("chat") : QStringLiteral("meeting"),
                 QLatin1String(LaunchOutcomeName(result.outcome)), result.program));
}

std::optional<LiveTask> CVortaneDlg::SelectedTask() const {
  return controller_.selectedLiveTask();
}

void CVortaneDlg::ChooseLiveTask() {
  // The program may have been asked to end while the note before this was up.
  if (!IsClosing()) LiveTasksCommand();
}

void CVortaneDlg::ShowLauncherMessage(const QString& text, MessageIcon icon) {
  Trace(QStringLiteral("message: ") + text);
  if (icon == MessageIcon::kWarning) {
    services_.showWarning(this, text);
  } else {
    services_.showInformation(this, text);
  }
}

bool CVortaneDlg::IsCameraOpen() const {
  return cameraWindow_ && cameraWindow_->IsCameraWindowOpen();
}

void CVortaneDlg::CloseCamera() {
  if (cameraWindow_) cameraWindow_->CloseCameraWindow();
}

void CVortaneDlg::TraceListRows(const QWidget& dialog) const {
  // Whole-program tests pick a task by its row, as a user clicks it.
  if (!services_.trace) return;
  const auto* list = dialog.findChild<ui::CSkinListCtrl*>();
  if (list == nullptr) return;
  for (int row = 0; row < list->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    const QRect rect = list->visualItemRect(item);
    if (!rect.isValid() || !list->viewport()->rect().intersects(rect)) continue;
    const QPoint at = list->viewport()->mapToGlobal(rect.topLeft());
    Trace(QStringLiteral("row %1 at %2,%3 %4x%5: %6")
              .arg(row)
              .arg(at.x())
              .arg(at.y())
              .arg(rect.width())
              .arg(rect.height())
              .arg(item->text(0).trimmed()));
  }
}

void CVortaneDlg::TraceControls(const QWidget& dialog) const {
  // Whole-program tests find the controls by their ids here: they click and type like a user.
  if (!services_.trace) return;
  for (const QWidget* child : dialog.findChildren<QWidget*>()) {
    bool isId = false;
    const int id = child->objectName().toInt(&isId);
    if (!isId || !child->isVisible()) continue;
    const QPoint at = child->mapToGlobal(QPoint(0, 0));
    Trace(QStringLiteral("control %1 at %2,%3 %4x%5")
              .arg(id)
              .arg(at.x())
              .arg(at.y())
              .arg(child->width())
              .arg(child->height()));
  }
}

void CVortaneDlg::CameraCommand() {
  if (!cameraWindow_) {
    cameraWindow_ = std::make_unique<CVideoDlg1>();
    // The button changes back once the window's close has run its course.
    connect(
        cameraWindow_.get(), &CVideoDlg1::cameraWindowClosed, this,
        [this] { SetCameraButton(QStringLiteral("cam.bmp")); }, Qt::QueuedConnection);
    // The message box belongs to the toolbar: the camera window may go while it is up.
    cameraWindow_->SetMessageSink([this](QWidget*, const QString& text) {
      Trace(QStringLiteral("message: ") + text);
      services_.showWarning(this, text);
    });
  }
  if (cameraWindow_->IsCameraWindowOpen()) {
    // The window tells us when it has closed, and the button changes back then.
    cameraWindow_->CloseCameraWindow();
    return;
  }
  if (settings_.videoDevice[0] == 0) {
    ShowMessage(Text("您还没有配置摄像头！\r\n请通过设置功能设置要使用的设备。"));
    return;
  }
  SetCameraButton(QStringLiteral("camed.bmp"));
  cameraWindow_->SetCamera(settings_.VideoDevice(), settings_.cameraWidth, settings_.cameraHeight);
  // The encoder holds the camera from the moment its capture starts until it ends; a remux
  // leaves the camera free.
  const bool cameraRecorded = settings_.videoSource == 1 && controller_.Capturing();
  Trace(cameraRecorded ? QStringLiteral("camera window: busy text")
                       : QStringLiteral("camera window: picture"));
  cameraWindow_->OpenCameraWindow(!cameraRecorded);
}

void CVortaneDlg::SetCameraButton(const QString& skinFile) {
  ui::CHoverButton* camera = Button(kIdCamera);
  if (camera == nullptr) return;
  camera->LoadBitmapStrip(SkinPath(skinFile));
  camera->update();
  Trace(QStringLiteral("camera button ") + skinFile);
}

void CVortaneDlg::FileManagerCommand() {
  const QString folder = settings_.SaveFolder();
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return;
  if (!fileManager_) {
    CMediaFileDlg::Services services;
    services.showMessage = [this](QWidget* owner, const QString& text) {
      Trace(QStringLiteral("message: ") + text);
      services_.showMessage(owner, text);
    };
    services.trace = [this](const QString& text) { Trace(text); };
    fileManager_ = std::make_unique<CMediaFileDlg>(std::move(services));
  }
  if (!fileManager_->isVisible()) {
    fileManager_->show();
    fileManager_->RefreshFileList(folder);
    TraceControls(*fileManager_);
  }
  fileManager_->showNormal();
  fileManager_->raise();
  fileManager_->activateWindow();
  fileManager_->ShowUploadDestinations(UploadAccount().IsLoaded());
}

void CVortaneDlg::ShowUploadDestinations() {
  // The destinations came or went (a reply, a logout) while the file manager is open.
  if (fileManager_ && fileManager_->isVisible())
    fileManager_->ShowUploadDestinations(UploadAccount().IsLoaded());
}

void CVortaneDlg::RegionCommand() {
  if (IsRegionSet()) {
    HideRegionFrame();
    ResetRegionRegistry();
    ClearRegionSet();
    controller_.SetRegionMode(false);
    controller_.SetRegion({});
  } else if (settings_.videoSource == 1) {
    ShowMessage(Text("采集摄像头时无需划定桌面区域！"));
  } else {
    HideRegionFrame();
    ResetRegionRegistry();
    ClearRegionSet();
    BeginRegionSelection();
    controller_.SetRegionMode(true);
  }
  controller_.ShowReadyStatus();
}

void CVortaneDlg::OnRegionChosen(const std::optional<CaptureRegion>& region) {
  if (region) {
    Trace(QStringLiteral("region %1,%2-%3,%4")
              .arg(region->left)
              .arg(region->top)
              .arg(region->right)
              .arg(region->bottom));
    controller_.SetStatusText(
        Text("就绪 - 区域模式(%1x%2)").arg(region->Width()).arg(region->Height()), false);
    controller_.SetRegion(*region);
  } else {
    // A cancelled drag may have posted rectangles before it was given up: none of them counts.
    Trace(QStringLiteral("region cancelled"));
    controller_.SetRegionMode(false);
    controller_.SetRegion({});
    controller_.ShowReadyStatus();
  }
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
  Trace(QStringLiteral("asked to end"));
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
  timers_->StartTimer(kCloseTimeoutTimer, kCloseTimeoutMs);
}

bool CVortaneDlg::CloseMustWait() const {
  return controller_.JobActive() || controller_.restartPending() || recovery_.Running();
}

bool CVortaneDlg::RemuxRunning() const {
  return controller_.Remuxing() || recovery_.Running();
}

// --- Unfinished lessons ---------------------------------------------------------------------

void CVortaneDlg::StartRecovery() {
  if (!services_.recoverUnfinished || settings_.saveFolder[0] == '\0') return;
  const QString folder = settings_.SaveFolder();
  if (!QFileInfo(folder).isDir()) return;
  Trace(QStringLiteral("recovery started in %1").arg(folder));
  recovery_.Start(folder, settings_.saveFormat, startedStamp_);
}

void CVortaneDlg::OnRecoveryDone(const std::vector<RecoveredRecording>& results) {
  Trace(QStringLiteral("recovery done: %1").arg(results.size()));
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
  timers_->KillTimer(kCloseTimeoutTimer);
  slideTimer_->stop();
  timers_->KillTimer(kSettingsDelayTimer);
  settingsPending_ = false;
  // The settings dialog's loop ends with it; the dialog itself goes when its command returns.
  if (settingsDialog_ != nullptr) settingsDialog_->reject();
  if (cameraWindow_) {
    // Closing remembers where the window was for the next start.
    if (cameraWindow_->IsCameraWindowOpen()) cameraWindow_->CloseCameraWindow();
    cameraWindow_.reset();
  }
  // A cut still running is stopped and its unfinished clip removed; the window itself goes with
  // the toolbar, once a question it may be asking has returned.
  if (fileManager_) fileManager_->ShutDown();
  if (keyboard_) keyboard_->Release();
  timers_->StartTimer(kCloseDelayTimer, kCloseDelayMs);
}

void CVortaneDlg::reject() {
  OnCommand(kIdClose);
}

void CVortaneDlg::accept() {
  OnCommand(kIdOk);
}

// --- Timers and placement -------------------------------------------------------------------

void CVortaneDlg::OnTimer(int id) {
  switch (id) {
    case kPlacementTimer:
      timers_->KillTimer(id);
      PlaceCentred(-200);
      show();
      raise();
      timers_->StartTimer(kStartupCheckTimer, 50);
      break;
    case kStartupCheckTimer:
      timers_->KillTimer(id);
      RunStartupCheck();
      break;
    case kSettingsDelayTimer:
      timers_->KillTimer(id);
      RunSettingsDialog();
      break;
    case kCloseTimeoutTimer:
      // A copy into the final file is never cut short: a logout that cannot wait for it kills
      // the program, and the capture it leaves is recovered at the next start.
      if (RemuxRunning()) {
        timers_->StartTimer(kCloseTimeoutTimer, kCloseTimeoutMs);
        break;
      }
      FinishClose();
      break;
    case kCloseDelayTimer:
      timers_->KillTimer(id);
      fileManager_.reset();
      DestroyRegionWindows();
      Trace(QStringLiteral("closed"));
      done(exitCode_);
      break;
    default:
      timers_->KillTimer(id);
      break;
  }
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
    Trace(QStringLiteral("start-up check failed"));
    exitCode_ = kExitCheckFailed;
    closePending_ = true;
    FinishClose();
    return;
  }
  PlaceCentred(0);
  raise();
  activateWindow();
  ready_ = true;
  TraceControls(*this);
  Trace(QStringLiteral("ready at %1,%2").arg(x()).arg(y()));
  // The encoder is known to work now, and a leftover one has been ended.
  StartRecovery();
}

void CVortaneDlg::BringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  Trace(QStringLiteral("brought to front"));
}

// --- ToolbarView ----------------------------------------------------------------------------

platform::WindowHandle CVortaneDlg::MessageHandle() const {
  return messages_->handle();
}

void CVortaneDlg::SetStatusLabel(const QString& text, ColorRef colour) {
  labels_[kIdStatus]->SetTextColor(ToColor(colour)).SetText(text);
  // "status:" for the normal green text, "status!" for an error in red.
  Trace(QStringLiteral("status%1 %2").arg(colour == Rgb(255, 0, 0) ? "!" : ":", text));
}

void CVortaneDlg::SetModeLabel(const QString& text, ColorRef colour) {
  labels_[kIdMode]->SetTextColor(ToColor(colour)).SetText(text).SetTransparent(true);
}

void CVortaneDlg::SetTaskLabel(const QString& text) {
  if (labels_[kIdTask]->text() != text) Trace(QStringLiteral("task: ") + text);
  labels_[kIdTask]->SetText(text);
}

void CVortaneDlg::SetLed(int colourCode) {
  led_->SetLed(colourCode);
}

void CVortaneDlg::StopLedBlinking() {
  led_->StopBlinking();
}

void CVortaneDlg::SetStartButton(const QString& skinFile, const QString& toolTip) {
  start_->LoadBitmapStrip(SkinPath(skinFile));
  start_->SetToolTipText(toolTip);
  start_->update();
}

void CVortaneDlg::SetStartButtonEnabled(bool enabled) {
  start_->setEnabled(enabled);
}

void CVortaneDlg::SetSideButtonsEnabled(bool enabled) {
  for (int id : {kIdRegion, kIdFiles, kIdLiveTasks, kIdSettings})
    buttons_[id]->setEnabled(enabled);
}

void CVortaneDlg::HideFileManager() {
  if (fileManager_ && fileManager_->isVisible()) fileManager_->HideForRecording();
}

void CVortaneDlg::MarkFrameRecording(bool on) {
  ::vortane::MarkFrameRecording(on);
}

void CVortaneDlg::ShowMessage(const QString& text) {
  Trace(QStringLiteral("message: ") + text);
  services_.showMessage(this, text);
}

void CVortaneDlg::OpenSettings() {
  SettingsCommand();
}

void CVortaneDlg::ReleaseCamera() {
  if (cameraWindow_ && cameraWindow_->IsCameraWindowOpen() && cameraWindow_->HasPreview())
    cameraWindow_->CloseCameraWindow();
}

int CVortaneDlg::ScreenWidth() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 0;
  return qRound(screen->geometry().width() * screen->devicePixelRatio());
}

bool CVortaneDlg::IsLoggedIn() const {
  return account_.IsLoggedIn();
}

void CVortaneDlg::SendStopSignal(const std::string& callbackUrl) {
  // Failures come back as a platform reply and show in red.
  if (::vortane::SendStopSignal(callbackUrl, this,
                                [this](const PlatformReply& reply) { OnPlatformReply(reply); }))
    Trace(QStringLiteral("stop signal sent"));
}

void CVortaneDlg::SetStatusText(const QString& text, bool isError) {
  controller_.SetStatusText(text, isError);
}

void CVortaneDlg::SetLoginPending(bool pending) {
  buttons_[kIdUser]->setEnabled(!pending);
  // A remux keeps the start button off until it is done.
  const bool remuxing = controller_.Remuxing();
  start_->setEnabled(!pending && !remuxing);
}

void CVortaneDlg::SlideToolbar(bool out) {
  QScreen* screen = QGuiApplication::primaryScreen();
  const int screenWidth = screen != nullptr ? screen->geometry().width() : width();
  const QRect frame(pos(), size());
  if (out) {
    slide_.Out(frame, screenWidth, start_->width());
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
  if (!DrawBackground(painter, rect())) painter.fillRect(rect(), kFallbackBackground);
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
  if (event->button() != Qt::LeftButton) return QDialog::mousePressEvent(event);
  pressed_ = true;
  systemMoveTried_ = false;
  pressGlobal_ = event->globalPosition().toPoint();
  pressOffset_ = pressGlobal_ - pos();
}

void CVortaneDlg::mouseMoveEvent(QMouseEvent* event) {
  if (!pressed_ || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint global = event->globalPosition().toPoint();
  if (!systemMoveTried_) {
    // A press alone may be the first half of a double click: the move starts on a real drag.
    if ((global - pressGlobal_).manhattanLength() <
        QGuiApplication::styleHints()->startDragDistance())
      return;
    systemMoveTried_ = true;
    // The window manager moves the window when it can; without one we move it ourselves.
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) {
      pressed_ = false;
      return;
    }
  }
  move(global - pressOffset_);
}

void CVortaneDlg::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = false;
}

void CVortaneDlg::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressed_ = false;
  OnCommand(kIdAbout);
}

// --- Tracing --------------------------------------------------------------------------------

void CVortaneDlg::Trace(const QString& text) const {
  if (!services_.trace) return;
  std::fprintf(stderr, "[vortane %8.3f] %s\n", ProgramClock().elapsed() / 1000.0,
               text.toUtf8().constData());
  std::fflush(stderr);
}

}  // namespace vortane
