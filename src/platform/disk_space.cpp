#include "platform/disk_space.h"

#include <sys/statvfs.h>

#include <QFile>
#include <cerrno>

namespace vortane::platform {

std::optional<std::int64_t> FreeDiskSpace(const QString& path) {
  struct statvfs info {};
  int result;
  do {
    result = statvfs(QFile::encodeName(path).constData(), &info);
  } while (result != 0 && errno == EINTR);
  if (result != 0) return std::nullopt;
  return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

}  // namespace vortane::platform
