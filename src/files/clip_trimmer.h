#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace vortane {

class ProcessJob;
struct JobOutcome;

// Cuts a clip out of a recording without re-encoding: the encoder copies the streams from the
// in point for the selected length into "<name>剪辑<in>-<out>.<ext>" beside the source. The cut
// runs as an encoder job on its own worker thread; it goes on when the file manager is hidden.
// One cut at a time.
//
// What the user sees comes out as statusChanged (the text of the status label; `failed` marks a
// failure, shown in red), clipFinished (a clip that exists and whose encoder succeeded) and
// cuttingChanged (the start button is disabled while a cut runs).
class ClipTrimmer : public QObject {
  Q_OBJECT

 public:
  enum class StartResult {
    kStarted,
    kIgnored,  // no source file, no extension, or a cut already running: nothing happens
    kInvalidRange,  // in ≥ out or not longer than 10 s: "无效的剪切范围，或者剪切时长过短！"
    kRefused,  // the command cannot carry the paths; statusChanged said why
  };
  static constexpr double kShortestCutSeconds = 10.0;
  // How long the program's end waits for a stopped cut to end.
  static constexpr int kAbortWaitMs = 10000;

  explicit ClipTrimmer(QObject* parent = nullptr);
  // Stops a running cut as Abort does.
  ~ClipTrimmer() override;

  // The clip's path for a cut of `source` from `in` to `out` seconds (truncated to whole
  // seconds), or nothing when the file name has no '.' after its first character.
  static std::optional<QString> ClipPath(const QString& source, double in, double out);

  StartResult Start(const QString& source, double in, double out);
  bool IsCutting() const { return cutting_; }
  // The path of the clip being cut (or last cut).
  QString OutputPath() const { return outputPath_; }

  // For the program's end: a running cut is stopped, waited for (at most `waitMs`), and its
  // unfinished clip removed. A file that was there before and that the encoder never touched
  // stays.
  void Abort(int waitMs = kAbortWaitMs);

 signals:
  void statusChanged(const QString& text, bool failed);
  void clipFinished(const QString& path);
  void cuttingChanged(bool cutting);

 private:
  // What the clip's path held before the cut, to tell the encoder's output from an older file.
  struct FileState {
    bool existed = false;
    qint64 size = 0;
    QDateTime modified;
  };
  static FileState StateOf(const QString& path);
  void RemoveUnfinishedClip();
  void SetCutting(bool cutting);
  void OnCutEnded(const JobOutcome& outcome);

  std::shared_ptr<ProcessJob> job_;
  QString outputPath_;
  FileState before_;
  QString lastProgress_;
  bool cutting_ = false;
};

// The time of the last complete progress line in an encoder's output; empty when there is none.
QString LastProgressTime(const std::string& output);
// The line of an encoder's output that says why it failed (its last words, without progress
// lines and ffmpeg's closing "Conversion failed!"); empty when there is none.
QString LastEncoderWords(const std::string& output);

}  // namespace vortane
