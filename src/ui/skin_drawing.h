#pragma once

#include <QImage>
#include <QRegion>
#include <QRgb>
#include <QString>

class QPainter;
class QWidget;

// Drawing routines shared by the skinned windows: picture loading, window shapes cut from
// key-coloured pixels, and pictures drawn with a transparent key colour.
namespace vortane::ui {

// Skin pictures paint rounded corners in this colour; those pixels become holes in the window.
inline constexpr QRgb kCornerKeyColour = qRgb(31, 251, 222);
// The toolbar background marks everything outside the window in this colour.
inline constexpr QRgb kShapeKeyColour = qRgb(255, 0, 255);

// Loads a picture file (24-bit BMP, or any format Qt reads) as an opaque RGB32 image. A missing
// or unreadable file gives a null image.
QImage LoadSkinPicture(const QString& path);

// True when the pixel at (x, y) of `picture` exists and has exactly the colour `rgb`.
bool PixelIs(const QImage& picture, int x, int y, QRgb rgb);

// The region of a window of `size` without the pixels of `colour` that form its four corners
// in `picture` (the window's painted surface). Each corner is walked column by column from the
// window's edge: a column loses its run of key pixels counted from the top (or bottom) edge, at
// most as many as the previous column lost and never more than half the height; the walk stops
// at the first column that loses nothing. Pixels outside the picture never match.
QRegion CornerCutRegion(const QImage& picture, QSize size, QRgb colour);

// Gives `window` the shape CornerCutRegion computes for its current size (the mask is cleared
// when no corner pixel matches). The mask is only touched when it changes.
void CutCornerRegion(const QImage& picture, QWidget* window, QRgb colour);

// Every pixel of `picture` that is not exactly `keyColour`, as one region of merged bands. It
// scales with the picture: identical neighbouring rows share one band.
QRegion OpaqueRegion(const QImage& picture, QRgb keyColour);

// Draws `bitmap` with its top-left corner at (8, 2), leaving the pixels of `keyColour`
// transparent.
void DrawBitmapTransparent(QPainter& painter, const QImage& bitmap, QRgb keyColour);

}  // namespace vortane::ui
