// Going live with the real toolbar: F8 pushes the desktop with the speaker and VirtualMic to the
// desktop's nginx-rtmp; the server dies 12 s in and comes back 4 s later; the toolbar retries a
// second after each failure and the stream flows again from the first attempt after the
// server's return; F8 ends it. A viewer hears each sound with its picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>

#include "program_harness.h"
#include "support/av_sync_probe.h"
#include "support/flash_and_beep.h"  // Xlib: after every Qt header

namespace vortane::test {
namespace {

const QString kLive = Utf8("status: 正在直播 ");
const QString kRecovering = Utf8("status! 直播中断，正在恢复...");

bool IsLiveProgress(const QString& line) {
  return line.startsWith(kLive) && EncoderSeconds(line.mid(kLive.size())) >= 0;
}

// The stream as a player sees it: pulled back from the server.
std::optional<MediaInfo> PullStream(const QString& url) {
  return Probe(url, {QStringLiteral("-rw_timeout"), QStringLiteral("15000000")}, 25000);
}

TEST(ToolbarLive, PushSurvivesTheServerGoingAwayAndF8EndsIt) {
  ASSERT_FALSE(RtmpUrl().isEmpty()) << "needs the RTMP server of scripts/with-desktop";
  const QString url = RtmpUrl() + QStringLiteral("/lesson");
  RtmpServer server;
  Toolbar toolbar;
  ASSERT_TRUE(toolbar.WriteConfig(
      LessonConfig(toolbar.VideosFolder()).LiveEnabled(true).LiveUrl(url).FluencyFirst(true)));
  toolbar.Start();
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("status: 就绪 - 准备直播 - 全屏模式"), 1000));

  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  const qint64 pressed = Toolbar::Now();
  ASSERT_TRUE(toolbar.WaitForTrace(IsLiveProgress, 15000)) << toolbar.TraceText().toStdString();
  const auto pulled = PullStream(url);
  ASSERT_TRUE(pulled) << "the stream can be played";
  EXPECT_EQ(pulled->videoCodec, QStringLiteral("h264"));
  EXPECT_EQ(pulled->audioCodec, QStringLiteral("aac"));
  EXPECT_EQ(pulled->width, 640);

  // 12 s in, the server goes away without a word.
  SleepMs(int(std::max<qint64>(0, pressed + 12000 - Toolbar::Now())));
  const size_t beforeDrop = toolbar.TraceSize();
  ASSERT_TRUE(server.Kill());
  const auto recovering = toolbar.WaitForTrace(kRecovering, 5000, beforeDrop);
  ASSERT_TRUE(recovering) << toolbar.TraceText().toStdString();

  // 4 s later it is back; the trace is read all along, so its lines carry their own times.
  toolbar.WaitForTrace([](const QString&) { return false; }, 4000);
  ASSERT_TRUE(server.Restart());
  const qint64 back = Toolbar::Now();
  const size_t beforeReturn = toolbar.TraceSize();
  const auto flowing = toolbar.WaitForTrace(IsLiveProgress, 15000, beforeReturn);
  ASSERT_TRUE(flowing) << toolbar.TraceText().toStdString();

  // Each retry starts a second after the failure before it, so the first attempt that starts
  // after the server's return is on air. Times come from the program's clock, placed on the
  // test's by the line that was read soonest after it was written.
  const std::vector<Toolbar::TraceLine>& trace = toolbar.Trace();
  qint64 offset = std::numeric_limits<qint64>::max();
  for (const Toolbar::TraceLine& line : trace)
    if (line.programMs >= 0) offset = std::min(offset, line.atMs - line.programMs);
  std::optional<qint64> failedAt;
  int startsAfterReturn = 0;
  for (size_t i = beforeDrop; i < trace.size() && trace[i].programMs < flowing->programMs; ++i) {
    const QString& text = trace[i].text;
    if (text.startsWith(QStringLiteral("job capture code 3 ")) ||
        text.startsWith(QStringLiteral("job capture code 10 "))) {
      failedAt = trace[i].programMs;
    } else if (text.startsWith(QStringLiteral("job capture code 1 "))) {
      ASSERT_TRUE(failedAt) << toolbar.TraceText().toStdString();
      EXPECT_GE(trace[i].programMs - *failedAt, 900) << toolbar.TraceText().toStdString();
      EXPECT_LE(trace[i].programMs - *failedAt, 3000) << toolbar.TraceText().toStdString();
      if (trace[i].programMs + offset >= back) ++startsAfterReturn;
    }
  }
  EXPECT_LE(startsAfterReturn, 1) << toolbar.TraceText().toStdString();

