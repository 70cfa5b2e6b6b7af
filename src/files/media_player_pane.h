#pragma once

#include <QString>
#include <QWidget>
#include <optional>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QSlider;
class QToolButton;
class QVideoWidget;

namespace vortane {

// The file manager's player: the picture with a transport bar under it (play/pause, stop,
// position, volume), as a full media player control shows them. It opens a file by path and
// starts it at once, plays, pauses, stops, seeks in seconds, reports its play state with the
// player control's numbers and shows the picture full screen (Esc leaves it).
class MediaPlayerPane : public QWidget {
  Q_OBJECT

 public:
  // Play states as the player control numbers them.
  enum PlayState { kUndefined = 0, kStopped = 1, kPaused = 2, kPlaying = 3 };
  static constexpr int kStartVolume = 50;

  explicit MediaPlayerPane(QWidget* parent = nullptr);
  ~MediaPlayerPane() override;

  // Opens the file and plays it (auto-start).
  void SetUrl(const QString& path);
  QString Url() const { return path_; }
  void Play();
  void Pause();
  // Leaves the player paused at `seconds` (loading the file first when it was stopped).
  void PauseAt(double seconds);
  void Stop();
  // Stops and lets go of the file.
  void Unload();
  // Seconds from the start; a seek asked for while the file is still opening is kept until it
  // can be done.
  double CurrentPosition() const;
  void SetCurrentPosition(double seconds);
  int PlayState() const;
  void SetFullScreen(bool on);
  bool IsFullScreen() const;
  // 0..100.
  int Volume() const;

  QMediaPlayer* Player() const { return player_; }
  QVideoWidget* Video() const { return video_; }

 signals:
  // The player's position moved (seconds).
  void positionChanged(double seconds);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyPendingPosition();
  void ShowTime();
  void ShowPlayButton();

  QMediaPlayer* player_ = nullptr;
  QAudioOutput* audio_ = nullptr;
  QVideoWidget* video_ = nullptr;
  QToolButton* playPause_ = nullptr;
  QToolButton* stop_ = nullptr;
  QSlider* position_ = nullptr;
  QLabel* time_ = nullptr;
  QSlider* volume_ = nullptr;
  QString path_;
  QString error_;
  std::optional<qint64> pendingPositionMs_;
};

}  // namespace vortane
