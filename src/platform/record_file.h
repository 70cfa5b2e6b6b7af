#pragma once

#include <QString>
#include <cstddef>
#include <string>

// Record files (config.cfg, vw1.cfg, the .meta side files) are raw little-endian images written
// the way the C runtime's text mode writes them: every byte 0x0A is stored as 0x0D 0x0A, and
// reading turns every 0x0D 0x0A back into 0x0A. Files written by Windows installs depend on it.
namespace vortane {

std::string EncodeTextMode(const void* data, std::size_t size);
// Decodes at most `capacity` record bytes from `file`; returns the number of bytes produced.
std::size_t DecodeTextMode(const std::string& file, void* record, std::size_t capacity);

// Reads and writes a small record file through the text-mode translation. Writing replaces the
// file atomically with mode 0600; a file the user made read-only is left as it is (false).
std::size_t ReadRecordFile(const QString& path, void* record, std::size_t capacity);
bool WriteRecordFile(const QString& path, const void* record, std::size_t size);

// Replaces the file at `path` with `bytes` through a temporary file in the same folder (mode
// 0600), flushed to disk and renamed over it, so a crash never leaves half a file. False when it
// could not be written; the old file then stays as it was.
bool ReplaceFile(const QString& path, const std::string& bytes);

}  // namespace vortane
