#pragma once

// Shared by the benchmarks that drive the real toolbar inside scripts/with-desktop: the program
// with a home of its own and its trace, F8 on the real keyboard, and what /proc tells about a
// process.
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QThread>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "settings/capture_settings.h"

namespace bench {

inline QString ProgramDir() {
  const QString fromEnvironment = qEnvironmentVariable("VORTANE_PROGRAM_DIR");
  if (!fromEnvironment.isEmpty()) return fromEnvironment;
  return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin")).absolutePath();
}

// The benchmarks run inside scripts/with-desktop; elsewhere they say how to run them.
inline bool InsideDesktop(const char* program, const char* arguments) {
  if (!qEnvironmentVariable("DISPLAY").isEmpty()) return true;
  std::fprintf(stderr, "usage: scripts/with-desktop %s %s\n", program, arguments);
  return false;
}

// The benchmark's own clock, in milliseconds.
inline qint64 Now() {
  static QElapsedTimer clock = [] {
    QElapsedTimer timer;
    timer.start();
    return timer;
  }();
  return clock.elapsed();
}

inline bool WaitUntil(const std::function<bool()>& done, int ms) {
  const qint64 until = Now() + ms;
  while (!done()) {
    if (Now() > until) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(5);
  }
  return true;
}

inline bool RunQuietly(const QString& program, const QStringList& arguments,
                       int timeoutMs = 20000) {
  QProcess process;
  process.start(program, arguments);
  return process.waitForFinished(timeoutMs) && process.exitCode() == 0;
}

inline bool PressF8() {
  return RunQuietly(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("F8")});
}

// /proc/<pid>/stat fields after "pid (comm) ": [0] state, [1] ppid, ... [11] utime, [12] stime.
inline QList<QByteArray> StatFields(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return {};
  const QByteArray text = stat.readAll();
  return text.mid(text.lastIndexOf(')') + 2).split(' ');
}

// CPU seconds (user + system) a process has used so far; -1 when it is gone.
inline double CpuSeconds(qint64 pid) {
  const QList<QByteArray> fields = StatFields(pid);
  if (fields.size() < 13) return -1;
  return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// Gone, or a zombie nobody has collected yet.
inline bool Ended(qint64 pid) {
  const QList<QByteArray> fields = StatFields(pid);
  return fields.isEmpty() || fields[0] == "Z";
}

// The toolbar's encoder: its child started as "vortenc" (0 when there is none).
inline qint64 EncoderOf(qint64 parent) {
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool number = false;
    const qint64 pid = entry.toLongLong(&number);
    if (!number) continue;
    const QList<QByteArray> fields = StatFields(pid);
    if (fields.size() < 2 || fields[1].toLongLong() != parent || fields[0] == "Z") continue;
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!commandLine.open(QIODevice::ReadOnly)) continue;
    const QByteArray argv0 = commandLine.readAll().split('\0').value(0);
    if (QFileInfo(QString::fromLocal8Bit(argv0)).fileName() == QLatin1String("vortenc")) return pid;
  }
  return 0;
}

// The toolbar settings a teacher would pick: the desktop at 25 fps (scaled to `width` × `height`
// unless 0), the speaker and VirtualMic, MP4, into `videos`. Written as config.cfg under `home`.
inline bool WriteLessonSettings(const QString& home, const QString& videos, int width, int height) {
  vortane::CaptureSettings settings;
  settings.frameRate = 25;
  settings.outputWidth = width;
  settings.outputHeight = height;
  settings.soundSource = 2;
  settings.saveFormat = 0;
  const bool written =
      QDir().mkpath(videos) && QDir().mkpath(home + QStringLiteral("/vortn")) &&
      settings.SetSaveFolder(videos) && settings.SetAudioDevice(QStringLiteral("VirtualMic")) &&
      vortane::SaveCaptureSettingsTo(settings, home + QStringLiteral("/vortn/config.cfg"));
  if (!written) std::fprintf(stderr, "cannot write config.cfg\n");
  return written;
}

// The real program with XDG_CONFIG_HOME = `home` and its trace on.
class Toolbar {
 public:
  struct Line {
    qint64 readAt;     // the benchmark's clock when the line was read
    double toolbarAt;  // the toolbar's own clock, seconds
    QString text;
  };

  explicit Toolbar(const QString& home, const QStringList& extraEnvironment = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    env.insert(QStringLiteral("VORTANE_TRACE"), QStringLiteral("1"));
    for (const QString& entry : extraEnvironment) {
      const qsizetype eq = entry.indexOf(QLatin1Char('='));
      env.insert(entry.left(eq), entry.mid(eq + 1));
    }
    process_.setProcessEnvironment(env);
    process_.start(ProgramDir() + QStringLiteral("/vortane"), {});
  }
  ~Toolbar() {
    process_.terminate();
    if (!process_.waitForFinished(20000)) process_.kill();
  }
  qint64 Pid() const { return process_.processId(); }
  // The start-up check has passed and the toolbar is in place.
  bool WaitReady() {
    if (WaitFor(QStringLiteral("ready at"), 20000)) return true;
    std::fprintf(stderr, "the toolbar did not become ready\n");
    return false;
  }

  // The first line read from now on that `matches`; nothing after `ms`.
  std::optional<Line> WaitFor(const std::function<bool(const QString&)>& matches, int ms) {
    std::optional<Line> found;
    WaitUntil(
        [&] {
          for (; next_ < Lines().size(); ++next_) {
            if (matches(lines_[next_].text)) {
              found = lines_[next_++];
              return true;
            }
          }
          return false;
        },
        ms);
    return found;
  }
  std::optional<Line> WaitFor(const QString& prefix, int ms) {
    return WaitFor([&](const QString& text) { return text.startsWith(prefix); }, ms);
  }

  // Every line so far ("[vortane   12.345] text").
  const std::vector<Line>& Lines() {
    process_.waitForReadyRead(0);
    buffer_ += process_.readAllStandardError();
    qsizetype end;
    while ((end = buffer_.indexOf('\n')) >= 0) {
      const QString line = QString::fromUtf8(buffer_.left(end));
      buffer_.remove(0, end + 1);
      const qsizetype text = line.indexOf(QLatin1String("] "));
      if (!line.startsWith(QLatin1String("[vortane")) || text < 0) continue;
      lines_.push_back({Now(), line.mid(8, text - 8).trimmed().toDouble(), line.mid(text + 2)});
    }
    return lines_;
  }

 private:
  QProcess process_;
  QByteArray buffer_;
  std::vector<Line> lines_;
  size_t next_ = 0;
};

// "hh:mm:ss.xx" → seconds; -1 when it is not one.
inline double EncoderSeconds(const QString& time) {
  const QStringList parts = time.split(QLatin1Char(':'));
  if (parts.size() != 3) return -1;
  return parts[0].toDouble() * 3600 + parts[1].toDouble() * 60 + parts[2].toDouble();
}

}  // namespace bench
