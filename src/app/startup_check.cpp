#include "app/startup_check.h"

#include <unistd.h>

#include <QFileInfo>
#include <QStringList>

#include "platform/device_lookup.h"
#include "platform/folders.h"
#include "platform/wayland_session.h"

namespace vortane {

QString NoGlobalShortcutsNote() {
  return QString::fromUtf8(
      "提示：此桌面不支持全局快捷键，F8/F9 只在 Vortane 的窗口有焦点时有效，"
      "工具栏上的按钮可以完成按键的全部操作。");
}

bool IsRunnableFile(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() && access(QFile::encodeName(path).constData(), X_OK) == 0;
}

QString FindEncoderBackend() {
  QString name = qEnvironmentVariable("VORTENC_FFMPEG");
  if (name.isEmpty()) name = QStringLiteral("ffmpeg");
  if (name.contains(QLatin1Char('/'))) return IsRunnableFile(name) ? name : QString();
  const QStringList folders = qEnvironmentVariable("PATH").split(QLatin1Char(':'));
  for (const QString& folder : folders) {
    const QString candidate =
        WithTrailingSeparator(folder.isEmpty() ? QStringLiteral(".") : folder) + name;
    if (IsRunnableFile(candidate)) return candidate;
  }
  return {};
}

namespace {

// A Wayland session's screen is read through the desktop portal and PipeWire; its hot keys reach
// the toolbar only through the GlobalShortcuts portal, else only while a Vortane window has focus.
void CheckWaylandScreen(InstallationReport& report) {
  const platform::WaylandRecording offered = platform::QueryWaylandRecording();
  if (!offered.screenCast || !offered.pipeWire) {
    report.screenRecordable = false;
    report.screenProblem =
        !offered.screenCast
            ? QString::fromUtf8(
                  "无法录制屏幕：这是 Wayland 桌面，但桌面门户（xdg-desktop-portal）"
                  "没有提供屏幕共享。")
            : QString::fromUtf8("无法录制屏幕：这是 Wayland 桌面，但 PipeWire 没有运行。");
    report.detail = !offered.screenCast
                        ? QStringLiteral(
                              "Wayland session without the desktop portal's "
                              "ScreenCast (install and start xdg-desktop-portal)")
                        : QStringLiteral("Wayland session without PipeWire (start pipewire)");
    return;
  }
  // Where the portal offers them the toolbar binds the keys, and says the same if that fails.
  if (!offered.globalShortcuts) report.note = NoGlobalShortcutsNote();
}

}  // namespace

InstallationReport CheckInstallation(const QString& programFolder,
                                     const std::function<bool()>& virtualSources) {
  InstallationReport report;
  const QString encoder = WithTrailingSeparator(programFolder) + QLatin1String(kEncoderProgram);
  if (!IsRunnableFile(encoder)) {
    report.detail = QStringLiteral("%1 is missing or not executable").arg(encoder);
    return report;
  }
  if (FindEncoderBackend().isEmpty()) {
    report.detail = QStringLiteral("no ffmpeg for %1 (install ffmpeg, or set VORTENC_FFMPEG)")
                        .arg(QLatin1String(kEncoderProgram));
    return report;
  }
  report.encoderInstalled = true;
  report.virtualSourcesInstalled =
      virtualSources ? virtualSources() : platform::AreVirtualFiltersInstalled();
  if (!report.virtualSourcesInstalled) {
    report.detail = platform::IsDisplayReachable()
                        ? QStringLiteral(
                              "no speaker sound: the sound server has no monitor of "
                              "its default output (virtual-audio-capturer)")
                        : QStringLiteral(
                              "no desktop: no X display answers at \"%1\" "
                              "(screen-capture-recorder)")
                              .arg(platform::DisplayName());
    return report;
  }
  if (platform::IsWaylandSession()) CheckWaylandScreen(report);
  return report;
}

}  // namespace vortane
