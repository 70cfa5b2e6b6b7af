// The toolbar window on the offscreen platform (800 × 600): its skin and layout, the start-up
// placement, the commands and messages it turns into controller calls, closing, the region
// messages, dragging and sliding. Jobs are recorded instead of run.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

#include "app/single_instance.h"
#include "app/vortane_dlg.h"
#include "platform/program_info.h"
#include "platform/window_message.h"
#include "platform/window_messages.h"
#include "settings/region_windows.h"
#include "settings/settings.h"
#include "settings/setup_dlg.h"
#include "settings/shift_region_window.h"
#include "toolbar_harness.h"
#include "ui/dynamic_led.h"
#include "ui/hover_button.h"
#include "ui/label.h"
#include "ui/skin_drawing.h"
#include "widget_test_app.h"

namespace vortane {
namespace {

using Id = CVortaneDlg::ControlId;

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

QRgb LabelColour(const CVortaneDlg& toolbar, int id) {
  return test::Rgb(toolbar.Label(id)->TextColor());
}

struct Toolbar : test::ToolbarHarness {
  explicit Toolbar(bool checkPasses = true, int closeTimeoutMs = 60000) {
    test::WidgetTestApp();
    // The region windows write the screen-capture-recorder values into the user data folder.
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    settings.saveFolder = videos.path();
    settings.soundSource = SoundSource::kSpeaker;
    CVortaneDlg::Services services = QuietServices();
    services.runStartupCheck = [this, checkPasses](QWidget* owner) {
      checkedAt = owner->pos();
      checkedVisible = owner->isVisible();
      return checkPasses;
    };
    services.showAbout = [this](QWidget*) { ++abouts; };
    services.closeTimeoutMs = closeTimeoutMs;
    Open(services, &settings);
  }

  // The window goes first: it refers to this toolbar's folders and settings.
  ~Toolbar() { window.reset(); }

  bool WaitReady() {
    return QTest::qWaitFor([&] { return window->IsReady(); }, 2000);
  }
  bool Enabled(int id) const { return window->Button(id)->isEnabled(); }

  QTemporaryDir home;
  QTemporaryDir videos;
  Settings settings;
  QPoint checkedAt;
  bool checkedVisible = false;
  int abouts = 0;
};

TEST(ToolbarWindow, SkinLayoutAndFirstLook) {
  Toolbar t;
  CVortaneDlg& w = *t.window;
  // The window is the background picture: 640 × 84, shaped by its non-magenta pixels.
  EXPECT_EQ(w.size(), QSize(640, 84));
  EXPECT_FALSE(w.mask().contains(QPoint(0, 0))) << "the rounded corner is cut away";
  EXPECT_TRUE(w.mask().contains(QPoint(320, 40)));
  EXPECT_EQ(w.windowTitle(), QStringLiteral("vtnwin"));
  const Qt::WindowFlags flags = w.windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window) << "a taskbar entry of its own";
  EXPECT_TRUE(flags & Qt::FramelessWindowHint);
  EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
  const QImage background =
      ui::LoadSkinPicture(qEnvironmentVariable("VORTANE_PROGRAM_DIR") + "/skin/main.bmp");
  EXPECT_EQ(test::Rgb(test::Grab(w), 600, 70), test::Rgb(background.pixel(600, 70)));

