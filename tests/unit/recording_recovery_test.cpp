#include "files/recording_recovery.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <map>

#include "platform/media_duration.h"
#include "platform/window_messages.h"

namespace vortane {
namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TEST(RecordingRecovery, FindsTheLessonsThatWereNotFinished) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  // Lengths as the media probe would tell them; a file missing here does not open.
  std::map<QString, double> lengths;
  std::vector<QString> busy;
  auto add = [&](const char* name, std::optional<double> seconds, const QByteArray& bytes = "x") {
    ASSERT_TRUE(WriteBytes(folder.filePath(QLatin1String(name)), bytes));
    if (seconds) lengths[folder.filePath(QLatin1String(name))] = *seconds;
  };
  add("20250101080000.ts", 60);                                   // no final file
  add("20250101080100.ts", 60), add("20250101080100m.mp4", 60);   // finished
  add("20250101080200.ts", 60), add("20250101080200m.mp4", {});   // copy never finished
  add("20250101080300.ts", 60), add("20250101080300t.ts", 59.5);  // finished as TS
  add("20250101080400.ts", 60), add("20250101080400m.mp4", 55);   // copy cut off
  add("20250101080500.ts", {});                                   // damaged: tried all the same
  add("2025010108060.ts", 60), add("lesson.ts", 60), add("20250101080600t.ts", 60);
  add("20250101080700.ts", 60);
  busy.push_back(folder.filePath(QStringLiteral("20250101080700.ts")));  // still recording
  add("20250101080800.ts", 60, QByteArray());                            // empty
  add("20251209101500.ts", 60);                                          // this run's own recording
  RecordingRecovery::Probes probes;
  probes.duration = [&](const QString& path) -> std::optional<double> {
    auto it = lengths.find(path);
    return it == lengths.end() ? std::nullopt : std::optional<double>(it->second);
  };
  probes.inUse = [&](const QString& path) {
    return std::find(busy.begin(), busy.end(), path) != busy.end();
  };

  const auto found =
      RecordingRecovery::Find(folder.path(), 0, QStringLiteral("20251209101500"), probes);
  std::vector<QString> names;
  for (const UnfinishedRecording& recording : found) {
    names.push_back(QFileInfo(recording.capturePath).fileName() + QLatin1Char('>') +
                    QFileInfo(recording.finalPath).fileName());
  }
  EXPECT_EQ(names,
            (std::vector<QString>{
                "20250101080000.ts>20250101080000m.mp4", "20250101080200.ts>20250101080200m.mp4",
                "20250101080400.ts>20250101080400m.mp4", "20250101080500.ts>20250101080500m.mp4"}));
  const auto asTs =
      RecordingRecovery::Find(folder.path(), 1, QStringLiteral("20251209101500"), probes);
  ASSERT_FALSE(asTs.empty());
  EXPECT_EQ(QFileInfo(asTs.front().finalPath).fileName(), QStringLiteral("20250101080000t.ts"));

  // The status line.
  auto results = [](std::initializer_list<bool> outcomes) {
    std::vector<RecoveredRecording> list;
    int n = 0;
    for (bool recovered : outcomes) {
      // 08:00, 08:05, ...
      const QString base = QStringLiteral("/v/202501010%100").arg(8000 + 5 * n++);
      list.push_back({{base + ".ts", base + "m.mp4"}, recovered});
    }
    return list;
  };
  EXPECT_FALSE(RecordingRecovery::Describe({}));
  auto one = RecordingRecovery::Describe(results({true}));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->text, U("已恢复上次未完成的录像 08:00"));
  EXPECT_FALSE(one->isError);
  EXPECT_EQ(RecordingRecovery::Describe(results({true, true}))->text,
            U("已恢复上次未完成的录像 2 个"));
  auto failed = RecordingRecovery::Describe(results({true, false}));
  EXPECT_EQ(failed->text, U("上次的录像未能恢复，原始录像已保留"));
  EXPECT_TRUE(failed->isError);
  EXPECT_EQ(RecordingRecovery::Describe(results({false, false}))->text,
            U("2 个录像未能恢复，原始录像已保留"));
}

