#include "platform/folders.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <climits>
#include <cstdlib>

namespace vortane {
namespace {

QString EnvFolder(const char* name) {
  return QString::fromLocal8Bit(qgetenv(name));
}

QString HomeFolder() {
  QString home = EnvFolder("HOME");
  return home.isEmpty() ? QDir::homePath() : home;
}

}  // namespace

QString WithTrailingSeparator(const QString& path) {
  return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QString GetUserDataFolder() {
  QString base = EnvFolder("XDG_CONFIG_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base))
    base = HomeFolder() + QStringLiteral("/.config");
  QString folder = WithTrailingSeparator(base) + QStringLiteral("vortn/");
  // A failure shows later as settings that cannot be saved; nothing to report here.
  QDir().mkpath(folder);
  return folder;
}

QString GetProgramFolder() {
  char buffer[PATH_MAX + 1];
  ssize_t length = readlink("/proc/self/exe", buffer, PATH_MAX);
  if (length <= 0) return WithTrailingSeparator(QDir::currentPath());
  QString path = QString::fromLocal8Bit(buffer, static_cast<qsizetype>(length));
  return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString GetWindowsFolder() {
  return GetProgramFolder();
}

QString GetPublicVideoFolder() {
  QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
  if (videos.isEmpty()) videos = HomeFolder() + QStringLiteral("/Videos");
  // The settings offer this folder to a new user; it must exist for them to accept it.
  QDir().mkpath(videos);
  return WithTrailingSeparator(videos);
}

QString GetProgramFilesFolder() {
  const QString chosen = EnvFolder(kProgramFilesVariable);
  if (!chosen.isEmpty() && QDir::isAbsolutePath(chosen)) return WithTrailingSeparator(chosen);
  return QStringLiteral("/opt/");
}

void PutProgramFolderFirstOnPath() {
  QString folder = GetProgramFolder();
  folder.chop(1);
  QString path = EnvFolder("PATH");
  QStringList parts = path.split(QLatin1Char(':'), Qt::SkipEmptyParts);
  parts.removeAll(folder);
  parts.prepend(folder);
  setenv("PATH", parts.join(QLatin1Char(':')).toLocal8Bit().constData(), 1);
}

}  // namespace vortane
