#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

#include "encoder/capture_region.h"

// The arithmetic of the capture region: how a drag becomes a rectangle, where a standard size
// lands, how the frame's ring sits around the captured picture and how display scaling maps the
// rectangle to device pixels. Rectangles are CaptureRegion values (right and bottom exclusive)
// in screen pixels; the screen is (0, 0, screenWidth, screenHeight).
namespace vortane {

// Width and height of the frame's ring; the captured picture is the inside of the ring.
inline constexpr int kFrameRingWidth = 4;
// A selection must end up wider and taller than this, and the frame cannot be made smaller.
inline constexpr int kMinimumRegionSize = 128;

// A rectangle with no area (Windows IsRectEmpty: width or height not positive).
bool IsEmptyRect(const CaptureRegion& rect);

// The selection rectangle while the left button is held: right and bottom follow the cursor.
struct DragStep {
  CaptureRegion rect;
  // False when the cursor is left of or above the starting point: the rectangle is then
  // inverted, nothing is drawn or reported, and releasing the button will cancel.
  bool forward = false;
};
DragStep DragTo(const CaptureRegion& current, QPoint cursor, int screenWidth, int screenHeight);

// Applies the button-up rules to a dragged (or standard-size) rectangle: a side shorter than
// kMinimumRegionSize grows by it (away from the screen edge), a side of kMinimumRegionSize or
// less then cancels the selection (nullopt), and odd sizes lose their last pixel.
std::optional<CaptureRegion> FinishSelection(CaptureRegion rect, int screenWidth, int screenHeight);

// The five standard sizes offered by the standard-size dialog, in list order, and the size a
// list position stands for (1280x720 for any position that is not one of the others).
QStringList StandardSizeTexts();
inline constexpr int kPreselectedStandardSize = 2;
QSize StandardSizeForIndex(int index);

// A standard size placed with its top-left at the cursor, or at (0, 0) when it would reach past
// the right or bottom edge. A size larger than the screen is cut at the screen's edges, so the
// region never asks the encoder for pixels that do not exist.
CaptureRegion PlaceStandardSize(QPoint cursor, QSize size, int screenWidth, int screenHeight);

// The frame keeps even sizes: an odd height loses its bottom row, an odd width its right column.
CaptureRegion EvenFrameRect(const CaptureRegion& frame);
// The captured rectangle: the frame's screen rectangle without its ring.
CaptureRegion FrameInside(const CaptureRegion& frame);
// The frame's window rectangle around a captured rectangle (inverse of FrameInside).
CaptureRegion FrameAround(const CaptureRegion& inside);

// Display scaling: multiplies each coordinate by the factor and truncates toward zero; a factor of
// exactly 1 leaves the rectangle alone.
CaptureRegion ApplyScale(const CaptureRegion& rect, double factor);
// The captured rectangle in device pixels: scaled as above, then an odd width or height loses its
// last column or row. At 125 %, 150 % or 175 % an even frame often scales to an odd size, and the
// encoder's picture format (yuv420p) takes only even ones.
CaptureRegion ScaledCaptureRect(const CaptureRegion& inside, double factor);

// The size label shown during a selection: its text and the top-left of the text.
QString SizeLabelText(const CaptureRegion& rect);
QPoint SizeLabelOrigin(const CaptureRegion& rect, int textHeight);
// The area the label occupies on the layer (the text with 4 pixels around it).
CaptureRegion SizeLabelPatch(QPoint origin, QSize textSize);

// Which part of the frame a point (in frame coordinates) is over, for resizing by the edges.
enum class FrameZone { None, Left, Right, Top, Bottom, TopLeft, TopRight, BottomLeft, BottomRight };
// Edges are kFrameEdgeZone deep; the 16-pixel corner squares are the corner handles.
inline constexpr int kFrameEdgeZone = 6;
inline constexpr int kFrameCornerSize = 16;
FrameZone HitTestFrame(QPoint point, QSize frameSize);
// The frame rectangle after dragging `zone` by (dx, dy) from `start`: the opposite sides stay
// put, neither side becomes shorter than kMinimumRegionSize, and a dragged side stops at the
// screen's edge (the encoder cannot capture pixels beyond it).
CaptureRegion ResizeFrame(const CaptureRegion& start, FrameZone zone, int dx, int dy,
                          int screenWidth, int screenHeight);

}  // namespace vortane
