// The start-up check: the installation test on real files, and the dialog's steps, texts and
// colours with the test's answers in place of the machine's.
#include "app/init_dlg.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>

#include "widget_test_app.h"

namespace vortane {
namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

InstallationReport Report(bool encoder, bool sources) {
  InstallationReport report;
  report.encoderInstalled = encoder;
  report.virtualSourcesInstalled = encoder && sources;
  return report;
}

bool WriteProgram(const QString& path, bool executable) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write("#!/bin/sh\nexit 0\n");
  file.close();
  QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
  if (executable) permissions |= QFile::ExeOwner;
  return file.setPermissions(permissions);
}

// True when some pixel of the picture is (close to) `colour`: the log's text.
bool HasTextIn(const QImage& picture, QRgb colour) {
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb p = picture.pixel(x, y);
      if (qAbs(qRed(p) - qRed(colour)) < 40 && qAbs(qGreen(p) - qGreen(colour)) < 40 &&
          qAbs(qBlue(p) - qBlue(colour)) < 40)
        return true;
    }
  return false;
}

// Runs a check dialog with `probe` until it closes (or `whileOpen` has run and closed it).
struct CheckRun {
  explicit CheckRun(CInitDlg::Probe probe) : dialog(nullptr, std::move(probe)) {
    QObject::connect(&dialog, &QDialog::finished, [this](int r) { result = r; });
    clock.start();
    dialog.open();
  }
  bool WaitClosed(int ms) {
    return QTest::qWaitFor([&] { return result.has_value(); }, ms);
  }
  CInitDlg dialog;
  std::optional<int> result;
  QElapsedTimer clock;
};

TEST(StartupCheck, InstallationLooksAtTheEncoderItsFfmpegAndTheSources) {
  QTemporaryDir folder;
  const QString encoder = folder.filePath(QStringLiteral("vortenc"));
  const QString ffmpeg = folder.filePath(QStringLiteral("my-ffmpeg"));
  ASSERT_TRUE(WriteProgram(ffmpeg, true));
  qputenv("VORTENC_FFMPEG", ffmpeg.toLocal8Bit());
  auto sources = [](bool present) { return [present] { return present; }; };

  InstallationReport missing = CheckInstallation(folder.path(), sources(true));
  EXPECT_FALSE(missing.encoderInstalled);
  EXPECT_TRUE(missing.detail.contains(encoder));

  ASSERT_TRUE(WriteProgram(encoder, false));
  EXPECT_FALSE(CheckInstallation(folder.path(), sources(true)).encoderInstalled)
      << "a file that cannot run is no encoder";

  ASSERT_TRUE(WriteProgram(encoder, true));
  EXPECT_TRUE(CheckInstallation(folder.path(), sources(true)).Passed());
  InstallationReport noSources = CheckInstallation(folder.path(), sources(false));
  EXPECT_TRUE(noSources.encoderInstalled);
  EXPECT_FALSE(noSources.virtualSourcesInstalled);
  EXPECT_FALSE(noSources.detail.isEmpty());

  // The encoder needs an ffmpeg: the one named, or "ffmpeg" on PATH.
  qputenv("VORTENC_FFMPEG", folder.filePath(QStringLiteral("nowhere")).toLocal8Bit());
  EXPECT_FALSE(CheckInstallation(folder.path(), sources(true)).encoderInstalled);
  qputenv("VORTENC_FFMPEG", "my-ffmpeg");
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", folder.path().toLocal8Bit() + ":" + path);
  EXPECT_EQ(FindEncoderBackend(), ffmpeg);
  EXPECT_TRUE(CheckInstallation(folder.path(), sources(true)).encoderInstalled);
  qputenv("PATH", path);
  qunsetenv("VORTENC_FFMPEG");
}

