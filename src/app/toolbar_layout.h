#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

#include "platform/dialog_units.h"

// Geometry of the toolbar and its dialogs, as plain functions so the rules can be checked
// without a window.
namespace vortane {

// The bottom row: the start button (n = 0) at x = 2, the n-th button after it at n × (W + 1),
// all at y = client height − H − 5.
QPoint BottomRowPosition(int n, const QSize& button, int clientHeight);

// One item of the top-right row and where it sits: items are given right to left; the first
// ends 4 pixels from the client's right edge, each next one 1 pixel left of the previous.
struct RowItem {
  QSize size;
  int top = 2;
};
std::vector<QPoint> TopRightRow(const std::vector<RowItem>& itemsRightToLeft, int clientWidth);

// Horizontally centred on a screen of `screenWidth`, at `top`.
QPoint CentredPosition(int screenWidth, int windowWidth, int top);

// Sliding the toolbar to the right screen edge so only the start button stays visible, and back.
struct SlidePlan {
  bool moves = false;
  std::vector<QPoint> steps;  // window positions, one per 20-pixel step; the last is the target
  int returnLeft = 0;         // out: where "back" returns to
};
inline constexpr int kSlideStep = 20;
// `window` is the toolbar's frame on a screen `screenWidth` wide; `startButtonWidth` the width of
// the start button. Nothing moves when the toolbar already sits at the edge (within 10 pixels).
SlidePlan PlanSlideOut(const QRect& window, int screenWidth, int startButtonWidth);
// Back to `returnLeft`, unless the toolbar is fully inside the screen.
SlidePlan PlanSlideBack(const QRect& window, int screenWidth, int returnLeft);
// Leftwards to `left` in the same steps, wherever the toolbar is (nothing when it is there or
// further left).
SlidePlan PlanSlideLeftTo(const QRect& window, int left);

}  // namespace vortane
