// From the stop key to the lesson's final file, on the real toolbar recording the whole
// 1920 × 1080 desktop with the speaker and VirtualMic, and where that time goes:
//   - the stop delay, one second by design (the capture goes on for a second after the key, and
//     the encoder catches up meanwhile);
//   - from the stop request to the encoder's exit: the runner sends "q" once the encoder has
//     written past the key (so ffmpeg has read the sound up to it), which takes the rest of the
//     encoder's own latency (x264's look-ahead, measured from its progress lines); then x264
//     encodes the pictures it still holds and the file is finished;
//   - the job runner from the encoder's exit to its last message;
//   - the remux into the final file, and the runner around it.
// Target: stop to final file at most 3.0 s.
//
//   scripts/with-desktop build/bench/stop_to_file_bench [ROUNDS] [SECONDS]   (default 5 × 8 s)
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_toolbar.h"

namespace {

using bench::Now;

const QString kRecording = QString::fromUtf8("status: 正在录制 ");

struct Round {
  double total = -1;         // stop key → remux ended
  double keyToStop = 0;      // stop key → the toolbar's "正在停止..."
  double latency = 0;        // the encoder's media time behind the wall clock at the stop request
  double requestToExit = 0;  // the stop request (a second after the stop) → the encoder's exit
  double runnerAfter = 0;    // encoder exit → the job's last message
  double toRemux = 0;        // capture's last message → remux started
  double remuxEncoder = 0;   // remux started → its encoder has exited
  double remuxRunner = 0;    // remux encoder exit → the remux job's last message
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

std::optional<Round> Failed(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  return std::nullopt;
}

std::optional<Round> OneLesson(bench::Toolbar& toolbar, int seconds) {
  if (!bench::PressF8()) return std::nullopt;
  const auto started = toolbar.WaitFor(QStringLiteral("job capture code 1"), 20000);
  if (!started) return Failed("the capture did not start");
  const auto past = toolbar.WaitFor(
      [&](const QString& text) {
        return text.startsWith(kRecording) &&
               bench::EncoderSeconds(text.mid(kRecording.size())) >= seconds;
      },
      seconds * 1000 + 30000);
  if (!past) return Failed("no progress");
  const qint64 capture = bench::EncoderOf(toolbar.Pid());

  Round round;
  const size_t first = toolbar.Lines().size();
  const qint64 key = Now();
  if (!bench::PressF8()) return std::nullopt;
  qint64 stopAt = -1, captureExit = -1, captureEnd = -1, remuxStart = -1, remuxExit = -1,
         remuxEnd = -1;
  qint64 remux = 0;
  double stopToolbarAt = -1;
  bench::WaitUntil(
      [&] {
        const auto& lines = toolbar.Lines();
        for (size_t i = first; i < lines.size(); ++i) {
          const auto& line = lines[i];
          if (stopAt < 0 && line.text.startsWith(QString::fromUtf8("status: 正在停止"))) {
            stopAt = line.readAt;
            stopToolbarAt = line.toolbarAt;
          }
          if (captureEnd < 0 && line.text.startsWith(QStringLiteral("job capture code 4")))
            captureEnd = line.readAt;
          if (remuxStart < 0 && line.text.startsWith(QStringLiteral("job remux code 1")))
            remuxStart = line.readAt;
          if (remuxEnd < 0 && line.text.startsWith(QStringLiteral("job remux code 3")))
            remuxEnd = line.readAt;
        }
        if (captureExit < 0 && bench::Ended(capture)) captureExit = Now();
        if (remuxStart >= 0 && remux == 0) {
          remux = bench::EncoderOf(toolbar.Pid());
          if (remux == capture) remux = 0;
        }
        if (remux != 0 && remuxExit < 0 && bench::Ended(remux)) remuxExit = Now();
        return remuxEnd >= 0;
      },
      30000);
  if (remuxEnd < 0 || stopAt < 0 || captureEnd < 0) return Failed("the stop did not finish");
  if (remuxExit < 0) remuxExit = remuxStart;  // the remux ended between two looks

  // The encoder's latency when the stop request reached the runner (a second after the stop):
  // the wall clock since the capture started against the media time of its last progress line.
  for (const auto& line : toolbar.Lines()) {
    if (line.toolbarAt < started->toolbarAt || line.toolbarAt > stopToolbarAt + 1.0) continue;
    if (!line.text.startsWith(kRecording)) continue;
    const double media = bench::EncoderSeconds(line.text.mid(kRecording.size()));
    if (media > 0) round.latency = (line.toolbarAt - started->toolbarAt - media) * 1000;
  }
  round.total = double(remuxEnd - key);
  round.keyToStop = double(stopAt - key);
  round.requestToExit = double(captureExit) - (double(stopAt) + 1000);
  round.runnerAfter = double(captureEnd - captureExit);
  round.toRemux = double(remuxStart - captureEnd);
  round.remuxEncoder = double(remuxExit - remuxStart);
  round.remuxRunner = double(remuxEnd - remuxExit);
  return round;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (!bench::InsideDesktop(argv[0], "[ROUNDS] [SECONDS]")) return 2;
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  const int seconds = argc > 2 ? std::max(3, atoi(argv[2])) : 8;
  QTemporaryDir home;
  const QString videos = home.filePath(QStringLiteral("videos"));
  if (!bench::WriteLessonSettings(home.path(), videos, 0, 0)) return 1;
  bench::Toolbar toolbar(home.path());
  if (!toolbar.WaitReady()) return 1;

  std::vector<Round> done;
  for (int i = 0; i < rounds; ++i) {
    const std::optional<Round> round = OneLesson(toolbar, seconds);
    if (!round) {
      std::fprintf(stderr, "round %d did not finish\n", i + 1);
      return 1;
    }
    std::printf("round %d: stop to final file %5.0f ms (encoder latency %4.0f ms)\n", i + 1,
                round->total, round->latency);
    done.push_back(*round);
    for (const QString& file : QDir(videos).entryList(QDir::Files))
      QFile::remove(videos + '/' + file);
  }
  auto median = [&](double Round::*field) {
    std::vector<double> values;
    for (const Round& round : done)
      values.push_back(round.*field);
    return Median(values);
  };
  const double total = median(&Round::total);
  std::printf("\nmedians of %d lessons of %d s at 1920x1080, 25 fps:\n", rounds, seconds);
  std::printf("  stop key to final file          %6.0f ms  (target 3000 ms; ratio %.2f)\n", total,
              total / 3000.0);
  std::printf("  encoder's measured latency      %6.0f ms\n", median(&Round::latency));
  std::printf("  key to the stop command         %6.0f ms  (X and the key)\n",
              median(&Round::keyToStop));
  std::printf("  stop delay                        1000 ms  (by design; the encoder catches up)\n");
  std::printf(
      "  stop request to encoder's exit  %6.0f ms  (written past the key, then the\n"
      "                                             pictures x264 still holds)\n",
      median(&Round::requestToExit));
  std::printf("  runner after the encoder's exit %6.0f ms\n", median(&Round::runnerAfter));
  std::printf("  to the remux's start            %6.0f ms\n", median(&Round::toRemux));
  std::printf("  remux encoder                   %6.0f ms\n", median(&Round::remuxEncoder));
  std::printf("  runner after the remux's exit   %6.0f ms\n", median(&Round::remuxRunner));
  return 0;
}
