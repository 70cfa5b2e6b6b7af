// The recording library without a window: which files of a folder are recordings and in which
// order they are listed, the side files byte for byte (also ones written by Windows installs),
// damaged side files, the "metas" folder that cannot be made, the list's text formats and the
// side-file update after an upload. Lengths come from real media files made by ffmpeg.
#include "files/recording_library.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <atomic>
#include <cstring>
#include <semaphore>

#include "files/recording_formats.h"
#include "platform/media_duration.h"
#include "support/files.h"
#include "support/media.h"
#include "support/pump.h"
#include "support/recordings.h"

namespace vortane {
namespace {

using test::PumpUntil;
using test::ReadBytes;
using test::WriteBytes;

// Copies of one short real recording, made by ffmpeg once for the whole test program.
void CopySample(const QString& folder, std::initializer_list<const char*> names) {
  static QTemporaryDir media;
  static const QString sample = media.filePath(QStringLiteral("sample.mp4"));
  static const bool made = test::MakeVideo(sample, 3.0);
  ASSERT_TRUE(made) << "ffmpeg made the sample lesson";
  for (const char* name : names)
    ASSERT_TRUE(QFile::copy(sample, folder + QString::fromUtf8(name))) << name;
}

QByteArray Gbk(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  QByteArray out(utf8.size() * 2 + 4, '\0');
  char* in = utf8.data();
  char* at = out.data();
  size_t inLeft = static_cast<size_t>(utf8.size());
  size_t outLeft = static_cast<size_t>(out.size());
  iconv_t cd = iconv_open("GBK", "UTF-8");
  EXPECT_NE(iconv(cd, &in, &inLeft, &at, &outLeft), static_cast<size_t>(-1));
  iconv_close(cd);
  return out.left(out.size() - static_cast<qsizetype>(outLeft));
}

// A side-file record as a Windows install writes it: 616 bytes at their offsets, then every
// 0x0A stored as 0x0D 0x0A.
QByteArray SideFile(const QString& recordedAt, const QString& duration, const QString& size,
                    std::int32_t state, std::int32_t targetId, const QString& status,
                    const QString& target) {
  QByteArray record(616, '\0');
  const auto put = [&](int offset, const QByteArray& bytes) {
    record.replace(offset, bytes.size(), bytes);
  };
  put(0, Gbk(recordedAt));
  put(32, Gbk(duration));
  put(64, Gbk(size));
  qToLittleEndian(state, record.data() + 96);
  qToLittleEndian(targetId, record.data() + 100);
  put(104, Gbk(status));
  put(360, Gbk(target));
  record.replace("\n", "\r\n");
  return record;
}

// What a list fed by the library would show: its signals, collected (a new refresh starts it
// afresh). Given a folder, it lists that folder and waits for the end.
struct Listing {
  explicit Listing(RecordingLibrary& library, const QString& folder = {}) : library(library) {
    QObject::connect(&library, &RecordingLibrary::listCleared, &context, [this] {
      ++cleared;
      rows.clear();
      finished = false;
    });
    QObject::connect(&library, &RecordingLibrary::scanStarted, &context,
                     [this](bool s, int) { searched = s; });
    QObject::connect(&library, &RecordingLibrary::recordingsListed, &context,
                     [this](const QList<ListedRecording>& batch) { rows.append(batch); });
    QObject::connect(&library, &RecordingLibrary::scanFinished, &context,
                     [this](bool) { finished = true; });
    QObject::connect(&library, &RecordingLibrary::recordingAdded, &context,
                     [this](const ListedRecording& row) { rows.prepend(row); });
    if (folder.isEmpty()) return;
    library.RefreshFileList(folder);
    EXPECT_TRUE(PumpUntil([&] { return finished; }));
  }
  QStringList Names() const {
    QStringList names;
    for (const ListedRecording& row : rows)
      names << row.fileName;
    return names;
  }
  const ListedRecording* Row(const QString& name) const {
    for (const ListedRecording& row : rows)
      if (row.fileName == name) return &row;
    return nullptr;
  }
  RecordingLibrary& library;
  QObject context;
  int cleared = 0;
  bool searched = false;
  bool finished = false;
  QList<ListedRecording> rows;
};

// The real probe, counting how often it was asked.
struct CountingProbe {
  std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
  RecordingLibrary::DurationProbe Probe() const {
    return [calls = calls](const QString& path) {
      ++*calls;
      return platform::ProbeMediaDuration(path);
    };
  }
};

TEST(RecordingLibrary, ListsRecordingsNewestFirstBySubstringRulesAndKeepsTheirSideFiles) {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  // Recordings by the substring rules, whatever their extension says.
  CopySample(folder, {"b.mp4", "A.mp4", "c.ts", "x.mp4.part", "a.ts.bak", "x.tsv"});
  // Not recordings: ".meta" after the first character, a bare ".mp4", other names, upper case,
  // a directory, and a file that is not media.
  CopySample(folder, {"notes.meta.mp4", ".mp4", "readme.txt", "y.MP4"});
  ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("dir.mp4")));
  WriteBytes(folder + QStringLiteral("broken.mp4"), QByteArray(4096, 'x'));

