// The screen capture's cost on the desktop the bench runs on: the program's capture command (the
// whole desktop at 25 fps with the speaker and VirtualMic) run through the job runner and vortenc,
// which reads a Wayland desktop through the portal and PipeWire and an X11 desktop with x11grab.
// Prints, at 1280x720 and 1920x1080, the CPU time (user + system) of the encoder's process tree
// per recorded second, and F8 → first frame: from the encoder's start, at which moment the screen
// turns from dark to bright, to the first picture in the file that shows it, on the file's clock
// (zero = the encoder's start, where the sound starts). Run it once on each desktop:
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
  double recorded = 0;
  double firstChange = -1;  // seconds into the file; -1: never shown
};

// The program's capture of `width` x `height`: the whole monitor on Wayland (its mode is set so),
// a region of the fixed X11 screen on X11.
Capture Record(const QString& file, int width, int height, bool wayland, int seconds,
               vortane::test::DesktopMotion& motion) {
  using namespace vortane;
  CaptureRegion region;
  if (!wayland && width != 1920) region = {0, 0, width, height};
  std::shared_ptr<ProcessJob> job = MakeEncoderJob(*BuildCaptureCommand(
      kDesktopSourceName, file, kSpeakerSourceName, "VirtualMic", 0, 0, 25, 0, 0, 0, 0, region));
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
  capture.cpu = ChildrenCpuSeconds() - cpuBefore;
  capture.recorded = vortane::test::ProbeStreams(file).duration;
  const double start = StartTime(file);
  for (const vortane::test::sync_detail::Frame& frame : vortane::test::sync_detail::Frames(file))
    if (frame.luma >= 130) {
      capture.firstChange = frame.time - start;
      break;
    }
  return capture;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (!bench::InsideDesktop("[--wayland] build/bench/wayland_capture_bench", "[seconds]")) return 2;
  const int seconds = argc > 1 ? std::max(3, atoi(argv[1])) : 15;
  const bool wayland = !qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty();
  qputenv("PATH", (bench::ProgramDir() + ':').toLocal8Bit() + qgetenv("PATH"));
  vortane::test::DesktopMotion motion(true);
  QTemporaryDir folder;
  std::printf("%s path, %d s per recording\n", wayland ? "Wayland (portal)" : "X11 (x11grab)",
              seconds);
  for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
    if (wayland &&
        !bench::RunQuietly("swaymsg", {"output", "*", "mode",
                                       QStringLiteral("%1x%2@60Hz").arg(width).arg(height)})) {
      std::printf("%dx%d: cannot set the monitor's mode\n", width, height);
      continue;
    }
    const QString file = folder.filePath(QStringLiteral("capture-%1.ts").arg(width));
    const Capture c = Record(file, width, height, wayland, seconds, motion);
    std::printf(
        "%4dx%-4d encoder tree cpu %6.2f s / recorded %6.2f s = %.3f cpu-s per s   "
        "F8 -> first frame showing the change %.3f s\n",
        width, height, c.cpu, c.recorded, c.recorded > 0 ? c.cpu / c.recorded : 0.0, c.firstChange);
  }
  return 0;
}
