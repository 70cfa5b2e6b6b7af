// How well the screen grab keeps its pace with the microphone and the speakers mixed, as vortenc
// runs it (sound inputs first, 100 ms sound packets), compared with the screen first (the order
// of the program's command line) and with pulse's default 1024-byte packets. Run inside the
// private desktop:
//   scripts/with-desktop build/bench/vortenc_input_order_bench [seconds] [rounds]
// Prints frames per second of each variant and the ratios to vortenc's.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

const QStringList kEncoding = {
    "-acodec", "aac",     "-pix_fmt",  "yuv420p",
    "-vcodec", "libx264", "-x264opts", "keyint=100:min-keyint=50:threads=4",
    "-preset", "fast",    "-r",        "25"};

// Records for `seconds` after the first progress line, stops with "q" and returns the frames
// per second of the picture in the file, or -1.
double Record(const QStringList& inputs, const QString& file, int seconds) {
  QProcess ffmpeg;
  ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
  ffmpeg.start("ffmpeg", QStringList{"-hide_banner", "-y"} + inputs + kEncoding +
                             QStringList{"-f", "mpegts", file});
  if (!ffmpeg.waitForStarted(5000)) return -1;
  QByteArray output;
  QElapsedTimer clock;
  clock.start();
  qint64 started = -1;
  while (ffmpeg.state() == QProcess::Running && clock.elapsed() < 30000) {
    ffmpeg.waitForReadyRead(20);
    output += ffmpeg.readAll();
    if (started < 0 && output.contains("time=")) started = clock.elapsed();
    if (started >= 0 && clock.elapsed() - started >= seconds * 1000) break;
  }
  ffmpeg.write("q");
  ffmpeg.waitForFinished(15000);

  QProcess probe;
  probe.start("ffprobe",
              {"-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
               "stream=nb_read_packets,duration", "-of", "default=noprint_wrappers=1", file});
  probe.waitForFinished(15000);
  QString text = QString::fromUtf8(probe.readAllStandardOutput());
  QRegularExpressionMatch frames = QRegularExpression("nb_read_packets=(\\d+)").match(text);
  QRegularExpressionMatch duration = QRegularExpression("duration=([0-9.]+)").match(text);
  if (!frames.hasMatch() || !duration.hasMatch() || duration.captured(1).toDouble() <= 0) return -1;
  return frames.captured(1).toDouble() / duration.captured(1).toDouble();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
  const QString display = qEnvironmentVariable("DISPLAY");
  if (display.isEmpty() || qEnvironmentVariable("PULSE_SERVER").isEmpty()) {
    std::fprintf(stderr, "run inside scripts/with-desktop\n");
    return 2;
  }
  const QStringList screen = {"-f", "x11grab", "-thread_queue_size", "32", "-framerate", "25",
                              "-i", display};
  auto sound = [](const char* packetBytes) {
    return QStringList{
        "-f", "pulse",          "-frame_size", packetBytes, "-thread_queue_size", "32",
        "-i", "virtual_mic",    "-f",          "pulse",     "-frame_size",        packetBytes,
        "-i", "speaker.monitor"};
  };
  const QStringList mixFirstTwo = {
      "-map", "2:v", "-map", "[mixed]", "-filter_complex", "[0:a][1:a]amix=inputs=2[mixed]"};
  const QStringList variants[] = {
      sound("19200") + screen + mixFirstTwo,
      screen + sound("19200") +
          QStringList{"-map", "0:v", "-map", "[mixed]", "-filter_complex",
                      "[1:a][2:a]amix=inputs=2[mixed]"},
      sound("1024") + screen + mixFirstTwo,
  };
  const char* names[] = {"vortenc (sound first, 100 ms packets)", "screen first",
                         "sound first, 1024-byte packets"};

  QTemporaryDir folder;
  double totals[3] = {};
  for (int round = 0; round < rounds; ++round) {
    for (int v = 0; v < 3; ++v) {
      double fps = Record(variants[v], folder.path() + "/capture.ts", seconds);
      std::printf("round %d: %-40s %5.1f frames/s\n", round + 1, names[v], fps);
      totals[v] += fps;
    }
  }
  for (int v = 0; v < 3; ++v)
    std::printf("mean %-40s %5.1f frames/s, ratio to vortenc %.2f\n", names[v], totals[v] / rounds,
                totals[0] > 0 ? totals[v] / totals[0] : 0.0);
  return 0;
}
