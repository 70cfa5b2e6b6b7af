#pragma once

#include <QString>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>

// The side file of one recording ("metas/<file name>.meta"): what the recordings list shows
// (recording time, size, length) and the outcome of the last upload, so a folder is listed
// without opening every recording again. Files written by Windows installs are read as they are.
namespace vortane {

// A raw little-endian image of exactly 616 bytes, stored with the text-mode line-end translation
// (every 0x0A byte written as 0x0D 0x0A). Texts are GBK, NUL-terminated in their field.
struct RecordingMeta {
  char recordedAt[32] = {};       // column "录制时间"
  char durationText[32] = {};     // column "时长"
  char sizeText[32] = {};         // column "大小"
  std::int32_t uploadState = -1;  // -1 no finished upload; else its final state (3, 4, 10)
  std::int32_t targetId = 0;      // the destination of that upload
  char statusText[256] = {};      // column "状态"
  char targetName[256] = {};      // column "上传位置"

  // The text fields as UTF-16. A field without a terminator ends at its last byte.
  QString RecordedAt() const;
  QString DurationText() const;
  QString SizeText() const;
  QString StatusText() const;
  QString TargetName() const;
};

inline constexpr std::size_t kRecordingMetaSize = 616;
static_assert(std::endian::native == std::endian::little, "side files are little-endian images");
static_assert(sizeof(RecordingMeta) == kRecordingMetaSize);
static_assert(offsetof(RecordingMeta, uploadState) == 96);
static_assert(offsetof(RecordingMeta, targetId) == 100);
static_assert(offsetof(RecordingMeta, statusText) == 104);
static_assert(offsetof(RecordingMeta, targetName) == 360);

// A new record for a recording listed for the first time: the three texts (converted to GBK),
// uploadState -1, no status and no destination.
RecordingMeta MakeRecordingMeta(const QString& recordedAt, const QString& durationText,
                                const QString& sizeText);

// Copies `text` (GBK) into a field of `capacity` bytes, cut so that it keeps its terminator and
// never splits a double-byte character.
void CopyMetaText(char* field, std::size_t capacity, const std::string& text);

// Reads a side file: nothing when it is missing, unreadable or empty. A short file fills the
// record as far as it goes (the rest reads as zeros); bytes past the record are ignored.
std::optional<RecordingMeta> ReadRecordingMeta(const QString& path);

// Writes the side file atomically (a temporary file, then a rename), so a crash never leaves half
// a record. False when it could not be written; the old file then stays as it was.
bool WriteRecordingMeta(const QString& path, const RecordingMeta& meta);

}  // namespace vortane
