// The recording library without a window: which files of a folder are recordings and in which
// order they are listed, the side files byte for byte (also ones written by Windows installs),
// damaged side files, the "metas" folder that cannot be made, the list's text formats and the
// side-file update after an upload. Lengths come from real media files made by ffmpeg.
#include "files/recording_library.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cstring>
#include <functional>
#include <semaphore>

#include "files/recording_formats.h"
#include "platform/media_duration.h"
#include "support/files.h"
#include "support/media.h"
#include "support/pump.h"

namespace vortane {
namespace {

using test::ReadBytes;
using test::WriteBytes;

// One application and one short real recording for the whole test program.
class LibraryEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app_ = std::make_unique<QCoreApplication>(argc_, argv_);
    ASSERT_TRUE(media_.isValid());
    ASSERT_TRUE(test::MakeVideo(Sample(), 3.0)) << "ffmpeg made the sample lesson";
  }
  void TearDown() override { app_.reset(); }
  static QString Sample() { return media_.filePath(QStringLiteral("sample.mp4")); }

 private:
  int argc_ = 1;
  char arg0_[13] = "library_test";
  char* argv_[2] = {arg0_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
  static inline QTemporaryDir media_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

using test::PumpUntil;

QByteArray Gbk(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  QByteArray out(utf8.size() * 2 + 4, '\0');
  iconv_t cd = iconv_open("GBK", "UTF-8");
  char* in = const_cast<char*>(utf8.constData());
  size_t inLeft = static_cast<size_t>(utf8.size());
  char* outPtr = out.data();
  size_t outLeft = static_cast<size_t>(out.size());
  EXPECT_NE(iconv(cd, &in, &inLeft, &outPtr, &outLeft), static_cast<size_t>(-1));
  iconv_close(cd);
  out.truncate(out.size() - static_cast<qsizetype>(outLeft));
  return out;
}

// A side-file record as a Windows install writes it: 616 bytes at their offsets, then every
// 0x0A stored as 0x0D 0x0A.
QByteArray SideFile(const QString& recordedAt, const QString& duration, const QString& size,
                    std::int32_t state, std::int32_t targetId, const QString& status,
                    const QString& target) {
  QByteArray record(616, '\0');
  const auto put = [&](int offset, const QByteArray& bytes) {
    std::memcpy(record.data() + offset, bytes.constData(), static_cast<size_t>(bytes.size()));
  };
  put(0, Gbk(recordedAt));
  put(32, Gbk(duration));
  put(64, Gbk(size));
  for (int i = 0; i < 4; ++i) {
    record[96 + i] = static_cast<char>((static_cast<std::uint32_t>(state) >> (8 * i)) & 0xFF);
    record[100 + i] = static_cast<char>((static_cast<std::uint32_t>(targetId) >> (8 * i)) & 0xFF);
  }
  put(104, Gbk(status));
  put(360, Gbk(target));
  record.replace("\n", "\r\n");
  return record;
}

// What a list fed by the library would show: its signals, collected (a new refresh starts it
// afresh).
struct Listing {
  explicit Listing(RecordingLibrary& library) : library(library) {
    QObject::connect(&library, &RecordingLibrary::listCleared, &context, [this] {
      ++cleared;
      rows.clear();
      finished = false;
    });
    QObject::connect(&library, &RecordingLibrary::scanStarted, &context, [this](bool s, int t) {
      searched = s;
      total = t;
    });
    QObject::connect(&library, &RecordingLibrary::recordingsListed, &context,
                     [this](const QList<ListedRecording>& batch) { rows.append(batch); });
    QObject::connect(&library, &RecordingLibrary::scanFinished, &context,
                     [this](bool) { finished = true; });
    QObject::connect(&library, &RecordingLibrary::recordingAdded, &context,
                     [this](const ListedRecording& row) { rows.prepend(row); });
  }
  // Lists `folder` and waits for the end.
  Listing& Refresh(const QString& folder) {
    library.RefreshFileList(folder);
    EXPECT_TRUE(PumpUntil([&] { return finished; }));
    return *this;
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
  int total = -1;
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

void CopySample(const QString& path) {
  QFile::remove(path);
  ASSERT_TRUE(QFile::copy(LibraryEnvironment::Sample(), path)) << path.toStdString();
}

TEST(RecordingLibrary, ListsRecordingsNewestFirstBySubstringRulesAndKeepsTheirSideFiles) {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  // Recordings by the substring rules, whatever their extension says.
  for (const char* name : {"b.mp4", "A.mp4", "c.ts", "x.mp4.part", "a.ts.bak", "x.tsv"})
    CopySample(folder + QLatin1String(name));
  // Not recordings: ".meta" after the first character, a bare ".mp4", other names, upper case,
  // a directory, and a file that is not media.
  for (const char* name : {"notes.meta.mp4", ".mp4", "readme.txt", "y.MP4"})
    CopySample(folder + QLatin1String(name));
  ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("dir.mp4")));
  WriteBytes(folder + QStringLiteral("broken.mp4"), QByteArray(4096, 'x'));

  CountingProbe probe;
  RecordingLibrary library(probe.Probe());
  Listing first(library);
  first.Refresh(folder + QStringLiteral("//"));
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
    EXPECT_EQ(texts[3], QStringLiteral("3秒"));
    EXPECT_TRUE(texts[2].endsWith(QStringLiteral("MB")));
    EXPECT_EQ(texts[4], QString());
    EXPECT_EQ(texts[5], QStringLiteral("不上传"));
    EXPECT_EQ(row.entry.uploadState, -1);
    EXPECT_EQ(row.entry.targetId, -1);
    EXPECT_EQ(row.entry.meta.uploadState, -1);
    EXPECT_EQ(QString::fromLocal8Bit(row.entry.path), folder + row.fileName);
  }
  EXPECT_FALSE(QFile::exists(folder + "metas/broken.mp4.meta")) << "not media: no side file";
  EXPECT_FALSE(QFile::exists(folder + "metas/readme.txt.meta"));
  const QStringList firstNames = first.Names();

  // Listed again: the texts come from the side files; only broken.mp4 is measured again.
  Listing second(library);
  second.Refresh(folder);
  EXPECT_EQ(second.Names(), firstNames);
  EXPECT_EQ(*probe.calls, 8);
  EXPECT_TRUE(second.Row("c.ts")->fromSideFile);

  // A recording added by name goes on top; a vanished one is not added.
  CopySample(folder + QStringLiteral("A剪辑0-2.mp4"));
  library.AddFileToList(QStringLiteral("A剪辑0-2.mp4"));
  library.AddFileToList(folder + QStringLiteral("gone.mp4"));
  ASSERT_TRUE(PumpUntil([&] { return !library.IsBusy(); }));
  EXPECT_EQ(second.Names().first(), QStringLiteral("A剪辑0-2.mp4"));
  EXPECT_EQ(second.rows.size(), 7);

  // An empty folder lists nothing; a missing one cannot be searched.
  QTemporaryDir empty;
  Listing none(library);
  none.Refresh(empty.path());
  EXPECT_TRUE(none.searched);
  EXPECT_TRUE(none.rows.isEmpty());
  EXPECT_FALSE(QFile::exists(empty.filePath(QStringLiteral("metas"))));
  Listing missing(library);
  missing.Refresh(empty.filePath(QStringLiteral("nowhere")));
  EXPECT_FALSE(missing.searched);
  EXPECT_TRUE(missing.rows.isEmpty());
}

TEST(RecordingLibrary, SideFilesAreWindowsRecordsByteForByte) {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("metas")));
  // A side file written by a Windows install: a finished upload, the state 10 (0x0A) and a
  // status text holding a line end, all stored with CR LF. The recording itself is not media:
  // its side file is all the list needs.
  const QByteArray windows = SideFile(
      QStringLiteral("2016年3月5日 9点7分"), QStringLiteral("75分3秒"), QStringLiteral("1.5GB"), 10,
      42, QStringLiteral("回调时无响应！\n重试"), QStringLiteral("数学 第一课"));
  ASSERT_EQ(windows.size(), 616 + 2) << "two 0x0A bytes stored as CR LF";
  WriteBytes(folder + "metas/lesson.mp4.meta", windows);
  WriteBytes(folder + "lesson.mp4", QByteArray("not a video"));

  RecordingLibrary library;
  Listing listing(library);
  listing.Refresh(folder);
  ASSERT_EQ(listing.rows.size(), 1);
  const ListedRecording& row = listing.rows.first();
  EXPECT_EQ(RecordingRowTexts(row),
            QStringList({"lesson.mp4", "2016年3月5日 9点7分", "1.5GB", "75分3秒",
                         "回调时无响应！\n重试", "数学 第一课"}));
  EXPECT_EQ(row.entry.uploadState, 10);
  EXPECT_EQ(row.entry.targetId, 42);
  EXPECT_EQ(ReadBytes(folder + "metas/lesson.mp4.meta"), windows) << "read, never rewritten";

  // What the program writes is the same record: saved after an upload of state 10 with that
  // status, its bytes equal the Windows file.
  RecordingEntry entry = row.entry;
  std::memset(entry.meta.statusText, 0, sizeof(entry.meta.statusText));
  entry.statusText = Gbk(QStringLiteral("回调时无响应！\n重试")).toStdString();
  entry.targetName = Gbk(QStringLiteral("数学 第一课")).toStdString();
  ASSERT_TRUE(library.SaveItemMeta(QStringLiteral("lesson.mp4"), entry));
  EXPECT_EQ(ReadBytes(folder + "metas/lesson.mp4.meta"), windows);

  // An upload state of −1 in a side file shows no status and "不上传".
  WriteBytes(folder + "metas/lesson.mp4.meta",
             SideFile("2016年3月5日 9点7分", "75分3秒", "1.5GB", -1, 42, "旧的", "旧的"));
  Listing again(library);
  again.Refresh(folder);
  ASSERT_EQ(again.rows.size(), 1);
  EXPECT_EQ(RecordingRowTexts(again.rows.first())[4], QString());
  EXPECT_EQ(RecordingRowTexts(again.rows.first())[5], QStringLiteral("不上传"));
  EXPECT_EQ(again.rows.first().entry.uploadState, -1);
  EXPECT_EQ(again.rows.first().entry.targetId, -1);
}