  CountingProbe probe;
  RecordingLibrary library(probe.Probe());
  Listing first(library, folder + QStringLiteral("//"));
  EXPECT_EQ(library.Folder(), folder) << "one trailing separator";
  EXPECT_EQ(first.cleared, 1);
  EXPECT_TRUE(first.searched);
  EXPECT_EQ(first.Names(),
            QStringList({"x.tsv", "x.mp4.part", "c.ts", "b.mp4", "a.ts.bak", "A.mp4"}));
  EXPECT_EQ(*probe.calls, 7) << "the six recordings and broken.mp4 were measured";

  // Each listed recording got its side file, 616 bytes, no upload.
  for (const ListedRecording& row : first.rows) {
    const QByteArray bytes = ReadBytes(folder + "metas/" + row.fileName + ".meta");
    ASSERT_EQ(bytes.size(), 616 + bytes.count('\n')) << row.fileName.toStdString();
    const QStringList texts = RecordingRowTexts(row);
    EXPECT_TRUE(texts[2].endsWith("MB"));
    EXPECT_EQ(texts.mid(3), QStringList({"3秒", "", "不上传"}));
    EXPECT_EQ(row.entry.uploadState, -1);
    EXPECT_EQ(row.entry.targetId, -1);
    EXPECT_EQ(row.entry.meta.uploadState, -1);
  }
  EXPECT_FALSE(QFile::exists(folder + "metas/broken.mp4.meta")) << "not media: no side file";
  EXPECT_FALSE(QFile::exists(folder + "metas/readme.txt.meta"));
  const QStringList firstNames = first.Names();

  // Listed again: the texts come from the side files; only broken.mp4 is measured again.
  Listing second(library, folder);
  EXPECT_EQ(second.Names(), firstNames);
  EXPECT_EQ(*probe.calls, 8);
  EXPECT_TRUE(second.Row("c.ts")->fromSideFile);

  // A recording added by name goes on top; a vanished one is not added.
  CopySample(folder, {"A剪辑0-2.mp4"});
  library.AddFileToList(QStringLiteral("A剪辑0-2.mp4"));
  library.AddFileToList(folder + QStringLiteral("gone.mp4"));
  ASSERT_TRUE(PumpUntil([&] { return !library.IsBusy(); }));
  EXPECT_EQ(second.Names().first(), "A剪辑0-2.mp4");
  EXPECT_EQ(second.rows.size(), 7);

  // An empty folder lists nothing; a missing one cannot be searched.
  QTemporaryDir empty;
  Listing none(library, empty.path());
  EXPECT_TRUE(none.searched);
  EXPECT_TRUE(none.rows.isEmpty());
  EXPECT_FALSE(QFile::exists(empty.filePath(QStringLiteral("metas"))));
  Listing missing(library, empty.filePath(QStringLiteral("nowhere")));
  EXPECT_FALSE(missing.searched);
  EXPECT_TRUE(missing.rows.isEmpty());

  // Where "metas" cannot be made, the side files go beside the recordings.
  QTemporaryDir blockedDir;
  const QString blocked = blockedDir.path() + QLatin1Char('/');
  WriteBytes(blocked + "metas", QByteArray("a file in the way"));
  CopySample(blocked, {"lesson.mp4"});
  EXPECT_EQ(RecordingLibrary::GetMetaFolder(blocked), blocked);
  Listing beside(library, blocked);
  EXPECT_EQ(beside.Names(), QStringList({"lesson.mp4"}));
  EXPECT_EQ(ReadBytes(blocked + "lesson.mp4.meta").size(), 616);
  EXPECT_EQ(ReadBytes(blocked + "metas"), QByteArray("a file in the way"));
}

