// The screen capture's cost on the desktop the bench runs on: the program's capture command (the
// whole desktop at 25 fps with the speaker and VirtualMic) run through the job runner and vortenc,
// which reads a Wayland desktop through the portal and PipeWire and an X11 desktop with x11grab.
// Prints, at 1280x720 and 1920x1080, the CPU time (user + system) of the encoder's process tree
// per recorded second (ffmpeg with its screen and sound readers, which are counted apart too),
// and F8 → first frame: from the encoder's start, at which moment the screen turns from dark to
// bright, to the first picture in the file that shows it, on the file's clock (zero = the
// encoder's start, where the sound starts). On Wayland also plain ffmpeg fed by the same screen
// reader, with the same x264 options and no sound: the reader's cost and vortenc's (the sound
// readers, the sound's encoding and mixing) apart. Run it once on each desktop:
//   scripts/with-desktop --wayland build/bench/wayland_capture_bench [seconds]   (portal path)
//   scripts/with-desktop build/bench/wayland_capture_bench [seconds]             (X11 path)
// Target: the portal path costs at most 10 % more CPU per recorded second than the X11 path.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "bench_toolbar.h"
#include "encoder/capture_region.h"
#include "encoder/command_lines.h"
#include "encoder/encoder_job.h"
#include "platform/process.h"
#include "screen_reader_feed.h"
#include "support/av_sync_probe.h"
#include "support/flash_and_beep.h"  // Xlib: after every Qt header
#include "support/media.h"

