#include "platform/own_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

namespace vortane::platform {

bool IsOwnRegularFile(const QString& path) {
  struct stat info {};
  return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode) &&
         info.st_uid == ::geteuid();
}

int OpenOwnRegularFile(const QString& path, int flags) {
  // O_NONBLOCK: a FIFO opened for reading would wait for a writer, for writing fail at once.
  const int fd = ::open(QFile::encodeName(path).constData(),
                        flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat info {};
  int refusal = 0;
  if (::fstat(fd, &info) != 0) {
    refusal = errno;
  } else if (!S_ISREG(info.st_mode)) {
    refusal = EINVAL;
  } else if (info.st_uid != ::geteuid()) {
    refusal = EPERM;
  } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    refusal = errno;
  }
  if (refusal != 0) {
    ::close(fd);
    errno = refusal;
    return -1;
  }
  return fd;
}

QByteArray DescriptorPath(int fd) {
  return QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(fd);
}

}  // namespace vortane::platform
