// Starting the real program: the start-up check refuses an installation without its encoder, and
// a start ends the encoder an earlier run left on this display but no other.
#include <gtest/gtest.h>

#include "program_harness.h"

namespace vortane::test {
namespace {

// A copy of the program folder with everything but the encoder.
bool CopyProgramWithoutEncoder(const QString& target) {
  const QDir source(ProgramDir());
  for (const QString& file : {QStringLiteral("vortane"), QStringLiteral("libkeyvane.so")}) {
    if (!QFile::copy(source.filePath(file), target + '/' + file)) return false;
  }
  QFile::setPermissions(target + QStringLiteral("/vortane"),
                        QFile::permissions(source.filePath(QStringLiteral("vortane"))));
  for (const QString& folder : {QStringLiteral("skin"), QStringLiteral("manual")}) {
    QDir().mkpath(target + '/' + folder);
    for (const QString& file : QDir(source.filePath(folder)).entryList(QDir::Files)) {
      if (!QFile::copy(source.filePath(folder + '/' + file), target + '/' + folder + '/' + file))
        return false;
    }
  }
  return true;
}

TEST(ToolbarStartup, CheckFailsWithoutTheEncoderAndOkEndsTheProgram) {
  QTemporaryDir folder;
  ASSERT_TRUE(CopyProgramWithoutEncoder(folder.path()));
  Toolbar toolbar;
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder())));
  toolbar.Start(folder.filePath(QStringLiteral("vortane")));

  const QStringList dialogs = FindWindows(Utf8("初始化..."), 10000);
  ASSERT_EQ(dialogs.size(), 1) << toolbar.TraceText().toStdString();
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("vortane: start-up check failed"), 5000))
      << toolbar.TraceText().toStdString();
  // The toolbar waits above the screen; it never came down.
  EXPECT_FALSE(toolbar.WaitForTrace(QStringLiteral("ready at"), 0));
  const QStringList toolbars = FindWindows(QLatin1String(kToolbarName));
  ASSERT_EQ(toolbars.size(), 1);
  const auto toolbarGeometry = WindowGeometry(toolbars.first());
  ASSERT_TRUE(toolbarGeometry);
  EXPECT_EQ(toolbarGeometry->top(), -200);

  // Esc does not close the check; OK does, and the program ends with status 1.
  ASSERT_TRUE(PressKey(QStringLiteral("Escape")));
  EXPECT_FALSE(toolbar.WaitForExit(1000));
  const auto dialog = WindowGeometry(dialogs.first());
  ASSERT_TRUE(dialog);
  // OK sits at (166, 92) × (50, 14) dialog units: (290, 184) × (87, 28) pixels.
  ASSERT_TRUE(ClickAt(dialog->topLeft() + QPoint(290 + 43, 184 + 14)));
  ASSERT_TRUE(toolbar.WaitForExit(5000));
  EXPECT_EQ(toolbar.ExitCode(), 1);
}

// A stand-in encoder: a process named "vortenc" (argv[0]) that sleeps, started on `display`.
std::unique_ptr<QProcess> StartFakeEncoder(const QString& display) {
  auto process = std::make_unique<QProcess>();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), display);
  process->setProcessEnvironment(env);
  process->start(QStringLiteral("bash"),
                 {QStringLiteral("-c"), QStringLiteral("exec -a vortenc sleep 60")});
  EXPECT_TRUE(process->waitForStarted(3000));
  return process;
}

TEST(ToolbarStartup, EndsTheEncoderAnEarlierRunLeftOnThisDisplayOnly) {
  auto leftover = StartFakeEncoder(qEnvironmentVariable("DISPLAY"));
  auto otherDesktop = StartFakeEncoder(QStringLiteral(":97"));
  SleepMs(200);
  const pid_t leftoverPid = static_cast<pid_t>(leftover->processId());
  const pid_t otherPid = static_cast<pid_t>(otherDesktop->processId());
  ASSERT_TRUE(ProcessAlive(leftoverPid));

  Toolbar toolbar;
  ASSERT_TRUE(toolbar.WriteConfig(LessonConfig(toolbar.VideosFolder())));
  toolbar.Start();
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  EXPECT_TRUE(toolbar.WaitForTrace(QStringLiteral("ended leftover encoder %1").arg(leftoverPid), 0))
      << toolbar.TraceText().toStdString();
  EXPECT_TRUE(WaitUntil([&] { return leftover->state() == QProcess::NotRunning; }, 3000));
  EXPECT_EQ(leftover->exitStatus(), QProcess::CrashExit) << "killed";
  EXPECT_TRUE(ProcessAlive(otherPid)) << "another desktop's encoder is not ours";

  toolbar.Terminate();
  ASSERT_TRUE(toolbar.WaitForExit(10000));
  EXPECT_EQ(toolbar.ExitCode(), 0);
  otherDesktop->kill();
  otherDesktop->waitForFinished(2000);
}

}  // namespace
}  // namespace vortane::test
