// The camera button and F9 with the real program: without a camera the toolbar says how to get
// one; with the camera as the source the region button refuses; and a configured camera that
// cannot be opened (a fixture names it, no driver has it) is reported while the camera window is
// up, after which the window closes and the button shows the closed camera again. It runs on the
// X11 desktop and, as e2e_camera_program_wayland, on the Wayland one (the toolbar and the camera
// window are X11 clients of Xwayland there, the camera is V4L2 either way).
#include <gtest/gtest.h>

#include "program_harness.h"

namespace vortane::test {
namespace {

// The camera window's place when it has none stored yet: the top right corner of the 1920x1080
// X11 desktop. sway, the Wayland desktop, centres every floating X11 window on its 1280x720
// monitor, whatever place the window asks for.
std::optional<QRect> DefaultCameraWindow() {
  const std::optional<QString> screen =
      Run(QStringLiteral("xdotool"), {QStringLiteral("getdisplaygeometry")});
  if (!screen) return std::nullopt;
  const bool sway = !qEnvironmentVariable("SWAYSOCK").isEmpty();
  if (!sway && screen->trimmed() == QLatin1String("1920 1080")) return QRect(1640, 30, 280, 210);
  if (sway && screen->trimmed() == QLatin1String("1280 720")) return QRect(500, 255, 280, 210);
  return std::nullopt;
}

QPoint ToolbarButton(const QRect& toolbar, int n) {
  return toolbar.topLeft() + QPoint(n * 44, 33) + QPoint(21, 23);
}

std::optional<QRect> ToolbarGeometry() {
  const QStringList ids = FindWindows(QLatin1String(kToolbarName));
  if (ids.size() != 1) return std::nullopt;
  return WindowGeometry(ids.first());
}

TEST(CameraProgram, F9WithoutACameraThenACameraThatCannotBeOpened) {
  {
    Toolbar toolbar;
    ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder())));
    toolbar.Start();
    ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
    const size_t before = toolbar.TraceSize();
    ASSERT_TRUE(PressKey(QStringLiteral("F9")));
    ASSERT_TRUE(toolbar.WaitForTrace(Utf8("message: 您还没有配置摄像头！"), 5000, before))
        << toolbar.TraceText().toStdString();
    const std::optional<QString> box = WaitForMessageBox(5000);
    ASSERT_TRUE(box);
    ASSERT_TRUE(AnswerMessageBox(*box));
    EXPECT_FALSE(toolbar.WaitForTrace(QStringLiteral("camera button"), 0, before))
        << "the button keeps its closed look";
    toolbar.Terminate();
    ASSERT_TRUE(toolbar.WaitForExit(10000));
  }

  Toolbar toolbar;
  QFile fixture(toolbar.ConfigHome() + QStringLiteral("/cameras.txt"));
  ASSERT_TRUE(QDir().mkpath(toolbar.ConfigHome()));
  ASSERT_TRUE(fixture.open(QIODevice::WriteOnly));
  fixture.write("camera USB Camera HD\npath /nonexistent/vortane-video0\nsize 1280x720 YUYV\n");
  fixture.close();
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder())
                                      .VideoDevice(QStringLiteral("USB Camera HD"))
                                      .VideoSource(1)));
  toolbar.Start(ProgramDir() + QStringLiteral("/vortane"),
                {QStringLiteral("VORTANE_DEVICE_FIXTURE=") + fixture.fileName()});
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("status: 就绪 - 准备录制 - 录制摄像头"), 1000));
  const std::optional<QRect> bar = ToolbarGeometry();
  ASSERT_TRUE(bar);
  const std::optional<QRect> defaultCameraWindow = DefaultCameraWindow();
  ASSERT_TRUE(defaultCameraWindow) << "a screen of an unknown size";

  // Recording the camera, there is no desktop region to choose.
  size_t before = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(ToolbarButton(*bar, 1)));
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("message: 采集摄像头时无需划定桌面区域！"), 5000, before))
      << toolbar.TraceText().toStdString();
  std::optional<QString> box = WaitForMessageBox(5000);
  ASSERT_TRUE(box);
  EXPECT_TRUE(VisibleWindows(QStringLiteral("area")).isEmpty()) << "no selection";
  ASSERT_TRUE(AnswerMessageBox(*box));
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("status: 就绪 - 准备录制 - 录制摄像头"), 2000, before));

  // F9: the button turns to the open camera, the window appears, and the camera cannot be had.
  before = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F9")));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("camera button camed.bmp"), 5000, before))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(
      Utf8("message: 无法打开摄像头，请检查是否正确插入，或则被其他应用占用！"), 15000, before))
      << toolbar.TraceText().toStdString();
  QStringList cameraWindows;
  for (const QString& id : VisibleWindows(MessageBoxTitle(), 2000)) {
    if (WindowGeometry(id) == *defaultCameraWindow) cameraWindows << id;
  }
  EXPECT_EQ(cameraWindows.size(), 1) << "the camera window is up behind the message";
  box = WaitForMessageBox(5000, cameraWindows);
  ASSERT_TRUE(box);
  EXPECT_FALSE(toolbar.WaitForTrace(QStringLiteral("camera button cam.bmp"), 0, before))
      << "the window closes once the message has been answered";
  ASSERT_TRUE(AnswerMessageBox(*box));
  EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("camera button cam.bmp"), 5000, before));
  EXPECT_TRUE(WaitUntil(
      [&] {
        const QStringList shown = VisibleWindows(MessageBoxTitle());
        return std::none_of(cameraWindows.begin(), cameraWindows.end(),
                            [&](const QString& id) { return shown.contains(id); });
      },
      3000))
      << "the camera window has gone";
  EXPECT_TRUE(QFile::exists(toolbar.ConfigHome() + QStringLiteral("/vortn/vw1.cfg")))
      << "its place is remembered";

  toolbar.Terminate();
  ASSERT_TRUE(toolbar.WaitForExit(10000));
  EXPECT_EQ(toolbar.ExitCode(), 0);
}

}  // namespace
}  // namespace vortane::test