  // From the drop until the server's return the status line said so, in red, every time it
  // changed.
  bool dropped = false;
  for (size_t i = beforeDrop; i < beforeReturn; ++i) {
    const QString& line = toolbar.Trace()[i].text;
    dropped = dropped || line == kRecovering;
    if (dropped && line.startsWith(QStringLiteral("status"))) {
      EXPECT_EQ(line.toStdString(), kRecovering.toStdString());
    }
  }
  const auto again = PullStream(url);
  ASSERT_TRUE(again) << "the stream can be played again";
  EXPECT_EQ(again->videoCodec, QStringLiteral("h264"));
  EXPECT_EQ(again->audioCodec, QStringLiteral("aac"));

  // F8 ends the push; the toolbar is idle and no encoder is left.
  const size_t beforeStop = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("status: 正在停止..."), 5000, beforeStop));
  EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("job capture code 4"), 10000, beforeStop));
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("status: 已停止 "), 2000, beforeStop));
  SleepMs(1500);
  EXPECT_FALSE(toolbar.WaitForTrace(QStringLiteral("job capture code 1"), 0, beforeStop))
      << "nothing starts again after the stop";
  EXPECT_TRUE(ChildProcesses(toolbar.Pid(), QStringLiteral("vortenc")).empty());
  EXPECT_TRUE(Recordings(toolbar.VideosFolder()).isEmpty()) << "a live push writes no file";

  toolbar.Terminate();
  ASSERT_TRUE(toolbar.WaitForExit(10000));
  EXPECT_EQ(toolbar.ExitCode(), 0);
}

TEST(ToolbarLive, ViewersGetSoundAndPictureTogether) {
  ASSERT_FALSE(RtmpUrl().isEmpty()) << "needs the RTMP server of scripts/with-desktop";
  const QString url = RtmpUrl() + QStringLiteral("/together");
  Toolbar toolbar;
  ASSERT_TRUE(
      toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder()).LiveEnabled(true).LiveUrl(url)));
  DesktopMotion desktop;
  ASSERT_TRUE(desktop.ok());
  toolbar.Start();
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();

  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(IsLiveProgress, 20000)) << toolbar.TraceText().toStdString();
  // A viewer joins and keeps what it is sent until the push ends (five seconds without data).
  const QString watched = toolbar.VideosFolder() + QStringLiteral("/watched.flv");
  QProcess viewer;
  viewer.start("ffmpeg", {"-v", "error", "-nostdin", "-rw_timeout", "5000000", "-i", url, "-c",
                          "copy", "-t", "60", "-f", "flv", watched});
  ASSERT_TRUE(viewer.waitForStarted(5000));
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(watched).size() > 0; }, 30000))
      << "the viewer receives the lesson";
  EXPECT_TRUE(desktop.FlashAndBeep(5, 810));
  SleepMs(1000);  // a lower bound: the last beep is on its way to the viewer
  const size_t beforeStop = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("job capture code 4"), 15000, beforeStop));
  ASSERT_TRUE(viewer.waitForFinished(60000)) << viewer.readAllStandardError().toStdString();

  const SyncReport sync = MeasureSync(watched, 1.0);
  std::printf("viewer: %s\n", qPrintable(sync.Text()));
  EXPECT_EQ(sync.offsets.size(), 5u) << sync.Text().toStdString();
  EXPECT_LE(std::abs(sync.Median()), 0.040) << sync.Text().toStdString();
  EXPECT_LE(sync.longestStill, 0.250) << sync.Text().toStdString();

  toolbar.Terminate();
  ASSERT_TRUE(toolbar.WaitForExit(10000));
}

}  // namespace
}  // namespace vortane::test
