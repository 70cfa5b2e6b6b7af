#pragma once

#include <QPoint>
#include <QRect>
#include <optional>
#include <vector>

#include "app/toolbar_layout.h"

namespace vortane {

// The toolbar's slide to the right screen edge and back, one 20-pixel step at a time (the window
// moves on a timer). A slide asked for while another is under way never recomputes the way back
// from the middle of a slide: the same slide goes on, the opposite one turns round from where the
// toolbar is, and "back" always ends where the toolbar was before it first went out.
class ToolbarSlide {
 public:
  // `window` is the toolbar's frame now, on a screen `screenWidth` wide.
  void Out(const QRect& window, int screenWidth, int startButtonWidth);
  void Back(const QRect& window, int screenWidth);
  // The next position, or nothing when no slide is under way.
  std::optional<QPoint> Next();
  bool Running() const { return next_ < steps_.size(); }

 private:
  enum class Direction { kNone, kOut, kBack };

  void Follow(SlidePlan plan, Direction direction);

  Direction direction_ = Direction::kNone;
  std::vector<QPoint> steps_;
  std::size_t next_ = 0;
  int returnLeft_ = 0;
};

}  // namespace vortane
