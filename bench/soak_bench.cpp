// A long lesson on the real toolbar: records the desktop (scaled to 1280 × 720, 25 fps) with the
// speaker and VirtualMic for a given time, then prints
//   - the toolbar's resident memory and open file descriptors early in the lesson, at its end and
//     after the final file is made (neither may grow with the lesson's length);
//   - the frames the encoder dropped or had to repeat (its own counters);
//   - whether the final file plays to its end (decoded completely, without errors).
//
//   scripts/with-desktop build/bench/soak_bench [SECONDS]     (default 1200, twenty minutes)
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>

#include "bench_toolbar.h"

namespace {

const QString kRecording = QString::fromUtf8("status: 正在录制 ");

struct Usage {
  long residentKb = -1;
  int descriptors = -1;
};

Usage UsageOf(qint64 pid) {
  Usage usage;
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (status.open(QIODevice::ReadOnly)) {
    for (const QByteArray& line : status.readAll().split('\n')) {
      if (line.startsWith("VmRSS:"))
        usage.residentKb = line.mid(6).trimmed().split(' ')[0].toLong();
    }
  }
  usage.descriptors =
      int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
              .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)
              .size());
  return usage;
}

void PrintUsage(const char* when, const Usage& usage) {
  std::printf("  %-34s %7ld kB resident, %3d descriptors\n", when, usage.residentKb,
              usage.descriptors);
}

// ffmpeg, keeping the name vortenc, with its console output also copied into `log`: the
// encoder's own frame counters ("dup=", "drop=") are read from there.
QString WriteLoggingEncoder(const QTemporaryDir& home, const QString& log) {
  const QString path = home.filePath(QStringLiteral("ffmpeg-logging"));
  QFile script(path);
  if (!script.open(QIODevice::WriteOnly)) return {};
  script.write(
      QStringLiteral("#!/bin/bash\nexec -a vortenc ffmpeg \"$@\" 2> >(exec tee -a '%1' >&2)\n")
          .arg(log)
          .toUtf8());
  script.close();
  script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  return path;
}

// The last value of `key` ("drop=") in ffmpeg's status lines; 0 when it never appears (ffmpeg
// shows the counters only once they are not 0).
long LastCounter(const QByteArray& log, const char* key) {
  const QRegularExpression pattern(QStringLiteral("%1\\s*(\\d+)").arg(QLatin1String(key)));
  long value = 0;
  auto matches = pattern.globalMatch(QString::fromUtf8(log));
  while (matches.hasNext())
    value = matches.next().captured(1).toLong();
  return value;
}

struct Playback {
  bool decoded = false;
  double decodedSeconds = 0;
  double durationSeconds = 0;
  QString errors;
};

// Decodes the whole file, as a player playing it to its end would.
Playback PlayToEnd(const QString& file) {
  Playback playback;
  QProcess probe;
  probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format=duration", "-of",
                                          "default=noprint_wrappers=1:nokey=1", file});
  probe.waitForFinished(60000);
  playback.durationSeconds = probe.readAllStandardOutput().trimmed().toDouble();
  QProcess decoder;
  decoder.start(QStringLiteral("ffmpeg"),
                {"-nostdin", "-v", "error", "-i", file, "-f", "null", "-progress", "pipe:1", "-"});
  decoder.waitForFinished(30 * 60 * 1000);
  playback.decoded = decoder.exitStatus() == QProcess::NormalExit && decoder.exitCode() == 0;
  playback.errors = QString::fromUtf8(decoder.readAllStandardError()).trimmed();
  const QRegularExpression time(QStringLiteral("out_time_us=(\\d+)"));
  auto matches = time.globalMatch(QString::fromUtf8(decoder.readAllStandardOutput()));
  while (matches.hasNext())
    playback.decodedSeconds = matches.next().captured(1).toDouble() / 1e6;
  return playback;
}

int Fail(const char* what) {
  std::fprintf(stderr, "soak_bench: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (!bench::InsideDesktop(argv[0], "[SECONDS]")) return 2;
  const int seconds = argc > 1 ? std::max(60, atoi(argv[1])) : 1200;
  QTemporaryDir home;
  const QString videos = home.filePath(QStringLiteral("videos"));
  const QString log = home.filePath(QStringLiteral("encoder.log"));
  const QString encoder = WriteLoggingEncoder(home, log);
  if (encoder.isEmpty() || !bench::WriteLessonSettings(home.path(), videos, 1280, 720))
    return Fail("cannot write the settings");

  bench::Toolbar toolbar(home.path(), {QStringLiteral("VORTENC_FFMPEG=") + encoder});
  if (!toolbar.WaitReady()) return 1;
  const Usage idle = UsageOf(toolbar.Pid());
  if (!bench::PressF8()) return Fail("no F8");
  auto past = [&](double at) {
    return toolbar.WaitFor(
        [&](const QString& text) {
          return text.startsWith(kRecording) &&
                 bench::EncoderSeconds(text.mid(kRecording.size())) >= at;
        },
        int(at * 1000) + 60000);
  };
  if (!past(30)) return Fail("no progress");
  const Usage early = UsageOf(toolbar.Pid());
  std::printf("recording %d s (1280x720, 25 fps, speaker + VirtualMic)\n", seconds);
  for (int minute = 60; minute < seconds; minute += 60) {
    if (!past(minute)) return Fail("the recording stopped");
    const Usage now = UsageOf(toolbar.Pid());
    std::printf("  %3d min: %7ld kB resident, %3d descriptors\n", minute / 60, now.residentKb,
                now.descriptors);
    std::fflush(stdout);
  }
  if (!past(seconds)) return Fail("the recording stopped");
  const Usage end = UsageOf(toolbar.Pid());
  if (!bench::PressF8()) return Fail("no F8");
  if (!toolbar.WaitFor(QStringLiteral("job remux code 3"), 600000)) return Fail("no final file");
  bench::WaitUntil([] { return false; }, 3000);  // the toolbar settles
  const Usage after = UsageOf(toolbar.Pid());

  QFile encoderLog(log);
  const QByteArray output = encoderLog.open(QIODevice::ReadOnly) ? encoderLog.readAll() : "";
  const QStringList finals = QDir(videos).entryList({QStringLiteral("*m.mp4")}, QDir::Files);
  if (finals.size() != 1) return Fail("no single final file");
  const Playback playback = PlayToEnd(videos + QLatin1Char('/') + finals.first());

  std::printf("\ntoolbar:\n");
  PrintUsage("started, idle", idle);
  PrintUsage("30 s into the lesson", early);
  PrintUsage("end of the lesson", end);
  PrintUsage("final file made, idle again", after);
  std::printf("  growth over the lesson: %+ld kB resident, %+d descriptors (must not grow)\n",
              end.residentKb - early.residentKb, end.descriptors - early.descriptors);
  // The encoder's status lines hold the capture's counters at their last value.
  const long frames = LastCounter(output, "frame=");
  std::printf("encoder: %ld frames, %ld dropped, %ld repeated (dup)\n", frames,
              LastCounter(output, "drop="), LastCounter(output, "dup="));
  std::printf("final file %s: %.1f s; decoded %.1f s (ratio %.3f), %s%s\n",
              qPrintable(finals.first()), playback.durationSeconds, playback.decodedSeconds,
              playback.durationSeconds > 0 ? playback.decodedSeconds / playback.durationSeconds : 0,
              playback.decoded && playback.errors.isEmpty() ? "plays to its end"
                                                            : "does NOT play to its end: ",
              qPrintable(playback.errors.left(300)));
  return 0;
}
