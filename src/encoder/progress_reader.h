#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// How the encoder's console output is turned into progress: ffmpeg rewrites one status line
// ("frame=... time=00:00:04.00 bitrate=...") with carriage returns while it works.
namespace vortane {

// The read buffer the progress reader starts with; it grows when more than this is waiting.
inline constexpr std::size_t kProgressBufferCapacity = 1024;

// The 11-character time (hours:minutes:seconds.hundredths) of the first "time=" in one chunk of
// output. Nothing when the chunk has no "time=", when fewer than 19 characters run from "time="
// to the chunk's end, or when fewer than 11 characters stand between "time=" and the next blank
// (a line cut short, or "time=N/A"), or when the time is negative. The chunk ends at its first
// NUL byte, if any.
std::optional<std::string> FindProgressTime(std::string_view chunk);

// The time of the last complete progress line in a whole output: how far the encoder got.
std::optional<std::string> FindLastProgressTime(std::string_view output);

// The milliseconds of a progress time "hh:mm:ss.xx", or nothing when it is not one.
std::optional<std::int64_t> ProgressTimeMilliseconds(std::string_view time);

}  // namespace vortane
