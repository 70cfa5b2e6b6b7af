#pragma once

#include <QString>
#include <optional>

// A capture runs on past the stop key while the encoder catches up with what it has grabbed
// (the picture encoder holds about a second and a half back), but the lesson ends at the key.
// Two marks on the capture file, extended attributes in microseconds since the epoch, say where:
// its clock start (sample 0 of its sound, written by the encoder when it creates the file) and
// the lesson's end (written by the program at the stop key). The copy into the final file stops
// at the end. A file system without extended attributes keeps the whole capture, as before.
namespace vortane::platform {

// Marks the clock start on the capture the encoder has just created (`fd`, open for writing).
bool MarkCaptureStart(int fd, long long startMicros);

// Microseconds since the epoch now, on the clock the marks are taken on.
long long MarkClockMicros();

// Marks the lesson's end at `endMicros` (MarkClockMicros at the stop key) on the capture at
// `path`: a link or anything but a regular file of this user's is left alone.
bool MarkLessonEnd(const QString& path, long long endMicros = MarkClockMicros());

// The lesson's length in seconds from the capture's clock start to its end, when the capture at
// `path` carries both marks in that order.
std::optional<double> MarkedLessonSeconds(const QString& path);

}  // namespace vortane::platform
