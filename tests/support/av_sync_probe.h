#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// Where the picture changes and where the beeps start in a recorded file (see flash_and_beep.h),
// both on the file's own timeline as a player would show them, measured by ffmpeg. Both are read
// with -copyts: without it ffmpeg counts the picture from the first frame and the sound from the
// first sound, and a sound that starts later than the picture would seem that much early.
namespace vortane::test {

struct SyncReport {
  std::vector<double> offsets;  // beep − picture change, seconds, one per change with a beep
  int pictureChanges = 0;       // dark↔bright changes of the picture
  int beeps = 0;
  double longestStill = 0;         // longest time the picture stood still, from the first frame on
  double longestStillAt = 0;       // when that began, seconds after the first frame
  double longestStillAtStart = 0;  // the same for stills that began in the first two seconds
  double framesPerSecond = 0;
  double lastBeep = NAN;  // when the last beep began, seconds on the file's clock
  double pictureEnd = 0;  // where the last frame ends
  double soundEnd = 0;    // where the sound ends
  double Median() const {
    if (offsets.empty()) return NAN;
    std::vector<double> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    const size_t middle = sorted.size() / 2;
    return sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
  }
  QString Text() const {
    QString text =
        QStringLiteral("changes %1, beeps %2, offsets ms").arg(pictureChanges).arg(beeps);
    for (double offset : offsets)
      text += QLatin1Char(' ') + QString::number(std::lround(offset * 1000));
    return text + QStringLiteral(
                      ", longest still %1 ms at %3 s, %2 frames/s, last beep at %4 s, "
                      "picture ends %5 s, sound %6 s")
                      .arg(std::lround(longestStill * 1000))
                      .arg(framesPerSecond, 0, 'f', 1)
                      .arg(longestStillAt, 0, 'f', 2)
                      .arg(lastBeep, 0, 'f', 2)
                      .arg(pictureEnd, 0, 'f', 2)
                      .arg(soundEnd, 0, 'f', 2);
  }
};

namespace sync_detail {

inline QByteArray RunFfmpeg(const QStringList& arguments, bool standardOutput) {
  QProcess ffmpeg;
  ffmpeg.start(QStringLiteral("ffmpeg"), QStringList{"-hide_banner", "-nostdin"} + arguments);
  if (!ffmpeg.waitForFinished(120000)) return {};
  return standardOutput ? ffmpeg.readAllStandardOutput() : ffmpeg.readAllStandardError();
}

struct Frame {
  double time = 0;
  int luma = 0;
  QString checksum;
};

inline std::vector<Frame> Frames(const QString& file) {
  const QString log = QString::fromUtf8(
      RunFfmpeg({"-copyts", "-i", file, "-an", "-vf", "showinfo", "-f", "null", "-"}, false));
  static const QRegularExpression line(
      QStringLiteral("pts_time:\\s*(-?[0-9.]+).*checksum:([0-9A-F]+).*mean:\\[(\\d+)"));
  std::vector<Frame> frames;
  for (const QString& text : log.split(QLatin1Char('\n'))) {
    const QRegularExpressionMatch m = line.match(text);
    if (m.hasMatch())
      frames.push_back({m.captured(1).toDouble(), m.captured(3).toInt(), m.captured(2)});
  }
  return frames;
}

// Beep starts: the sound through a 2 kHz band filter, placed by its time stamps (gaps filled),
// rising above a tenth of full scale after at least 0.2 s below it. `end`: where the sound ends.
inline std::vector<double> BeepStarts(const QString& file, double* end = nullptr) {
  constexpr int kRate = 48000;
  const QByteArray pcm = RunFfmpeg(
      {"-copyts", "-i", file, "-vn", "-af",
       "aresample=async=1:min_hard_comp=0.001:first_pts=0,bandpass=f=2000:width_type=h:w=400,"
       "bandpass=f=2000:width_type=h:w=400",
       "-ac", "1", "-ar", QString::number(kRate), "-f", "s16le", "-"},
      true);
  const auto* samples = reinterpret_cast<const std::int16_t*>(pcm.constData());
  const size_t count = size_t(pcm.size()) / 2;
  if (end) *end = double(count) / kRate;
  std::vector<double> starts;
  size_t quietSince = 0;
  for (size_t i = 0; i < count; ++i) {
    if (std::abs(int(samples[i])) < 3277) continue;
    if (i - quietSince >= size_t(kRate / 5)) starts.push_back(double(i) / kRate);
    quietSince = i;
  }
  return starts;
}

}  // namespace sync_detail

// `joinedSeconds`: a viewer's copy begins where the viewer joined the stream, with a gap of its
// own; stills that begin in those first seconds are not the lesson's.
inline SyncReport MeasureSync(const QString& file, double joinedSeconds = 0) {
  SyncReport report;
  const std::vector<sync_detail::Frame> frames = sync_detail::Frames(file);
  const std::vector<double> beeps = sync_detail::BeepStarts(file, &report.soundEnd);
  report.beeps = int(beeps.size());
  if (!beeps.empty()) report.lastBeep = beeps.back();
  if (frames.size() < 2) return report;
  report.framesPerSecond = (frames.size() - 1) / (frames.back().time - frames.front().time);
  report.pictureEnd = frames.back().time + 0.040;  // the last frame shows for one 25 fps frame
  double stillSince = frames.front().time;
  for (size_t i = 1; i < frames.size(); ++i) {
    if (frames[i].checksum != frames[i - 1].checksum) {
      const double began = stillSince - frames.front().time;
      const double still = frames[i].time - stillSince;
      if (began >= joinedSeconds && began < 2.0)
        report.longestStillAtStart = std::max(report.longestStillAtStart, still);
      if (began >= joinedSeconds && still > report.longestStill) {
        report.longestStill = still;
        report.longestStillAt = began;
      }
      stillSince = frames[i].time;
    }
    if ((frames[i].luma >= 128) == (frames[i - 1].luma >= 128)) continue;
    ++report.pictureChanges;
    double nearest = NAN;
    for (double beep : beeps)
      if (std::isnan(nearest) || std::abs(beep - frames[i].time) < std::abs(nearest))
        nearest = beep - frames[i].time;
    if (!std::isnan(nearest) && std::abs(nearest) < 0.5) report.offsets.push_back(nearest);
  }
  return report;
}

}  // namespace vortane::test
