#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

// Geometry of the toolbar and its dialogs, as plain functions so the rules can be checked
// without a window.
namespace vortane {

// The dialogs were laid out in dialog units of their font. One conversion serves all of them:
// the toolbar's "MS Shell Dlg" 10 pt has base units of 7 × 16 pixels at 96 dpi, so a dialog unit
// is 7/4 pixel across and 16/8 = 2 pixels down (365 units make the 640-pixel toolbar). The start-up
// check (微软雅黑 9 pt) and the About box (宋体 10 pt) have nearly the same base units.
inline constexpr int kDialogBaseUnitX = 7;
inline constexpr int kDialogBaseUnitY = 16;
QRect DialogUnitsToPixels(const QRect& units);
QSize DialogUnitsToPixels(const QSize& units);

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

}  // namespace vortane
