#include "app/toolbar_slide.h"

namespace vortane {

void ToolbarSlide::Out(const QRect& window, int screenWidth, int startButtonWidth) {
  if (Running() && direction_ == Direction::kOut) return;
  const bool turning = Running();
  SlidePlan plan = PlanSlideOut(window, screenWidth, startButtonWidth);
  // Turning round on the way back: the toolbar's place is the one remembered before.
  if (plan.moves && !turning) returnLeft_ = plan.returnLeft;
  Follow(std::move(plan), Direction::kOut);
}

void ToolbarSlide::Back(const QRect& window, int screenWidth) {
  if (Running() && direction_ == Direction::kBack) return;
  SlidePlan plan = PlanSlideBack(window, screenWidth, returnLeft_);
  // Turning round on the way out: the toolbar may still be wholly on screen, but it is not
  // where it was.
  if (Running() && !plan.moves) plan = PlanSlideLeftTo(window, returnLeft_);
  Follow(std::move(plan), Direction::kBack);
}

void ToolbarSlide::Follow(SlidePlan plan, Direction direction) {
  steps_ = plan.moves ? std::move(plan.steps) : std::vector<QPoint>();
  next_ = 0;
  direction_ = plan.moves ? direction : Direction::kNone;
}

std::optional<QPoint> ToolbarSlide::Next() {
  if (!Running()) return std::nullopt;
  return steps_[next_++];
}

}  // namespace vortane
