#include "encoder/command_lines.h"

#include <QLatin1StringView>
#include <initializer_list>
#include <limits>

namespace vortane {
namespace {

constexpr QLatin1StringView kRtmpMarker("rtmp:");
constexpr QLatin1StringView kUdpMarker("udp:");

// A text fits a buffer of `capacity` UTF-16 units when it leaves room for the terminator.
std::optional<QString> Fitting(QString text, int capacity) {
  if (text.size() + 1 > capacity) return std::nullopt;
  return text;
}

// Every name and path stands between double quotes in the command. A quote inside would end the
// quoted stretch early; backslashes right before the closing quote would escape it under the
// Windows splitting rules; a NUL would cut the argument. Such a text cannot be passed safely.
bool CanStandInQuotes(const QString& text) {
  return !text.contains(QLatin1Char('"')) && !text.endsWith(QLatin1Char('\\')) &&
         !text.contains(QChar(u'\0'));
}

bool AllCanStandInQuotes(std::initializer_list<const QString*> texts) {
  for (const QString* text : texts) {
    if (!CanStandInQuotes(*text)) return false;
  }
  return true;
}

QString Program() {
  return QString::fromLatin1(kEncoderProgram);
}

}  // namespace

bool IsLiveOutput(const QString& output) {
  return output.contains(kRtmpMarker) || output.contains(kUdpMarker);
}

std::optional<QString> BuildCaptureCommand(
    const QString& videoName, const QString& output, const QString& firstAudioDevice,
    const QString& secondAudioDevice, std::int32_t videoBitrateKbps, std::int32_t audioBitrateKbps,
    std::int32_t frameRate, std::int32_t outputWidth, std::int32_t outputHeight,
    std::int32_t fluencyMode, std::int32_t /*noiseReduction*/, const CaptureRegion& region) {
  const bool live = IsLiveOutput(output);
  const bool desktop = videoName.contains(QLatin1StringView(kDesktopSourceName));
  const bool twoSources = !firstAudioDevice.isEmpty() && !secondAudioDevice.isEmpty();

  if (!CanStandInQuotes(output)) return std::nullopt;
  if (!desktop && !CanStandInQuotes(videoName)) return std::nullopt;
  if (!firstAudioDevice.isEmpty() && !CanStandInQuotes(firstAudioDevice)) return std::nullopt;
  if (twoSources && !CanStandInQuotes(secondAudioDevice)) return std::nullopt;

  if (live) {
    if (desktop) {
      if (frameRate < 5 || frameRate > 25) frameRate = 20;
    } else if (frameRate < 5 || frameRate > 30) {
      frameRate = 25;
    }
    if (videoBitrateKbps <= 0) videoBitrateKbps = 1200;
    if (audioBitrateKbps <= 0) audioBitrateKbps = 96;
  }

  std::optional<QString> videoPiece;
  if (desktop) {
    std::optional<QString> regionPiece = QString();
    if (region.IsSet()) {
      // Computed in 64 bits: the size of an absurd rectangle must not wrap around.
      const qint64 width = qint64(region.right) - region.left;
      const qint64 height = qint64(region.bottom) - region.top;
      regionPiece = Fitting(QStringLiteral("-offset_x %1 -offset_y %2 -video_size %3x%4")
                                .arg(region.left)
                                .arg(region.top)
                                .arg(width)
                                .arg(height),
                            kRegionPieceCapacity);
    }
    if (!regionPiece) return std::nullopt;
    videoPiece = frameRate > 0
                     ? Fitting(QStringLiteral("-f gdigrab -thread_queue_size 32 -framerate %1 %2 "
                                              "-i desktop")
                                   .arg(frameRate)
                                   .arg(*regionPiece),
                               kVideoPieceCapacity)
                     : Fitting(QStringLiteral("-f gdigrab -thread_queue_size 32 %1 -i desktop")
                                   .arg(*regionPiece),
                               kVideoPieceCapacity);
  } else {
    videoPiece =
        frameRate > 0
            ? Fitting(QStringLiteral("-f dshow -thread_queue_size 32 -framerate %1 -i video=\"%2\"")
                          .arg(frameRate)
                          .arg(videoName),
                      kVideoPieceCapacity)
            : Fitting(
                  QStringLiteral("-f dshow -thread_queue_size 32 -i video=\"%1\"").arg(videoName),
                  kVideoPieceCapacity);
  }
  if (!videoPiece) return std::nullopt;

  std::optional<QString> audioPiece = QString();
  if (twoSources) {
    audioPiece = Fitting(QStringLiteral("-f dshow -thread_queue_size 32 -i audio=\"%1\" -f dshow "
                                        "-i audio=\"%2\" -filter_complex amix=inputs=2 -acodec aac")
                             .arg(firstAudioDevice, secondAudioDevice),
                         kAudioPieceCapacity);
  } else if (!firstAudioDevice.isEmpty()) {
    audioPiece =
        Fitting(QStringLiteral("-f dshow -thread_queue_size 32 -i audio=\"%1\" -acodec aac")
                    .arg(firstAudioDevice),
                kAudioPieceCapacity);
  }
  if (!audioPiece) return std::nullopt;

  QString x264;
  if (live && fluencyMode == 1) {
    x264 = QStringLiteral(
        "-tune:v zerolatency -x264opts keyint=50:min-keyint=25:threads=4 -preset superfast");
  } else if (live) {
    x264 = QStringLiteral("-x264opts keyint=80:min-keyint=40:threads=4 -preset veryfast");
  } else {
    x264 = QStringLiteral("-x264opts keyint=100:min-keyint=50:threads=4 -preset fast");
  }
  static_assert(sizeof("-tune:v zerolatency -x264opts keyint=50:min-keyint=25:threads=4 "
                       "-preset superfast") <= kX264PieceCapacity);

  // QString::arg() would read "%1" inside a device name as a place marker, so the pieces are
  // joined by concatenation.
  QString command = Program() + QStringLiteral(" -y -rtbufsize 100M ") + *videoPiece +
                    QLatin1Char(' ') + *audioPiece +
                    QStringLiteral(" -pix_fmt yuv420p -vcodec libx264 ") + x264 + QLatin1Char(' ');
  if (frameRate > 0) command += QStringLiteral(" -r %1 ").arg(frameRate);
  if (outputWidth > 0 && outputHeight > 0)
    command += QStringLiteral(" -s %1x%2 ").arg(outputWidth).arg(outputHeight);
  if (videoBitrateKbps > 0)
    command += QStringLiteral(" -maxrate %1k -bufsize 3000k ").arg(videoBitrateKbps);
  if (!firstAudioDevice.isEmpty() && audioBitrateKbps > 0)
    command += QStringLiteral(" -b:a %1k ").arg(audioBitrateKbps);
  if (!Fitting(command, kCaptureCommandCapacity)) return std::nullopt;

  QString outputPiece;
  // An rtmp address always carries FLV, whatever its host or key contain (".ts", "udp:").
  if (output.startsWith(kRtmpMarker)) {
    outputPiece = QStringLiteral("-copyinkf -f flv \"") + output + QLatin1Char('"');
  } else if (output.contains(kUdpMarker) || output.contains(QLatin1StringView(".ts"))) {
    outputPiece = QStringLiteral("-copyinkf -f mpegts \"") + output + QLatin1Char('"');
  } else if (output.contains(kRtmpMarker)) {
    outputPiece = QStringLiteral("-copyinkf -f flv \"") + output + QLatin1Char('"');
  } else {
    outputPiece = QStringLiteral("-copyinkf \"") + output + QLatin1Char('"');
  }
  if (!Fitting(outputPiece, kOutputPieceCapacity)) return std::nullopt;

  return Fitting(command + QLatin1Char(' ') + outputPiece, kCaptureCommandCapacity);
}

std::optional<QString> BuildTrimCommand(std::int32_t endSeconds, std::int32_t startSeconds,
                                        const QString& source, const QString& output) {
  if (!AllCanStandInQuotes({&source, &output})) return std::nullopt;
  const qint64 length = qint64(endSeconds) - startSeconds;
  if (length > std::numeric_limits<std::int32_t>::max() ||
      length < std::numeric_limits<std::int32_t>::min())
    return std::nullopt;
  return Fitting(
      Program() + QStringLiteral(" -y -ss %1 -t %2 -i \"").arg(startSeconds).arg(length) + source +
          QStringLiteral("\" -c:v copy -c:a copy \"") + output + QLatin1Char('"'),
      kTrimCommandCapacity);
}

std::optional<QString> BuildRemuxCommand(const QString& source, const QString& output) {
  if (!AllCanStandInQuotes({&source, &output})) return std::nullopt;
  return Fitting(Program() + QStringLiteral(" -y -i \"") + source +
                     QStringLiteral("\" -c:v copy -c:a copy \"") + output + QLatin1Char('"'),
                 kRemuxCommandCapacity);
}

}  // namespace vortane
