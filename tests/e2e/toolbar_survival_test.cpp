// A lesson survives what real machines do to the toolbar: Ctrl+C in its terminal, a closed
// terminal, a logout, a crash, a push server that refuses while the teacher stops, and a disk
// that fills up, a save folder shared with other users. Each runs the real program with its real
// encoder inside scripts/with-desktop.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>

#include "file_manager_harness.h"
#include "program_harness.h"
#include "small_disk.h"
#include "support/files.h"
#include "support/media.h"

namespace vortane::test {
namespace {

const QRegularExpression kCaptureName(QStringLiteral("^\\d{14}\\.ts$"));
const QRegularExpression kFinalMp4Name(QStringLiteral("^\\d{14}m\\.mp4$"));
const QString kRecording = Utf8("status: 正在录制 ");
const QString kLive = Utf8("status: 正在直播 ");

// "status: 正在录制 00:00:03.12" with at least `seconds` of recording.
std::function<bool(const QString&)> ProgressPast(const QString& prefix, double seconds) {
  return [prefix, seconds](const QString& line) {
    return line.startsWith(prefix) && EncoderSeconds(line.mid(prefix.size())) >= seconds;
  };
}

// The toolbar as a terminal starts it: the leader of a process group of its own, which Ctrl+C
// and a closed terminal signal as a whole.
QString ProcessGroupLauncher(const QTemporaryDir& folder) {
  const QString path = folder.filePath(QStringLiteral("vortane-in-own-group"));
  QFile script(path);
  if (!script.open(QIODevice::WriteOnly)) return {};
  script.write("#!/bin/sh\nexec setsid \"$VORTANE_PROGRAM_DIR/vortane\"\n");
  script.close();
  script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  return path;
}

// Ended, or only a zombie nobody has collected yet: it records nothing either way.
bool Ended(pid_t pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return true;
  const QByteArray text = stat.readAll();
  const qsizetype close = text.lastIndexOf(')');
  return close < 0 || text.mid(close + 2, 1) == "Z";
}

pid_t TheEncoder(const Toolbar& toolbar) {
  const std::vector<pid_t> encoders = ChildProcesses(toolbar.Pid(), QStringLiteral("vortenc"));
  EXPECT_EQ(encoders.size(), 1u);
  return encoders.empty() ? 0 : encoders.front();
}

void ExpectOneFinalMp4(const QString& folder, double atLeastSeconds) {
  const QStringList files = Recordings(folder);
  ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
  EXPECT_TRUE(kFinalMp4Name.match(files.first()).hasMatch()) << files.first().toStdString();
  const auto media = Probe(folder + QLatin1Char('/') + files.first());
  ASSERT_TRUE(media);
  EXPECT_EQ(media->videoCodec, QStringLiteral("h264"));
  EXPECT_EQ(media->audioCodec, QStringLiteral("aac"));
  EXPECT_GE(media->duration, atLeastSeconds);
  EXPECT_GE(media->audioDuration, atLeastSeconds - 2.0);
}

TEST(ToolbarSurvival, CtrlCAClosedTerminalAndALogoutFinishTheLesson) {
  QTemporaryDir scripts;
  const QString launcher = ProcessGroupLauncher(scripts);
  ASSERT_FALSE(launcher.isEmpty());
  // Ctrl+C and a closed terminal signal the toolbar's process group; a logout signals every
  // process of the session, the encoder as well.
  struct Case {
    const char* what;
    int signal;
    bool wholeGroup;
    bool encoderToo;
  };
  for (const Case& c :
       {Case{"Ctrl+C", SIGINT, true, false}, Case{"closed terminal", SIGHUP, true, false},
        Case{"logout", SIGTERM, false, true}}) {
    SCOPED_TRACE(c.what);
    Toolbar toolbar;
    ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder()).SaveFormat(0)));
    toolbar.Start(launcher);
    ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
    ASSERT_TRUE(PressKey(QStringLiteral("F8")));
    // The encoder's time counts from its start, and on a busy machine the picture begins most of
    // a second later: 4 s of it hold at least 3 s of lesson, as in the crash below.
    ASSERT_TRUE(toolbar.WaitForTrace(ProgressPast(kRecording, 4.0), 20000))
        << toolbar.TraceText().toStdString();
    const pid_t encoder = TheEncoder(toolbar);
    const pid_t pid = static_cast<pid_t>(toolbar.Pid());
    ASSERT_EQ(getpgid(pid), pid) << "the toolbar leads its process group";

