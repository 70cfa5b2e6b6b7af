#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "encoder/capture_region.h"

// The command lines handed to the encoder. They are plain texts; the runner splits them into
// arguments by the Windows rules (quotes group, backslash rules), so every path, device name and
// address stands between double quotes.
namespace vortane {

// The encoder is started by its bare name; the program folder is first on PATH.
inline constexpr char kEncoderProgram[] = "vortenc";

// Capacities in UTF-16 code units including the terminator. A command or a piece of it that
// would not fit is not built.
inline constexpr int kCaptureCommandCapacity = 2560;
inline constexpr int kVideoPieceCapacity = 256;
inline constexpr int kRegionPieceCapacity = 256;
inline constexpr int kAudioPieceCapacity = 256;
inline constexpr int kX264PieceCapacity = 128;
inline constexpr int kOutputPieceCapacity = 1024;
inline constexpr int kTrimCommandCapacity = 512;
inline constexpr int kRemuxCommandCapacity = 2560;

// The video name that stands for the desktop, and the speaker sound source.
inline constexpr char kDesktopSourceName[] = "screen-capture-recorder";
inline constexpr char kSpeakerSourceName[] = "virtual-audio-capturer";

// Builds the capture (recording or live push) command. An empty audio device means none.
// Returns nothing when a piece would exceed its capacity or when a device name, the output or
// the encoder name holds a double quote, which no quoting could carry through safely.
std::optional<QString> BuildCaptureCommand(
    const QString& videoName, const QString& output, const QString& firstAudioDevice,
    const QString& secondAudioDevice, std::int32_t videoBitrateKbps, std::int32_t audioBitrateKbps,
    std::int32_t frameRate, std::int32_t outputWidth, std::int32_t outputHeight,
    std::int32_t fluencyMode, std::int32_t noiseReduction, const CaptureRegion& region);

// Cuts [startSeconds, endSeconds) out of `source` by stream copy into `output`.
std::optional<QString> BuildTrimCommand(std::int32_t endSeconds, std::int32_t startSeconds,
                                        const QString& source, const QString& output);

// Copies a finished temporary recording into its final container (chosen by the file name).
std::optional<QString> BuildRemuxCommand(const QString& source, const QString& output);

// True when the output is a live address ("rtmp:" or "udp:" anywhere in it).
bool IsLiveOutput(const QString& output);

}  // namespace vortane