  // The bottom row, left to right in this order, the settings button fourth.
  struct Expected {
    int id;
    const char* toolTip;
    bool visible;
  };
  const Expected row[] = {
      {Id::kIdStart, "开始", true},        {Id::kIdRegion, "选择录制区域", true},
      {Id::kIdCamera, "开启摄像头", true}, {Id::kIdSettings, "设置", true},
      {Id::kIdFiles, "文件管理", true},    {Id::kIdLiveTasks, "直播任务", false},
      {Id::kIdChat, "文字互动", false},    {Id::kIdMeeting, "视频互动", false},
  };
  int left = -1;
  for (const Expected& e : row) {
    const ui::CHoverButton* button = w.Button(e.id);
    EXPECT_GT(button->x(), left) << e.id;
    left = button->x();
    EXPECT_EQ(button->toolTip(), U(e.toolTip)) << e.id;
    EXPECT_EQ(button->isVisibleTo(&w), e.visible) << e.id;
  }
  EXPECT_EQ(w.Button(Id::kIdSettings)->geometry(), QRect(132, 33, 43, 46));
  EXPECT_FALSE(w.Button(Id::kIdStop)->isVisibleTo(&w));
  // The top-right corner, right to left: close, slide, about, the user name, the user button.
  EXPECT_EQ(w.Button(Id::kIdClose)->geometry(), QRect(610, 2, 26, 20));
  EXPECT_EQ(w.Button(Id::kIdSlide)->geometry(), QRect(585, 2, 24, 20));
  EXPECT_EQ(w.Button(Id::kIdAbout)->geometry(), QRect(560, 2, 24, 20));
  EXPECT_EQ(w.Label(Id::kIdUserName)->geometry(), QRect(488, 5, 71, 16));
  EXPECT_EQ(w.Button(Id::kIdUser)->geometry(), QRect(463, 2, 24, 20));
  for (int id : {Id::kIdClose, Id::kIdSlide, Id::kIdAbout, Id::kIdUser})
    EXPECT_TRUE(w.Button(id)->toolTip().isEmpty());
  // The status line and the LED in the background's display; the labels from dialog units.
  EXPECT_EQ(w.Label(Id::kIdStatus)->geometry(), QRect(390, 43, 222, 16));
  EXPECT_EQ(w.Led()->geometry(), QRect(360, 43, 14, 14));
  EXPECT_EQ(w.Label(Id::kIdMode)->geometry(), QRect(8, 2, 110, 16));
  EXPECT_EQ(w.Label(Id::kIdTask)->geometry(), QRect(133, 2, 260, 16));

  EXPECT_EQ(t.Status(), U("就绪 - 准备录制 - 全屏模式"));
  EXPECT_EQ(LabelColour(w, Id::kIdStatus), 0x00FF00u);
  EXPECT_EQ(w.Label(Id::kIdMode)->text(), ProgramTitle());
  EXPECT_EQ(LabelColour(w, Id::kIdMode), 0xFFFFFFu);
  EXPECT_EQ(w.Label(Id::kIdUserName)->text(), U("未登录"));
  EXPECT_EQ(LabelColour(w, Id::kIdUserName), 0xC0C0C0u);
  EXPECT_TRUE(w.Label(Id::kIdTask)->text().isEmpty());
  EXPECT_FALSE(w.Led()->HasLit());
  EXPECT_TRUE(t.messages.empty());

  // The logged-in look, and back.
  w.ShowUserState(true, U("张老师"));
  EXPECT_EQ(w.Label(Id::kIdUserName)->text(), U("张老师"));
  EXPECT_EQ(LabelColour(w, Id::kIdUserName), 0x00FF00u);
  EXPECT_TRUE(w.Button(Id::kIdLiveTasks)->isVisibleTo(&w));
  w.ShowUserState(false, QString());
  EXPECT_EQ(w.Label(Id::kIdUserName)->text(), U("未登录"));
  EXPECT_FALSE(w.Button(Id::kIdLiveTasks)->isVisibleTo(&w));
}

TEST(ToolbarWindow, StartUpPlacementAndAFailedCheck) {
  Toolbar t;
  EXPECT_FALSE(t.window->isVisible()) << "shown by timer 10";
  ASSERT_TRUE(t.WaitReady());
  // The check ran while the toolbar waited centred above the screen; then it came down.
  EXPECT_TRUE(t.checkedVisible);
  EXPECT_EQ(t.checkedAt, QPoint(400 - 320, -200));
  EXPECT_EQ(t.window->pos(), QPoint(80, 0));
  EXPECT_FALSE(t.finished);

  Toolbar failed(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return failed.finished.has_value(); }, 2000));
  EXPECT_EQ(*failed.finished, CVortaneDlg::kExitCheckFailed);
  EXPECT_FALSE(failed.window->IsReady());
}

