// Clip trimming without a window: the clip's name, the refusals, a cut the encoder fails (told in
// red with its last words, nothing listed), the same cut again, and the program's end during a cut
// (the unfinished clip removed, nothing else touched). The encoder is the real vortenc with ffmpeg,
// except where a cut must take its time.
#include "files/clip_trimmer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/files.h"
#include "support/media.h"
#include "support/pump.h"
#include "support/recordings.h"
#include "support/scoped_env.h"

namespace vortane {
namespace {

using Result = ClipTrimmer::StartResult;
using test::PumpUntil;

struct Status {
  QString text;
  bool failed;
};

// The trimmer's signals, collected.
struct Watch {
  explicit Watch(ClipTrimmer& trimmer) {
    QObject::connect(&trimmer, &ClipTrimmer::statusChanged,
                     [this](const QString& text, bool failed) {
                       statuses.push_back({text, failed});
                     });
    QObject::connect(&trimmer, &ClipTrimmer::clipFinished,
                     [this](const QString& path) { clips << path; });
    QObject::connect(&trimmer, &ClipTrimmer::cuttingChanged,
                     [this](bool cutting) { cuttingChanges << cutting; });
  }
  std::vector<Status> statuses;
  QStringList clips;
  QList<bool> cuttingChanges;
};

TEST(ClipTrimmer, ClipNamesRefusalsAndLastWords) {
  EXPECT_EQ(ClipTrimmer::ClipPath("/v/A.mp4", 12.7, 40.2), "/v/A剪辑12-40.mp4");
  EXPECT_EQ(ClipTrimmer::ClipPath("/v/A剪辑12-40.mp4", 0, 15), "/v/A剪辑12-40剪辑0-15.mp4");
  EXPECT_EQ(ClipTrimmer::ClipPath("/v/x.ts.bak", 35980, 35999.9), "/v/x.ts剪辑35980-35999.bak");
  // The dot must be in the file name, after its first character.
  EXPECT_EQ(ClipTrimmer::ClipPath("/v.d/lesson", 0, 20), std::nullopt);
  EXPECT_EQ(ClipTrimmer::ClipPath("/v/.mp4", 0, 20), std::nullopt);

  QTemporaryDir dir;
  const QString source = dir.filePath(QStringLiteral("A.mp4"));
  test::WriteBytes(source, QByteArray("a lesson"));
  ClipTrimmer trimmer;
  Watch watch(trimmer);
  EXPECT_EQ(trimmer.Start(source, 5.0, 15.0), Result::kInvalidRange) << "exactly 10 s";
  EXPECT_EQ(trimmer.Start(source, 20.0, 20.0), Result::kInvalidRange);
  EXPECT_EQ(trimmer.Start(source, 30.0, 5.0), Result::kInvalidRange);
  EXPECT_EQ(trimmer.Start(QString(), 0.0, 30.0), Result::kIgnored) << "nothing loaded";
  EXPECT_EQ(trimmer.Start(dir.filePath(QStringLiteral("gone.mp4")), 0.0, 30.0), Result::kIgnored);
  // A path the command line cannot carry is refused with a reason.
  const QString quoted = dir.filePath(QStringLiteral("say \"hi\".mp4"));
  test::WriteBytes(quoted, QByteArray("a lesson"));
  EXPECT_EQ(trimmer.Start(quoted, 0.0, 30.0), Result::kRefused);
  ASSERT_EQ(watch.statuses.size(), 1u);
  EXPECT_TRUE(watch.statuses.back().failed);
  EXPECT_FALSE(trimmer.IsCutting());

  EXPECT_EQ(LastEncoderWords("frame=  10 time=00:00:01.00 \r[out#0/mp4 @ 0x5] Error opening "
                             "output A.mp4: Is a directory\nError opening output files: Is a "
                             "directory\r\nConversion failed!\r\n"),
            "Error opening output files: Is a directory");
  EXPECT_EQ(LastEncoderWords("\r\n  \n"), QString());
  EXPECT_EQ(LastProgressTime("frame=1 time=00:00:00.00 bitrate=N/A \rframe=130 time=00:00:13.00 "
                             "bitrate=1.0kbits/s speed=900x \n"),
            "00:00:13.00");
  EXPECT_EQ(LastProgressTime("frame=130 time=00:00:13"), QString()) << "cut short";
}

TEST(ClipTrimmer, ACutTheEncoderFailsIsToldInRedAndNotListed) {
  QTemporaryDir dir;
  const QString source = dir.filePath(QStringLiteral("A.mp4"));
  const QString clip = dir.filePath(QStringLiteral("A剪辑1-13.mp4"));
  ASSERT_TRUE(test::MakeVideo(source, 15.0));
  // Something that is no file is in the clip's place: the encoder cannot write there.
  ASSERT_TRUE(QDir().mkdir(clip));
  ClipTrimmer trimmer;
  Watch watch(trimmer);
  ASSERT_EQ(trimmer.Start(source, 1.4, 13.5), Result::kStarted);
  EXPECT_TRUE(trimmer.IsCutting());
  EXPECT_EQ(trimmer.Start(source, 1.4, 13.5), Result::kIgnored) << "one cut at a time";
  ASSERT_TRUE(PumpUntil([&] { return !trimmer.IsCutting(); }));
  ASSERT_FALSE(watch.statuses.empty());
  EXPECT_EQ(watch.statuses.front().text, "开始剪辑...");
  const Status& last = watch.statuses.back();
  EXPECT_TRUE(last.failed);
  EXPECT_TRUE(last.text.startsWith("剪辑失败：")) << last.text.toStdString();
  EXPECT_TRUE(last.text.contains("directory", Qt::CaseInsensitive)) << last.text.toStdString();
  EXPECT_TRUE(watch.clips.isEmpty());
  EXPECT_EQ(watch.cuttingChanges, QList<bool>({true, false}));
  EXPECT_TRUE(QFileInfo(clip).isDir()) << "left alone";

  // The same cut to a free place succeeds: "剪辑完成" with the clip's length from the encoder's
  // last progress line, and the clip is reported for the list.
  ASSERT_TRUE(QDir().rmdir(clip));
  ASSERT_EQ(trimmer.Start(source, 1.4, 13.5), Result::kStarted);
  ASSERT_TRUE(PumpUntil([&] { return !trimmer.IsCutting(); }));
  EXPECT_FALSE(watch.statuses.back().failed);
  EXPECT_EQ(watch.statuses.back().text.left(12), "剪辑完成 00:00:1")
      << watch.statuses.back().text.toStdString();
  EXPECT_EQ(watch.clips, QStringList({clip}));

  // The same cut once more replaces the teacher's own clip, as a new cut of that stretch should.
  ASSERT_EQ(trimmer.Start(source, 1.4, 13.5), Result::kStarted);
  ASSERT_TRUE(PumpUntil([&] { return !trimmer.IsCutting(); }));
  EXPECT_FALSE(watch.statuses.back().failed) << watch.statuses.back().text.toStdString();
  EXPECT_EQ(watch.clips, QStringList({clip, clip}));
}

TEST(ClipTrimmer, TheProgramsEndStopsACutAndRemovesOnlyItsUnfinishedClip) {
  QTemporaryDir dir;
  QTemporaryDir fakeBin;
  // An encoder that works until it is told to stop, found before the real one.
  const QString script = qEnvironmentVariable("VORTANE_SOURCE_DIR") +
                         QStringLiteral("/tests/unit/children/slow_trim.sh");
  const QString fake = fakeBin.filePath(QStringLiteral("vortenc"));
  test::WriteBytes(fake, QStringLiteral("#!/bin/sh\nexec sh \"%1\" \"$@\"\n").arg(script).toUtf8());
  ASSERT_TRUE(QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  test::ScopedEnv path("PATH", QFile::encodeName(fakeBin.path()) + ':' + qgetenv("PATH"));

  const QString source = dir.filePath(QStringLiteral("B.mp4"));
  const QString other = dir.filePath(QStringLiteral("B剪辑0-11.mp4"));
  test::WriteBytes(source, QByteArray("the lesson"));
  test::WriteBytes(other, QByteArray("an earlier clip"));
  {
    ClipTrimmer trimmer;
    Watch watch(trimmer);
    ASSERT_EQ(trimmer.Start(source, 2.0, 30.0), Result::kStarted);
    const QString clip = trimmer.OutputPath();
    EXPECT_EQ(clip, dir.filePath(QStringLiteral("B剪辑2-30.mp4")));
    ASSERT_TRUE(PumpUntil([&] {
      return !watch.statuses.empty() && watch.statuses.back().text == "00:00:01.00";
    })) << "the cut runs";
    ASSERT_TRUE(QFile::exists(clip));
    trimmer.Abort();
    EXPECT_FALSE(trimmer.IsCutting());
    EXPECT_FALSE(QFile::exists(clip)) << "the unfinished clip is gone";
    EXPECT_TRUE(watch.clips.isEmpty());
  }
  EXPECT_EQ(test::ReadBytes(source), QByteArray("the lesson"));
  EXPECT_EQ(test::ReadBytes(other), QByteArray("an earlier clip"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

}  // namespace
}  // namespace vortane
