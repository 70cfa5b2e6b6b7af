// Drives the real build/bin/vortenc inside scripts/with-desktop, with the real ffmpeg behind it:
// a private X display, "VirtualMic" playing a tone, the speakers' monitor, no camera (a fixture
// stands in).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <ostream>

#include "platform/lesson_marks.h"
#include "small_disk.h"
#include "support/files.h"
#include "support/media.h"

// Readable failure messages for texts.
void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace {

QString VortencPath() {
  return qEnvironmentVariable("VORTANE_PROGRAM_DIR") + "/vortenc";
}

QString Display() {
  return qEnvironmentVariable("DISPLAY");
}

// Splits a command line the way the job runner hands it over for these texts: blanks separate
// arguments, double quotes group and are removed.
QStringList Split(const QString& text) {
  QStringList out;
  QString current;
  bool quoted = false;
  bool any = false;
  for (QChar c : text) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) out << current;
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) out << current;
  return out;
}

struct Outcome {
  int exitCode = -1;
  QString out;
  QString err;
  qint64 ms = 0;
};

Outcome RunVortenc(const QStringList& arguments,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setProcessEnvironment(env);
  QElapsedTimer timer;
  timer.start();
  process.start(VortencPath(), arguments);
  Outcome run;
  if (!process.waitForFinished(30000)) {
    process.kill();
    process.waitForFinished();
    run.err = "vortenc did not finish";
    return run;
  }
  run.ms = timer.elapsed();
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

// Polls `done` for up to ten seconds.
bool WaitFor(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > 10000) return false;
    QThread::msleep(20);
  }
  return true;
}

// The ffmpeg arguments vortenc would run, as printed by --dry-run (program name dropped).
QString DryRun(const QString& command,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  Outcome run = RunVortenc(QStringList{"--dry-run"} + Split(command), env);
  if (run.exitCode != 0) return "FAILED " + run.err.trimmed();
  QString line = run.out.trimmed();
  qsizetype blank = line.indexOf(' ');
  EXPECT_TRUE(line.left(blank).endsWith("/ffmpeg")) << line.toStdString();
  line = blank < 0 ? QString() : line.mid(blank + 1);
  // The inputs' clock starts at the encoder's start: the picture's offset is minus the wall clock
  // in seconds ("-itsoffset -1765275300.123456"). It reads "START" here.
  static const QRegularExpression offset(QStringLiteral("-itsoffset -(\\d+\\.\\d{6})"));
  double start = 0;
  for (const QRegularExpressionMatch& m : offset.globalMatch(line))
    start = std::max(start, m.captured(1).toDouble());
  if (start == 0) return line;
  EXPECT_NEAR(start, QDateTime::currentMSecsSinceEpoch() / 1000.0, 60) << line.toStdString();
  QString normalized;
  qsizetype from = 0;
  for (const QRegularExpressionMatch& m : offset.globalMatch(line)) {
    const double later = start - m.captured(1).toDouble();
    normalized += line.mid(from, m.capturedStart() - from) + "-itsoffset START";
    if (later > 0.0005) normalized += QString::asprintf("+%.3f", later);
    from = m.capturedEnd();
  }
  return normalized + line.mid(from);
}

QJsonObject Probe(const QString& file) {
  QProcess probe;
  probe.start("ffprobe", {"-v", "error", "-show_streams", "-show_format", "-of", "json", file});
  if (!probe.waitForFinished(30000)) return {};
  return QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
}

// The mean loudness of a file's sound in dB, from ffmpeg's volumedetect filter.
double MeanVolume(const QString& file) {
  QProcess ffmpeg;
  ffmpeg.start("ffmpeg", {"-hide_banner", "-nostdin", "-i", file, "-map", "0:a", "-af",
                          "volumedetect", "-f", "null", "-"});
  if (!ffmpeg.waitForFinished(30000)) return -1000;
  QRegularExpressionMatch match = QRegularExpression("mean_volume: (-?[0-9.]+) dB")
                                      .match(QString::fromUtf8(ffmpeg.readAllStandardError()));
  return match.hasMatch() ? match.captured(1).toDouble() : -1000;
}

const QString kX264 =
    "-acodec aac -pix_fmt yuv420p -vcodec libx264 -x264opts keyint=100:min-keyint=50:threads=4 "
    "-preset fast ";

