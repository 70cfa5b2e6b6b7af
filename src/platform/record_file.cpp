#include "platform/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

namespace vortane {
namespace {

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string EncodeTextMode(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  std::string out;
  out.reserve(size + 16);
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] == '\n') out.push_back('\r');
    out.push_back(bytes[i]);
  }
  return out;
}

std::size_t DecodeTextMode(const std::string& file, void* record, std::size_t capacity) {
  auto* out = static_cast<char*>(record);
  std::size_t produced = 0;
  for (std::size_t i = 0; i < file.size() && produced < capacity; ++i) {
    if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') ++i;
    out[produced++] = file[i];
  }
  return produced;
}

std::size_t ReadRecordFile(const QString& path, void* record, std::size_t capacity) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  // A record of N bytes takes at most 2N bytes on disk.
  QByteArray bytes = file.read(static_cast<qint64>(capacity) * 2);
  return DecodeTextMode(bytes.toStdString(), record, capacity);
}

bool WriteRecordFile(const QString& path, const void* record, std::size_t size) {
  QByteArray target = QFile::encodeName(path);
  // A record file the user made read-only stays as it is (also for root, who could write it).
  struct stat existing {};
  if (::stat(target.constData(), &existing) == 0 &&
      ((existing.st_mode & S_IWUSR) == 0 || ::access(target.constData(), W_OK) != 0)) {
    return false;
  }
  return ReplaceFile(path, EncodeTextMode(record, size));
}

bool ReplaceFile(const QString& path, const std::string& bytes) {
  const QByteArray target = QFile::encodeName(path);
  QByteArray temporary = target + ".XXXXXX";
  int fd = ::mkstemp(temporary.data());  // created with mode 0600
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temporary.constData(), target.constData()) == 0) return true;
  ::unlink(temporary.constData());
  return false;
}

}  // namespace vortane
