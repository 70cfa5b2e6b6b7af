#pragma once

#include <QSize>
#include <functional>
#include <optional>

#include "encoder/capture_region.h"

class QObject;

// The region windows, made once for the life of the program: the selection overlay "area", the
// dimming layer "layer" and the region frame "rec_area" (see shift_region_window.h and
// flashing_wnd.h). UI thread only.
//
// What the owner (the toolbar) receives, in order, through its RegionHandler:
//   - a rectangle when one was chosen. While the user drags, each new rectangle is queued (the
//     raw rectangle under the mouse); when the frame is placed or resized, the rectangle inside
//     the frame's ring, in device pixels, is handed over at once and has been handled when the
//     frame goes on. That last rectangle is the one to record.
//   - nothing when the selection was cancelled (a bare click, a rectangle of 128 pixels or less,
//     a drag up or to the left, the standard-size dialog or Esc cancelled); on a cancel the owner
//     must drop any rectangle the drag updates had reported.
namespace vortane {

using RegionHandler = std::function<void(const std::optional<CaptureRegion>& region)>;

class CFlashingWnd;
class CShiftRegionWindow2;

// Makes the three windows (the frame 200 x 200 at the screen origin, hidden and unlocked),
// reports to `onRegion` on `owner`'s thread while `owner` exists, and clears the region-set flag.
// Calling it again only changes the owner. The windows are destroyed with the application or by
// DestroyRegionWindows.
void CreateRegionWindows(QObject* owner, RegionHandler onRegion);
void DestroyRegionWindows();

// Photographs the screen, then shows the overlay and the dimming layer over all of it.
void BeginRegionSelection();
void HideRegionFrame();
// Writes "no region, the whole screen" to the screen-capture-recorder values.
void ResetRegionRegistry();
bool IsRegionSet();
void ClearRegionSet();
// A recording starts (on: frame locked, grey corners) or ends (off: unlocked, red corners).
void MarkFrameRecording(bool on);

// The windows themselves (null before CreateRegionWindows).
CShiftRegionWindow2* RegionOverlay();
CShiftRegionWindow2* RegionLayer();
CFlashingWnd* RegionFrame();

// The primary screen's work area in device pixels: what "the whole screen" means for the values.
QSize FullScreenClientSize();

}  // namespace vortane
