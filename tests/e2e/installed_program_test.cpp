// The program as a school installs it: `cmake --install` into a fresh prefix, then the installed
// launcher starts, passes its start-up check and records a short lesson with F8, using only what
// was installed (the encoder and the keyboard library beside the installed program).
#include <gtest/gtest.h>

#include <QFileInfo>

#include "program_harness.h"

namespace vortane::test {
namespace {

QString BuildDir() {
  return QFileInfo(ProgramDir()).absolutePath();
}

// The first folder of PATH in a running process's environment.
QString FirstPathEntry(pid_t pid) {
  QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
  if (!environ.open(QIODevice::ReadOnly)) return {};
  for (const QByteArray& entry : environ.readAll().split('\0'))
    if (entry.startsWith("PATH=")) return QString::fromLocal8Bit(entry.mid(5)).section(':', 0, 0);
  return {};
}

TEST(InstalledProgram, InstallsIntoAnyPrefixStartsAndRecordsWithF8) {
  QTemporaryDir prefix;
  ASSERT_TRUE(prefix.isValid());
  ASSERT_TRUE(test::Run(
      QStringLiteral("cmake"),
      {QStringLiteral("--install"), BuildDir(), QStringLiteral("--prefix"), prefix.path()}, 120000))
      << "cmake --install failed";

  // The program folder, the launcher and the desktop's files.
  const QString folder = prefix.filePath(QStringLiteral("lib/vortane"));
  for (const char* file : {"vortane", "vortenc", "libkeyvane.so", "skin/main.bmp", "skin/start.bmp",
                           "skin/maindlg.xml", "manual/index.html"})
    EXPECT_TRUE(QFileInfo::exists(folder + '/' + file)) << file;
  const QFileInfo launcher(prefix.filePath(QStringLiteral("bin/vortane")));
  EXPECT_TRUE(launcher.isSymLink());
  EXPECT_EQ(launcher.canonicalFilePath(), QFileInfo(folder + "/vortane").canonicalFilePath());
  for (const char* file : {"share/applications/org.vortane.Vortane.desktop",
                           "share/metainfo/org.vortane.Vortane.metainfo.xml",
                           "share/icons/hicolor/48x48/apps/org.vortane.Vortane.png",
                           "share/icons/hicolor/256x256/apps/org.vortane.Vortane.png"})
    EXPECT_TRUE(QFileInfo::exists(prefix.filePath(file))) << file;
  // The reference platform server and its sample accounts are for tests, not for schools.
  EXPECT_FALSE(QFileInfo::exists(folder + "/platform-server"));
  EXPECT_FALSE(QFileInfo::exists(folder + "/platform-sample.json"));

  Toolbar toolbar;
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder()).SaveFormat(0)));
  toolbar.Start(launcher.filePath());
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();

  const size_t before = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  const QString recording = Utf8("status: 正在录制 ");
  ASSERT_TRUE(toolbar.WaitForTrace(
      [&](const QString& line) {
        return line.startsWith(recording) && EncoderSeconds(line.mid(recording.size())) >= 3;
      },
      30000, before))
      << toolbar.TraceText().toStdString();
  // F8 reached the installed keyboard library, and the encoder is the installed one.
  const std::vector<pid_t> encoders = ChildProcesses(toolbar.Pid(), QStringLiteral("vortenc"));
  ASSERT_EQ(encoders.size(), 1u);
  EXPECT_EQ(QFileInfo(FirstPathEntry(encoders.front())).canonicalFilePath(),
            QFileInfo(folder).canonicalFilePath());
  QFile maps(QStringLiteral("/proc/%1/maps").arg(toolbar.Pid()));
  ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
  EXPECT_TRUE(maps.readAll().contains(
      QFileInfo(folder + "/libkeyvane.so").canonicalFilePath().toLocal8Bit()));

  const size_t beforeStop = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("job remux code 3"), 30000, beforeStop))
      << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("status: 已停止 "), 5000, beforeStop));
  const QStringList files = Recordings(toolbar.VideosFolder());
  ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
  EXPECT_TRUE(files.first().endsWith(QStringLiteral("m.mp4")));
  const auto media = Probe(toolbar.VideosFolder() + '/' + files.first());
  ASSERT_TRUE(media);
  EXPECT_EQ(media->videoCodec, QStringLiteral("h264"));
  EXPECT_EQ(media->audioCodec, QStringLiteral("aac"));
  EXPECT_GE(media->duration, 3.0);

  toolbar.Terminate();
  ASSERT_TRUE(toolbar.WaitForExit(10000));
  EXPECT_EQ(toolbar.ExitCode(), 0);
}

}  // namespace
}  // namespace vortane::test
