// Sound against picture in a desktop recording, with the inputs in vortenc's order (screen first,
// as the program's command line has them) and with the sound inputs opened first. The screen
// turns white and a beep plays at the same moment; the offset is where the beep lands in the file
// minus where the white frame lands (positive = sound late). Also prints the frame rate.
// Run inside the private desktop:
//   scripts/with-desktop build/bench/av_sync_bench [rounds]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const QStringList kEncoding = {
    "-acodec", "aac",     "-pix_fmt",  "yuv420p",
    "-vcodec", "libx264", "-x264opts", "keyint=100:min-keyint=50:threads=4",
    "-preset", "fast",    "-r",        "25"};

QString Run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  process.waitForFinished(60000);
  return QString::fromUtf8(process.readAll());
}

double FirstNumberAfter(const QString& text, const QString& key) {
  QRegularExpressionMatch m = QRegularExpression(key + "\\s*([0-9.]+)").match(text);
  return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

struct Result {
  double offset = 0;
  double fps = 0;
};

Result Record(const QStringList& inputs, const QString& folder) {
  const QString file = folder + "/capture.ts";
  Run("display", {"-window", "root", folder + "/black.png"});
  QProcess ffmpeg;
  ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
  ffmpeg.start("ffmpeg", QStringList{"-hide_banner", "-y"} + inputs + kEncoding +
                             QStringList{"-f", "mpegts", file});
  ffmpeg.waitForStarted(5000);
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 4000)
    ffmpeg.waitForReadyRead(50), ffmpeg.readAll();
  Run("display", {"-window", "root", folder + "/white.png"});
  Run("paplay", {folder + "/beep.wav"});
  while (clock.elapsed() < 7000)
    ffmpeg.waitForReadyRead(50), ffmpeg.readAll();
  ffmpeg.write("q");
  ffmpeg.waitForFinished(15000);

  Result result;
  double flash = FirstNumberAfter(
      Run("ffmpeg",
          {"-i", file, "-an", "-vf", "select='gt(scene,0.3)',showinfo", "-f", "null", "-"}),
      "pts_time:");
  // The beep is the end of a silence nearest to the white frame (the sound's start and end can
  // end silences too).
  QString silences = Run(
      "ffmpeg", {"-i", file, "-vn", "-af",
                 "highpass=f=1500,highpass=f=1500,silencedetect=n=-35dB:d=0.1", "-f", "null", "-"});
  QRegularExpressionMatchIterator ends =
      QRegularExpression("silence_end:\\s*([0-9.]+)").globalMatch(silences);
  result.offset = 1e9;
  while (ends.hasNext()) {
    double beep = ends.next().captured(1).toDouble();
    if (std::abs(beep - flash) < std::abs(result.offset)) result.offset = beep - flash;
  }
  QString probe = Run(
      "ffprobe", {"-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
                  "stream=nb_read_packets,duration", "-of", "default=noprint_wrappers=1", file});
  double frames = FirstNumberAfter(probe, "nb_read_packets=");
  double duration = FirstNumberAfter(probe, "duration=");
  result.fps = duration > 0 ? frames / duration : -1;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
  const QString display = qEnvironmentVariable("DISPLAY");
  if (display.isEmpty() || qEnvironmentVariable("PULSE_SERVER").isEmpty()) {
    std::fprintf(stderr, "run inside scripts/with-desktop\n");
    return 2;
  }
  QTemporaryDir folder;
  Run("convert", {"-size", "1920x1080", "xc:white", folder.path() + "/white.png"});
  Run("convert", {"-size", "1920x1080", "xc:black", folder.path() + "/black.png"});
  Run("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=frequency=2000:duration=0.3", "-ac", "2",
                 folder.path() + "/beep.wav"});

  const QStringList screen = {"-f", "x11grab", "-thread_queue_size", "32", "-framerate", "25",
                              "-i", display};
  const QStringList sound = {
      "-f", "pulse",          "-frame_size", "19200", "-thread_queue_size", "32",
      "-i", "virtual_mic",    "-f",          "pulse", "-frame_size",        "19200",
      "-i", "speaker.monitor"};
  const QStringList variants[] = {
      screen + sound +
          QStringList{"-map", "0:v", "-map", "[mixed]", "-filter_complex",
                      "[1:a][2:a]amix=inputs=2[mixed]"},
      sound + screen +
          QStringList{"-map", "2:v", "-map", "[mixed]", "-filter_complex",
                      "[0:a][1:a]amix=inputs=2[mixed]"},
  };
  const char* names[] = {"vortenc (screen first)", "sound inputs first"};
  double offsets[2] = {};
  double fps[2] = {};
  for (int round = 0; round < rounds; ++round) {
    for (int v = 0; v < 2; ++v) {
      Result r = Record(variants[v], folder.path());
      std::printf("round %d: %-24s sound %+.3f s against picture, %5.1f frames/s\n", round + 1,
                  names[v], r.offset, r.fps);
      offsets[v] += r.offset;
      fps[v] += r.fps;
    }
  }
  for (int v = 0; v < 2; ++v)
    std::printf("mean %-24s sound %+.3f s against picture, %5.1f frames/s\n", names[v],
                offsets[v] / rounds, fps[v] / rounds);
  return 0;
}
