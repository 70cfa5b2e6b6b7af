// Both edges of a lesson recorded from the 1920x1080 desktop, in each sound situation a teacher
// meets (microphone only, speaker only, both; the sources suspended by the sound server, the
// speaker idle with the sources awake, the speaker busy), for the program's own capture command
// through vortenc beside plain ffmpeg given the same inputs (x11grab and pulse directly):
//   - F8 → first frame: from the encoder's start to the moment the final file's first picture
//     shows (target ≤ 300 ms);
//   - stop key → end of each stream: the key is marked on the capture as the program marks it
//     (plain ffmpeg's capture has no marks and is copied whole), "q" goes once the encoder's
//     progress has passed the key + 0.1 s, and the capture is copied
//     into an MP4 with the program's remux command (given to plain ffmpeg for its own capture,
//     which vortenc's copy refuses: its pulse sound's stamps go back now and then); printed is how
//     far after the key the final file's picture and sound end (target: both ≤ 0.2 s, within 0.1 s
//     of each other);
//   - whether a 0.3 s beep into the microphone 0.3 s after the start is whole in the final file.
// The file's timeline is tied to the wall clock by a dark↔bright change of the desktop at a known
// moment well inside the lesson: the frames before and after it bracket that moment.
//
//   scripts/with-desktop build/bench/lesson_edges_bench [SECONDS]   (default a 6 s lesson)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bench_toolbar.h"
#include "encoder/command_lines.h"
#include "platform/lesson_marks.h"
#include "platform/process.h"
#include "support/av_sync_probe.h"
#include "support/flash_and_beep.h"  // Xlib: after every Qt header