    ASSERT_EQ(kill(c.wholeGroup ? -pid : pid, c.signal), 0);
    if (c.encoderToo) {
      ASSERT_EQ(kill(encoder, c.signal), 0);
    }
    ASSERT_TRUE(toolbar.WaitForExit(40000)) << toolbar.TraceText().toStdString();
    EXPECT_EQ(toolbar.ExitCode(), 0);
    EXPECT_TRUE(Ended(encoder));
    EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("job remux code 3"), 0))
        << toolbar.TraceText().toStdString();
    ExpectOneFinalMp4(toolbar.VideosFolder(), 3.0);
  }
}

TEST(ToolbarSurvival, ACrashLeavesNoEncoderAndTheNextStartRecoversTheLesson) {
  Toolbar toolbar;
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder()).SaveFormat(0)));
  toolbar.Start();
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(ProgressPast(kRecording, 4.0), 20000))
      << toolbar.TraceText().toStdString();
  const pid_t encoder = TheEncoder(toolbar);

  ASSERT_EQ(kill(static_cast<pid_t>(toolbar.Pid()), SIGKILL), 0);
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(WaitUntil([&] { return Ended(encoder); }, 10000)) << "the encoder records on";
  EXPECT_LE(clock.elapsed(), 1000) << "the encoder ends within a second of the toolbar";
  ASSERT_TRUE(toolbar.WaitForExit(5000));

  // What is left is the capture itself, and it plays.
  const QStringList left = Recordings(toolbar.VideosFolder());
  ASSERT_EQ(left.size(), 1) << left.join(' ').toStdString();
  EXPECT_TRUE(kCaptureName.match(left.first()).hasMatch()) << left.first().toStdString();
  const auto capture = Probe(toolbar.VideosFolder() + QLatin1Char('/') + left.first());
  ASSERT_TRUE(capture);
  EXPECT_EQ(capture->videoCodec, QStringLiteral("h264"));
  EXPECT_GE(capture->duration, 3.0);

  // The next start finds it and makes it the lesson's final file.
  const size_t before = toolbar.TraceSize();
  toolbar.Start();
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  const auto recovered =
      toolbar.WaitForTrace(Utf8("status: 已恢复上次未完成的录像 "), 30000, before);
  ASSERT_TRUE(recovered) << toolbar.TraceText().toStdString();
  ExpectOneFinalMp4(toolbar.VideosFolder(), 3.0);
  // The lesson is named by the time it started ("20261209153431m.mp4": "15:34").
  const QString final = Recordings(toolbar.VideosFolder()).first();
  EXPECT_TRUE(recovered->text.endsWith(final.mid(8, 2) + ':' + final.mid(10, 2)))
      << recovered->text.toStdString();
}

