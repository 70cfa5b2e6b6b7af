#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "files/recording_entry.h"

namespace vortane {

// One recording as the list shows it: its file name (column 0), its entry, and whether the texts
// came from an existing side file.
struct ListedRecording {
  QString fileName;
  RecordingEntry entry;
  bool fromSideFile = false;
};

// The six column texts of a row: 文件, 录制时间, 大小, 时长, 状态, 上传位置.
QStringList RecordingRowTexts(const ListedRecording& recording);

// The recordings of the recording folder and their side files: the model behind the file
// manager's list. Scanning, reading side files and measuring new recordings happen on a worker
// thread of its own, so a folder of thousands of lessons or a slow disk never freezes a window;
// the results arrive as signals on the thread that owns the library, in list order.
//
// The rules: a file is a recording when its name contains ".mp4" or else ".ts" at a position
// after its first character, and not ".meta" there (substring tests, not extensions); names are
// sorted case-insensitively and listed newest (last) first. A recording listed for the first time
// gets its side file in "metas" (or beside it when "metas" cannot be made); one whose length
// reads negative is not listed. The texts of an existing side file are never recomputed.
class RecordingLibrary : public QObject {
  Q_OBJECT

 public:
  // Seconds of media in a file, negative when it is not media. Called on the worker thread.
  using DurationProbe = std::function<double(const QString& path)>;

  // Without a probe, lengths are read with libavformat.
  explicit RecordingLibrary(DurationProbe probe = {}, QObject* parent = nullptr);
  // Stops the worker after the file it is on.
  ~RecordingLibrary() override;

  // The current recording folder, always ending in '/'; empty before the first refresh.
  QString Folder() const { return folder_; }
  // The recording folder as the list keeps it: trailing backslashes, then slashes, removed and
  // one '/' appended.
  static QString NormaliseFolder(const QString& folder);

  // Rebuilds the list from `folder`: listCleared at once, then scanStarted, recordingsListed in
  // batches from the top of the list down, and scanFinished. A refresh replaces one under way.
  void RefreshFileList(const QString& folder);
  // Adds one recording (a name in the current folder, or an absolute path) at the top of the list
  // through recordingAdded; nothing when it is gone or is not media.
  void AddFileToList(const QString& nameOrPath);
  // True while a refresh or an addition is under way.
  bool IsBusy() const { return pendingTasks_ > 0; }

  // Rewrites the side file of a row after an upload of it ended (state > 0): the entry's state,
  // destination and texts (1 to 255 bytes; others leave the field) go into its record first.
  // False when nothing was written.
  bool SaveItemMeta(const QString& fileName, RecordingEntry& entry) const;

  // The pieces the worker runs, for any thread.
  // The recording names of a folder in ascending case-insensitive order; nothing when the folder
  // cannot be read.
  static std::optional<QStringList> ScanRecordingNames(const QString& folder);
  // "metas/" in the folder, made when missing; the folder itself when it cannot be made.
  static QString GetMetaFolder(const QString& folder);
  // One row: from its side file, or measured and recorded in a new side file. Nothing when the
  // file is gone or its length reads negative.
  static std::optional<ListedRecording> LoadRecording(const QString& folder,
                                                      const QString& metaFolder,
                                                      const QString& nameOrPath,
                                                      const DurationProbe& probe);

 signals:
  void listCleared();
  // The folder was read (false: it could not be, and the list stays empty).
  void scanStarted(bool searched, int total);
  // Rows to append below those listed so far, top first.
  void recordingsListed(const QList<ListedRecording>& rows);
  void scanProgress(int done, int total);
  void scanFinished(bool searched);
  void recordingAdded(const ListedRecording& row);

 private:
  // Runs `task` on the worker; `deliver` wraps each result so it reaches the owner's thread only
  // while no later refresh replaced the one it belongs to.
  void RunOnWorker(std::function<void()> task);
  void Deliver(std::uint64_t generation, std::function<void()> action);

  DurationProbe probe_;
  QString folder_;
  QThreadPool worker_;
  std::shared_ptr<std::atomic<std::uint64_t>> generation_;
  int pendingTasks_ = 0;
};

}  // namespace vortane
