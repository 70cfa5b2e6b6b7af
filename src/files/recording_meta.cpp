#include "files/recording_meta.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/code_page.h"
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
  RecordingMeta meta;
  std::memset(static_cast<void*>(&meta), 0, sizeof(meta));
  if (ReadRecordFile(path, &meta, sizeof(meta)) == 0) return std::nullopt;
  return meta;
}

bool WriteRecordingMeta(const QString& path, const RecordingMeta& meta) {
  return WriteRecordFile(path, &meta, sizeof(meta));
}

}  // namespace vortane