namespace {

using vortane::test::DesktopMotion;

// When the desktop changes at a known moment, seconds after the encoder's start.
constexpr double kAnchorSeconds = 4.0;

struct SoundSetup {
  const char* name;
  QString first, second;  // as the toolbar hands them to BuildCaptureCommand
  bool microphone;
};

QStringList Arguments(const QString& commandLine) {
  QStringList arguments;
  for (const std::string& argument : vortane::platform::SplitCommandLine(commandLine.toStdString()))
    arguments.push_back(QString::fromStdString(argument));
  arguments.pop_front();  // the program's name
  return arguments;
}

// The program's recording command (no region, 25 fps, its default bit rates) into `capture`.
QStringList ProgramCommand(const SoundSetup& sound, const QString& capture) {
  return Arguments(*vortane::BuildCaptureCommand(QString::fromLatin1(vortane::kDesktopSourceName),
                                                 capture, sound.first, sound.second, 0, 0, 25, 0, 0,
                                                 0, 0, {}));
}

// The same command with the devices ffmpeg knows here in place of the program's names.
QStringList PlainCommand(const SoundSetup& sound, const QString& capture) {
  QStringList arguments = ProgramCommand(sound, capture);
  for (QString& argument : arguments) {
    if (argument == "gdigrab")
      argument = "x11grab";
    else if (argument == "dshow")
      argument = "pulse";
    else if (argument == "desktop")
      argument = qEnvironmentVariable("DISPLAY");
    else if (argument == "audio=" + QString::fromLatin1(vortane::kSpeakerSourceName))
      argument = "speaker.monitor";
    else if (argument == "audio=VirtualMic")
      argument = "virtual_mic";
  }
  return arguments;
}

struct Edges {
  QString failure;
  double firstFrame = NAN;  // encoder start → the moment the first picture shows, seconds
  double pictureEnd = NAN;  // seconds after the stop key
  double soundEnd = NAN;
  double firstWords = NAN;  // where the microphone's beep is, seconds after the encoder's start
  double wordsKept = 0;     // how much of the 0.3 s beep is in the file, seconds
  double soundStart = NAN;  // where the final file's sound begins, seconds after the start
};

struct Span {
  double start = NAN, end = NAN;
};

// start_time and start_time + duration of the file's first stream of `type` ("video", "audio").
Span StreamSpan(const QString& file, const QString& type) {
  QProcess probe;
  probe.start("ffprobe", {"-v", "error", "-select_streams", type.left(1), "-show_entries",
                          "stream=start_time,duration", "-of", "csv=p=0", file});
  if (!probe.waitForFinished(30000)) return {};
  const QStringList values =
      QString::fromUtf8(probe.readAllStandardOutput()).section('\n', 0, 0).trimmed().split(',');
  if (values.size() < 2) return {};
  bool startOk = false, durationOk = false;
  const double start = values[0].toDouble(&startOk);
  const double duration = values[1].toDouble(&durationOk);
  if (!startOk || !durationOk) return {};
  return {start, start + duration};
}

struct Beep {
  double at = NAN;  // on the file's clock
  double seconds = 0;
};

// The first beep in the file's sound, however soon after the sound's start it begins (the sync
// probe only counts beeps after a pause): the first loud stretch of its 2 kHz band.
Beep FirstBeep(const QString& file, double soundStart) {
  constexpr int kRate = 48000;
  const QByteArray pcm = vortane::test::sync_detail::RunFfmpeg(
      {"-i", file, "-vn", "-af",
       "bandpass=f=2000:width_type=h:w=400,bandpass=f=2000:width_type=h:w=400", "-ac", "1", "-ar",
       QString::number(kRate), "-f", "s16le", "-"},
      true);
  const auto* samples = reinterpret_cast<const std::int16_t*>(pcm.constData());
  const long count = long(pcm.size() / 2);
  long first = -1, last = -1;
  for (long i = 0; i < count; ++i) {
    if (std::abs(int(samples[i])) < 3277) continue;
    if (first >= 0 && i - last > kRate / 10) break;  // a pause: the beep has ended
    if (first < 0) first = i;
    last = i;
  }
  if (first < 0) return {};
  return {soundStart + double(first) / kRate, double(last - first) / kRate};
}

// One lesson: start, the microphone's beep 0.3 s in, the desktop's change at kAnchorSeconds, the
// stop key at `seconds`, "q" once written past it, the copy into `final`.
Edges Lesson(const QString& program, const QStringList& command, const QString& capture,
             const QString& final, bool markEnd, double seconds, DesktopMotion& desktop,
             bool microphone) {
  Edges edges;
  QProcess encoder;
  encoder.setProcessChannelMode(QProcess::MergedChannels);
  desktop.Set(false);
  QThread::msleep(100);
  const qint64 start = bench::Now();
  encoder.start(program, command);
  if (!encoder.waitForStarted(5000)) return {"the encoder did not start"};
  // The first words: a flash and a beep into the microphone 0.3 s after the start.
  desktop.FlashAndBeep(1, 0, "mic_feed", 300 - int(bench::Now() - start));
  QByteArray output;
  double written = -1;  // the encoder's last reported media time
  static const QRegularExpression progress("time=(\\d+:\\d\\d:\\d\\d\\.\\d+)");
  const auto readProgress = [&] {
    output += encoder.readAll();
    QRegularExpressionMatchIterator times = progress.globalMatch(QString::fromUtf8(output));
    while (times.hasNext())
      written = bench::EncoderSeconds(times.next().captured(1));
    output = output.right(200);
  };
  const auto waitUntil = [&](double at) {
    while (bench::Now() - start < qint64(at * 1000) && encoder.state() == QProcess::Running) {
      encoder.waitForReadyRead(5);
      readProgress();
    }
  };
  waitUntil(kAnchorSeconds);
  const double anchor = double(bench::Now() - start) / 1000;
  desktop.Flip();
  waitUntil(seconds);
  const double key = double(bench::Now() - start) / 1000;
  if (markEnd && !vortane::platform::MarkLessonEnd(capture))
    std::fprintf(stderr, "the stop key could not be marked on the capture\n");
  QElapsedTimer catchUp;
  catchUp.start();
  while (written < key + 0.1 && catchUp.elapsed() < 6000 && encoder.state() == QProcess::Running) {
    encoder.waitForReadyRead(20);
    readProgress();
  }
  encoder.write("q");
  if (!encoder.waitForFinished(20000)) encoder.kill();

  QProcess remux;
  remux.setProcessChannelMode(QProcess::MergedChannels);
  // The program's copy through the program that captured: plain ffmpeg copies its own capture.
  remux.start(program, Arguments(*vortane::BuildRemuxCommand(capture, final)));
  if (!remux.waitForFinished(60000) || remux.exitCode() != 0) return {"the remux failed"};

  // The desktop's change in the final file: between the last dark frame and the first bright
  // one after it (or the other way round), whichever is the last change.
  const std::vector<vortane::test::sync_detail::Frame> frames =
      vortane::test::sync_detail::Frames(final);
  double anchorInFile = NAN;
  for (size_t i = 1; i < frames.size(); ++i)
    if ((frames[i].luma >= 128) != (frames[i - 1].luma >= 128))
      anchorInFile = (frames[i - 1].time + frames[i].time) / 2;
  if (std::isnan(anchorInFile)) return {"the desktop's change is not in the file"};
  const auto onWallClock = [&](double fileTime) { return anchor + fileTime - anchorInFile; };
  edges.firstFrame = onWallClock(frames.front().time);
  const Span picture = StreamSpan(final, "video");
  const Span sound = StreamSpan(final, "audio");
  edges.pictureEnd = onWallClock(picture.end) - key;
  edges.soundEnd = onWallClock(sound.end) - key;
  edges.soundStart = onWallClock(sound.start);
  if (microphone) {
    const Beep beep = FirstBeep(final, sound.start);
    edges.firstWords = std::isnan(beep.at) ? -1 : onWallClock(beep.at);
    edges.wordsKept = beep.seconds;
  }
  return edges;
}

void Print(const char* sound, const char* situation, const char* encoder, const Edges& edges) {
  std::printf("%-12s %-20s %-13s ", sound, situation, encoder);
  if (!edges.failure.isEmpty()) {
    std::printf("%s\n", qPrintable(edges.failure));
  } else {
    const QString words =
        std::isnan(edges.firstWords) ? QStringLiteral("n/a (no microphone)")
        : edges.firstWords < 0
            ? QStringLiteral("MISSED (sound from %1 s)").arg(edges.soundStart, 0, 'f', 2)
            : QStringLiteral("%1 (%2 of its 300 ms, from %3 s)")
                  .arg(edges.wordsKept >= 0.25 ? "kept" : "CUT")
                  .arg(std::lround(edges.wordsKept * 1000))
                  .arg(edges.firstWords, 0, 'f', 2);
    std::printf(
        "first frame %5.0f ms | ends after key: picture %+5.2f s, sound %+5.2f s, "
        "apart %4.2f s | first words %s\n",
        edges.firstFrame * 1000, edges.pictureEnd, edges.soundEnd,
        std::fabs(edges.pictureEnd - edges.soundEnd), qPrintable(words));
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (!bench::InsideDesktop(argv[0], "[SECONDS]")) return 2;
  const double seconds = argc > 1 ? std::max(kAnchorSeconds + 1, atof(argv[1])) : 6.0;
  DesktopMotion desktop;
  if (!desktop.ok()) return 2;
  // Beside the binaries, not in /tmp: the lesson's marks are extended attributes.
  QTemporaryDir folder(QCoreApplication::applicationDirPath() + "/lesson_edges-XXXXXX");
  const QString speaker = QString::fromLatin1(vortane::kSpeakerSourceName);
  const SoundSetup setups[] = {{"microphone", "VirtualMic", "", true},
                               {"speaker", speaker, "", false},
                               {"both", speaker, "VirtualMic", true}};
  const char* situations[] = {"sources suspended", "speaker idle, awake", "speaker busy"};
  std::printf(
      "lessons of %.0f s at 1920x1080, 25 fps; targets: first frame <= 300 ms, both "
      "streams end <= 0.20 s after the key and <= 0.10 s apart, first words kept\n",
      seconds);
  int lesson = 0;
  for (const SoundSetup& sound : setups) {
    for (const char* situation : situations) {
      for (const bool program : {true, false}) {
        QProcess tone;
        if (QByteArray(situation) == "sources suspended") {
          // The sound server suspends sources nobody has read for a few seconds.
          bench::WaitUntil(vortane::test::LessonSourcesSuspended, 60000);
        } else if (QByteArray(situation) == "speaker busy") {
          vortane::test::StartSpeakerTone(tone);
        }
        const QString base = folder.filePath(QString::number(++lesson));
        const QString capture = base + ".ts";
        const QStringList command =
            program ? ProgramCommand(sound, capture) : PlainCommand(sound, capture);
        const Edges edges =
            Lesson(program ? bench::ProgramDir() + "/vortenc" : QStringLiteral("ffmpeg"), command,
                   capture, base + "m.mp4", program, seconds, desktop, sound.microphone);
        Print(sound.name, situation, program ? "vortenc" : "plain ffmpeg", edges);
        tone.kill();
        tone.waitForFinished(5000);
      }
    }
  }
  return 0;
}
