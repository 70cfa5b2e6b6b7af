// A 1080p25 desktop recording with speaker and microphone, 20 s, run (a) through the program's
// job runner and the vortenc adapter and (b) as the same ffmpeg command run directly. Prints the
// CPU time per recorded second of (a) over (b), the time from the stop request to the job's end,
// and the recorded duration over the wall time of the recording. Run inside the private desktop:
//   scripts/with-desktop build/bench/encoder_bench [seconds]
// Targets: CPU ratio <= 1.02; recorded/wall >= 0.99.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "encoder/command_lines.h"
#include "encoder/encoder_job.h"
#include "platform/process.h"

namespace {

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
double AllCpuSeconds() {
  return CpuSeconds(RUSAGE_SELF) + CpuSeconds(RUSAGE_CHILDREN);
}

double VideoSeconds(const QString& file) {
  QProcess probe;
  probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                          "stream=duration", "-of", "default=noprint_wrappers=1:nokey=1", file});
  probe.waitForFinished(20000);
  // One line per program and stream; they agree.
  return probe.readAllStandardOutput().trimmed().split('\n').first().toDouble();
}

struct Outcome {
  double cpu = 0;
  double stopSeconds = 0;
  double wallSeconds = 0;
  double recordedSeconds = 0;
};

// Waits in the event loop, as the program's idle UI thread does.
void Pump(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

Outcome ThroughTheRunner(const QString& file, int seconds) {
  using namespace vortane;
  bool ended = false;
  std::shared_ptr<ProcessJob> job =
      MakeEncoderJob(*BuildCaptureCommand(kDesktopSourceName, file, kSpeakerSourceName,
                                          "VirtualMic", 0, 0, 25, 0, 0, 0, 0, CaptureRegion{}));
  QObject::connect(job.get(), &Job::finished, QCoreApplication::instance(),
                   [&](const JobOutcome&) { ended = true; });
  Outcome outcome;
  double cpuBefore = AllCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  job->Start();
  Pump(seconds * 1000);
  outcome.wallSeconds = wall.elapsed() / 1000.0;
  QElapsedTimer stop;
  stop.start();
  job->RequestStop();
  while (!ended && stop.elapsed() < 20000)
    Pump(10);
  outcome.stopSeconds = stop.elapsed() / 1000.0;
  outcome.cpu = AllCpuSeconds() - cpuBefore;
  outcome.recordedSeconds = VideoSeconds(file);
  return outcome;
}

Outcome Directly(const QString& file, int seconds) {
  const QString display = qEnvironmentVariable("DISPLAY");
  std::vector<std::string> arguments = {"ffmpeg",
                                        "-y",
                                        "-rtbufsize",
                                        "100M",
                                        "-f",
                                        "x11grab",
                                        "-thread_queue_size",
                                        "32",
                                        "-framerate",
                                        "25",
                                        "-i",
                                        display.toStdString(),
                                        "-f",
                                        "pulse",
                                        "-frame_size",
                                        "19200",
                                        "-thread_queue_size",
                                        "32",
                                        "-i",
                                        "speaker.monitor",
                                        "-f",
                                        "pulse",
                                        "-frame_size",
                                        "19200",
                                        "-i",
                                        "virtual_mic",
                                        "-map",
                                        "0:v",
                                        "-map",
                                        "[mixed]",
                                        "-filter_complex",
                                        "[1:a][2:a]amix=inputs=2[mixed]",
                                        "-acodec",
                                        "aac",
                                        "-pix_fmt",
                                        "yuv420p",
                                        "-vcodec",
                                        "libx264",
                                        "-x264opts",
                                        "keyint=100:min-keyint=50:threads=4",
                                        "-preset",
                                        "fast",
                                        "-r",
                                        "25",
                                        "-copyinkf",
                                        "-f",
                                        "mpegts",
                                        file.toStdString()};
  auto output = vortane::platform::CreatePipe();
  auto input = vortane::platform::CreatePipe();
  vortane::platform::SetNonBlocking(output->readEnd);
  Outcome outcome;
  double cpuBefore = AllCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  auto child = vortane::platform::StartProcess(arguments, input->readEnd, output->writeEnd);
  vortane::platform::CloseDescriptor(input->readEnd);
  vortane::platform::CloseDescriptor(output->writeEnd);
  std::vector<char> sink(1 << 16);
  while (wall.elapsed() < seconds * 1000) {
    while (vortane::platform::ReadAvailable(output->readEnd, sink.data(), sink.size()) > 0) {
    }
    usleep(50000);
  }
  outcome.wallSeconds = wall.elapsed() / 1000.0;
  QElapsedTimer stop;
  stop.start();
  vortane::platform::WriteToPipe(input->writeEnd, "q");
  std::uint32_t exitCode = 0;
  while (vortane::platform::WaitForChild(child.pid, std::chrono::milliseconds(50), exitCode) ==
         vortane::platform::WaitResult::kRunning) {
    while (vortane::platform::ReadAvailable(output->readEnd, sink.data(), sink.size()) > 0) {
    }
  }
  outcome.stopSeconds = stop.elapsed() / 1000.0;
  outcome.cpu = AllCpuSeconds() - cpuBefore;
  vortane::platform::CloseDescriptor(input->writeEnd);
  vortane::platform::CloseDescriptor(output->readEnd);
  outcome.recordedSeconds = VideoSeconds(file);
  return outcome;
}

void Print(const char* name, const Outcome& o) {
  std::printf("%-28s cpu %6.2f s   stop %5.2f s   recorded %6.2f s / wall %6.2f s = %.3f\n", name,
              o.cpu, o.stopSeconds, o.recordedSeconds, o.wallSeconds,
              o.recordedSeconds / o.wallSeconds);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(2, atoi(argv[1])) : 20;
  if (qEnvironmentVariable("DISPLAY").isEmpty() || qEnvironmentVariable("PULSE_SERVER").isEmpty()) {
    std::fprintf(stderr, "run inside scripts/with-desktop\n");
    return 2;
  }
  // vortenc lives in the program folder, build/bin beside build/bench.
  qputenv("PATH",
          (QCoreApplication::applicationDirPath() + "/../bin:").toLocal8Bit() + qgetenv("PATH"));
  QTemporaryDir folder;
  // The direct run goes first, so a warm desktop cannot favour it.
  Outcome direct = Directly(folder.path() + "/b.ts", seconds);
  Outcome runner = ThroughTheRunner(folder.path() + "/a.ts", seconds);
  Print("(a) runner + vortenc", runner);
  Print("(b) ffmpeg directly", direct);
  // (a) records on while the encoder catches up after the stop, so CPU is compared per second of
  // recorded picture.
  std::printf("CPU per recorded second (a)/(b) = %.3f (target <= 1.02)\n",
              (runner.cpu / runner.recordedSeconds) / (direct.cpu / direct.recordedSeconds));
  std::printf("stop request to end (a) = %.2f s: the encoder's own delay, then \"q\"\n",
              runner.stopSeconds);
  std::printf("recorded/wall (a) = %.3f (target >= 0.99)\n",
              runner.recordedSeconds / runner.wallSeconds);
  return 0;
}
