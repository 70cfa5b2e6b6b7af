#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// Where the reading thread's current connection to the sound server can be woken from the
// writer's thread.
namespace vortenc {

class ReadingStop {
 public:
  bool Requested() const { return requested_.load(); }

  // Ends the reading: the connection's waits wake and see the request; the pause before the
  // next connection ends at once.
  void Request() {
    std::lock_guard lock(mutex_);
    requested_.store(true);
    if (wake_) wake_();
    paused_.notify_all();
  }

  // How to wake the current connection's waits (empty when there is none); false when the end
  // was asked already. Never called with the connection's loop locked: `wake` locks it while
  // this one's lock is held.
  bool Attach(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
    return !requested_.load();
  }

  // Waits `pause` unless a request comes first.
  void Pause(std::chrono::milliseconds pause) {
    std::unique_lock lock(mutex_);
    paused_.wait_for(lock, pause, [this] { return requested_.load(); });
  }

 private:
  std::mutex mutex_;
  std::condition_variable paused_;
  std::atomic<bool> requested_{false};
  std::function<void()> wake_;
};

}  // namespace vortenc