TEST(ToolbarSurvival, AStopWhileThePushRecoversFromARefusingServerLeavesNoPush) {
  ASSERT_FALSE(RtmpUrl().isEmpty()) << "needs the RTMP server of scripts/with-desktop";
  RtmpServer server;
  Toolbar toolbar;
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder())
                                      .LiveEnabled(true)
                                      .LiveUrl(RtmpUrl() + QStringLiteral("/refused"))
                                      .FluencyFirst(true)));
  toolbar.Start();
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  // More than ten seconds on air, so a break-off is retried.
  ASSERT_TRUE(toolbar.WaitForTrace(ProgressPast(kLive, 11.0), 40000))
      << toolbar.TraceText().toStdString();
  const size_t beforeDrop = toolbar.TraceSize();
  ASSERT_TRUE(server.Kill());
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("status! 直播中断，正在恢复..."), 10000, beforeDrop));

  // Every retry is refused at once. F8 comes right after one of them has ended, before the
  // toolbar has heard of it: the stop must win over the restart.
  const size_t beforeRetry = toolbar.TraceSize();
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("job capture code 1"), 15000, beforeRetry));
  pid_t retry = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto encoders = ChildProcesses(toolbar.Pid(), QStringLiteral("vortenc"));
        if (!encoders.empty()) retry = encoders.front();
        return retry != 0;
      },
      10000));
  ASSERT_TRUE(WaitUntil([&] { return Ended(retry); }, 15000));
  const size_t beforeStop = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  const auto stopped = toolbar.WaitForTrace(Utf8("status: 已停止"), 10000, beforeStop);
  ASSERT_TRUE(stopped) << toolbar.TraceText().toStdString();

  // Nothing pushes from then on, not even once the server is back.
  SleepMs(4000);
  ASSERT_TRUE(server.Restart());
  SleepMs(3000);
  EXPECT_TRUE(ChildProcesses(toolbar.Pid(), QStringLiteral("vortenc")).empty());
  EXPECT_FALSE(toolbar.WaitForTrace(QStringLiteral("job capture code 1"), 0, beforeStop))
      << toolbar.TraceText().toStdString();
  toolbar.Terminate();
  ASSERT_TRUE(toolbar.WaitForExit(10000));
  EXPECT_EQ(toolbar.ExitCode(), 0);
}

TEST(ToolbarSurvival, TooLittleRoomRefusesTheStartAndAFillingDiskStopsAndSavesTheLesson) {
  SmallDisk disk(900);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  Toolbar toolbar;
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(disk.path()).SaveFormat(0)));
  toolbar.Start();
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();

  // 900 MB free: refused, in plain words.
  const size_t before = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  const auto box = WaitForMessageBox(10000);
  ASSERT_TRUE(box) << toolbar.TraceText().toStdString();
  EXPECT_TRUE(toolbar.WaitForTrace(
      Utf8("message: 保存目录所在磁盘的剩余空间不足1GB，无法开始录制！"), 2000, before));
  ASSERT_TRUE(AnswerMessageBox(*box));
  EXPECT_FALSE(toolbar.WaitForTrace(QStringLiteral("job capture code 1"), 1000, before));

  // Room enough to start; then the disk fills up (the file system shrinks under the lesson).
  ASSERT_TRUE(disk.Resize(1200));
  const size_t beforeStart = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(ProgressPast(kRecording, 3.0), 20000, beforeStart))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(disk.Resize(450));
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("status! 磁盘空间不足，正在停止..."), 15000, beforeStart))
      << toolbar.TraceText().toStdString();
  const auto saved =
      toolbar.WaitForTrace(Utf8("status! 磁盘空间不足，已停止 "), 30000, beforeStart);
  ASSERT_TRUE(saved) << toolbar.TraceText().toStdString();
  ExpectOneFinalMp4(disk.path(), 3.0);

  toolbar.Terminate();
  ASSERT_TRUE(toolbar.WaitForExit(10000));
}

