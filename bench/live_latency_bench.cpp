// Glass to glass of a live lesson at 1920x1080: the desktop turns from dark to bright or back,
// and a viewer pulling the push from the RTMP server with the lowest delay ffmpeg offers
// (-fflags nobuffer -flags low_delay) sees the change so much later. Measured for the program's
// own live command (the whole desktop with the speaker and VirtualMic mixed, both live presets)
// through vortenc, beside plain ffmpeg pushing the same picture with the same x264 settings
// without sound: read with x11grab on X11, and on Wayland, where ffmpeg cannot read the screen,
// fed by vortenc's own screen reader (the portal and PipeWire). Prints the median, shortest and
// longest delay of CHANGES changes. Target: at most 400 ms with sound.
//
//   scripts/with-desktop [--wayland] build/bench/live_latency_bench [CHANGES] [fluency|quality]
//       [vortenc|plain]
// (default 8 changes, both presets, both pushers)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "bench_toolbar.h"
#include "encoder/command_lines.h"
#include "platform/process.h"
#include "screen_reader_feed.h"
#include "support/flash_and_beep.h"  // Xlib: after every Qt header

namespace {

using vortane::test::DesktopMotion;

// The viewer scales each frame to 8x8 grey pixels and writes them to its standard output, one
// packet per frame, flushed at once.
constexpr int kViewerFrameBytes = 64;

// What the toolbar hands vortenc for a live push of the whole desktop with both sources.
QStringList ProgramCommand(const QString& url, bool fluencyFirst) {
  const std::optional<QString> command = vortane::BuildCaptureCommand(
      QString::fromLatin1(vortane::kDesktopSourceName), url,
      QString::fromLatin1(vortane::kSpeakerSourceName), QStringLiteral("VirtualMic"), 0, 0, 25, 0,
      0, fluencyFirst ? 1 : 0, 0, {});
  QStringList arguments;
  for (const std::string& argument : vortane::platform::SplitCommandLine(command->toStdString()))
    arguments.push_back(QString::fromStdString(argument));
  arguments.pop_front();  // the program's name
  return arguments;
}

// The same picture from `input` straight to ffmpeg, with the x264 options of the program's
// command, no sound.
QStringList PlainCommand(const QString& url, bool fluencyFirst, const QStringList& input) {
  QStringList arguments =
      QStringList{"-y"} + input + QStringList{"-pix_fmt", "yuv420p", "-vcodec", "libx264"};
  const QStringList program = ProgramCommand(url, fluencyFirst);
  const qsizetype from = program.indexOf("libx264") + 1;
  const qsizetype to = program.indexOf("-b:a");
  return arguments + program.mid(from, to - from) + QStringList{"-f", "flv", url};
}

// The viewer's frames as they come; each is the mean grey of its 8x8 pixels.
class Viewer {
 public:
  explicit Viewer(const QString& url) {
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start(
        "ffmpeg", {"-nostdin", "-v", "error", "-fflags", "nobuffer", "-flags", "low_delay",
                   "-rw_timeout", "5000000", "-i", url, "-an", "-vf", "scale=8:8,format=gray", "-f",
                   "rawvideo", "-flush_packets", "1", "pipe:1"});
  }
  ~Viewer() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  bool Running() { return process_.state() != QProcess::NotRunning; }
  // The next frame's grey within `ms`, or -1.
  double NextGrey(int ms) {
    QElapsedTimer waited;
    waited.start();
    while (buffer_.size() < kViewerFrameBytes && waited.elapsed() < ms) {
      if (process_.bytesAvailable() == 0 && !process_.waitForReadyRead(2)) {
        if (!Running()) break;
        continue;
      }
      buffer_ += process_.readAll();
    }
    if (buffer_.size() < kViewerFrameBytes) return -1;
    int sum = 0;
    for (int i = 0; i < kViewerFrameBytes; ++i)
      sum += static_cast<unsigned char>(buffer_[i]);
    buffer_.remove(0, kViewerFrameBytes);
    return double(sum) / kViewerFrameBytes;
  }
  void Skip() {
    buffer_ += process_.readAll();
    buffer_.remove(0, buffer_.size() - buffer_.size() % kViewerFrameBytes);
  }

 private:
  QProcess process_;
  QByteArray buffer_;
};

// True once a frame shows `bright` within `ms`.
bool WaitForBrightness(Viewer& viewer, bool bright, int ms) {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < ms) {
    const double grey = viewer.NextGrey(int(std::max<qint64>(1, ms - waited.elapsed())));
    if (grey < 0) return false;
    if ((grey > 130) == bright) return true;
  }
  return false;
}

struct Result {
  std::vector<double> delays;
  QString failure;
};

