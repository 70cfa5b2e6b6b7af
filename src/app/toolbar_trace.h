#pragma once

#include <QString>

class QWidget;

namespace vortane {

// The toolbar's trace on standard error (VORTANE_TRACE=1): status texts, messages and where the
// controls are, so whole-program tests can click and type like a user. Off, it costs nothing.
class ToolbarTrace {
 public:
  explicit ToolbarTrace(bool on);

  bool IsOn() const { return on_; }
  void operator()(const QString& text) const;
  // Every visible control whose object name is its id, with its place on the screen.
  void Controls(const QWidget& window) const;
  // The visible rows of the window's skinned list, with their places on the screen.
  void ListRows(const QWidget& window) const;

 private:
  bool on_ = false;
};

}  // namespace vortane