TEST(ToolbarWindow, F8AndTheStartButtonRecordStopAndRemux) {
  Toolbar t;
  CVortaneDlg& w = *t.window;
  // Until the check has passed the global keys do nothing.
  t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF8);
  EXPECT_TRUE(t.jobs.empty());
  ASSERT_TRUE(t.WaitReady());
  t.Post(WM_HOTKEY_EVENT, 0x41);
  EXPECT_TRUE(t.jobs.empty()) << "only F8 and F9 mean something";

  t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF8);
  ASSERT_EQ(t.jobs.size(), 1u);
  EXPECT_EQ(t.Status(), U("正在启动录制..."));
  EXPECT_EQ(w.Button(Id::kIdStart)->toolTip(), U("停止录制"));
  EXPECT_EQ(w.Label(Id::kIdMode)->text(), U("录制..."));
  EXPECT_EQ(w.Led()->ColourCode(), ui::CDynamicLED::kGreen);
  for (int id : {Id::kIdRegion, Id::kIdFiles, Id::kIdSettings, Id::kIdLiveTasks})
    EXPECT_FALSE(t.Enabled(id)) << id;
  EXPECT_TRUE(t.Enabled(Id::kIdStart));
  t.PostJob(kJobStarted);
  t.PostJob(kJobProgress, "00:00:03.00");
  EXPECT_EQ(t.Status(), U("正在录制 00:00:03.00"));

  // While recording: Esc is refused with a message, Enter does nothing, F9 without a camera
  // says so, the settings command is ignored.
  QTest::keyClick(&w, Qt::Key_Escape);
  ASSERT_EQ(t.messages.size(), 1u);
  EXPECT_EQ(t.messages[0], U("节目录制中，请先停止录制再退出！"));
  QTest::keyClick(&w, Qt::Key_Return);
  t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF9);
  ASSERT_EQ(t.messages.size(), 2u);
  EXPECT_EQ(t.messages[1], U("您还没有配置摄像头！\r\n请通过设置功能设置要使用的设备。"));
  // The settings dialog would open 200 ms after the command: watch well past that.
  int settingsShown = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (SetupDlg* dialog = w.SettingsDialog()) {
      ++settingsShown;
      dialog->reject();
    }
  });
  watch.start(10);
  w.OnCommand(Id::kIdSettings);
  EXPECT_EQ(t.Status(), U("正在录制 00:00:03.00"));
  QTest::qWait(600);
  EXPECT_EQ(settingsShown, 0);
  EXPECT_FALSE(w.IsSettingsPending());
  EXPECT_FALSE(t.finished);

  // The start button stops; a second later the job is asked to end, then remuxed.
  QTest::mouseClick(w.Button(Id::kIdStart), Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(t.Status(), U("正在停止..."));
  EXPECT_EQ(w.Label(Id::kIdMode)->text(), U("停止..."));
  ASSERT_TRUE(QTest::qWaitFor([&] { return t.jobs[0]->StopRequested(); }, 3000));
  t.PostJob(kJobStopped);
  ASSERT_EQ(t.jobs.size(), 2u);
  EXPECT_TRUE(t.jobs[1]->commandLine().contains(QStringLiteral("-c:v copy -c:a copy")));
  EXPECT_EQ(t.Status(), U("检查格式..."));
  EXPECT_FALSE(t.Enabled(Id::kIdStart));
  t.PostJob(kJobStarted);
  t.PostJob(kJobFinished, "", 0);
  EXPECT_EQ(t.Status(), U("已停止 00:00:03.00"));
  EXPECT_EQ(LabelColour(w, Id::kIdStatus), 0x00FF00u);
  EXPECT_EQ(w.Button(Id::kIdStart)->toolTip(), U("开始录制"));
  EXPECT_EQ(w.Label(Id::kIdMode)->text(), ProgramTitle());
  for (int id : {Id::kIdStart, Id::kIdRegion, Id::kIdFiles, Id::kIdSettings})
    EXPECT_TRUE(t.Enabled(id)) << id;
  // The LED stops blinking two seconds after the end.
  EXPECT_EQ(w.Led()->BlinkInterval(), ui::CDynamicLED::kBlinkIntervalMs);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.Led()->BlinkInterval() == 0; }, 3000));
  EXPECT_FALSE(t.finished);
}