TEST(RecordingLibrary, SideFilesAreWindowsRecordsByteForByteRewrittenOnlyAfterAnUpload) {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  const QString metaPath = folder + "metas/lesson.mp4.meta";
  ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("metas")));
  // A side file written by a Windows install: a finished upload, the state 10 (0x0A) and a
  // status text holding a line end, all stored with CR LF. The recording itself is not media:
  // its side file is all the list needs.
  const QByteArray windows = SideFile("2016年3月5日 9点7分", "75分3秒", "1.5GB", 10, 42,
                                      "回调时无响应！\n重试", "数学 第一课");
  ASSERT_EQ(windows.size(), 616 + 2) << "two 0x0A bytes stored as CR LF";
  WriteBytes(metaPath, windows);
  WriteBytes(folder + "lesson.mp4", QByteArray("not a video"));

  RecordingLibrary library;
  Listing listing(library, folder);
  ASSERT_EQ(listing.rows.size(), 1);
  const ListedRecording& row = listing.rows.first();
  EXPECT_EQ(RecordingRowTexts(row),
            QStringList({"lesson.mp4", "2016年3月5日 9点7分", "1.5GB", "75分3秒",
                         "回调时无响应！\n重试", "数学 第一课"}));
  EXPECT_EQ(row.entry.uploadState, 10);
  EXPECT_EQ(row.entry.targetId, 42);
  EXPECT_EQ(ReadBytes(metaPath), windows) << "read, never rewritten";

  // What the program writes is the same record: saved after an upload of state 10 with that
  // status, its bytes equal the Windows file.
  RecordingEntry entry = row.entry;
  std::memset(entry.meta.statusText, 0, sizeof(entry.meta.statusText));
  entry.statusText = QStringLiteral("回调时无响应！\n重试");
  entry.targetName = QStringLiteral("数学 第一课");
  ASSERT_TRUE(library.SaveItemMeta("lesson.mp4", entry));
  EXPECT_EQ(ReadBytes(metaPath), windows);

  // Not uploaded (−1) or queued (0): nothing is written.
  for (int state : {-1, 0}) {
    entry.uploadState = state;
    EXPECT_FALSE(library.SaveItemMeta("lesson.mp4", entry)) << state;
  }
  EXPECT_EQ(ReadBytes(metaPath), windows);
  entry.uploadState = 3;
  entry.targetId = 9;
  entry.statusText = QStringLiteral("上传完毕");
  entry.targetName = QStringLiteral("物理");
  ASSERT_TRUE(library.SaveItemMeta("lesson.mp4", entry));
  // An over-long status and an empty destination leave those fields as they were.
  entry.uploadState = 10;
  entry.statusText = QString(300, QLatin1Char('e'));
  entry.targetName.clear();
  ASSERT_TRUE(library.SaveItemMeta("lesson.mp4", entry));
  Listing saved(library, folder);
  ASSERT_EQ(saved.rows.size(), 1);
  EXPECT_EQ(
      RecordingRowTexts(saved.rows.first()),
      QStringList({"lesson.mp4", "2016年3月5日 9点7分", "1.5GB", "75分3秒", "上传完毕", "物理"}))
      << "time, size and length stay";
  EXPECT_EQ(saved.rows.first().entry.uploadState, 10);
  EXPECT_EQ(saved.rows.first().entry.targetId, 9);

  // An upload state of −1 in a side file shows no status and "不上传".
  WriteBytes(metaPath, SideFile("2016年3月5日 9点7分", "75分3秒", "1.5GB", -1, 42, "旧的", "旧的"));
  Listing again(library, folder);
  ASSERT_EQ(again.rows.size(), 1);
  EXPECT_EQ(RecordingRowTexts(again.rows.first()).mid(4), QStringList({"", "不上传"}));
  EXPECT_EQ(again.rows.first().entry.uploadState, -1);
  EXPECT_EQ(again.rows.first().entry.targetId, -1);
}

