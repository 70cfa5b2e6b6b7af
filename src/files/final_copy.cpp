#include "files/final_copy.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>

#include "platform/lesson_marks.h"
#include "platform/media_duration.h"
#include "platform/own_file.h"

namespace vortane {

bool MoveWithoutReplacing(const QString& from, const QString& to) {
  const QByteArray source = QFile::encodeName(from);
  const QByteArray target = QFile::encodeName(to);
  if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
      0)
    return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  if (::link(source.constData(), target.constData()) != 0) return false;
  ::unlink(source.constData());
  return true;
}

bool SyncFolderOf(const QString& path) {
  const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
  const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  // A file system that cannot sync a folder (EINVAL) keeps its names as it keeps its data.
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return synced;
}

bool VerifyFinalCopy(const QString& capturePath, const QString& finalPath) {
  const int fd = platform::OpenOwnRegularFile(finalPath, O_RDONLY);
  if (fd < 0) return false;
  bool good = ::fsync(fd) == 0 && SyncFolderOf(finalPath);
  if (good) {
    const double finalSeconds = platform::ProbeMediaDurationOf(fd);
    const double captureSeconds = platform::ProbeMediaDuration(capturePath);
    const auto near = [&](double seconds) {
      return std::fabs(finalSeconds - seconds) <= kFinalCopyToleranceSeconds;
    };
    // A copy that ends where the lesson did is that much shorter than its capture.
    const std::optional<double> lesson = platform::MarkedLessonSeconds(capturePath);
    good = finalSeconds >= 0 && captureSeconds >= 0 &&
           (near(captureSeconds) || (lesson && near(std::min(captureSeconds, *lesson))));
  }
  ::close(fd);
  return good;
}

}  // namespace vortane
