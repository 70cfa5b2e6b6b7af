#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// How much room is left where the recordings go (GetDiskFreeSpaceEx on Windows).
namespace vortane::platform {

// Bytes this user may still write on the file system that holds `path`; nothing when it cannot
// be asked (the folder is missing or unreadable).
std::optional<std::int64_t> FreeDiskSpace(const QString& path);

}  // namespace vortane::platform
