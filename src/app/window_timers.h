#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <memory>

class QTimer;

namespace vortane {

// A window's numbered timers (SetTimer / KillTimer on Windows), all one-shot here: every handler
// of this program kills its timer on the first tick anyway. Starting a running timer restarts it.
// Ticks arrive on the owner's thread through `onTick`.
class WindowTimers : public QObject {
  Q_OBJECT

 public:
  explicit WindowTimers(std::function<void(int id)> onTick, QObject* parent = nullptr);
  ~WindowTimers() override;

  void StartTimer(int id, int milliseconds);
  void KillTimer(int id);
  bool IsRunning(int id) const;
  // The interval the timer was last started with; 0 when it never was.
  int Interval(int id) const;

 private:
  std::function<void(int)> onTick_;
  std::map<int, QTimer*> timers_;  // owned through the Qt parent (this)
};

}  // namespace vortane
