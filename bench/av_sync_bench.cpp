// Sound against picture in a desktop recording with microphone and speaker mixed, through vortenc
// and through plain ffmpeg with the same inputs in the command's order, in the situations a
// teacher meets: the sound sources suspended after a pause, a second lesson right after the
// first, and the speaker kept busy by other sound. The desktop's grey moves all the time and five
// times turns dark↔bright while a beep plays; for each recording the bench prints the median of
// beep − picture change (positive = sound late), the longest time the picture stood still and
// the frames per second, and how many beeps lie outside where viewers notice a difference (sound
// 45 ms early, 125 ms late). On a Wayland desktop only vortenc runs (ffmpeg itself cannot read
// that screen) and the moving grey is a window of its own.
// Run inside the private desktop:
//   scripts/with-desktop build/bench/av_sync_bench [rounds]
//   scripts/with-desktop --wayland build/bench/av_sync_bench [rounds]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstdlib>

#include "support/av_sync_probe.h"
#include "support/flash_and_beep.h"  // Xlib: after every Qt header

namespace {

using vortane::test::DesktopMotion;
using vortane::test::MeasureSync;
using vortane::test::SyncReport;

const QStringList kEncoding = {"-acodec",   "aac",     "-pix_fmt", "yuv420p", "-vcodec",
                               "libx264",   "-preset", "fast",     "-r",      "25",
                               "-copyinkf", "-f",      "mpegts"};

// The program's capture command for a 640x360 region with VirtualMic and the speaker mixed, as
// vortenc gets it.
QStringList ProgramCommand() {
  return QStringList{"-y",
                     "-rtbufsize",
                     "100M",
                     "-f",
                     "gdigrab",
                     "-thread_queue_size",
                     "32",
                     "-framerate",
                     "25",
                     "-offset_x",
                     "0",
                     "-offset_y",
                     "0",
                     "-video_size",
                     "640x360",
                     "-i",
                     "desktop",
                     "-f",
                     "dshow",
                     "-thread_queue_size",
                     "32",
                     "-i",
                     "audio=VirtualMic",
                     "-f",
                     "dshow",
                     "-i",
                     "audio=virtual-audio-capturer",
                     "-filter_complex",
                     "amix=inputs=2"} +
         kEncoding;
}

// The same inputs straight to ffmpeg in the command's order, each on its own clock.
QStringList PlainCommand() {
  return QStringList{"-y",
                     "-f",
                     "x11grab",
                     "-thread_queue_size",
                     "32",
                     "-framerate",
                     "25",
                     "-video_size",
                     "640x360",
                     "-i",
                     qEnvironmentVariable("DISPLAY") + "+0,0",
                     "-f",
                     "pulse",
                     "-frame_size",
                     "19200",
                     "-thread_queue_size",
                     "32",
                     "-i",
                     "virtual_mic",
                     "-f",
                     "pulse",
                     "-frame_size",
                     "19200",
                     "-i",
                     "speaker.monitor",
                     "-map",
                     "0:v",
                     "-map",
                     "[mixed]",
                     "-filter_complex",
                     "[1:a][2:a]amix=inputs=2[mixed]"} +
         kEncoding;
}

// One recording: start, wait for a second of progress, five flashes with beeps, "q".
SyncReport Record(const QString& program, const QStringList& command, const QString& file,
                  DesktopMotion& desktop) {
  // vortenc never writes over a file.
  QFile::remove(file);
  QProcess encoder;
  encoder.setProcessChannelMode(QProcess::MergedChannels);
  encoder.start(program, command + QStringList{file});
  encoder.waitForStarted(5000);
  QByteArray output;
  QElapsedTimer clock;
  clock.start();
  static const QRegularExpression progress("time=00:00:(\\d\\d)\\.");
  while (clock.elapsed() < 30000 && encoder.state() == QProcess::Running) {
    encoder.waitForReadyRead(50);
    output += encoder.readAll();
    QRegularExpressionMatchIterator times = progress.globalMatch(QString::fromUtf8(output));
    int seconds = 0;
    while (times.hasNext())
      seconds = times.next().captured(1).toInt();
    if (seconds >= 1) break;
  }
  desktop.FlashAndBeep(5, 810);
  QThread::msleep(1000);
  encoder.write("q");
  encoder.waitForFinished(20000);
  output += encoder.readAll();
  if (encoder.exitStatus() != QProcess::NormalExit || encoder.exitCode() != 0)
    std::fprintf(stderr, "%s ended with %d: %s\n", qPrintable(program), encoder.exitCode(),
                 output.right(600).constData());
  return MeasureSync(file);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 1;
  const bool wayland = !qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty();
  if (qEnvironmentVariable("DISPLAY").isEmpty() ||
      (qEnvironmentVariable("PULSE_SERVER").isEmpty() && !wayland)) {
    std::fprintf(stderr, "run inside scripts/with-desktop [--wayland]\n");
    return 2;
  }
  const QString vortenc = QCoreApplication::applicationDirPath() + "/../bin/vortenc";
  QTemporaryDir folder;
  DesktopMotion desktop(wayland);
  if (!desktop.ok()) return 2;
  struct Encoder {
    const char* name;
    QString program;
    QStringList command;
  };
  const Encoder encoders[] = {{"vortenc", vortenc, ProgramCommand()},
                              {"plain ffmpeg", "ffmpeg", PlainCommand()}};
  for (int round = 1; round <= rounds; ++round) {
    for (const Encoder& encoder : encoders) {
      if (wayland && QByteArray(encoder.name) == "plain ffmpeg") continue;
      const char* situations[] = {"sources suspended", "second lesson right after", "speaker busy"};
      for (const char* situation : situations) {
        QProcess tone;
        if (QByteArray(situation) == "sources suspended") {
          QElapsedTimer waited;
          waited.start();
          while (!vortane::test::LessonSourcesSuspended() && waited.elapsed() < 60000)
            QThread::msleep(200);
        } else if (QByteArray(situation) == "speaker busy") {
          vortane::test::StartSpeakerTone(tone);
        }
        const SyncReport sync =
            Record(encoder.program, encoder.command, folder.path() + "/lesson.ts", desktop);
        int noticed = 0;
        for (double offset : sync.offsets)
          noticed += offset < -0.045 || offset > 0.125;
        std::printf(
            "round %d %-13s %-26s sound %+4.0f ms, %d of %zu beeps noticeably off, longest still "
            "%4.0f ms, %4.1f frames/s  (%s)\n",
            round, encoder.name, situation, sync.Median() * 1000, noticed, sync.offsets.size(),
            sync.longestStill * 1000, sync.framesPerSecond, qPrintable(sync.Text()));
        std::fflush(stdout);
        tone.kill();
        tone.waitForFinished(5000);
      }
    }
  }
  return 0;
}
