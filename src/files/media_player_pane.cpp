#include "files/media_player_pane.h"

#include <QAudioOutput>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>
#include <cmath>

namespace vortane {
namespace {

QString ClockText(qint64 ms) {
  const qint64 seconds = ms / 1000;
  if (seconds >= 3600)
    return QString::asprintf("%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return QString::asprintf("%02lld:%02lld", seconds / 60, seconds % 60);
}

// The volume slider is what a listener hears: 50 sounds half as loud, not half the amplitude.
float LinearVolume(int sliderValue) {
  return static_cast<float>(QAudio::convertVolume(
      sliderValue / 100.0, QAudio::LogarithmicVolumeScale, QAudio::LinearVolumeScale));
}

QToolButton* TransportButton(QStyle::StandardPixmap icon, const QString& tip, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setIcon(parent->style()->standardIcon(icon));
  button->setToolTip(tip);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

}  // namespace

MediaPlayerPane::MediaPlayerPane(QWidget* parent) : QWidget(parent) {
  player_ = new QMediaPlayer(this);
  audio_ = new QAudioOutput(this);
  player_->setAudioOutput(audio_);
  video_ = new QVideoWidget(this);
  video_->setAspectRatioMode(Qt::KeepAspectRatio);
  QPalette black = video_->palette();
  black.setColor(QPalette::Window, Qt::black);
  video_->setPalette(black);
  video_->setAutoFillBackground(true);
  video_->installEventFilter(this);
  player_->setVideoOutput(video_);

  playPause_ = TransportButton(QStyle::SP_MediaPlay, QStringLiteral("播放"), this);
  stop_ = TransportButton(QStyle::SP_MediaStop, QStringLiteral("停止"), this);
  position_ = new QSlider(Qt::Horizontal, this);
  position_->setFocusPolicy(Qt::NoFocus);
  position_->setToolTip(QStringLiteral("播放位置"));
  time_ = new QLabel(this);
  auto* volumeIcon = new QLabel(this);
  volumeIcon->setPixmap(style()->standardIcon(QStyle::SP_MediaVolume).pixmap(16, 16));
  volume_ = new QSlider(Qt::Horizontal, this);
  volume_->setRange(0, 100);
  volume_->setValue(kStartVolume);
  volume_->setFixedWidth(70);
  volume_->setFocusPolicy(Qt::NoFocus);
  volume_->setToolTip(QStringLiteral("音量"));
  audio_->setVolume(LinearVolume(kStartVolume));
  audio_->setMuted(false);

  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(2, 0, 2, 0);
  bar->setSpacing(3);
  bar->addWidget(playPause_);
  bar->addWidget(stop_);
  bar->addWidget(position_, 1);
  bar->addWidget(time_);
  bar->addWidget(volumeIcon);
  bar->addWidget(volume_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(video_, 1);
  layout->addLayout(bar);

  connect(playPause_, &QToolButton::clicked, this, [this] {
    if (PlayState() == kPlaying)
      Pause();
    else
      Play();
  });
  connect(stop_, &QToolButton::clicked, this, &MediaPlayerPane::Stop);
  connect(volume_, &QSlider::valueChanged, this,
          [this](int value) { audio_->setVolume(LinearVolume(value)); });
  connect(position_, &QSlider::sliderMoved, this,
          [this](int ms) { SetCurrentPosition(ms / 1000.0); });
  connect(player_, &QMediaPlayer::durationChanged, this, [this](qint64 ms) {
    position_->setRange(0, static_cast<int>(std::min<qint64>(ms, INT32_MAX)));
    ShowTime();
  });
  connect(player_, &QMediaPlayer::positionChanged, this, [this](qint64 ms) {
    if (!position_->isSliderDown()) position_->setValue(static_cast<int>(ms));
    ShowTime();
    emit positionChanged(ms / 1000.0);
  });
  connect(player_, &QMediaPlayer::playbackStateChanged, this, [this] { ShowPlayButton(); });
  connect(player_, &QMediaPlayer::seekableChanged, this, [this] { ApplyPendingPosition(); });
  connect(player_, &QMediaPlayer::errorOccurred, this,
          [this](QMediaPlayer::Error, const QString& text) {
            error_ = text;
            ShowTime();
          });
  ShowTime();
}

MediaPlayerPane::~MediaPlayerPane() {
  // The picture window must not outlive the pane when it is full screen.
  if (video_->isFullScreen()) video_->setFullScreen(false);
  player_->stop();
}

void MediaPlayerPane::SetUrl(const QString& path) {
  path_ = path;
  error_.clear();
  pendingPositionMs_.reset();
  player_->setSource(QUrl::fromLocalFile(path));
  player_->play();
  ShowTime();
}

void MediaPlayerPane::Play() {
  if (!path_.isEmpty()) player_->play();
}

void MediaPlayerPane::Pause() {
  if (!path_.isEmpty()) player_->pause();
}

void MediaPlayerPane::PauseAt(double seconds) {
  if (path_.isEmpty()) return;
  if (player_->playbackState() != QMediaPlayer::PausedState) player_->pause();
  SetCurrentPosition(seconds);
}

void MediaPlayerPane::Stop() {
  pendingPositionMs_.reset();
  player_->stop();
}

void MediaPlayerPane::Unload() {
  SetFullScreen(false);
  Stop();
  path_.clear();
  error_.clear();
  player_->setSource(QUrl());
  position_->setRange(0, 0);
  ShowTime();
}

double MediaPlayerPane::CurrentPosition() const {
  return (pendingPositionMs_ ? *pendingPositionMs_ : player_->position()) / 1000.0;
}

void MediaPlayerPane::SetCurrentPosition(double seconds) {
  const qint64 ms = std::llround(std::max(0.0, seconds) * 1000.0);
  pendingPositionMs_ = ms;
  ApplyPendingPosition();
}

void MediaPlayerPane::ApplyPendingPosition() {
  // A seek before the opened file can seek would be forgotten by the player.
  if (!pendingPositionMs_ || !player_->isSeekable()) return;
  const qint64 ms = *pendingPositionMs_;
  pendingPositionMs_.reset();
  player_->setPosition(ms);
  position_->setValue(static_cast<int>(std::min<qint64>(ms, INT32_MAX)));
  ShowTime();
}

int MediaPlayerPane::PlayState() const {
  if (path_.isEmpty()) return kUndefined;
  switch (player_->playbackState()) {
    case QMediaPlayer::PlayingState:
      return kPlaying;
    case QMediaPlayer::PausedState:
      return kPaused;
    case QMediaPlayer::StoppedState:
      break;
  }
  return kStopped;
}

void MediaPlayerPane::SetFullScreen(bool on) {
  if (video_->isFullScreen() == on) return;
  if (on) {
    // The picture becomes a window of its own over the whole screen. Its geometry is set too: a
    // desktop without a window manager would otherwise leave it where it was.
    video_->setWindowFlags(Qt::Window);
    if (QScreen* screen = this->screen()) video_->setGeometry(screen->geometry());
    video_->showFullScreen();
    video_->activateWindow();
    video_->setFocus();
    return;
  }
  // Back into the pane, where the layout places it again.
  video_->setWindowFlags(Qt::Widget);
  video_->showNormal();
  layout()->activate();
}

bool MediaPlayerPane::IsFullScreen() const {
  return video_->isFullScreen();
}

int MediaPlayerPane::Volume() const {
  return volume_->value();
}

bool MediaPlayerPane::eventFilter(QObject* watched, QEvent* event) {
  if (watched == video_ && video_->isFullScreen()) {
    // Esc (or a double click) brings the picture back into the window; the key must not reach
    // the dialog, whose Esc would hide it.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      SetFullScreen(false);
      return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
      SetFullScreen(false);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MediaPlayerPane::ShowTime() {
  if (!error_.isEmpty()) {
    time_->setText(QStringLiteral("无法播放"));
    time_->setToolTip(error_);
    return;
  }
  time_->setToolTip(QString());
  if (path_.isEmpty()) {
    time_->setText(QStringLiteral("--:-- / --:--"));
    return;
  }
  time_->setText(ClockText(static_cast<qint64>(CurrentPosition() * 1000)) + QStringLiteral(" / ") +
                 ClockText(player_->duration()));
}

void MediaPlayerPane::ShowPlayButton() {
  const bool playing = PlayState() == kPlaying;
  playPause_->setIcon(
      style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
  playPause_->setToolTip(playing ? QStringLiteral("暂停") : QStringLiteral("播放"));
}

}  // namespace vortane