TEST(Vortenc, DryRunTranslatesEveryInputForm) {
  ASSERT_FALSE(Display().isEmpty()) << "run inside scripts/with-desktop";
  const QString d = Display();
  // The whole desktop, spaced exactly as the command builder spaces it.
  EXPECT_EQ(
      DryRun(QString("vortenc -y -rtbufsize 100M -f gdigrab -thread_queue_size 32 -framerate 25  "
                     "-i desktop -pix_fmt yuv420p -vcodec libx264 -x264opts "
                     "keyint=100:min-keyint=50:threads=4 -preset fast  -r 25  -copyinkf -f mpegts "
                     "\"/r/20261209101500.ts\"")
                 .mid(8)),
      "-y -rtbufsize 100M -f x11grab -thread_queue_size 32 -framerate 25 -i " + d +
          " -pix_fmt yuv420p -vcodec libx264 -x264opts keyint=100:min-keyint=50:threads=4 "
          "-preset fast -r 25 -copyinkf -f mpegts /r/20261209101500.ts");
  // A region, with one microphone: the sound comes from its reader's pipe, whose first sample is
  // the encoder's start, the picture on the same clock (the sound 30 ms later: half a frame and
  // the sound server's delivery).
  EXPECT_EQ(DryRun("-y -rtbufsize 100M -f gdigrab -thread_queue_size 32 -offset_x 100 -offset_y "
                   "60 -video_size 640x480 -i desktop -f dshow -thread_queue_size 32 -i "
                   "audio=\"VirtualMic\" " +
                   kX264 + " -copyinkf \"/r/a b.mp4\""),
            "-stats_period 0.1 -thread_queue_size 32 -nofind_stream_info -f s16le -ar 48000 -ac 2 "
            "-itsoffset 0.030000 -i vortenc-sound:virtual_mic -y -rtbufsize 100M -f x11grab "
            "-thread_queue_size 32 -video_size 640x480 -seek_timestamp 1 -itsoffset START -i " +
                d +
                "+100,60 -filter_complex '[0:a]aresample=async=1000[s0]' -map 1:v -map '[s0]' "
                "-fps_mode:v vfr -enc_time_base:v 1:1000 " +
                kX264 + "-copyinkf -f mp4 '/r/a b.mp4'");
  // Microphone and speakers mixed into the labelled mixer, pushed live with x264's look-ahead cut.
  EXPECT_EQ(DryRun("-y -rtbufsize 100M -f gdigrab -thread_queue_size 32  -i desktop -f dshow "
                   "-thread_queue_size 32 -i audio=\"VirtualMic\" -f dshow -i "
                   "audio=\"virtual-audio-capturer\" -filter_complex amix=inputs=2 " +
                   kX264 + " -b:a 96k  -copyinkf -f flv \"rtmp://127.0.0.1/live/s\""),
            "-stats_period 0.1 -thread_queue_size 32 -nofind_stream_info -f s16le -ar 48000 -ac 2 "
            "-itsoffset 0.030000 -i vortenc-sound:virtual_mic -nofind_stream_info -f s16le -ar "
            "48000 -ac 2 -itsoffset 0.030000 -i vortenc-sound:speaker.monitor -y -rtbufsize 100M "
            "-f x11grab -thread_queue_size 32 -seek_timestamp 1 -itsoffset START -i " +
                d +
                " -map 2:v -map '[mixed]' -fps_mode:v vfr -enc_time_base:v 1:1000 -filter_complex "
                "'[0:a]aresample=async=1000[s0];[1:a]aresample=async=1000[s1];[s0][s1]amix=inputs="
                "2[mixed]' -acodec aac -pix_fmt yuv420p -vcodec libx264 -x264opts "
                "keyint=100:min-keyint=50:threads=4:sync-lookahead=0:rc-lookahead=3:sliced-threads="
                "1:bframes=0 -preset fast "
                "-b:a 96k -copyinkf -f flv -protocol_whitelist rtmp,rtmps,tcp,tls,udp "
                "rtmp://127.0.0.1/live/s");
  // The speakers alone with an output length limit keep ffmpeg's own clock; --dry-run anywhere.
  Outcome speaker =
      RunVortenc(Split("-y -f gdigrab -i desktop -f dshow -thread_queue_size 32 -i "
                       "audio=\"virtual-audio-capturer\" -t 60 -acodec aac o.ts --dry-run"));
  EXPECT_EQ(speaker.exitCode, 0) << speaker.err.toStdString();
  EXPECT_TRUE(speaker.out.trimmed().endsWith(
      " -y -f x11grab -i " + d +
      " -f pulse -fragment_size 1920 -thread_queue_size 32 -i speaker.monitor -map 0:v -map 1:a -t "
      "60 -acodec aac -f mpegts o.ts"))
      << speaker.out.toStdString();

  // A camera, found through the fixture by its exact name.
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  QFile fixture(folder.path() + "/cameras.txt");
  ASSERT_TRUE(fixture.open(QIODevice::WriteOnly));
  fixture.write(
      "camera Integrated Camera\npath /dev/video0\nsize 1280x720\n"
      "camera 讲台 Camera\npath /dev/video2\nsize 1920x1080 MJPG\n");
  fixture.close();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("VORTANE_DEVICE_FIXTURE", fixture.fileName());
  EXPECT_EQ(DryRun("-y -rtbufsize 100M -f dshow -thread_queue_size 32 -framerate 25 -i "
                   "video=\"讲台 Camera\" -f dshow -thread_queue_size 32 -i audio=\"VirtualMic\" "
                   "-acodec aac -copyinkf \"o.ts\"",
                   env),
            QString("-stats_period 0.1 -thread_queue_size 32 -nofind_stream_info -f s16le -ar "
                    "48000 -ac 2 -itsoffset 0.030000 -i vortenc-sound:virtual_mic -y -rtbufsize "
                    "100M -f v4l2 -thread_queue_size 32 -framerate 25 -timestamps abs "
                    "-seek_timestamp 1 -itsoffset START -i /dev/video2 -filter_complex "
                    "'[0:a]aresample=async=1000[s0]' -map 1:v -map '[s0]' -fps_mode:v vfr "
                    "-enc_time_base:v 1:1000 -acodec aac -copyinkf -f mpegts "
                    "o.ts"));

  // Trim and remux fail on any error; ffmpeg, handed the open file, is told its container.
  EXPECT_EQ(DryRun("-y -ss 5 -t 10 -i \"/r/20261209101500m.mp4\" -c:v copy -c:a copy "
                   "\"/r/剪辑5-15.mp4\""),
            QString("-xerror -y -ss 5 -t 10 -i /r/20261209101500m.mp4 -c:v copy -c:a copy -f mp4 "
                    "'/r/剪辑5-15.mp4'"));
  EXPECT_EQ(DryRun("-y -i \"/r/x y.ts\" -c:v copy -c:a copy \"/r/x ym.mp4\""),
            "-xerror -y -i '/r/x y.ts' -c:v copy -c:a copy -f mp4 '/r/x ym.mp4'");
}

