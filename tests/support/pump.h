#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace vortane::test {

// Runs the thread's events until `done` holds, for at most `ms`; true when it holds.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 30000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

}  // namespace vortane::test
