#include "files/recording_library.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

#include "files/recording_formats.h"
#include "platform/code_page.h"
#include "platform/media_duration.h"
#include "platform/own_file.h"

namespace vortane {
namespace {

// Rows reach the list in batches: the first ones soon, the rest without an event per row.
constexpr int kBatchRows = 500;
constexpr qint64 kBatchMs = 100;
constexpr double kLongestSeconds = 1e9;

// A substring at a position after the first character.
bool ContainsAfterFirst(const QString& name, QLatin1String part) {
  return name.indexOf(part, 1) >= 1;
}

bool IsRecordingName(const QString& name) {
  if (ContainsAfterFirst(name, QLatin1String(".meta"))) return false;
  return ContainsAfterFirst(name, QLatin1String(".mp4")) ||
         ContainsAfterFirst(name, QLatin1String(".ts"));
}

QDateTime CreationTime(const QFileInfo& info) {
  const QDateTime born = info.birthTime();
  return born.isValid() ? born : info.lastModified();
}

}  // namespace

QStringList RecordingRowTexts(const ListedRecording& recording) {
  const RecordingMeta& meta = recording.entry.meta;
  const bool uploaded = recording.fromSideFile && meta.uploadState > 0;
  return {recording.fileName,
          meta.RecordedAt(),
          meta.SizeText(),
          meta.DurationText(),
          uploaded ? meta.StatusText() : QString(),
          uploaded ? meta.TargetName() : QStringLiteral("不上传")};
}

RecordingLibrary::RecordingLibrary(DurationProbe probe, QObject* parent)
    : QObject(parent),
      probe_(probe ? std::move(probe) : DurationProbe(&platform::ProbeMediaDuration)),
      generation_(std::make_shared<std::atomic<std::uint64_t>>(0)) {
  // One worker: scans and additions run in the order they were asked for, and never write the
  // same side file at once.
  worker_.setMaxThreadCount(1);
}

RecordingLibrary::~RecordingLibrary() {
  ++*generation_;
  worker_.clear();
  worker_.waitForDone();
}

QString RecordingLibrary::NormaliseFolder(const QString& folder) {
  QString normal = folder;
  while (normal.endsWith(QLatin1Char('\\')))
    normal.chop(1);
  while (normal.endsWith(QLatin1Char('/')))
    normal.chop(1);
  return normal + QLatin1Char('/');
}

void RecordingLibrary::RunOnWorker(std::function<void()> task) {
  ++pendingTasks_;
  worker_.start([this, task = std::move(task)] {
    task();
    QMetaObject::invokeMethod(
        this, [this] { --pendingTasks_; }, Qt::QueuedConnection);
  });
}

void RecordingLibrary::Deliver(std::uint64_t generation, std::function<void()> action) {
  QMetaObject::invokeMethod(
      this,
      [generation, current = generation_, action = std::move(action)] {
        if (current->load() == generation) action();
      },
      Qt::QueuedConnection);
}

void RecordingLibrary::RefreshFileList(const QString& folder) {
  folder_ = NormaliseFolder(folder);
  const std::uint64_t generation = ++*generation_;
  emit listCleared();
  RunOnWorker([this, folder = folder_, generation, current = generation_, probe = probe_] {
    const auto stale = [&] { return current->load() != generation; };
    if (stale()) return;
    const std::optional<QStringList> names = ScanRecordingNames(folder);
    const bool searched = names.has_value();
    const int total = searched ? static_cast<int>(names->size()) : 0;
    Deliver(generation, [this, searched, total] { emit scanStarted(searched, total); });
    if (total > 0) {
      const QString metaFolder = GetMetaFolder(folder);
      QList<ListedRecording> batch;
      int done = 0;
      QElapsedTimer sinceFlush;
      sinceFlush.start();
      const auto flush = [&] {
        Deliver(generation, [this, rows = std::move(batch), done, total] {
          if (!rows.isEmpty()) emit recordingsListed(rows);
          emit scanProgress(done, total);
        });
        batch = {};
        sinceFlush.restart();
      };
      // Each name the original order inserts at the top, so the list runs from the last name
      // down; taking them in that order lets the top of the list appear first.
      for (qsizetype i = names->size() - 1; i >= 0; --i) {
        if (stale()) return;
        if (auto row = LoadRecording(folder, metaFolder, names->at(i), probe))
          batch.append(std::move(*row));
        ++done;
        if (batch.size() >= kBatchRows || sinceFlush.elapsed() >= kBatchMs) flush();
      }
      flush();
    }
    Deliver(generation, [this, searched] { emit scanFinished(searched); });
  });
}

void RecordingLibrary::AddFileToList(const QString& nameOrPath) {
  const std::uint64_t generation = generation_->load();
  RunOnWorker([this, folder = folder_, nameOrPath, generation, probe = probe_] {
    std::optional<ListedRecording> row =
        LoadRecording(folder, GetMetaFolder(folder), nameOrPath, probe);
    if (!row) return;
    Deliver(generation, [this, row = std::move(*row)] { emit recordingAdded(row); });
  });
}

bool RecordingLibrary::SaveItemMeta(const QString& fileName, RecordingEntry& entry) const {
  if (entry.uploadState <= 0) return false;
  RecordingMeta& meta = entry.meta;
  meta.targetId = entry.targetId;
  meta.uploadState = entry.uploadState;
  // A text longer than its field leaves the field as it was.
  const std::string statusText = platform::WideToAnsi(entry.statusText);
  if (!statusText.empty() && statusText.size() <= 255)
    CopyMetaText(meta.statusText, sizeof(meta.statusText), statusText);
  const std::string targetName = platform::WideToAnsi(entry.targetName);
  if (!targetName.empty() && targetName.size() <= 255)
    CopyMetaText(meta.targetName, sizeof(meta.targetName), targetName);
  return WriteRecordingMeta(GetMetaFolder(folder_) + fileName + QStringLiteral(".meta"), meta);
}

std::optional<QStringList> RecordingLibrary::ScanRecordingNames(const QString& folder) {
  const QFileInfo info(folder);
  if (!info.isDir() || !info.isReadable()) return std::nullopt;
  // Regular files of the teacher's only: a pipe or a device named like a recording would block
  // whoever opened it, a link would show another file, and another user's file in a shared
  // folder is not the teacher's lesson.
  QStringList names;
  for (const QString& name : QDir(folder).entryList(
           QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Unsorted)) {
    if (IsRecordingName(name) && platform::IsOwnRegularFile(folder + name)) names.append(name);
  }
  // Stable, as repeated passes of adjacent swaps are: names equal but for case keep their order.
  std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) < 0;
  });
  return names;
}

