#include "upload_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace felwick {
namespace {

std::int64_t ModifiedNs(const struct stat& info) {
  return std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

}  // namespace

std::optional<UploadFile> UploadFile::Open(const std::string& path, std::string& error) {
  // A link is not followed and a FIFO does not hold the open: what is opened is looked at
  // before a byte of it is read.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0 && errno == ELOOP) {
    error = "文件是链接，不上传：" + path;
    return std::nullopt;
  }
  if (fd < 0) {
    error = "无法打开文件 " + path + "（" + std::strerror(errno) + "）";
    return std::nullopt;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    error = "不是普通文件：" + path;
    return std::nullopt;
  }
  // Another user's file in a shared folder is not the teacher's to send.
  if (info.st_uid != geteuid()) {
    close(fd);
    error = "不是您自己的文件：" + path;
    return std::nullopt;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  // The whole file is read once from start to end.
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return UploadFile(fd, info.st_size, ModifiedNs(info));
}

UploadFile::UploadFile(int fd, std::int64_t size, std::int64_t modifiedNs)
    : fd_(fd), size_(size), modifiedNs_(modifiedNs) {}

UploadFile::UploadFile(UploadFile&& other) noexcept
    : fd_(other.fd_), size_(other.size_), modifiedNs_(other.modifiedNs_) {
  other.fd_ = -1;
}

UploadFile::~UploadFile() {
  if (fd_ >= 0) close(fd_);
}

long UploadFile::ReadAt(std::int64_t offset, char* buffer, size_t count) const {
  size_t done = 0;
  while (done < count) {
    const ssize_t got = pread(fd_, buffer + done, count - done, offset + std::int64_t(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) return -1;  // shorter than it was: never send a cut file
    done += size_t(got);
  }
  return long(done);
}

bool UploadFile::Unchanged() const {
  struct stat info {};
  return fstat(fd_, &info) == 0 && info.st_size == size_ && ModifiedNs(info) == modifiedNs_;
}

}  // namespace felwick
