#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

namespace vortane {

// A lesson the toolbar did not finish: its temporary capture and the final file it was to become.
struct UnfinishedRecording {
  QString capturePath;  // "<14 digits>.ts"
  QString finalPath;    // the same time with "m.mp4" or "t.ts"
};

struct RecoveredRecording {
  UnfinishedRecording recording;
  bool recovered = false;  // the final file is made and the temporary capture removed
  // When the final file's name was taken (by a lesson, or by anything not the teacher's own
  // file), the file name the lesson was saved under beside it; empty otherwise.
  QString savedAs;
};

// What the status line says about a recovery.
struct RecoveryReport {
  QString text;
  bool isError = false;
};

// After a crash, a power cut or a close that could not wait, the save folder may hold a
// "<14 digits>.ts" capture without its final file, or with a final file that does not open or
// stops short. At the next start these are copied into their final files the way a stopped
// recording is (the remux), one after the other on a worker thread; a capture whose copy fails is
// kept as it is.
//
// The folder may be shared with other users. Only captures that are regular files of the
// teacher's are taken (no links, nothing of another user's), and none an encoder holds locked,
// also from another machine over a network folder. A copy is made under a new hidden name and
// becomes the final file only while that name is free; a final file that opens is never
// replaced: the lesson is then saved beside it ("...m-恢复.mp4") and the status line says so.
// Only files of the teacher's are removed: the capture once its copy is checked (final_copy.h),
// a final file of the teacher's that does not open at all (a copy cut off before its end), and
// the program's own unfinished copies.
class RecordingRecovery : public QObject {
  Q_OBJECT

 public:
  RecordingRecovery() = default;
  // Waits for a recovery still under way: a copy is never cut short.
  ~RecordingRecovery() override;

  // What the search asks about files and the disk (called on the worker thread).
  struct Probes {
    // The length in seconds; nothing when the file does not open as media.
    std::function<std::optional<double>(const QString& path)> duration;
    // An encoder is working on the file right now: one of this machine's, or one anywhere that
    // holds a lock on it.
    std::function<bool(const QString& path)> inUse;
    // Bytes free in a folder; nothing when it cannot be told.
    std::function<std::optional<std::int64_t>(const QString& folder)> freeSpace;
  };
  // The machine's own answers: libavformat, the running encoders' command lines, the file system.
  static Probes SystemProbes();

  // A final file this much shorter than its capture is a copy that was cut off.
  static constexpr double kShortFinalSeconds = 1.0;
  // A copy needs the capture's size plus this much room.
  static constexpr std::int64_t kCopyReserveBytes = std::int64_t(16) << 20;

  // The captures of `folder` to recover, oldest first. `startedStamp` is the "%Y%m%d%H%M%S" time
  // this program started: captures named after it or later belong to this run. Empty captures
  // hold nothing to recover; a capture an encoder still works on is left to it. A final file of
  // either format ("m.mp4" or "t.ts") that opens and is as long as the capture means the lesson
  // was finished; otherwise the capture becomes the final file of `saveFormat` (0 MP4, 1 TS).
  static std::vector<UnfinishedRecording> Find(const QString& folder, int saveFormat,
                                               const QString& startedStamp, const Probes& probes);

  // Copies each capture into its final file with the encoder's remux and removes the capture
  // when the copy is checked. A copy that fails keeps the capture. Blocks: call it off the UI
  // thread.
  static std::vector<RecoveredRecording> Recover(const std::vector<UnfinishedRecording>& found,
                                                 const Probes& probes);

  // The status line after a recovery; nothing when there was nothing to recover.
  static std::optional<RecoveryReport> Describe(const std::vector<RecoveredRecording>& results);

  // Finds and recovers on the recovery's worker thread, then emits `finished` with the results.
  // Nothing happens while a recovery runs.
  void Start(const QString& folder, int saveFormat, const QString& startedStamp,
             Probes probes = SystemProbes());
  // From Start until `finished` has been emitted.
  bool Running() const { return running_; }

 signals:
  void finished(const std::vector<RecoveredRecording>& results);

 private:
  bool running_ = false;
  std::thread worker_;
};

}  // namespace vortane
