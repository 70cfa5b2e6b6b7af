// The toolbar's own costs, measured on the real program inside a private desktop:
//   - from F8 to the first progress in the status line, and from the stop to the final file;
//   - the toolbar process's CPU while it records (target: at most 1 % of one core), beside the
//     encoder's CPU under the toolbar and the same ffmpeg command run directly.
//
//   scripts/with-desktop build/bench/toolbar_bench [SECONDS]     (default 60)
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "settings/capture_settings.h"

namespace {

QString ProgramDir() {
  const QString fromEnvironment = qEnvironmentVariable("VORTANE_PROGRAM_DIR");
  if (!fromEnvironment.isEmpty()) return fromEnvironment;
  return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin")).absolutePath();
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(10);
  }
  return true;
}

bool RunQuietly(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  return process.waitForFinished(20000) && process.exitCode() == 0;
}

// CPU seconds (user + system) a process has used so far; -1 when it is gone.
double CpuSeconds(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return -1;
  const QByteArray text = stat.readAll();
  const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
  // After "pid (comm) ": state is field 3, utime 14, stime 15.
  if (fields.size() < 13) return -1;
  return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// The encoder the toolbar runs: its child started as "vortenc".
qint64 EncoderOf(qint64 parent) {
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool number = false;
    const qint64 pid = entry.toLongLong(&number);
    if (!number) continue;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!stat.open(QIODevice::ReadOnly) || !commandLine.open(QIODevice::ReadOnly)) continue;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const QByteArray argv0 = commandLine.readAll().split('\0').value(0);
    if (fields.size() > 1 && fields[1].toLongLong() == parent &&
        QFileInfo(QString::fromLocal8Bit(argv0)).fileName() == QLatin1String("vortenc"))
      return pid;
  }
  return 0;
}

QStringList Arguments(qint64 pid) {
  QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
  if (!commandLine.open(QIODevice::ReadOnly)) return {};
  QStringList arguments;
  for (const QByteArray& part : commandLine.readAll().split('\0'))
    arguments << QString::fromLocal8Bit(part);
  if (!arguments.isEmpty() && arguments.last().isEmpty()) arguments.removeLast();
  return arguments;
}

class Toolbar {
 public:
  explicit Toolbar(const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    env.insert(QStringLiteral("VORTANE_TRACE"), QStringLiteral("1"));
    process_.setProcessEnvironment(env);
    process_.start(ProgramDir() + QStringLiteral("/vortane"), {});
  }
  ~Toolbar() {
    process_.terminate();
    if (!process_.waitForFinished(20000)) process_.kill();
  }
  qint64 Pid() const { return process_.processId(); }
  // Waits for a trace line starting with `prefix` that comes after everything read so far.
  bool WaitFor(const QString& prefix, int ms) {
    return WaitUntil(
        [&] {
          process_.waitForReadyRead(0);
          buffer_ += process_.readAllStandardError();
          qsizetype end;
          while ((end = buffer_.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(buffer_.left(end));
            buffer_.remove(0, end + 1);
            const qsizetype text = line.indexOf(QLatin1String("] "));
            if (text >= 0 && line.mid(text + 2).startsWith(prefix)) return true;
          }
          return false;
        },
        ms);
  }

 private:
  QProcess process_;
  QByteArray buffer_;
};

bool PressF8() {
  return RunQuietly(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("F8")});
}

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
  if (qEnvironmentVariable("DISPLAY").isEmpty()) {
    std::fprintf(stderr, "usage: scripts/with-desktop %s [SECONDS]\n", argv[0]);
    return 2;
  }
  const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 60;
  QTemporaryDir home;
  const QString videos = home.filePath(QStringLiteral("videos"));
  // The settings a teacher would pick in the settings dialog: the desktop at 25 fps scaled to
  // 1280 × 720, the speaker and VirtualMic, MP4.
  vortane::CaptureSettings settings;
  settings.frameRate = 25;
  settings.outputWidth = 1280;
  settings.outputHeight = 720;
  settings.soundSource = 2;
  settings.saveFormat = 0;
  if (!QDir().mkpath(videos) || !QDir().mkpath(home.filePath(QStringLiteral("vortn"))) ||
      !settings.SetSaveFolder(videos) || !settings.SetAudioDevice(QStringLiteral("VirtualMic")) ||
      !vortane::SaveCaptureSettingsTo(settings,
                                      home.path() + QStringLiteral("/vortn/config.cfg"))) {
    std::fprintf(stderr, "cannot write config.cfg\n");
    return 1;
  }

  Toolbar toolbar(home.path());
  if (!toolbar.WaitFor(QStringLiteral("ready at"), 20000)) {
    std::fprintf(stderr, "the toolbar did not become ready\n");
    return 1;
  }

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
    if (!WaitUntil([&] { return !FinalFiles(videos).isEmpty(); }, 30000)) return Fail("no file");
    toFile.push_back(clock.elapsed());
    // F8 is ignored until the remux has finished.
    if (!toolbar.WaitFor(QStringLiteral("job remux code 3"), 10000)) return Fail("not finished");
    for (const QString& file : QDir(videos).entryList(QDir::Files))
      QFile::remove(videos + '/' + file);
  }
  std::printf("F8 to the first progress:      %6.0f ms (median of 3)\n", Median(toProgress));
  std::printf(
      "stop to the final file:        %6.0f ms (median of 3; includes the 1 s stop delay)\n",
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
