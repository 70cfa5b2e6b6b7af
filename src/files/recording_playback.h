#pragma once

#include <QObject>
#include <QString>

#include "files/recording_library.h"

class QWidget;

namespace vortane {

class MediaPlayerPane;

// The play part of the file manager: 播放 (or a double click) plays the chosen recording in the
// player, resuming it when it is the one already loaded. A recording's length is read on a
// worker first, so a file on a slow disk does not freeze the window; only the latest play
// command counts.
class RecordingPlayback : public QObject {
  Q_OBJECT

 public:
  RecordingPlayback(MediaPlayerPane& player, RecordingLibrary::DurationProbe probe,
                    std::function<void(const QString& text)> trace);

  void Play(const QString& path);
  // Nothing is chosen: no recording counts as loaded for the cut.
  void ClearDuration() { duration_ = 0; }
  // The next play command loads its file again (the list was searched anew).
  void Forget() { currentPath_.clear(); }
  // The recording at `path` is about to be deleted: the player lets go of it.
  void Release(const QString& path);
  // 全屏, while playing.
  void FullScreen();

  QString CurrentPath() const { return currentPath_; }
  double Duration() const { return duration_; }

 signals:
  // The recording was loaded with its length in seconds.
  void loaded(const QString& path, double duration);
  // The file is not a video that can be played; the player keeps what it had.
  void refused(const QString& path);

 private:
  void Load(const QString& path, double duration);

  MediaPlayerPane& player_;
  RecordingLibrary::DurationProbe probe_;
  std::function<void(const QString& text)> trace_;
  QString currentPath_;
  double duration_ = 0;
  // Every play command counts; a length read for an older one is dropped.
  int request_ = 0;
  // The player's first second of a newly loaded file has been traced.
  bool traced_ = false;
};

}  // namespace vortane
