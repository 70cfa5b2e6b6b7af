#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QVector>

#include "icon_painter.h"

// The pictures of the skin: the toolbar background, the toolbar's button strips, the popup
// frame and the built-in dialog button. Everything is drawn at 1:1 pixels for 24-bit BMP files.
namespace vortane::skin {

// Toolbar geometry the pictures are drawn for. The toolbar places its buttons by rule: start at
// x = 2, the n-th button of the bottom row at n × (width + 1), all at y = height − button − 5;
// the status line at x = width − 250 and the LED at x = width − 280, both at y = 43.
inline constexpr int kToolbarWidth = 640;
inline constexpr int kToolbarHeight = 84;
inline constexpr int kBigButtonWidth = 43;
inline constexpr int kBigButtonHeight = 46;

enum class Tone { kNeutral, kRecording, kActive, kDanger };

// A three-frame strip (normal, pressed, hover) of a bottom-row button: icon and caption on a
// rounded tile; everything around the tile is the corner key colour.
QImage PaintBigButtonStrip(Icon icon, const QString& caption, const QColor& accent, Tone tone);
// A three-frame strip of a small top-right button of `width` × 20 pixels.
QImage PaintSmallButtonStrip(Icon icon, int width, const QColor& accent, Tone tone);
// The toolbar background: rounded panel on magenta, separator, status display, wordmark.
QImage PaintToolbarBackground();
// The popup frame and its nine pieces (left/top negative = measured from the right/bottom).
QImage PaintPopupSkin();
QVector<QRect> PopupSkinPieces();
// The dialog button strip: 180 × 25, frames normal, hover, pressed; black outside the shape.
QImage PaintDialogButtonStrip();

}  // namespace vortane::skin
