#pragma once

#include <QString>
#include <optional>
#include <string>

#include "encoder/capture_region.h"

// The values the "screen-capture-recorder" desktop source reads to know which part of the
// screen to capture. On Windows they were registry values under
// HKEY_CURRENT_USER\Software\screen-capture-recorder; here they live in
// "screen-capture-recorder.ini" in the user data folder, one "name=value" line each under the
// section [screen-capture-recorder], in the order the Windows build wrote them:
//   use_regin, start_x, start_y, capture_height, capture_width
namespace vortane {

struct ScreenCaptureRecorderValues {
  int useRegion = 0;  // "use_regin" (sic: the filter's own spelling)
  int startX = 0;
  int startY = 0;
  int captureHeight = 0;
  int captureWidth = 0;
  friend bool operator==(const ScreenCaptureRecorderValues&,
                         const ScreenCaptureRecorderValues&) = default;
};

inline constexpr char kScreenCaptureRecorderSection[] = "screen-capture-recorder";
inline constexpr char kScreenCaptureRecorderFileName[] = "screen-capture-recorder.ini";

// A chosen region: its offset, and its size rounded down to even (the encoder needs even sizes).
ScreenCaptureRecorderValues RegionChosenValues(const CaptureRegion& region);
// No region: the whole screen, whose size is rounded down to even.
ScreenCaptureRecorderValues ResetValues(int fullScreenWidth, int fullScreenHeight);

// The file's text with `values` written in: the five lines replace any earlier ones, other
// lines of `previous` (values written by someone else) are kept after them.
std::string FormatScreenCaptureRecorderIni(const ScreenCaptureRecorderValues& values,
                                           const std::string& previous);
// Reads the five values back; nullopt when one of them is missing or not a number.
std::optional<ScreenCaptureRecorderValues> ParseScreenCaptureRecorderIni(const std::string& text);

// The file in the user data folder.
QString ScreenCaptureRecorderIniPath();

// Writes the values, replacing the file atomically. False when the file could not be written; the
// region windows go on regardless (the recording itself takes its region from the command line).
bool WriteScreenCaptureRecorderValues(const ScreenCaptureRecorderValues& values,
                                      const QString& path = ScreenCaptureRecorderIniPath());
std::optional<ScreenCaptureRecorderValues> ReadScreenCaptureRecorderValues(
    const QString& path = ScreenCaptureRecorderIniPath());

}  // namespace vortane