TEST(ToolbarSurvival, ASharedFolderCannotReplaceOrLoseALesson) {
  if (geteuid() != 0) GTEST_SKIP() << "files of another user need root to make";
  constexpr uid_t kOther = 65534;
  Toolbar toolbar;
  const QString folder = toolbar.VideosFolder();
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
  const auto at = [&](const char* name) { return folder + QLatin1Char('/') + QLatin1String(name); };
  const auto givenAway = [](const QString& path) {
    return ::lchown(QFile::encodeName(path).constData(), kOther, kOther) == 0;
  };
  // A finished lesson, and another user's longer "capture" of the same minute beside it.
  ASSERT_TRUE(MakeVideo(at("20250101080000m.mp4"), 2.0));
  const QByteArray finished = ReadBytes(at("20250101080000m.mp4"));
  ASSERT_TRUE(MakeVideo(at("20250101080000.ts"), 6.0));
  ASSERT_TRUE(givenAway(at("20250101080000.ts")));
  // A "capture" that is another user's link to a private file of the teacher's.
  QTemporaryDir privateFolder;
  const QString secret = privateFolder.filePath(QStringLiteral("secret.ts"));
  ASSERT_TRUE(MakeVideo(secret, 3.0));
  const QByteArray secretBytes = ReadBytes(secret);
  ASSERT_TRUE(QFile::link(secret, at("20250101080100.ts")));
  ASSERT_TRUE(givenAway(at("20250101080100.ts")));
  // The teacher's own unfinished lesson; one an encoder on another machine still writes (it
  // holds its lock); one whose final name is taken by a shorter lesson.
  ASSERT_TRUE(MakeVideo(at("20250101080200.ts"), 3.0));
  ASSERT_TRUE(MakeVideo(at("20250101080300.ts"), 3.0));
  const int writer = ::open(QFile::encodeName(at("20250101080300.ts")).constData(), O_RDWR);
  ASSERT_GE(writer, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  ASSERT_EQ(::fcntl(writer, F_OFD_SETLK, &lock), 0);
  ASSERT_TRUE(MakeVideo(at("20250101080400.ts"), 3.0));
  ASSERT_TRUE(MakeVideo(at("20250101080400m.mp4"), 1.0));
  const QByteArray shorter = ReadBytes(at("20250101080400m.mp4"));
  // A FIFO as the finished lesson's side file.
  ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("metas")));
  ASSERT_EQ(::mkfifo(QFile::encodeName(at("metas/20250101080000m.mp4.meta")).constData(), 0666), 0);

  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(folder).SaveFormat(0)));
  toolbar.Start();
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(
      Utf8("status: 已恢复上次未完成的录像 2 个，其中 1 个另存为新文件"), 60000))
      << toolbar.TraceText().toStdString();
  EXPECT_EQ(ReadBytes(at("20250101080000m.mp4")), finished);
  EXPECT_TRUE(QFileInfo(at("20250101080000.ts")).isFile()) << "another user's file stays";
  EXPECT_EQ(ReadBytes(secret), secretBytes);
  EXPECT_TRUE(QFileInfo(at("20250101080100.ts")).isSymLink());
  EXPECT_FALSE(QFileInfo::exists(at("20250101080100m.mp4"))) << "nothing is copied from the link";
  const auto recovered = Probe(at("20250101080200m.mp4"));
  ASSERT_TRUE(recovered);
  EXPECT_NEAR(recovered->duration, 3.0, 0.5);
  EXPECT_FALSE(QFileInfo::exists(at("20250101080200.ts")));
  EXPECT_TRUE(QFileInfo::exists(at("20250101080300.ts")));
  EXPECT_FALSE(QFileInfo::exists(at("20250101080300m.mp4")));
  EXPECT_EQ(ReadBytes(at("20250101080400m.mp4")), shorter);
  const auto beside = Probe(folder + Utf8("/20250101080400m-恢复.mp4"));
  ASSERT_TRUE(beside) << Recordings(folder).join(' ').toStdString();
  EXPECT_NEAR(beside->duration, 3.0, 0.5);
  EXPECT_FALSE(QFileInfo::exists(at("20250101080400.ts")));
  ::close(writer);

  // FIFOs at the names of the next captures: F8 fails at once and says so in red, instead of
  // showing "正在启动录制..." while nothing is written.
  const QDateTime now = QDateTime::currentDateTime();
  for (int second = 0; second < 120; ++second) {
    const QString name = now.addSecs(second).toString(QStringLiteral("yyyyMMddHHmmss")) + ".ts";
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), 0666), 0);
  }
  size_t from = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  EXPECT_TRUE(toolbar.WaitForTrace(
      Utf8("status! 无法写入录像文件：存放目录中的同名文件不是您自己的普通文件！"), 20000, from))
      << toolbar.TraceText().toStdString();
  EXPECT_FALSE(toolbar.WaitForTrace(RecordingPast(0.0), 0, from));

  // The file manager lists the teacher's lessons, also the one whose side file was a FIFO.
  const QStringList bars = FindWindows(QLatin1String(kToolbarName));
  ASSERT_EQ(bars.size(), 1);
  const std::optional<QRect> bar = WindowGeometry(bars.first());
  ASSERT_TRUE(bar);
  from = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(ToolbarRowButton(*bar, 4)));
  EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("files listed 5"), 30000, from))
      << toolbar.TraceText().toStdString();
}

}  // namespace
}  // namespace vortane::test