QString RecordingLibrary::GetMetaFolder(const QString& folder) {
  const QString metas = folder + QStringLiteral("metas");
  if (!QFileInfo(metas).isDir()) QDir().mkdir(metas);
  // A link planted as "metas" would put the side files wherever it points.
  const QFileInfo made(metas);
  return made.isDir() && !made.isSymLink() ? metas + QLatin1Char('/') : folder;
}

std::optional<ListedRecording> RecordingLibrary::LoadRecording(const QString& folder,
                                                               const QString& metaFolder,
                                                               const QString& nameOrPath,
                                                               const DurationProbe& probe) {
  const QFileInfo info(QDir::isAbsolutePath(nameOrPath) ? nameOrPath : folder + nameOrPath);
  if (!platform::IsOwnRegularFile(info.filePath())) return std::nullopt;
  ListedRecording row;
  row.fileName = info.fileName();
  const QString fullPath = folder + row.fileName;
  const QString metaPath = metaFolder + row.fileName + QStringLiteral(".meta");
  if (std::optional<RecordingMeta> meta = ReadRecordingMeta(metaPath)) {
    row.entry.meta = *meta;
    row.fromSideFile = true;
  } else {
    double seconds = probe(fullPath);
    if (std::isnan(seconds) || seconds < 0) return std::nullopt;
    // No lesson lasts longer than this; anything beyond is a broken header, not a length.
    if (!std::isfinite(seconds) || seconds > kLongestSeconds) seconds = 0;
    row.entry.meta = MakeRecordingMeta(FormatFileTime(CreationTime(info)),
                                       FormatDuration(static_cast<std::int64_t>(seconds)),
                                       FormatFileSize(info.size()));
    // A side file that cannot be written is left out; the row is listed all the same.
    WriteRecordingMeta(metaPath, row.entry.meta);
  }
  if (row.fromSideFile && row.entry.meta.uploadState > 0) {
    row.entry.uploadState = row.entry.meta.uploadState;
    row.entry.targetId = row.entry.meta.targetId;
  }
  return row;
}

}  // namespace vortane