Result Measure(const QString& program, const QStringList& command, const QString& url,
               DesktopMotion& desktop, int changes) {
  Result result;
  QProcess pusher;
  pusher.setProcessChannelMode(QProcess::MergedChannels);
  if (qEnvironmentVariableIsSet("BENCH_PUSHER_LOG"))
    pusher.setStandardOutputFile(qEnvironmentVariable("BENCH_PUSHER_LOG"), QIODevice::Append);
  else
    pusher.setStandardOutputFile(QProcess::nullDevice());
  pusher.start(program, command);
  if (!pusher.waitForStarted(5000)) {
    result.failure = "the pusher did not start";
    return result;
  }
  desktop.Set(false);
  // The server may refuse the first play right after a publish starts: the viewer tries again.
  std::unique_ptr<Viewer> viewer;
  for (int attempt = 0; attempt < 10 && !viewer; ++attempt) {
    QThread::msleep(1000);
    viewer = std::make_unique<Viewer>(url);
    if (!WaitForBrightness(*viewer, false, 10000)) viewer.reset();
  }
  if (!viewer) {
    result.failure = "the viewer saw nothing";
  } else {
    // Settle: the viewer's start-up backlog is drained once frames come at their own pace.
    QThread::msleep(2000);
    bool bright = false;
    for (int i = 0; i < changes; ++i) {
      QThread::msleep(900 + 97 * (i % 5));  // not in step with the frame rate
      viewer->Skip();
      QElapsedTimer seen;
      seen.start();
      bright = !bright;
      desktop.Set(bright);
      if (WaitForBrightness(*viewer, bright, 5000)) {
        result.delays.push_back(double(seen.nsecsElapsed()) / 1e6);
      } else if (!WaitForBrightness(*viewer, bright, 30000)) {
        break;  // the next change must not be taken for this one, seen late
      }
    }
  }
  viewer.reset();
  pusher.write("q");
  if (!pusher.waitForFinished(10000)) pusher.kill();
  return result;
}

void Print(const char* name, const Result& result, int changes) {
  if (result.delays.empty()) {
    std::printf("%-54s %s\n", name,
                result.failure.isEmpty() ? "no change seen" : qPrintable(result.failure));
    std::fflush(stdout);
    return;
  }
  std::vector<double> delays = result.delays;
  std::sort(delays.begin(), delays.end());
  std::printf("%-54s median %5.0f ms, shortest %5.0f ms, longest %5.0f ms (%zu of %d seen)\n", name,
              delays[delays.size() / 2], delays.front(), delays.back(), delays.size(), changes);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (!bench::InsideDesktop(argv[0], "[CHANGES] [fluency|quality] [vortenc|plain]")) return 2;
  const int changes = argc > 1 ? std::max(1, atoi(argv[1])) : 8;
  const QString onlyPreset = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
  const QString onlyPusher = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
  const QString server = qEnvironmentVariable("VORTANE_RTMP_URL");
  if (server.isEmpty()) {
    std::fprintf(stderr, "no RTMP server: run inside scripts/with-desktop\n");
    return 2;
  }
  const bool wayland = !qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty();
  if (wayland && !bench::RunQuietly("swaymsg", {"output", "*", "mode", "1920x1080@60Hz"})) {
    std::fprintf(stderr, "cannot set the monitor's mode\n");
    return 2;
  }
  // On Wayland the X server's root window is never shown: a window covers the monitor instead.
  DesktopMotion desktop(wayland);
  if (!desktop.ok()) return 2;
  const QString vortenc = bench::ProgramDir() + "/vortenc";
  QTemporaryDir folder;
  std::printf("glass to glass at 1920x1080, 25 fps, %s desktop (target with sound: 400 ms)\n",
              wayland ? "Wayland" : "X11");
  int stream = 0;
  for (const bool fluencyFirst : {true, false}) {
    const char* preset = fluencyFirst ? "fluency first" : "quality first";
    if (!onlyPreset.isEmpty() && !QString::fromLatin1(preset).startsWith(onlyPreset)) continue;
    if (onlyPusher != QLatin1String("plain")) {
      const QString url = server + QStringLiteral("/bench%1").arg(++stream);
      const Result program =
          Measure(vortenc, ProgramCommand(url, fluencyFirst), url, desktop, changes);
      Print(qPrintable(QStringLiteral("vortenc, sound, %1").arg(preset)), program, changes);
    }
    if (onlyPusher != QLatin1String("vortenc")) {
      const QString url = server + QStringLiteral("/bench%1").arg(++stream);
      std::optional<bench::ScreenReaderFeed> feed;
      QStringList input = {"-f", "x11grab", "-framerate",
                           "25", "-i",      qEnvironmentVariable("DISPLAY")};
      if (wayland) {
        feed.emplace(bench::ProgramDir(), folder.path());
        if (!feed->ok()) {
          std::printf("no screen reader: %s\n", qPrintable(feed->Error()));
          continue;
        }
        input = feed->InputArguments();
      }
      const Result plain =
          Measure("ffmpeg", PlainCommand(url, fluencyFirst, input), url, desktop, changes);
      feed.reset();
      Print(qPrintable(QStringLiteral("plain ffmpeg%1, no sound, %2")
                           .arg(wayland ? " + screen reader" : "", preset)),
            plain, changes);
    }
  }
  return 0;
}
