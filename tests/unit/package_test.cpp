// The Debian package as CPack builds it from this build (what scripts/package does): its control
// fields, its file list, and the menu entry and metainfo inside it as the desktop's own
// validators see them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

struct Result {
  int exitCode = -1;
  QString output;
};

Result RunTool(const QString& program, const QStringList& arguments, int timeoutMs = 240000) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    return {};
  }
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromUtf8(process.readAll())};
}

TEST(DebianPackage, DeclaresItsDependenciesHoldsTheProgramOnlyAndValidates) {
  const QString build = QFileInfo(qEnvironmentVariable("VORTANE_PROGRAM_DIR")).absolutePath();
  QTemporaryDir out;
  const Result cpack = RunTool(
      QStringLiteral("cpack"),
      {QStringLiteral("--config"), build + "/CPackConfig.cmake", QStringLiteral("-B"), out.path()});
  ASSERT_EQ(cpack.exitCode, 0) << cpack.output.toStdString();
  const QStringList debs = QDir(out.path()).entryList({QStringLiteral("vortane_*.deb")});
  ASSERT_EQ(debs.size(), 1) << cpack.output.toStdString();
  const QString deb = out.filePath(debs.first());
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^vortane_\\d+\\.\\d+\\.\\d+_amd64\\.deb$"))
                  .match(debs.first())
                  .hasMatch())
      << debs.first().toStdString();

  // Control fields: everything the program runs or loads comes from Debian by name.
  const QString depends =
      RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Depends")})
          .output;
  for (const char* package :
       {"ffmpeg", "libqt6widgets6", "libqt6multimedia6", "libqt6multimediawidgets6",
        "libqt6network6", "libpulse0", "libcurl4", "libtinyxml2-9", "libavformat59", "libxcb1",
        "xdg-utils", "gstreamer1.0-plugins-good", "gstreamer1.0-libav", "libc6"})
    EXPECT_TRUE(depends.contains(QRegularExpression(
        QStringLiteral("(^|[ ,|])%1([ ,(]|$)").arg(QRegularExpression::escape(package)))))
        << package << " missing from: " << depends.toStdString();
  const QString info = RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-I"), deb}).output;
  EXPECT_TRUE(info.contains(QStringLiteral("Package: vortane"))) << info.toStdString();
  EXPECT_TRUE(info.contains(QStringLiteral("Section: video")));
  EXPECT_TRUE(info.contains(QStringLiteral("Architecture: amd64")));

  // Files: the program folder, the launcher and the desktop's files; nothing for tests.
  const QString list = RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb}).output;
  for (const char* path :
       {"./usr/lib/vortane/vortane", "./usr/lib/vortane/vortenc", "./usr/lib/vortane/libkeyvane.so",
        "./usr/lib/vortane/skin/main.bmp", "./usr/lib/vortane/skin/maindlg.xml",
        "./usr/lib/vortane/manual/index.html", "./usr/bin/vortane -> ../lib/vortane/vortane",
        "./usr/share/applications/org.vortane.Vortane.desktop",
        "./usr/share/metainfo/org.vortane.Vortane.metainfo.xml",
        "./usr/share/icons/hicolor/16x16/apps/org.vortane.Vortane.png",
        "./usr/share/icons/hicolor/256x256/apps/org.vortane.Vortane.png"})
    EXPECT_TRUE(list.contains(QLatin1String(path))) << path;
  for (const char* absent : {"platform-server", "platform-sample", "uikit-demo", "skin-generator",
                             "_test", "_bench", "/include/", ".a\n"})
    EXPECT_FALSE(list.contains(QLatin1String(absent))) << absent;

  // The packaged menu entry and metainfo pass the desktop's validators.
  QTemporaryDir root;
  ASSERT_EQ(RunTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root.path()}).exitCode,
            0);
  const Result desktop = RunTool(
      QStringLiteral("desktop-file-validate"),
      {root.filePath(QStringLiteral("usr/share/applications/org.vortane.Vortane.desktop"))});
  EXPECT_EQ(desktop.exitCode, 0) << desktop.output.toStdString();
  EXPECT_TRUE(desktop.output.trimmed().isEmpty()) << desktop.output.toStdString();
  const Result metainfo = RunTool(
      QStringLiteral("appstreamcli"),
      {QStringLiteral("validate"), QStringLiteral("--no-net"),
       root.filePath(QStringLiteral("usr/share/metainfo/org.vortane.Vortane.metainfo.xml"))});
  EXPECT_EQ(metainfo.exitCode, 0) << metainfo.output.toStdString();
  const QString entry = [&] {
    QFile file(root.filePath(QStringLiteral("usr/share/applications/org.vortane.Vortane.desktop")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  }();
  EXPECT_TRUE(entry.contains(QStringLiteral("Categories=AudioVideo;Recorder;")));
  EXPECT_TRUE(entry.contains(QString::fromUtf8("Name[zh_CN]=Vortane 录课直播")));
  EXPECT_TRUE(entry.contains(QStringLiteral("Exec=vortane")));
}

}  // namespace
