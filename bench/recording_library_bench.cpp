// The file manager's list on the offscreen platform:
//   (a) 10,000 recordings that already have side files: the time from the refresh to the last
//       row shown in the window (target <= 1 s), and its ratio to the target;
//   (b) the first listing of 200 recordings without side files (each measured with libavformat
//       and given its side file): files per second, beside running ffprobe once per file.
// Run: build/bench/recording_library_bench [recordings-with-side-files] [new-recordings]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "files/media_file_dlg.h"
#include "files/recording_formats.h"
#include "files/recording_meta.h"
#include "platform/record_file.h"

namespace {

using vortane::CMediaFileDlg;

constexpr double kTargetSeconds = 1.0;

QString Name(int i) {
  // Lesson names as the toolbar makes them, one minute apart.
  return QStringLiteral("2024%1m.mp4").arg(i, 10, 10, QLatin1Char('0'));
}

// Writes `count` recordings with finished side files (bytes as the program writes them).
bool MakeListedFolder(const QString& folder, int count) {
  if (!QDir().mkpath(folder + "metas")) return false;
  const vortane::RecordingMeta meta = vortane::MakeRecordingMeta(
      vortane::FormatFileTime(QDateTime::currentDateTime()), vortane::FormatDuration(2712),
      vortane::FormatFileSize(612 * 1024 * 1024));
  const std::string record = vortane::EncodeTextMode(&meta, sizeof(meta));
  for (int i = 0; i < count; ++i) {
    QFile recording(folder + Name(i));
    QFile side(folder + "metas/" + Name(i) + ".meta");
    if (!recording.open(QIODevice::WriteOnly) || !side.open(QIODevice::WriteOnly)) return false;
    recording.write("lesson");
    side.write(record.data(), static_cast<qint64>(record.size()));
  }
  return true;
}

bool MakeVideo(const QString& path) {
  QProcess ffmpeg;
  ffmpeg.start("ffmpeg", {"-v",
                          "error",
                          "-y",
                          "-f",
                          "lavfi",
                          "-i",
                          "testsrc=size=320x240:rate=25",
                          "-f",
                          "lavfi",
                          "-i",
                          "sine=frequency=440",
                          "-t",
                          "2",
                          "-c:v",
                          "libx264",
                          "-preset",
                          "ultrafast",
                          "-c:a",
                          "aac",
                          "-shortest",
                          path});
  return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0;
}

// Lists `folder` in a shown file manager; seconds until the last row has been painted.
double ListSeconds(CMediaFileDlg& dialog, const QString& folder, int expectedRows) {
  bool filled = false;
  const auto connection =
      QObject::connect(&dialog, &CMediaFileDlg::listFilled, [&] { filled = true; });
  QElapsedTimer timer;
  timer.start();
  dialog.RefreshFileList(folder);
  while (!filled)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  // Scrolled to the bottom and painted: the last row is on the screen.
  dialog.List()->scrollToBottom();
  dialog.List()->viewport()->repaint();
  const double seconds = timer.nsecsElapsed() / 1e9;
  QObject::disconnect(connection);
  if (dialog.List()->GetItemCount() != expectedRows)
    std::fprintf(stderr, "listed %d rows, expected %d\n", dialog.List()->GetItemCount(),
                 expectedRows);
  return seconds;
}

double FfprobeSeconds(const QStringList& files) {
  QElapsedTimer timer;
  timer.start();
  for (const QString& file : files) {
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of",
                            "default=noprint_wrappers=1:nokey=1", file});
    probe.waitForFinished(20000);
  }
  return timer.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int listed = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int fresh = argc > 2 ? std::atoi(argv[2]) : 200;
  QTemporaryDir dir;

  // (a)
  const QString big = dir.filePath("listed/");
  if (!MakeListedFolder(big, listed)) return 1;
  CMediaFileDlg dialog;
  dialog.show();
  double best = 1e9;
  for (int run = 0; run < 3; ++run)
    best = std::min(best, ListSeconds(dialog, big, listed));
  std::printf(
      "(a) %d recordings with side files: last row shown after %.3f s (best of 3); "
      "target %.1f s; target/measured = %.2f\n",
      listed, best, kTargetSeconds, kTargetSeconds / best);

  // (b)
  const QString small = dir.filePath("fresh/");
  QDir().mkpath(small);
  const QString sample = dir.filePath("sample.mp4");
  if (!MakeVideo(sample)) return 1;
  QStringList files;
  for (int i = 0; i < fresh; ++i) {
    files << small + Name(i);
    if (!QFile::copy(sample, files.last())) return 1;
  }
  const double first = ListSeconds(dialog, small, fresh);
  const double ffprobe = FfprobeSeconds(files);
  std::printf(
      "(b) %d new recordings: first listing %.2f s = %.0f files/s (measured and side "
      "file written); ffprobe once per file %.2f s = %.0f files/s; ratio %.2f\n",
      fresh, first, fresh / first, ffprobe, fresh / ffprobe, ffprobe / first);
  const double again = ListSeconds(dialog, small, fresh);
  std::printf("    listed again from the side files: %.3f s\n", again);
  dialog.ShutDown();
  return 0;
}
