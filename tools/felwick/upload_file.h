#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

// The file being uploaded, read piece by piece at any offset so that memory stays bounded
// whatever its size. It remembers its size and modification time at opening: a file that
// changes afterwards (a lesson still being recorded, a clip still being cut) must not reach the
// server as a finished upload.
namespace felwick {

class UploadFile {
 public:
  // Nothing, with `error` set, when it cannot be opened or is not a regular file of the user's
  // own (a link, a FIFO, a device and another user's file are refused without blocking).
  static std::optional<UploadFile> Open(const std::string& path, std::string& error);
  UploadFile(UploadFile&& other) noexcept;
  UploadFile& operator=(UploadFile&&) = delete;
  ~UploadFile();

  std::int64_t Size() const { return size_; }
  // Reads up to `count` bytes at `offset`; -1 on a read error. A read that ends before the size
  // taken at opening counts as an error (the file shrank).
  long ReadAt(std::int64_t offset, char* buffer, size_t count) const;
  // True while the file on disk still has the size and time it had when it was opened.
  bool Unchanged() const;

 private:
  UploadFile(int fd, std::int64_t size, std::int64_t modifiedNs);

  int fd_ = -1;
  std::int64_t size_ = 0;
  std::int64_t modifiedNs_ = 0;
};

}  // namespace felwick
