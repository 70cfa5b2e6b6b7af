// A teacher's live lesson through the platform, with the real program, the reference platform
// server and nginx-rtmp of scripts/with-desktop: log in through the login dialog, choose the
// physics lesson in 直播列表, switch live streaming on when asked, F8 streams to the lesson's own
// push address, F8 again stops it and the platform hears "signal=stop"; then log out.
//
// Set VORTANE_SCREENSHOT_DIR to keep pictures of the login dialog, the logged-in toolbar and the
// live list.
#include <gtest/gtest.h>

#include "dialog_harness.h"
#include "http/http_get.h"
#include "support/reference_platform.h"

namespace vortane::test {
namespace {

const QString kPhysics = Utf8("物理 第三章 牛顿运动定律");
const QString kLive = Utf8("status: 正在直播 ");

TEST(PlatformLogin, LogInChooseATaskStreamToItAndLogOut) {
  ReferencePlatform platform = ReferencePlatform::Shared();
  ASSERT_FALSE(platform.Address().isEmpty()) << "needs the platform server of scripts/with-desktop";
  ASSERT_FALSE(RtmpUrl().isEmpty());
  Toolbar toolbar;
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder()).FluencyFirst(true)));
  toolbar.Start();
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("user: 未登录"), 1000));
  const auto bar = VisibleWindowRect(QString::fromLatin1(kToolbarName));
  ASSERT_TRUE(bar);

  // 登录: the user name label opens the dialog; the teacher types and presses 登录.
  size_t from = toolbar.TraceSize();
  std::map<int, QPoint> controls = TracedControls(toolbar, 0);
  ASSERT_TRUE(controls.count(2020)) << toolbar.TraceText().toStdString();
  ASSERT_TRUE(ClickAt(controls.at(2020)));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("login dialog opened"), 10000, from))
      << toolbar.TraceText().toStdString();
  controls = TracedControls(toolbar, from);
  for (int id : {1056, 2020, 1058, 1063, 1, 2})
    ASSERT_TRUE(controls.count(id)) << id;
  ASSERT_TRUE(TypeInto(controls.at(1056), platform.HostAndPort()));
  ASSERT_TRUE(TypeInto(controls.at(2020), QStringLiteral("13800138000")));
  ASSERT_TRUE(TypeInto(controls.at(1058), QStringLiteral("lesson")));
  if (const auto dialog = VisibleWindowRect(Utf8("登录"))) {
    KeepScreenshot(QStringLiteral("platform-login.png"), dialog->adjusted(-8, -8, 8, 8));
  }
  from = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(controls.at(1)));
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("user: 王老师"), 20000, from))
      << toolbar.TraceText().toStdString();
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("status: 已登录"), 5000, from));
  KeepScreenshot(QStringLiteral("platform-logged-in.png"), bar->adjusted(-6, -6, 6, 6));

  // 直播列表: the physics lesson, chosen by a click on its row and 选择.
  controls = TracedControls(toolbar, from);
  ASSERT_TRUE(controls.count(1054)) << "the live-task button appears after the login";
  from = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(controls.at(1054)));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("live list opened"), 10000, from))
      << toolbar.TraceText().toStdString();
  const auto row = TracedRow(toolbar, kPhysics, from);
  ASSERT_TRUE(row) << toolbar.TraceText().toStdString();
  controls = TracedControls(toolbar, from);
  ASSERT_TRUE(ClickAt(*row));
  if (const auto dialog = VisibleWindowRect(Utf8("我的直播列表"))) {
    SleepMs(300);
    KeepScreenshot(QStringLiteral("platform-live-list.png"), dialog->adjusted(-8, -8, 8, 8));
  }
  ASSERT_TRUE(ClickAt(controls.at(1)));

  // Live streaming is off in the settings: the toolbar asks, Yes (the default) switches it on.
  const auto question = WaitForMessageBox(10000);
  ASSERT_TRUE(question) << toolbar.TraceText().toStdString();
  ASSERT_TRUE(AnswerMessageBox(*question));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("task: ") + kPhysics, 5000, from))
      << toolbar.TraceText().toStdString();
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("status: 就绪 - 准备直播 - 全屏模式"), 5000, from));

  // F8 pushes to the lesson's own address; a player pulls it back from the RTMP server.
  from = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(
      [](const QString& line) {
        return line.startsWith(kLive) && EncoderSeconds(line.mid(kLive.size())) >= 0;
      },
      20000, from))
      << toolbar.TraceText().toStdString();
  const auto pulled = Probe(RtmpUrl() + QStringLiteral("/physics-11"),
                            {QStringLiteral("-rw_timeout"), QStringLiteral("15000000")}, 25000);
  ASSERT_TRUE(pulled) << "the lesson's stream can be played";
  EXPECT_EQ(pulled->videoCodec, QStringLiteral("h264"));
  EXPECT_EQ(pulled->audioCodec, QStringLiteral("aac"));

  // F8 stops it, and the platform hears about it.
  from = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("job capture code 4"), 15000, from));
  EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("stop signal sent"), 5000, from));
  bool heard = false;
  WaitUntil(
      [&] {
        for (const std::string& line : platform.Signals())
          heard = heard || line == "task=11 signal=stop";
        return heard;
      },
      15000);
  EXPECT_TRUE(heard) << "the platform recorded signal=stop for the lesson";
  EXPECT_TRUE(Recordings(toolbar.VideosFolder()).isEmpty()) << "a live push leaves no file";

  // Logging out: asked first, then the logged-out look.
  SleepMs(2500);  // the LED's hold after the stop
  controls = TracedControls(toolbar, 0);
  from = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(controls.at(2020)));
  const auto logout = WaitForMessageBox(10000);
  ASSERT_TRUE(logout) << toolbar.TraceText().toStdString();
  ASSERT_TRUE(AnswerMessageBox(*logout));
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("user: 未登录"), 5000, from))
      << toolbar.TraceText().toStdString();
  EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("task: ") + Utf8("自定义直播"), 5000, from));

  toolbar.Terminate();
  EXPECT_TRUE(toolbar.WaitForExit(15000));
  // The password was never written anywhere a trace shows.
  EXPECT_FALSE(toolbar.TraceText().contains(QStringLiteral("lesson&"))) << "no URL in the trace";
  EXPECT_FALSE(toolbar.TraceText().contains(QStringLiteral("password=")));
}

}  // namespace
}  // namespace vortane::test
