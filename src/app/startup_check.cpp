#include "app/startup_check.h"

#include <unistd.h>

#include <QFileInfo>
#include <QStringList>

#include "platform/device_lookup.h"
#include "platform/folders.h"

namespace vortane {

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
  }
  return report;
}

}  // namespace vortane
