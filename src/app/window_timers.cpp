#include "app/window_timers.h"

#include <QTimer>

namespace vortane {

WindowTimers::WindowTimers(std::function<void(int id)> onTick, QObject* parent)
    : QObject(parent), onTick_(std::move(onTick)) {}

WindowTimers::~WindowTimers() = default;

void WindowTimers::StartTimer(int id, int milliseconds) {
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] { onTick_(id); });
  }
  timer->start(milliseconds);
}

void WindowTimers::KillTimer(int id) {
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

bool WindowTimers::IsRunning(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

int WindowTimers::Interval(int id) const {
  auto it = timers_.find(id);
  return it == timers_.end() ? 0 : it->second->interval();
}

}  // namespace vortane