TEST(RecordingLibrary, DamagedSideFilesNeverBreakTheList) {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("metas")));
  CopySample(folder, {"empty.mp4", "short.mp4", "garbage.mp4", "long.mp4"});
  WriteBytes(folder + "metas/empty.mp4.meta", QByteArray());
  WriteBytes(folder + "metas/short.mp4.meta", Gbk("2020年"));
  QByteArray garbage(616, '\0');
  for (int i = 0; i < garbage.size(); ++i)
    garbage[i] = static_cast<char>(0x81 + (i * 37) % 120);
  WriteBytes(folder + "metas/garbage.mp4.meta", garbage);
  QByteArray overLong = SideFile("2019年1月2日 3点4分", "5秒", "0.1MB", 3, 7, "上传完毕", "语文");
  overLong.append(QByteArray(2000, 'z'));
  WriteBytes(folder + "metas/long.mp4.meta", overLong);

  CountingProbe probe;
  RecordingLibrary library(probe.Probe());
  Listing listing(library, folder);
  EXPECT_EQ(listing.Names(), QStringList({"short.mp4", "long.mp4", "garbage.mp4", "empty.mp4"}));
  EXPECT_EQ(*probe.calls, 1) << "only the empty side file counts as missing";
  // The empty one was measured and rewritten.
  EXPECT_EQ(RecordingRowTexts(*listing.Row("empty.mp4"))[3], "3秒");
  const QByteArray rewritten = ReadBytes(folder + "metas/empty.mp4.meta");
  EXPECT_EQ(rewritten.size(), 616 + rewritten.count('\n'));
  // The short one is used as far as it goes; the rest reads empty.
  EXPECT_EQ(RecordingRowTexts(*listing.Row("short.mp4")),
            QStringList({"short.mp4", "2020年", "", "", "", "不上传"}));
  // Garbage shows as garbage, each text at most its field.
  const QStringList garbageTexts = RecordingRowTexts(*listing.Row("garbage.mp4"));
  EXPECT_LE(garbageTexts[1].size(), 32);
  EXPECT_LE(garbageTexts[4].size(), 256);
  // Bytes past the record do not count.
  EXPECT_EQ(RecordingRowTexts(*listing.Row("long.mp4")),
            QStringList({"long.mp4", "2019年1月2日 3点4分", "0.1MB", "5秒", "上传完毕", "语文"}));
}

TEST(RecordingLibrary, ListingRunsOffTheCallersThreadAndANewRefreshReplacesIt) {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  CopySample(folder, {"1.mp4", "2.mp4", "3.mp4"});
  // A disk that takes as long as it likes: every measurement waits for the test's go.
  auto gate = std::make_shared<std::counting_semaphore<16>>(0);
  RecordingLibrary library([gate](const QString&) {
    gate->acquire();
    return 59.9;
  });
  Listing listing(library);
  library.RefreshFileList(folder);
  EXPECT_EQ(listing.cleared, 1) << "the old rows go at once";
  EXPECT_TRUE(listing.rows.isEmpty()) << "the call returned while the disk was still busy";
  EXPECT_TRUE(library.IsBusy());
  // A second refresh while the first waits: only the second one's rows arrive.
  library.RefreshFileList(folder);
  gate->release(16);
  ASSERT_TRUE(PumpUntil([&] { return listing.finished && !library.IsBusy(); }));
  EXPECT_EQ(listing.cleared, 2);
  EXPECT_EQ(listing.Names(), QStringList({"3.mp4", "2.mp4", "1.mp4"}));
  EXPECT_EQ(RecordingRowTexts(listing.rows.first())[3], "59秒")
      << "a length of 59.9 s is listed as 59 s";
}

TEST(RecordingLibrary, TextFormats) {
  EXPECT_EQ(FormatFileSize(1610612736), "1.5GB");
  EXPECT_EQ(FormatFileSize(1048576), "1.0MB");
  EXPECT_EQ(FormatFileSize(1073741823), "1024.0MB");
  EXPECT_EQ(FormatFileSize(1073741824), "1.0GB");
  EXPECT_EQ(FormatDuration(59), "59秒");
  EXPECT_EQ(FormatDuration(0), "0秒");
  EXPECT_EQ(FormatDuration(3600), "60分0秒");
  EXPECT_EQ(FormatDuration(4503), "75分3秒");
  EXPECT_EQ(FormatFileTime(QDateTime(QDate(2016, 3, 5), QTime(9, 7))), "2016年3月5日 9点7分");
  EXPECT_EQ(FormatFileTime(QDateTime(QDate(2024, 12, 31), QTime(23, 59))),
            "2024年12月31日 23点59分");
  EXPECT_EQ(RecordingLibrary::NormaliseFolder("/v/lessons//"), "/v/lessons/");
  EXPECT_EQ(RecordingLibrary::NormaliseFolder("/v/lessons\\"), "/v/lessons/");
}

}  // namespace
}  // namespace vortane