TEST(Vortenc, TranslatedRegionCaptureRunsInTheRealEncoder) {
  // A dry run cannot tell whether ffmpeg accepts the display, offset and sound source names:
  // one second of a region with the microphone must become a file with both streams.
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  QString out = folder.path() + "/region.ts";
  Outcome run =
      RunVortenc(Split("-y -rtbufsize 100M -f gdigrab -thread_queue_size 32 -framerate 25 "
                       "-offset_x 320 -offset_y 200 -video_size 320x240 -i desktop -f dshow "
                       "-thread_queue_size 32 -i audio=\"VirtualMic\" -t 1 " +
                       kX264 + " -copyinkf -f mpegts \"" + out + "\""));
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  QJsonArray streams = Probe(out)["streams"].toArray();
  ASSERT_EQ(streams.size(), 2);
  EXPECT_EQ(streams[0].toObject()["codec_name"].toString(), "h264");
  EXPECT_EQ(streams[0].toObject()["width"].toInt(), 320);
  EXPECT_EQ(streams[0].toObject()["height"].toInt(), 240);
  EXPECT_EQ(streams[1].toObject()["codec_name"].toString(), "aac");
}

TEST(Vortenc, MissingDevicesAndEncoderFailAtOnceWithAClearLine) {
  auto expectFailure = [](const QString& command, const QProcessEnvironment& env,
                          const QString& line, int exitCode) {
    Outcome run = RunVortenc(Split(command), env);
    EXPECT_EQ(run.exitCode, exitCode) << command.toStdString();
    EXPECT_EQ(run.err, line + "\n") << command.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_LT(run.ms, 5000) << "must fail at once: " << command.toStdString();
  };
  const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
  expectFailure("-y -f dshow -thread_queue_size 32 -i video=\"No Such Cam\" -copyinkf o.ts", system,
                "vortenc: no such camera: \"No Such Cam\"", 2);
  expectFailure("-y -f gdigrab -i desktop -f dshow -i audio=\"Headset Mic\" -copyinkf o.ts", system,
                "vortenc: no such microphone: \"Headset Mic\"", 2);
  expectFailure("-y -f gdigrab -i desktop -f dshow -i audio=\"virtualmic\" o.ts", system,
                "vortenc: no such microphone: \"virtualmic\"", 2);

  QProcessEnvironment noDisplay = system;
  noDisplay.insert("DISPLAY", ":4242");
  expectFailure("-y -f gdigrab -i desktop o.ts", noDisplay,
                "vortenc: cannot open display \":4242\"", 2);
  noDisplay.remove("DISPLAY");
  expectFailure("-y -f gdigrab -i desktop o.ts", noDisplay,
                "vortenc: no display to capture: DISPLAY is not set", 2);

  QProcessEnvironment noSound = system;
  noSound.insert("PULSE_SERVER", "unix:/nonexistent/native");
  Outcome run =
      RunVortenc(Split("-f gdigrab -i desktop -f dshow -i audio=VirtualMic o.ts"), noSound);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(run.err.startsWith("vortenc: cannot reach the sound server for \"VirtualMic\": "))
      << run.err.toStdString();

  // No encoder to become, or only vortenc itself on offer (which must not loop).
  QProcessEnvironment noEncoder = system;
  noEncoder.insert("VORTENC_FFMPEG", "/nonexistent/ffmpeg");
  expectFailure("-y -i a.ts b.mp4", noEncoder,
                "vortenc: cannot find the encoder \"/nonexistent/ffmpeg\" (install ffmpeg)", 127);
  noEncoder.insert("VORTENC_FFMPEG", "vortenc");
  noEncoder.insert("PATH", QFileInfo(VortencPath()).absolutePath());
  expectFailure("-y -i a.ts b.mp4", noEncoder,
                "vortenc: cannot find the encoder \"vortenc\" (install ffmpeg)", 127);

  // ffmpeg's own failures come back as its exit code with its own message.
  Outcome missing =
      RunVortenc(Split("-y -i /nonexistent/in.ts -c:v copy -c:a copy /tmp/never.mp4"));
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_TRUE(missing.err.contains("/nonexistent/in.ts")) << missing.err.toStdString();
}

