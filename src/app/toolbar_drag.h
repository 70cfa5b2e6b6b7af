#pragma once

#include <QPoint>

class QMouseEvent;
class QWidget;

namespace vortane {

// Dragging the frameless toolbar from any free spot. A press alone may be the first half of a
// double click, so the move starts only on a real drag; the window manager moves the window
// when it can, otherwise the window follows the mouse itself.
class ToolbarDrag {
 public:
  explicit ToolbarDrag(QWidget& window) : window_(window) {}

  // Each returns true when it took the event.
  bool Press(const QMouseEvent& event);
  void Move(const QMouseEvent& event);
  void Release(const QMouseEvent& event);
  void Cancel() { pressed_ = false; }

 private:
  QWidget& window_;
  bool pressed_ = false;
  bool systemMoveTried_ = false;
  // The press point relative to the window's corner, and on the screen.
  QPoint pressOffset_;
  QPoint pressGlobal_;
};

}  // namespace vortane
