// The toolbar's own costs, measured on the real program inside a private desktop:
//   - from F8 to the first progress in the status line, and from the stop to the final file;
//   - the toolbar process's CPU while it records (target: at most 1 % of one core), beside the
//     encoder's CPU under the toolbar and the same ffmpeg command run directly.
//
//   scripts/with-desktop build/bench/toolbar_bench [SECONDS]     (default 60)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_toolbar.h"

namespace {

using bench::CpuSeconds;
using bench::EncoderOf;
using bench::PressF8;
using bench::WaitUntil;

QStringList Arguments(qint64 pid) {
  QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
  if (!commandLine.open(QIODevice::ReadOnly)) return {};
  QStringList arguments;
  for (const QByteArray& part : commandLine.readAll().split('\0'))
    arguments << QString::fromLocal8Bit(part);
  if (!arguments.isEmpty() && arguments.last().isEmpty()) arguments.removeLast();
  return arguments;
}

// The toolbar, waited on by the start of its trace lines.
class Toolbar : public bench::Toolbar {
 public:
  using bench::Toolbar::Toolbar;
  bool WaitFor(const QString& prefix, int ms) {
    return bench::Toolbar::WaitFor(prefix, ms).has_value();
  }
};

QStringList FinalFiles(const QString& folder) {
  return QDir(folder).entryList({QStringLiteral("*m.mp4")}, QDir::Files);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int Fail(const char* what) {
  std::fprintf(stderr, "toolbar_bench: %s\n", what);
  return 1;
}

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (!bench::InsideDesktop(argv[0], "[SECONDS]")) return 2;
  const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 60;
  QTemporaryDir home;
  const QString videos = home.filePath(QStringLiteral("videos"));
  // The settings a teacher would pick in the settings dialog: the desktop at 25 fps scaled to
  // 1280 × 720, the speaker and VirtualMic, MP4.
  if (!bench::WriteLessonSettings(home.path(), videos, 1280, 720)) return 1;

  Toolbar toolbar(home.path());
  if (!toolbar.WaitReady()) return 1;

  // Start and stop latencies, three lessons of five seconds.
  std::vector<double> toProgress, toFile;
  for (int round = 0; round < 3; ++round) {
    QElapsedTimer clock;
    clock.start();
    PressF8();
    if (!toolbar.WaitFor(QStringLiteral("status: 正在录制 0"), 30000)) return Fail("no progress");
    toProgress.push_back(clock.elapsed());
    QThread::sleep(5);
    clock.restart();
    PressF8();
    // The final file is whole when its remux has ended (F8 is ignored until then).
    if (!toolbar.WaitFor(QStringLiteral("job remux code 3"), 30000)) return Fail("not finished");
    toFile.push_back(clock.elapsed());
    if (FinalFiles(videos).isEmpty()) return Fail("no file");
    for (const QString& file : QDir(videos).entryList(QDir::Files))
      QFile::remove(videos + '/' + file);
  }
  std::printf("F8 to the first progress:      %6.0f ms (median of 3)\n", Median(toProgress));
  std::printf(
      "stop to the final file:        %6.0f ms (median of 3; includes the 1 s stop delay;\n"
      "                               bench/stop_to_file_bench breaks it down)\n",
      Median(toFile));

  // CPU while recording.
  PressF8();
  if (!toolbar.WaitFor(QStringLiteral("status: 正在录制 0"), 30000)) return Fail("no progress");
  const qint64 encoder = EncoderOf(toolbar.Pid());
  const QStringList encoderArguments = Arguments(encoder);
  const double toolbarBefore = CpuSeconds(toolbar.Pid());
  const double encoderBefore = CpuSeconds(encoder);
  QElapsedTimer wall;
  wall.start();
  QThread::sleep(static_cast<unsigned long>(seconds));
  const double elapsed = wall.elapsed() / 1000.0;
  const double toolbarCpu = (CpuSeconds(toolbar.Pid()) - toolbarBefore) / elapsed;
  const double encoderCpu = (CpuSeconds(encoder) - encoderBefore) / elapsed;
  PressF8();
  WaitUntil([&] { return !FinalFiles(videos).isEmpty(); }, 60000);
  toolbar.WaitFor(QStringLiteral("job remux code 3"), 10000);

  // The same ffmpeg command, run directly for as long (its output in a file of its own).
  double directCpu = -1;
  if (encoderArguments.size() > 2) {
    QStringList arguments = encoderArguments.mid(1);
    arguments.last() = home.filePath(QStringLiteral("direct.ts"));
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.setStandardOutputFile(QProcess::nullDevice());
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
    if (ffmpeg.waitForStarted(5000)) {
      QThread::sleep(2);  // the same start: measured once the encoder runs
      const double before = CpuSeconds(ffmpeg.processId());
      wall.restart();
      QThread::sleep(static_cast<unsigned long>(seconds));
      directCpu = (CpuSeconds(ffmpeg.processId()) - before) / (wall.elapsed() / 1000.0);
      ffmpeg.write("q");
      if (!ffmpeg.waitForFinished(10000)) ffmpeg.kill();
    }
  }

  std::printf(
      "toolbar CPU while recording:   %6.2f %% of one core over %d s (target 1 %%; ratio %.2f)\n",
      toolbarCpu * 100, seconds, toolbarCpu * 100 / 1.0);
  std::printf("encoder CPU under the toolbar: %6.1f %% of one core\n", encoderCpu * 100);
  std::printf("same ffmpeg command directly:  %6.1f %% of one core (ratio %.2f)\n", directCpu * 100,
              directCpu > 0 ? encoderCpu / directCpu : 0.0);
  return 0;
}
