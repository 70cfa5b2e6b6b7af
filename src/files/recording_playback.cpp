#include "files/recording_playback.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>
#include <memory>

#include "files/media_player_pane.h"

namespace vortane {

RecordingPlayback::RecordingPlayback(MediaPlayerPane& player, RecordingLibrary::DurationProbe probe,
                                     std::function<void(const QString& text)> trace)
    : player_(player), probe_(std::move(probe)), trace_(std::move(trace)) {
  connect(&player_, &MediaPlayerPane::positionChanged, this, [this](double seconds) {
    if (traced_ || seconds < 1.0) return;
    traced_ = true;
    trace_(QStringLiteral("files player at %1 s").arg(static_cast<int>(seconds)));
  });
}

void RecordingPlayback::Play(const QString& path) {
  if (path == currentPath_) {
    player_.Play();
    trace_(QStringLiteral("files resumed %1").arg(QFileInfo(path).fileName()));
    return;
  }
  const int request = ++request_;
  auto promise = std::make_shared<QPromise<double>>();
  auto* watcher = new QFutureWatcher<double>(this);
  connect(watcher, &QFutureWatcher<double>::finished, this, [this, watcher, request, path] {
    const QFuture<double> future = watcher->future();
    const double duration = future.resultCount() > 0 ? future.result() : -1.0;
    watcher->deleteLater();
    if (request == request_) Load(path, duration);
  });
  watcher->setFuture(promise->future());
  promise->start();
  QThreadPool::globalInstance()->start([promise, probe = probe_, path] {
    promise->addResult(probe(path));
    promise->finish();
  });
}

void RecordingPlayback::Load(const QString& path, double duration) {
  if (!(duration > 0)) {
    duration_ = 0;
    emit refused(path);
    return;
  }
  duration_ = duration;
  player_.SetUrl(path);
  currentPath_ = path;
  traced_ = false;
  trace_(QStringLiteral("files playing %1 (%2 s)")
             .arg(QFileInfo(path).fileName())
             .arg(duration, 0, 'f', 2));
  emit loaded(path, duration);
}

void RecordingPlayback::Release(const QString& path) {
  if (path != currentPath_) return;
  player_.Unload();
  currentPath_.clear();
}

void RecordingPlayback::FullScreen() {
  if (player_.PlayState() == MediaPlayerPane::kPlaying) player_.SetFullScreen(true);
}

}  // namespace vortane
