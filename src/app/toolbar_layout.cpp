#include "app/toolbar_layout.h"

#include <algorithm>

namespace vortane {

QPoint BottomRowPosition(int n, const QSize& button, int clientHeight) {
  const int y = clientHeight - button.height() - 5;
  return QPoint(n == 0 ? 2 : n * (button.width() + 1), y);
}

std::vector<QPoint> TopRightRow(const std::vector<RowItem>& itemsRightToLeft, int clientWidth) {
  std::vector<QPoint> positions;
  int right = clientWidth - 4;  // the first item's right edge; later ones leave 1 pixel
  for (const RowItem& item : itemsRightToLeft) {
    const int x = right - item.size.width();
    positions.emplace_back(x, item.top);
    right = x - 1;
  }
  return positions;
}

QPoint CentredPosition(int screenWidth, int windowWidth, int top) {
  return QPoint(screenWidth / 2 - windowWidth / 2, top);
}

SlidePlan PlanSlideOut(const QRect& window, int screenWidth, int startButtonWidth) {
  SlidePlan plan;
  const int target = screenWidth - startButtonWidth - 2;
  if (window.left() >= target - 10) return plan;
  plan.moves = true;
  // The way back must put the whole toolbar on screen again.
  plan.returnLeft = std::min(window.left(), screenWidth - window.width());
  const int top = std::max(window.top(), 20);
  for (int x = window.left() + kSlideStep; x < target; x += kSlideStep)
    plan.steps.emplace_back(x, top);
  plan.steps.emplace_back(target, top);
  return plan;
}

SlidePlan PlanSlideBack(const QRect& window, int screenWidth, int returnLeft) {
  if (window.left() + window.width() <= screenWidth) {
    SlidePlan plan;
    plan.returnLeft = returnLeft;
    return plan;
  }
  return PlanSlideLeftTo(window, returnLeft);
}

SlidePlan PlanSlideLeftTo(const QRect& window, int left) {
  SlidePlan plan;
  plan.returnLeft = left;
  if (window.left() <= left) return plan;
  plan.moves = true;
  for (int x = window.left() - kSlideStep; x > left; x -= kSlideStep)
    plan.steps.emplace_back(x, window.top());
  plan.steps.emplace_back(left, window.top());
  return plan;
}

}  // namespace vortane