TEST(RecordingLibrary, DamagedSideFilesNeverBreakTheList) {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("metas")));
  for (const char* name : {"empty.mp4", "short.mp4", "garbage.mp4", "long.mp4"})
    CopySample(folder + QLatin1String(name));
  WriteBytes(folder + "metas/empty.mp4.meta", QByteArray());
  WriteBytes(folder + "metas/short.mp4.meta", Gbk(QStringLiteral("2020年")));
  QByteArray garbage(616, '\0');
  for (int i = 0; i < garbage.size(); ++i)
    garbage[i] = static_cast<char>(0x81 + (i * 37) % 120);
  WriteBytes(folder + "metas/garbage.mp4.meta", garbage);
  QByteArray overLong = SideFile("2019年1月2日 3点4分", "5秒", "0.1MB", 3, 7, "上传完毕", "语文");
  overLong.append(QByteArray(2000, 'z'));
  WriteBytes(folder + "metas/long.mp4.meta", overLong);

  CountingProbe probe;
  RecordingLibrary library(probe.Probe());
  Listing listing(library);
  listing.Refresh(folder);
  EXPECT_EQ(listing.Names(), QStringList({"short.mp4", "long.mp4", "garbage.mp4", "empty.mp4"}));
  EXPECT_EQ(*probe.calls, 1) << "only the empty side file counts as missing";
  // The empty one was measured and rewritten.
  EXPECT_EQ(RecordingRowTexts(*listing.Row("empty.mp4"))[3], QStringLiteral("3秒"));
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

