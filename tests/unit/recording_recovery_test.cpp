#include "files/recording_recovery.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <map>

#include "files/final_copy.h"
#include "platform/lesson_marks.h"
#include "platform/media_duration.h"
#include "support/files.h"
#include "support/media.h"
#include "support/pump.h"
#include "support/recordings.h"

namespace vortane {
namespace {

using test::WriteBytes;

TEST(RecordingRecovery, FindsTheLessonsThatWereNotFinished) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  // Lengths as the media probe would tell them; a file missing here does not open.
  std::map<QString, double> lengths;
  std::vector<QString> busy;
  auto add = [&](const char* name, std::optional<double> seconds, const QByteArray& bytes = "x") {
    WriteBytes(folder.filePath(QLatin1String(name)), bytes);
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
  EXPECT_EQ(QFileInfo(asTs.front().finalPath).fileName(), "20250101080000t.ts");

  // The status line: the first recording's start time, or how many; failures in red.
  EXPECT_FALSE(RecordingRecovery::Describe({}));
  const struct {
    std::vector<bool> recovered;
    const char* text;
    bool isError;
  } kStatusLines[] = {
      {{true}, "已恢复上次未完成的录像 08:00", false},
      {{true, true}, "已恢复上次未完成的录像 2 个", false},
      {{true, false}, "上次的录像未能恢复，原始录像已保留", true},
      {{false, false}, "2 个录像未能恢复，原始录像已保留", true},
  };
  for (const auto& line : kStatusLines) {
    std::vector<RecoveredRecording> results;
    for (bool recovered : line.recovered) {
      // 08:00, 08:05, ...
      const QString base = QStringLiteral("/v/202501010%100").arg(8000 + 5 * results.size());
      results.push_back({{base + ".ts", base + "m.mp4"}, recovered, QString()});
    }
    const auto report = RecordingRecovery::Describe(results);
    ASSERT_TRUE(report) << line.text;
    EXPECT_EQ(report->text, line.text);
    EXPECT_EQ(report->isError, line.isError) << line.text;
  }
}

// The real thing: captures made by ffmpeg, copied by vortenc on a worker thread, reported to a
// window.
TEST(RecordingRecovery, RecoversWithTheEncoderAndKeepsWhatItCannotCopy) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString lesson = folder.filePath(QStringLiteral("20250101080000.ts"));
  ASSERT_TRUE(test::MakeVideo(lesson, 3.0));
  // The same lesson whose copy was cut off before the MP4's index was written.
  const QString copied = folder.filePath(QStringLiteral("20250101080100.ts"));
  ASSERT_TRUE(QFile::copy(lesson, copied));
  WriteBytes(folder.filePath(QStringLiteral("20250101080100m.mp4")),
             QByteArray("\0\0\0\x20", 4) + "ftypisom");
  // A capture that holds no media at all, and one an encoder still writes.
  const QString damaged = folder.filePath(QStringLiteral("20250101080200.ts"));
  WriteBytes(damaged, QByteArray(4096, '\x47'));
  const QString recording = folder.filePath(QStringLiteral("20250101080300.ts"));
  ASSERT_TRUE(QFile::copy(lesson, recording));
  QProcess encoder;
  encoder.start(QStringLiteral("bash"),
                {"-c", "exec -a vortenc tail -f \"$0\" >/dev/null", recording});
  ASSERT_TRUE(encoder.waitForStarted());

  std::vector<RecoveredRecording> results;
  bool done = false;
  RecordingRecovery recovery;
  QObject::connect(&recovery, &RecordingRecovery::finished,
                   [&](const std::vector<RecoveredRecording>& found) {
                     EXPECT_FALSE(recovery.Running()) << "running until it has reported";
                     results = found;
                     done = true;
                   });
  // Wait until the stand-in encoder shows its name.
  ASSERT_TRUE(test::PumpUntil([&] { return RecordingRecovery::SystemProbes().inUse(recording); }));
  recovery.Start(folder.path(), 0, QStringLiteral("20251209101500"));
  EXPECT_TRUE(recovery.Running());
  ASSERT_TRUE(test::PumpUntil([&] { return done; }, 60000));
  encoder.kill();
  encoder.waitForFinished();

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
  EXPECT_EQ(RecordingRecovery::Describe(results)->text, "上次的录像未能恢复，原始录像已保留");
}

// A capture is removed only after its copy is on the disk and plays about as long.
TEST(RecordingRecovery, OnlyACopyThatPlaysAsLongAsItsCaptureIsTrusted) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString capture = folder.filePath(QStringLiteral("20250101080000.ts"));
  ASSERT_TRUE(test::MakeVideo(capture, 3.0));
  const QString good = folder.filePath(QStringLiteral("good.mp4"));
  ASSERT_TRUE(test::MakeVideo(good, 3.0));
  const QString shorter = folder.filePath(QStringLiteral("shorter.mp4"));
  ASSERT_TRUE(test::MakeVideo(shorter, 1.5));
  const QByteArray whole = test::ReadBytes(good);
  const QString cutOff = folder.filePath(QStringLiteral("cut-off.mp4"));
  WriteBytes(cutOff, whole.left(whole.indexOf("moov") - 4));
  const QString link = folder.filePath(QStringLiteral("link.mp4"));
  ASSERT_TRUE(QFile::link(good, link));
  const struct {
    QString final;
    bool trusted;
  } kCopies[] = {{good, true},
                 {shorter, false},
                 {cutOff, false},
                 {link, false},
                 {folder.filePath(QStringLiteral("missing.mp4")), false}};
  for (const auto& copy : kCopies)
    EXPECT_EQ(VerifyFinalCopy(capture, copy.final), copy.trusted) << copy.final.toStdString();

  // A lesson stopped 1.5 s after its capture began: its copy ends there, the capture ran on.
  const int fd = ::open(QFile::encodeName(capture).constData(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const long long now = QDateTime::currentMSecsSinceEpoch() * 1000;
  ASSERT_TRUE(platform::MarkCaptureStart(fd, now - 1'500'000));
  ::close(fd);
  ASSERT_TRUE(platform::MarkLessonEnd(capture));
  EXPECT_TRUE(VerifyFinalCopy(capture, shorter));
  EXPECT_TRUE(VerifyFinalCopy(capture, good)) << "a copy of the whole capture is whole";
}

}  // namespace
}  // namespace vortane
