#pragma once

// Plain ffmpeg fed by the Wayland screen reader vortenc uses (vortenc-screen, started by vortenc's
// own StartScreenReader): the benches compare it with the program's command through vortenc, so
// the reader's cost and vortenc's own can be told apart. Also the reader processes a bench has
// left behind, collected with what they cost.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QThread>

#include "vortenc/screen_reader_process.h"

namespace bench {

class ScreenReaderFeed {
 public:
  // Starts the reader on the whole monitor at 25 fps, its portal token kept in `folder`.
  ScreenReaderFeed(const QString& programDir, const QString& folder) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    reader_ = vortenc::StartScreenReader(
        (programDir + QStringLiteral("/vortenc-screen")).toStdString(),
        now.tv_sec * 1'000'000LL + now.tv_nsec / 1000, "25", {0, 0, 0, 0},
        (folder + QStringLiteral("/screencast-token")).toStdString());
    // ffmpeg opens the pipe by its name; no other child may hold it, or the reader never ends.
    if (reader_.ok()) fcntl(reader_.fd, F_SETFD, FD_CLOEXEC);
  }
  ~ScreenReaderFeed() { Close(); }
  ScreenReaderFeed(const ScreenReaderFeed&) = delete;
  ScreenReaderFeed& operator=(const ScreenReaderFeed&) = delete;

  bool ok() const { return reader_.ok(); }
  QString Error() const { return QString::fromStdString(reader_.error); }

  // ffmpeg's input: the reader's raw frames at 25 fps, as vortenc hands them over.
  QStringList InputArguments() const {
    return {"-f",
            "rawvideo",
            "-pixel_format",
            QString::fromStdString(reader_.pixelFormat),
            "-video_size",
            QStringLiteral("%1x%2").arg(reader_.width).arg(reader_.height),
            "-framerate",
            "25",
            "-i",
            QStringLiteral("file:/proc/%1/fd/%2").arg(getpid()).arg(reader_.fd)};
  }

  // Once ffmpeg has opened the pipe or ended: the reader ends when ffmpeg stops reading.
  void Close() {
    if (reader_.fd >= 0) close(reader_.fd);
    reader_.fd = -1;
  }

 private:
  vortenc::ScreenReader reader_;
};

// This process adopts the processes its children leave behind (vortenc's screen and sound
// readers outlive the ffmpeg vortenc became by a moment), so that CollectChildren can wait for
// them and count what they cost.
inline bool AdoptOrphans() {
  return prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
}

// Waits up to `ms` for every child of this process named `name` (as /proc shows it) to end, and
// returns the CPU seconds (user + system) they used; their cost is then part of RUSAGE_CHILDREN.
inline double CollectChildren(const QString& name, int ms = 10000) {
  double cpu = 0;
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    int left = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
      bool number = false;
      const pid_t pid = pid_t(entry.toLongLong(&number));
      QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
      if (!number || !stat.open(QIODevice::ReadOnly)) continue;
      const QByteArray text = stat.readAll();
      const qsizetype open = text.indexOf('(');
      const qsizetype shut = text.lastIndexOf(')');
      const QList<QByteArray> fields = text.mid(shut + 2).split(' ');
      if (open < 0 || fields.size() < 2 || fields[1].toLongLong() != getpid() ||
          text.mid(open + 1, shut - open - 1) != name.toLatin1())
        continue;
      int status = 0;
      rusage usage{};
      if (wait4(pid, &status, WNOHANG, &usage) == pid) {
        cpu += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
      } else {
        ++left;
      }
    }
    if (left == 0 || waited.elapsed() > ms) return cpu;
    QThread::msleep(20);
  }
}

}  // namespace bench