TEST(ToolbarWindow, ClosingWaitsForTheEncoderAndEnterDoesNothing) {
  {
    Toolbar idle;
    ASSERT_TRUE(idle.WaitReady());
    QTest::keyClick(idle.window.get(), Qt::Key_Return);
    QTest::qWait(100);
    EXPECT_FALSE(idle.finished);
    QTest::keyClick(idle.window.get(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle.finished.has_value(); }, 1000));
    EXPECT_EQ(*idle.finished, 0);
    EXPECT_TRUE(idle.messages.empty());
  }
  {
    // Closed while the encoder is still starting (no word from it yet): the encoder is asked to
    // end and the recording remuxed before the window goes.
    Toolbar starting;
    ASSERT_TRUE(starting.WaitReady());
    starting.window->OnCommand(Id::kIdStart);
    starting.window->OnCommand(Id::kIdClose);
    EXPECT_TRUE(starting.window->IsClosing());
    EXPECT_TRUE(starting.messages.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return starting.jobs[0]->StopRequested(); }, 3000));
    EXPECT_FALSE(starting.finished);
    starting.PostJob(kJobStopped);
    ASSERT_EQ(starting.jobs.size(), 2u);
    QTest::qWait(100);
    EXPECT_FALSE(starting.finished) << "the remux finishes first";
    starting.PostJob(kJobStarted);
    starting.PostJob(kJobFinished, "", 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return starting.finished.has_value(); }, 1000));
    EXPECT_EQ(*starting.finished, 0);
  }
  {
    // The end of the session while recording: the same, although the close button would refuse.
    Toolbar recording;
    ASSERT_TRUE(recording.WaitReady());
    recording.window->OnCommand(Id::kIdStart);
    recording.PostJob(kJobStarted);
    recording.PostJob(kJobProgress, "00:01:00.00");
    recording.window->EndProgram();
    EXPECT_EQ(recording.Status(), U("正在停止..."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.jobs[0]->StopRequested(); }, 3000));
    recording.PostJob(kJobStopped);
    ASSERT_EQ(recording.jobs.size(), 2u);
    recording.PostJob(kJobFinished, "", 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.finished.has_value(); }, 1000));
    EXPECT_TRUE(recording.messages.empty());
  }
  {
    // The close's time-out comes, again and again, while the lesson is copied into its final
    // file: the copy is waited for, never cut off half-written.
    Toolbar copying(true, 20);
    ASSERT_TRUE(copying.WaitReady());
    copying.window->OnCommand(Id::kIdStart);
    copying.PostJob(kJobStarted);
    copying.window->OnCommand(Id::kIdStop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return copying.jobs[0]->StopRequested(); }, 3000));
    copying.PostJob(kJobStopped);
    ASSERT_EQ(copying.jobs.size(), 2u);
    copying.PostJob(kJobStarted);
    copying.window->EndProgram();
    QTest::qWait(200);
    EXPECT_FALSE(copying.finished);
    copying.PostJob(kJobFinished, "", 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return copying.finished.has_value(); }, 1000));
    EXPECT_EQ(*copying.finished, 0);
  }
}

