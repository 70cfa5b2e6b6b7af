#pragma once

#include <QString>

// The length of a media file without playing it (the media player's duration query), read with
// libavformat. Safe to call from any thread.
namespace vortane::platform {

// Seconds; 0 when the file is media of unknown length, negative when it cannot be opened as
// media at all (missing, unreadable, not a media file) or is not a regular file of this user's
// (a link, a FIFO, another user's file: see own_file.h).
double ProbeMediaDuration(const QString& path);
// The same for a file already open for reading.
double ProbeMediaDurationOf(int fd);

}  // namespace vortane::platform