TEST(StartupCheck, PassingStepsAreGreenAndCloseWithOk) {
  test::WidgetTestApp();
  CInitDlg::ResetStepCounter();
  CheckRun run([] { return Report(true, true); });
  EXPECT_EQ(run.dialog.windowTitle(), U("初始化..."));
  EXPECT_EQ(run.dialog.size(), QSize(390, 226));
  ASSERT_TRUE(QTest::qWaitFor([&] { return run.dialog.checkDone(); }, 3000));
  EXPECT_EQ(run.dialog.LogText(), U("检查系统...\r\n验证安装文件...通过!\r\n系统检查完毕!\r\n"
                                    "正在启动主程序...\r\n"));
  const QImage picture = test::Grab(run.dialog);
  EXPECT_EQ(test::Rgb(picture, 2, picture.height() - 3), 0x585858u);
  EXPECT_TRUE(HasTextIn(test::Grab(*run.dialog.LogLabel()), qRgb(0, 255, 0)));
  EXPECT_FALSE(HasTextIn(test::Grab(*run.dialog.LogLabel()), qRgb(255, 0, 0)));
  EXPECT_FALSE(run.dialog.OkButton()->isVisible());
  ASSERT_TRUE(run.WaitClosed(3000));
  EXPECT_EQ(*run.result, QDialog::Accepted);
  // Steps at 100, 600 and 1100 ms, the close 1000 ms after the last.
  EXPECT_GE(run.clock.elapsed(), 2000);
  EXPECT_EQ(CInitDlg::StepCounter(), 4);

  // The steps are counted once per process: another check closes at its first tick.
  CheckRun again([] { return Report(false, false); });
  ASSERT_TRUE(again.WaitClosed(1000));
  EXPECT_EQ(*again.result, QDialog::Accepted);
  EXPECT_TRUE(again.dialog.LogText().isEmpty());
}

TEST(StartupCheck, FailuresTurnRedShowOkAndOnlyOkCloses) {
  test::WidgetTestApp();
  const QString slashes(43, QLatin1Char('/'));
  struct Case {
    InstallationReport report;
    QString log;
  };
  const Case cases[] = {
      {Report(false, false), U("检查系统...\r\n验证安装文件...\r\n系统缺少关键的运行文件！\r\n"
                               "请按指导正确安装后再次运行！\r\n")},
      {Report(true, false), U("检查系统...\r\n验证安装文件...") + slashes +
                                U("\r\n缺少关键的库文件！\r\n请按指导正确安装后再次运行！\r\n") +
                                slashes + U("\r\n")},
  };
  for (const Case& c : cases) {
    CInitDlg::ResetStepCounter();
    CheckRun run([report = c.report] { return report; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.dialog.OkButton()->isVisible(); }, 3000));
    EXPECT_TRUE(run.dialog.checkFailed());
    EXPECT_FALSE(run.dialog.checkDone());
    EXPECT_EQ(run.dialog.LogText(), c.log);
    EXPECT_TRUE(HasTextIn(test::Grab(*run.dialog.LogLabel()), qRgb(255, 0, 0)));
    EXPECT_FALSE(HasTextIn(test::Grab(*run.dialog.LogLabel()), qRgb(0, 255, 0)));
    // Esc and the close request do nothing; no further step comes.
    QTest::keyClick(&run.dialog, Qt::Key_Escape);
    run.dialog.close();
    QTest::qWait(700);
    EXPECT_FALSE(run.result);
    EXPECT_EQ(CInitDlg::StepCounter(), 2);
    QTest::mouseClick(run.dialog.OkButton(), Qt::LeftButton);
    ASSERT_TRUE(run.WaitClosed(500));
    EXPECT_EQ(*run.result, QDialog::Rejected);
  }
}

TEST(StartupCheck, StepTwoWaitsForASlowAnswer) {
  test::WidgetTestApp();
  CInitDlg::ResetStepCounter();
  CheckRun run([] {
    QThread::msleep(1500);
    return Report(true, true);
  });
  // The window keeps answering while the worker asks: a 50 ms timer goes on ticking.
  QElapsedTimer sinceTick;
  sinceTick.start();
  qint64 longestGap = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout,
                   [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
  ticker.start(50);
  ASSERT_TRUE(QTest::qWaitFor([&] { return CInitDlg::StepCounter() == 2; }, 2000));
  EXPECT_EQ(run.dialog.LogText(), U("检查系统...\r\n验证安装文件..."));
  ASSERT_TRUE(run.WaitClosed(5000));
  EXPECT_LT(longestGap, 1000);
  EXPECT_EQ(*run.result, QDialog::Accepted);
  EXPECT_GE(run.clock.elapsed(), 1500 + 500 + 1000);
}

}  // namespace
}  // namespace vortane