namespace {

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double StartTime(const QString& file) {
  QProcess probe;
  probe.start("ffprobe", {"-v", "error", "-show_entries", "format=start_time", "-of",
                          "default=noprint_wrappers=1:nokey=1", file});
  probe.waitForFinished(20000);
  return probe.readAllStandardOutput().trimmed().toDouble();
}

struct Capture {
  double cpu = 0;
  double screenReaderCpu = 0;
  double soundReadersCpu = 0;
  double recorded = 0;
  double firstChange = -1;  // seconds into the file; -1: never shown
};

// The program's capture command for `file`: the whole desktop, or on X11 a region of `width` x
// `height` of the fixed 1920x1080 screen.
std::optional<QString> ProgramCommand(const QString& file, int width, bool wayland) {
  using namespace vortane;
  CaptureRegion region;
  if (!wayland && width != 1920) region = {0, 0, width, width * 9 / 16};
  return BuildCaptureCommand(kDesktopSourceName, file, kSpeakerSourceName, "VirtualMic", 0, 0, 25,
                             0, 0, 0, 0, region);
}

// The program command's encoding and output: from its "-pix_fmt" (after the inputs) to the file.
QStringList ProgramEncoding(const QString& file) {
  QStringList arguments;
  for (const std::string& argument :
       vortane::platform::SplitCommandLine(ProgramCommand(file, 0, true)->toStdString()))
    arguments.push_back(QString::fromStdString(argument));
  return arguments.mid(arguments.indexOf("-pix_fmt"));
}

// The readers a recording leaves behind, once they have ended.
void CollectReaders(Capture& capture) {
  capture.screenReaderCpu = bench::CollectChildren("vortenc-screen");
  capture.soundReadersCpu = bench::CollectChildren("vortenc-sound");
}

double FirstChange(const QString& file) {
  const double start = StartTime(file);
  for (const vortane::test::sync_detail::Frame& frame : vortane::test::sync_detail::Frames(file))
    if (frame.luma >= 130) return frame.time - start;
  return -1;
}

// The program's capture of `width` x `height`: the whole monitor on Wayland (its mode is set so),
// a region of the fixed X11 screen on X11.
Capture Record(const QString& file, int width, bool wayland, int seconds,
               vortane::test::DesktopMotion& motion) {
  using namespace vortane;
  std::shared_ptr<ProcessJob> job = MakeEncoderJob(*ProgramCommand(file, width, wayland));
  bool ended = false;
  QObject::connect(
      job.get(), &Job::finished, QCoreApplication::instance(), [&](const JobOutcome& outcome) {
        ended = true;
        if (outcome.exitCode != 0 && outcome.end != JobOutcome::End::kStopped)
          std::printf(
              "the encoder ended with %u: %s\n", outcome.exitCode,
              outcome.outputTail
                  .substr(outcome.outputTail.size() > 300 ? outcome.outputTail.size() - 300 : 0)
                  .c_str());
      });
  motion.Set(false);
  bench::WaitUntil([] { return false; }, 300);  // the dark greys are on screen
  Capture capture;
  const double cpuBefore = ChildrenCpuSeconds();
  job->Start();
  motion.Set(true);
  bench::WaitUntil([&] { return ended; }, seconds * 1000);
  job->RequestStop();
  bench::WaitUntil([&] { return ended; }, 30000);
  CollectReaders(capture);
  capture.cpu = ChildrenCpuSeconds() - cpuBefore;
  capture.recorded = vortane::test::ProbeStreams(file).duration;
  capture.firstChange = FirstChange(file);
  return capture;
}

// Plain ffmpeg fed by vortenc's screen reader: `seconds` of the frames with the program's x264
// options, no sound.
Capture RecordPlain(const QString& file, const QString& folder, int seconds,
                    vortane::test::DesktopMotion& motion) {
  motion.Set(false);
  bench::WaitUntil([] { return false; }, 300);
  Capture capture;
  const double cpuBefore = ChildrenCpuSeconds();
  bench::ScreenReaderFeed feed(bench::ProgramDir(), folder);
  if (!feed.ok()) {
    std::printf("plain ffmpeg: no screen reader: %s\n", qPrintable(feed.Error()));
    return capture;
  }
  const QStringList arguments = QStringList{"-nostdin", "-y"} + feed.InputArguments() +
                                QStringList{"-t", QString::number(seconds)} + ProgramEncoding(file);
  QProcess ffmpeg;
  ffmpeg.setStandardOutputFile(QProcess::nullDevice());
  ffmpeg.setStandardErrorFile(QProcess::nullDevice());
  ffmpeg.start("ffmpeg", arguments);
  const bool started = ffmpeg.waitForStarted(5000);
  motion.Set(true);
  // It encodes every second of the frames, however far behind a busy machine leaves it.
  if (!bench::WaitUntil([&] { return ffmpeg.state() == QProcess::NotRunning; },
                        seconds * 1000 + 120000))
    ffmpeg.kill();
  ffmpeg.waitForFinished(5000);
  feed.Close();
  capture.screenReaderCpu = bench::CollectChildren("vortenc-screen");
  capture.cpu = ChildrenCpuSeconds() - cpuBefore;
  if (started) capture.recorded = vortane::test::ProbeStreams(file).duration;
  return capture;
}

void Print(int width, int height, const char* path, const Capture& c) {
  const double per = c.recorded > 0 ? 1 / c.recorded : 0.0;
  std::printf(
      "%4dx%-4d %-40s %.3f cpu-s per s (tree %5.2f s / %5.2f s recorded; of it screen reader %.3f, "
      "sound readers %.3f per s)",
      width, height, path, c.cpu * per, c.cpu, c.recorded, c.screenReaderCpu * per,
      c.soundReadersCpu * per);
  if (c.firstChange > -1) std::printf("   F8 -> first frame %.3f s", c.firstChange);
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (!bench::InsideDesktop("[--wayland] build/bench/wayland_capture_bench", "[seconds]")) return 2;
  const int seconds = argc > 1 ? std::max(3, atoi(argv[1])) : 15;
  const bool wayland = !qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty();
  qputenv("PATH", (bench::ProgramDir() + ':').toLocal8Bit() + qgetenv("PATH"));
  if (!bench::AdoptOrphans()) std::printf("the readers' cost is not counted\n");
  QTemporaryDir folder;
  std::printf("%s, %d s per recording\n", wayland ? "Wayland desktop" : "X11 desktop", seconds);
  for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
    if (wayland &&
        !bench::RunQuietly("swaymsg", {"output", "*", "mode",
                                       QStringLiteral("%1x%2@60Hz").arg(width).arg(height)})) {
      std::printf("%dx%d: cannot set the monitor's mode\n", width, height);
      continue;
    }
    // Made after the mode is set, so that it covers the whole monitor.
    vortane::test::DesktopMotion motion(true);
    const QString file = folder.filePath(QStringLiteral("capture-%1.ts").arg(width));
    Print(width, height, wayland ? "vortenc, portal, sound:" : "vortenc, x11grab, sound:",
          Record(file, width, wayland, seconds, motion));
    if (wayland) {
      const QString plain = folder.filePath(QStringLiteral("plain-%1.ts").arg(width));
      Print(width, height, "plain ffmpeg + screen reader, no sound:",
            RecordPlain(plain, folder.path(), seconds, motion));
    }
  }
  return 0;
}