TEST(RecordingLibrary, SideFilesGoBesideTheRecordingsWhenMetasCannotBeMade) {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  WriteBytes(folder + "metas", QByteArray("a file in the way"));
  CopySample(folder + "lesson.mp4");
  RecordingLibrary library;
  EXPECT_EQ(RecordingLibrary::GetMetaFolder(folder), folder);
  Listing listing(library);
  listing.Refresh(folder);
  EXPECT_EQ(listing.Names(), QStringList({"lesson.mp4"}));
  EXPECT_EQ(ReadBytes(folder + "lesson.mp4.meta").size(), 616);
  EXPECT_EQ(ReadBytes(folder + "metas"), QByteArray("a file in the way"));
}

TEST(RecordingLibrary, ListingRunsOffTheCallersThreadAndANewRefreshReplacesIt) {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  for (const char* name : {"1.mp4", "2.mp4", "3.mp4"})
    CopySample(folder + QLatin1String(name));
  // A disk that takes as long as it likes: every measurement waits for the test's go.
  auto gate = std::make_shared<std::counting_semaphore<16>>(0);
  RecordingLibrary library([gate](const QString&) {
    gate->acquire();
    return 12.0;
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
  EXPECT_EQ(RecordingRowTexts(listing.rows.first())[3], QStringLiteral("12秒"));
}

TEST(RecordingLibrary, TextFormats) {
  EXPECT_EQ(FormatFileSize(1610612736), QStringLiteral("1.5GB"));
  EXPECT_EQ(FormatFileSize(1048576), QStringLiteral("1.0MB"));
  EXPECT_EQ(FormatFileSize(1073741823), QStringLiteral("1024.0MB"));
  EXPECT_EQ(FormatFileSize(1073741824), QStringLiteral("1.0GB"));
  EXPECT_EQ(FormatDuration(59), QStringLiteral("59秒"));
  EXPECT_EQ(FormatDuration(0), QStringLiteral("0秒"));
  EXPECT_EQ(FormatDuration(3600), QStringLiteral("60分0秒"));
  EXPECT_EQ(FormatDuration(4503), QStringLiteral("75分3秒"));
  EXPECT_EQ(FormatFileTime(QDateTime(QDate(2016, 3, 5), QTime(9, 7))),
            QStringLiteral("2016年3月5日 9点7分"));
  EXPECT_EQ(FormatFileTime(QDateTime(QDate(2024, 12, 31), QTime(23, 59))),
            QStringLiteral("2024年12月31日 23点59分"));
  EXPECT_EQ(RecordingLibrary::NormaliseFolder(QStringLiteral("/v/lessons//")),
            QStringLiteral("/v/lessons/"));
  EXPECT_EQ(RecordingLibrary::NormaliseFolder(QStringLiteral("/v/lessons\\")),
            QStringLiteral("/v/lessons/"));

  // A length of 59.9 seconds is listed as 59 seconds.
  QTemporaryDir dir;
  CopySample(dir.filePath(QStringLiteral("a.mp4")));
  RecordingLibrary library([](const QString&) { return 59.9; });
  Listing listing(library);
  listing.Refresh(dir.path());
  ASSERT_EQ(listing.rows.size(), 1);
  EXPECT_EQ(RecordingRowTexts(listing.rows.first())[3], QStringLiteral("59秒"));
}

TEST(RecordingLibrary, SaveItemMetaWritesOnlyFinishedUploadsAndKeepsFieldsItCannotFill) {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  CopySample(folder + "a.mp4");
  RecordingLibrary library;
  Listing listing(library);
  listing.Refresh(folder);
  ASSERT_EQ(listing.rows.size(), 1);
  const QString metaPath = folder + "metas/a.mp4.meta";
  const QByteArray fresh = ReadBytes(metaPath);
  RecordingEntry entry = listing.rows.first().entry;
  const QStringList freshTexts = RecordingRowTexts(listing.rows.first());

  // Queued (0) or running (1, 2): nothing is written.
  for (int state : {-1, 0}) {
    entry.uploadState = state;
    EXPECT_FALSE(library.SaveItemMeta("a.mp4", entry));
  }
  EXPECT_EQ(ReadBytes(metaPath), fresh);

  entry.uploadState = 3;
  entry.targetId = 9;
  entry.statusText = Gbk(QStringLiteral("上传完毕")).toStdString();
  entry.targetName = Gbk(QStringLiteral("物理")).toStdString();
  ASSERT_TRUE(library.SaveItemMeta("a.mp4", entry));
  // An over-long status and an empty destination leave those fields as they were.
  entry.uploadState = 10;
  entry.statusText = std::string(300, 'e');
  entry.targetName.clear();
  ASSERT_TRUE(library.SaveItemMeta("a.mp4", entry));

  Listing again(library);
  again.Refresh(folder);
  ASSERT_EQ(again.rows.size(), 1);
  const QStringList texts = RecordingRowTexts(again.rows.first());
  EXPECT_EQ(texts[4], QStringLiteral("上传完毕"));
  EXPECT_EQ(texts[5], QStringLiteral("物理"));
  EXPECT_EQ(again.rows.first().entry.uploadState, 10);
  EXPECT_EQ(again.rows.first().entry.targetId, 9);
  EXPECT_EQ(texts.mid(1, 3), freshTexts.mid(1, 3)) << "time, size and length stay";
}

}  // namespace
}  // namespace vortane