// The real thing: captures made by ffmpeg, copied by vortenc on a worker thread, reported to a
// window.
TEST(RecordingRecovery, RecoversWithTheEncoderAndKeepsWhatItCannotCopy) {
  int argc = 1;
  char arg0[] = "recording_recovery_test";
  char* argv[] = {arg0, nullptr};
  QCoreApplication app(argc, argv);
  const QString programs = qEnvironmentVariable("VORTANE_PROGRAM_DIR");
  ASSERT_FALSE(programs.isEmpty()) << "run through ctest: vortenc is taken from the build";
  qputenv("PATH", programs.toLocal8Bit() + ":" + qgetenv("PATH"));
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString lesson = folder.filePath(QStringLiteral("20250101080000.ts"));
  QProcess ffmpeg;
  ffmpeg.start(QStringLiteral("ffmpeg"), {"-v",       "error",
                                          "-f",       "lavfi",
                                          "-i",       "testsrc=size=320x240:rate=25:duration=3",
                                          "-f",       "lavfi",
                                          "-i",       "sine=duration=3",
                                          "-c:v",     "libx264",
                                          "-preset",  "ultrafast",
                                          "-pix_fmt", "yuv420p",
                                          "-c:a",     "aac",
                                          "-f",       "mpegts",
                                          lesson});
  ASSERT_TRUE(ffmpeg.waitForFinished(60000));
  ASSERT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
  // The same lesson whose copy was cut off before the MP4's index was written.
  const QString copied = folder.filePath(QStringLiteral("20250101080100.ts"));
  ASSERT_TRUE(QFile::copy(lesson, copied));
  ASSERT_TRUE(
      WriteBytes(folder.filePath(QStringLiteral("20250101080100m.mp4")), QByteArray("\0\0\0\x20"
                                                                                    "ftypisom",
                                                                                    12)));
  // A capture that holds no media at all, and one an encoder still writes.
  const QString damaged = folder.filePath(QStringLiteral("20250101080200.ts"));
  ASSERT_TRUE(WriteBytes(damaged, QByteArray(4096, '\x47')));
  const QString recording = folder.filePath(QStringLiteral("20250101080300.ts"));
  ASSERT_TRUE(QFile::copy(lesson, recording));
  QProcess encoder;
  encoder.start(QStringLiteral("bash"),
                {"-c", "exec -a vortenc tail -f \"$0\" >/dev/null", recording});
  ASSERT_TRUE(encoder.waitForStarted());

  std::vector<RecoveredRecording> results;
  bool done = false;
  platform::MessageWindow owner(&app, [&](const platform::WindowMessage& message) {
    if (message.message != WM_RECOVERY_DONE) return;
    results = std::any_cast<std::vector<RecoveredRecording>>(message.payload);
    done = true;
  });
  RecordingRecovery recovery;
  // Wait until the stand-in encoder shows its name.
  QElapsedTimer clock;
  clock.start();
  while (!RecordingRecovery::SystemProbes().inUse(recording) && clock.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  recovery.Start(folder.path(), 0, QStringLiteral("20251209101500"), owner.handle());
  EXPECT_TRUE(recovery.Running());
  clock.restart();
  while (!done && clock.elapsed() < 60000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  encoder.kill();
  encoder.waitForFinished();
  ASSERT_TRUE(done);
  recovery.Finished();
  EXPECT_FALSE(recovery.Running());

  ASSERT_EQ(results.size(), 3u);
  EXPECT_TRUE(results[0].recovered);
  EXPECT_TRUE(results[1].recovered);
  EXPECT_FALSE(results[2].recovered);
  for (const char* name : {"20250101080000m.mp4", "20250101080100m.mp4"}) {
    EXPECT_NEAR(platform::ProbeMediaDuration(folder.filePath(QLatin1String(name))), 3.0, 0.3)
        << name;
  }
  EXPECT_FALSE(QFile::exists(lesson));
  EXPECT_FALSE(QFile::exists(copied));
  EXPECT_TRUE(QFile::exists(damaged)) << "a capture that cannot be copied is kept";
  EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("20250101080200m.mp4"))));
  EXPECT_TRUE(QFile::exists(recording));
  EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("20250101080300m.mp4"))));
  EXPECT_EQ(RecordingRecovery::Describe(results)->text, U("上次的录像未能恢复，原始录像已保留"));
}

}  // namespace
}  // namespace vortane
