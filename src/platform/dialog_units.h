#pragma once

#include <QRect>
#include <QSize>

// The dialogs were laid out in dialog units of their font. One conversion serves all of them:
// the toolbar's "MS Shell Dlg" 10 pt has base units of 7 × 16 pixels at 96 dpi, so a dialog unit
// is 7/4 pixel across and 16/8 = 2 pixels down (365 units make the 640-pixel toolbar). The start-up
// check (微软雅黑 9 pt), the About box and the file manager (宋体 10 pt) have nearly the same base
// units.
namespace vortane {

inline constexpr int kDialogBaseUnitX = 7;
inline constexpr int kDialogBaseUnitY = 16;
QRect DialogUnitsToPixels(const QRect& units);
QSize DialogUnitsToPixels(const QSize& units);

// A large dialog on a small screen (a 1366 × 768 laptop) shrinks to fit: the factor (at most 1) by
// which a dialog of `size` pixels, plus a title bar of `frameHeight`, fits into `available`.
double FittingScale(const QSize& size, const QRect& available, int frameHeight = 40);
// `rect` with every coordinate multiplied by `scale`, rounded.
QRect ScaledRect(const QRect& rect, double scale);

}  // namespace vortane
