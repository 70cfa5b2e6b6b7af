#include "files/recording_meta.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/code_page.h"
#include "platform/own_file.h"
#include "platform/record_file.h"

namespace vortane {
namespace {

template <std::size_t N>
QString FieldText(const char (&field)[N]) {
  const void* end = std::memchr(field, '\0', N);
  const std::size_t length = end ? static_cast<const char*>(end) - field : N;
  return platform::AnsiToWide(std::string_view(field, length));
}

}  // namespace

QString RecordingMeta::RecordedAt() const {
  return FieldText(recordedAt);
}
QString RecordingMeta::DurationText() const {
  return FieldText(durationText);
}
QString RecordingMeta::SizeText() const {
  return FieldText(sizeText);
}
QString RecordingMeta::StatusText() const {
  return FieldText(statusText);
}
QString RecordingMeta::TargetName() const {
  return FieldText(targetName);
}

void CopyMetaText(char* field, std::size_t capacity, const std::string& text) {
  const std::size_t length = platform::AnsiPrefixLength(text, capacity - 1);
  std::memset(field, 0, capacity);
  std::memcpy(field, text.data(), length);
}

RecordingMeta MakeRecordingMeta(const QString& recordedAt, const QString& durationText,
                                const QString& sizeText) {
  RecordingMeta meta;
  CopyMetaText(meta.recordedAt, sizeof(meta.recordedAt), platform::WideToAnsi(recordedAt));
  CopyMetaText(meta.durationText, sizeof(meta.durationText), platform::WideToAnsi(durationText));
  CopyMetaText(meta.sizeText, sizeof(meta.sizeText), platform::WideToAnsi(sizeText));
  meta.uploadState = -1;
  return meta;
}

std::optional<RecordingMeta> ReadRecordingMeta(const QString& path) {
  // Side files lie in the recording folder, which other users may write: only a regular file of
  // the teacher's is read, never through a link, never waiting on a FIFO.
  const int fd = platform::OpenOwnRegularFile(path, O_RDONLY);
  if (fd < 0) return std::nullopt;
  // A record of N bytes takes at most 2N bytes on disk.
  std::string stored(2 * sizeof(RecordingMeta), '\0');
  std::size_t length = 0;
  while (length < stored.size()) {
    const ssize_t n = ::read(fd, stored.data() + length, stored.size() - length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    length += static_cast<std::size_t>(n);
  }
  ::close(fd);
  stored.resize(length);
  RecordingMeta meta;
  std::memset(static_cast<void*>(&meta), 0, sizeof(meta));
  if (DecodeTextMode(stored, &meta, sizeof(meta)) == 0) return std::nullopt;
  return meta;
}

bool WriteRecordingMeta(const QString& path, const RecordingMeta& meta) {
  return WriteRecordFile(path, &meta, sizeof(meta));
}

}  // namespace vortane