TEST(Vortenc, RecordsDesktopWithMixedSoundStopsOnQAndRemuxes) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString ts = folder.path() + "/20261209101500.ts";
  const QString mp4 = folder.path() + "/20261209101500m.mp4";

  // As the job runner does: one pipe for both output channels, "q" on standard input to stop.
  QProcess encoder;
  encoder.setProcessChannelMode(QProcess::MergedChannels);
  encoder.start(VortencPath(),
                Split("-y -rtbufsize 100M -f gdigrab -thread_queue_size 32 -framerate 25 "
                      "-offset_x 0 -offset_y 0 -video_size 640x360 -i desktop -f dshow "
                      "-thread_queue_size 32 -i audio=\"VirtualMic\" -f dshow -i "
                      "audio=\"virtual-audio-capturer\" -filter_complex amix=inputs=2 " +
                      kX264 + " -r 25  -copyinkf -f mpegts \"" + ts + "\""));
  ASSERT_TRUE(encoder.waitForStarted(5000));
  const qint64 pid = encoder.processId();

  // The process becomes ffmpeg in place: same pid, ffmpeg's program file, vortenc's argv[0].
  const QString exe = QString("/proc/%1/exe").arg(pid);
  QElapsedTimer becoming;
  becoming.start();
  while (!QFileInfo(exe).symLinkTarget().endsWith("/ffmpeg") && becoming.elapsed() < 10000)
    QThread::msleep(20);
  EXPECT_TRUE(QFileInfo(exe).symLinkTarget().endsWith("/ffmpeg"));
  // Read until the new program's arguments are in place: they are set up a moment after its
  // program file is.
  QByteArray argv0;
  ASSERT_TRUE(WaitFor([&] {
    QFile cmdline(QString("/proc/%1/cmdline").arg(pid));
    if (cmdline.open(QIODevice::ReadOnly)) argv0 = cmdline.readAll().split('\0').value(0);
    return !argv0.isEmpty();
  }));
  EXPECT_TRUE(argv0.endsWith("/vortenc")) << argv0.toStdString();

  QByteArray output;
  QElapsedTimer clock;
  clock.start();
  qint64 firstProgressAt = -1;
  qint64 lessonEndedAt = -1;
  while (clock.elapsed() < 20000 && encoder.state() == QProcess::Running) {
    encoder.waitForReadyRead(20);
    output += encoder.readAll();
    if (firstProgressAt < 0 && output.contains("time=")) firstProgressAt = clock.elapsed();
    // The teacher presses stop; the encoder runs on through the stop delay and its catch-up.
    if (firstProgressAt >= 0 && lessonEndedAt < 0 && clock.elapsed() - firstProgressAt >= 2500) {
      lessonEndedAt = clock.elapsed();
      EXPECT_TRUE(vortane::platform::MarkLessonEnd(ts));
    }
    if (firstProgressAt >= 0 && clock.elapsed() - firstProgressAt >= 4500) break;
  }
  ASSERT_GE(firstProgressAt, 0) << output.toStdString();
  ASSERT_EQ(encoder.state(), QProcess::Running) << output.toStdString();
  // The capture is locked while it is written, so no recovery here or on another machine with
  // the same network folder takes it.
  const int reader = ::open(QFile::encodeName(ts).constData(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  struct flock lock {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  ASSERT_EQ(::fcntl(reader, F_OFD_GETLK, &lock), 0);
  ::close(reader);
  EXPECT_EQ(lock.l_type, F_WRLCK);
  const double recordedWall = (lessonEndedAt - firstProgressAt) / 1000.0;
  encoder.write("q");
  ASSERT_TRUE(encoder.waitForFinished(15000));
  output += encoder.readAll();
  EXPECT_EQ(encoder.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(encoder.exitCode(), 0) << output.toStdString();

  // The last progress line: how far the encoder got, counted from its start.
  QRegularExpressionMatchIterator times =
      QRegularExpression("time=(\\d\\d):(\\d\\d):(\\d\\d\\.\\d\\d)").globalMatch(QString(output));
  double lastTime = -1;
  while (times.hasNext()) {
    const QRegularExpressionMatch m = times.next();
    lastTime = m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toDouble();
  }
  ASSERT_GT(lastTime, 0) << output.toStdString();

  Outcome remux = RunVortenc(Split("-y -i \"" + ts + "\" -c:v copy -c:a copy \"" + mp4 + "\""));
  ASSERT_EQ(remux.exitCode, 0) << remux.err.toStdString();

  QJsonObject probe = Probe(mp4);
  QJsonArray streams = probe["streams"].toArray();
  ASSERT_EQ(streams.size(), 2) << QJsonDocument(probe).toJson().toStdString();
  QJsonObject video = streams[0].toObject();
  QJsonObject audio = streams[1].toObject();
  EXPECT_EQ(video["codec_type"].toString(), "video");
  EXPECT_EQ(video["codec_name"].toString(), "h264");
  EXPECT_EQ(video["width"].toInt(), 640);
  EXPECT_EQ(audio["codec_type"].toString(), "audio");
  EXPECT_EQ(audio["codec_name"].toString(), "aac");

  // The file holds at least the seconds of progress until the stop (a lower bound: the encoder
  // may need its time to open the inputs) and nothing of the two seconds after it, and both
  // tracks end there together.
  const double duration = probe["format"].toObject()["duration"].toString().toDouble();
  EXPECT_GE(duration, recordedWall / 2) << "wall " << recordedWall << " s of progress";
  EXPECT_LE(duration, lastTime - 1.5) << "last time=" << lastTime;
  const auto end = [](const QJsonObject& stream) {
    return stream["start_time"].toString().toDouble() + stream["duration"].toString().toDouble();
  };
  EXPECT_NEAR(end(video), end(audio), 0.1);

  // The screen grab kept its pace: a starved grab falls to about 5 frames a second, while a
  // machine shared with busy builds still gives 12 or more of the 25 asked for.
  const double frames = video["nb_frames"].toString().toDouble();
  const double videoDuration = video["duration"].toString().toDouble();
  ASSERT_GT(videoDuration, 0);
  EXPECT_GE(frames / videoDuration, 12.0) << frames << " frames in " << videoDuration << " s";

  // Both tones made it into the mix.
  const double volume = MeanVolume(mp4);
  EXPECT_GT(volume, -40.0);
  std::printf("recorded %.2f s (last time= %.2f s), %.1f frames/s, sound %.2f s at %.1f dB\n",
              duration, lastTime, frames / videoDuration, audio["duration"].toString().toDouble(),
              volume);
}

bool IsFifo(const QString& path) {
  struct stat info {};
  return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISFIFO(info.st_mode);
}

TEST(Vortenc, OutputsAreNeverWrittenThroughALinkAFifoOrAnotherUsersFile) {
  if (geteuid() != 0) GTEST_SKIP() << "files of another user need root to make";
  // A save folder other users can write into, and a file of the teacher's outside it.
  QTemporaryDir shared;
  QTemporaryDir privateFolder;
  ASSERT_TRUE(shared.isValid() && privateFolder.isValid());
  ASSERT_EQ(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
  const QString secret = privateFolder.filePath("secret.mp4");
  vortane::test::WriteBytes(secret, "the teacher's private file");
  const QString capture = shared.filePath("20261209101500.ts");
  ASSERT_TRUE(vortane::test::MakeVideo(capture, 2.0));
  const QString lesson = shared.filePath("20240301093000m.mp4");
  ASSERT_TRUE(vortane::test::MakeVideo(lesson, 2.0));
  const QByteArray lessonBytes = vortane::test::ReadBytes(lesson);
  const QByteArray captureBytes = vortane::test::ReadBytes(capture);

  // What another user plants at a name.
  constexpr uid_t kOther = 65534;
  const auto link = [&](const QString& path) {
    return QFile::link(secret, path) &&
           ::lchown(QFile::encodeName(path).constData(), kOther, kOther) == 0;
  };
  const auto fifo = [&](const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0666) == 0;
  };
  const auto othersFile = [&](const QString& path) {
    vortane::test::WriteBytes(path, "another user's file");
    return ::chown(QFile::encodeName(path).constData(), kOther, kOther) == 0;
  };
  const auto ownFile = [&](const QString& path) {
    vortane::test::WriteBytes(path, "a clip cut before");
    return true;
  };
  const QString remux = "-y -i \"" + capture + "\" -c:v copy -c:a copy \"%1\"";
  const QString clip = "-y -ss 0 -t 1 -i \"" + capture + "\" -c:v copy -c:a copy \"%1\"";
  const QString record =
      "-y -rtbufsize 100M -f gdigrab -thread_queue_size 32 -framerate 25  -i "
      "desktop -pix_fmt yuv420p -vcodec libx264 -t 1 -copyinkf %2\"%1\"";
  const struct {
    const char* what;
    QString command;
    QString name;
    std::function<bool(const QString&)> plant;
    const char* refusal;
  } kCases[] = {
      {"a link at the final's name", remux, "20261209101500m.mp4", link, "it is a link"},
      {"a FIFO at the final's name", remux, "20261209101501m.mp4", fifo, "it is a FIFO"},
      {"another user's final", remux, "20261209101502m.mp4", othersFile,
       "it belongs to another user"},
      {"a link at the clip's name", clip, "20261209101500剪辑0-1.ts", link, "it is a link"},
      {"a clip cut before", clip, "20261209101501剪辑0-1.ts", ownFile, "it exists already"},
      {"a FIFO at the next capture's name", record.arg("%1", "-f mpegts "), "20261209101600.ts",
       fifo, "it is a FIFO"},
      {"a link at the next capture's name", record.arg("%1", "-f mpegts "), "20261209101601.ts",
       link, "it is a link"},
      {"a push address naming a finished lesson", record.arg("%1", ""), "20240301093000m.mp4",
       [](const QString&) { return true; }, "it exists already"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const QString path = shared.filePath(c.name);
    ASSERT_TRUE(c.plant(path));
    const Outcome run = RunVortenc(Split(c.command.arg(path)));
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err, "vortenc: will not write \"" + path + "\": " + c.refusal + "\n");
    EXPECT_LT(run.ms, 5000) << "refused at once, not after waiting on the FIFO";
    if (std::string(c.refusal) == "it is a FIFO") {
      EXPECT_TRUE(IsFifo(path));
    }
  }
  EXPECT_EQ(vortane::test::ReadBytes(secret), "the teacher's private file");
  EXPECT_EQ(vortane::test::ReadBytes(lesson), lessonBytes);
  EXPECT_EQ(vortane::test::ReadBytes(capture), captureBytes);

  // An address that would write a file through ffmpeg's "tee" is refused by ffmpeg itself.
  const QString teed = shared.filePath("teed.flv");
  const Outcome live =
      RunVortenc(Split("-y -f gdigrab -i desktop -t 1 -copyinkf -f flv \"tee:" + teed +
                       "|rtmp://127.0.0.1:9/l/s\""));
  EXPECT_NE(live.exitCode, 0);
  EXPECT_TRUE(live.err.contains("Protocol 'tee' not on whitelist")) << live.err.toStdString();
  EXPECT_FALSE(QFileInfo::exists(teed));

  // The teacher's own final is still written over (-y), and the copy plays.
  const QString final = shared.filePath("20261209101500t.ts");
  vortane::test::WriteBytes(final, "an earlier copy");
  const Outcome copied = RunVortenc(Split(remux.arg(final)));
  EXPECT_EQ(copied.exitCode, 0) << copied.err.toStdString();
  EXPECT_NEAR(Probe(final)["format"].toObject()["duration"].toString().toDouble(), 2.0, 0.3);
}

// Where a box ("moov", "mdat") of an MP4 starts, and its size; nothing when it is not there
// whole.
std::optional<std::pair<qint64, qint64>> Mp4Box(const QString& path, const QByteArray& type) {
  const QByteArray bytes = vortane::test::ReadBytes(path);
  qint64 at = 0;
  while (at + 8 <= bytes.size()) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + at);
    const qint64 size = (qint64(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    if (bytes.mid(at + 4, 4) == type) {
      if (size < 8 || at + size > bytes.size()) return std::nullopt;
      return std::pair(at, size);
    }
    if (size < 8) break;
    at += size;
  }
  return std::nullopt;
}

TEST(Vortenc, ARemuxWhoseIndexCannotBeWrittenFails) {
  // ffmpeg 5.1 exits 0 when writing the MP4's index at the end fails: the copy is then useless
  // although the encoder said it succeeded, and the capture would be removed.
  vortane::test::SmallDisk disk(8);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  QTemporaryDir work;
  ASSERT_TRUE(work.isValid());
  const QString capture = work.filePath("20261209101500.ts");
  ASSERT_TRUE(vortane::test::MakeVideo(capture, 30.0, "320x240", 25, 25));
  const QString remux = "-y -i \"" + capture + "\" -c:v copy -c:a copy \"%1\"";

  // Where the index begins and how long it is, from a copy on a disk with room.
  const QString roomy = work.filePath("20261209101500m.mp4");
  ASSERT_EQ(RunVortenc(Split(remux.arg(roomy))).exitCode, 0);
  const auto index = Mp4Box(roomy, "moov");
  ASSERT_TRUE(index);
  ASSERT_GT(index->second, 12 * 1024) << "the index must be larger than a few pages of room";

  // Room for everything before the index and half of it: the disk fills while the index is
  // written.
  struct statvfs room {};
  ASSERT_EQ(::statvfs(QFile::encodeName(disk.path()).constData(), &room), 0);
  const qint64 free = qint64(room.f_bavail) * qint64(room.f_frsize);
  const qint64 wanted = index->first + index->second / 2;
  ASSERT_GT(free, wanted);
  vortane::test::WriteBytes(disk.path() + "/filler", QByteArray((free - wanted) / 4096 * 4096, 0));

  const QString final = disk.path() + "/20261209101500m.mp4";
  const Outcome full = RunVortenc(Split(remux.arg(final)));
  EXPECT_NE(full.exitCode, 0) << full.err.toStdString();
  EXPECT_TRUE(full.err.contains("No space left on device")) << full.err.toStdString();
  EXPECT_TRUE(Mp4Box(final, "mdat")) << "the copy got as far as its index";
  EXPECT_FALSE(Mp4Box(final, "moov"));
}

}  // namespace