TEST(ToolbarWindow, RegionCommandAndChosenRegions) {
  Toolbar t;
  ASSERT_TRUE(t.WaitReady());
  t.settings.videoSource = VideoSource::kCamera;
  t.window->OnCommand(Id::kIdRegion);
  ASSERT_EQ(t.messages.size(), 1u);
  EXPECT_EQ(t.messages[0], U("采集摄像头时无需划定桌面区域！"));
  EXPECT_FALSE(t.window->controller().regionMode());
  EXPECT_EQ(t.Status(), U("就绪 - 准备录制 - 录制摄像头"));

  t.settings.videoSource = VideoSource::kDesktop;
  t.window->OnCommand(Id::kIdRegion);
  EXPECT_TRUE(t.window->controller().regionMode());
  EXPECT_TRUE(RegionOverlay()->isVisible()) << "the selection runs";
  EXPECT_EQ(t.Status(), U("就绪 - 准备录制 - 区域模式"));

  // The drag reports rectangles, the frame the last one.
  t.ChooseRegion(CaptureRegion{100, 100, 300, 240});
  t.ChooseRegion(CaptureRegion{104, 104, 744, 464});
  EXPECT_EQ(t.Status(), U("就绪 - 区域模式(640x360)"));
  EXPECT_EQ(t.window->controller().region(), (CaptureRegion{104, 104, 744, 464}));
  t.window->OnCommand(Id::kIdStart);
  ASSERT_EQ(t.jobs.size(), 1u);
  EXPECT_TRUE(t.jobs[0]->commandLine().contains(
      QStringLiteral("-offset_x 104 -offset_y 104 -video_size 640x360")));
  t.PostJob(kJobStarted);
  t.PostJob(kJobError, "");
  EXPECT_EQ(t.Status(), U("出现错误！"));
  EXPECT_EQ(LabelColour(*t.window, Id::kIdStatus), 0xFF0000u);
  EXPECT_EQ(t.window->Led()->ColourCode(), ui::CDynamicLED::kRed);

  // A cancelled selection drops whatever the drag had reported.
  t.ChooseRegion(CaptureRegion{10, 10, 500, 400});
  t.ChooseRegion(std::nullopt);
  EXPECT_FALSE(t.window->controller().regionMode());
  EXPECT_EQ(t.window->controller().region(), CaptureRegion{});
  EXPECT_EQ(t.Status(), U("就绪 - 准备录制 - 全屏模式"));
}

TEST(ToolbarWindow, DragDoubleClickAndSlideAside) {
  Toolbar t;
  CVortaneDlg& w = *t.window;
  ASSERT_TRUE(t.WaitReady());
  ASSERT_EQ(w.pos(), QPoint(80, 0));
  // A press on the status line (which lets the mouse through) and a move drag the toolbar; no
  // window manager here, so the toolbar moves itself.
  QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(450, 50));
  const QPoint start = w.mapToGlobal(QPoint(450, 50));
  for (QPoint step : {QPoint(2, 1), QPoint(20, 10), QPoint(50, 30)}) {
    QMouseEvent move(QEvent::MouseMove, QPointF(450, 50) + step, QPointF(start + step),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
  }
  QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(500, 80));
  EXPECT_EQ(w.pos(), QPoint(130, 30));
  // A press on a button is the button's.
  QTest::mouseClick(w.Button(Id::kIdCamera), Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(w.pos(), QPoint(130, 30));
  EXPECT_EQ(t.messages.size(), 1u) << "the camera command ran";

  QTest::mouseDClick(&w, Qt::LeftButton, {}, QPoint(300, 20));
  EXPECT_EQ(t.abouts, 1);
  QTest::mouseClick(w.Button(Id::kIdAbout), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(t.abouts, 2);

  // The slide button moves the toolbar to the right edge, leaving the start button in view.
  QTest::mouseClick(w.Button(Id::kIdSlide), Qt::LeftButton, {}, QPoint(10, 10));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.pos() == QPoint(800 - 43 - 2, 30); }, 3000))
      << w.pos().x();
  w.SlideToolbar(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.pos() == QPoint(130, 30); }, 3000)) << w.pos().x();
}

TEST(ToolbarWindow, OneToolbarPerDisplay) {
  test::WidgetTestApp();
  QTemporaryDir runtime;
  const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  const QString key = QStringLiteral("vortane-test-%1").arg(QCoreApplication::applicationPid());
  auto first = std::make_unique<SingleInstance>(key);
  ASSERT_TRUE(first->IsFirst());
  int raised = 0;
  QObject::connect(first.get(), &SingleInstance::raiseRequested, [&] { ++raised; });

  // A later start finds the lock taken and asks the first to come forward.
  SingleInstance second(key);
  EXPECT_FALSE(second.IsFirst());
  EXPECT_TRUE(second.AskFirstToRaise());
  EXPECT_TRUE(QTest::qWaitFor([&] { return raised == 1; }, 2000));
  EXPECT_TRUE(SingleInstance(QStringLiteral("vortane-other-display")).IsFirst());

  // Once the first has ended, the next start is the first again, socket left behind or not.
  first.reset();
  SingleInstance third(key);
  EXPECT_TRUE(third.IsFirst());
  qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

}  // namespace
}  // namespace vortane
