#pragma once

#include <QPixmap>
#include <QPoint>
#include <QWidget>
#include <memory>

#include "encoder/capture_region.h"

namespace vortane {

class CFlashingWnd;

// One of the two full-screen windows of a region selection.
//
// The overlay "area" takes the mouse: a move shows the prompt, a left drag draws the rectangle,
// releasing the button ends the selection, a right click offers the standard sizes and Esc
// cancels. It owns the region frame.
//
// The layer "layer" lies above it, ignores the mouse (clicks fall through to the overlay) and
// shows the dimmed screen with the selected rectangle bright and the size label.
//
// An X server without a compositor cannot blend a window with what lies under it, so the screen
// is photographed when the selection begins: the overlay shows the photograph unchanged (it must
// not hide or darken anything by itself) and the layer shows it under black at 120/255.
class CShiftRegionWindow2 : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kLayerOpacity = 120;

  // `mouseDisabled` makes the dimming layer; otherwise this is the overlay with its frame.
  explicit CShiftRegionWindow2(bool mouseDisabled);
  ~CShiftRegionWindow2() override;

  void SetNext(CShiftRegionWindow2* next) { next_ = next; }
  CShiftRegionWindow2* Next() const { return next_; }
  CFlashingWnd* Frame() const { return frame_.get(); }
  bool IsMouseDisabled() const { return mouseDisabled_; }

  // Overlay: photographs the screen, shows itself over the whole screen, then the layer.
  void BeginSelection();

  bool IsRegionSet() const { return regionSet_; }
  void ClearRegionSet() { regionSet_ = false; }
  bool IsDragging() const { return dragging_; }
  // The rectangle being drawn (screen pixels, right and bottom exclusive).
  const CaptureRegion& CurrentRect() const { return rect_; }

  // Layer: shows `screen` dimmed over the whole screen.
  void ShowLayer(const QPixmap& screen);
  // Layer: the size label for `rect`, replacing the previous one.
  void DrawSizeLabel(const CaptureRegion& rect);
  // Layer: shows `rect` undimmed (cut out of the dimming).
  void CutOut(const CaptureRegion& rect);
  // Layer: dims the whole screen again and forgets the label.
  void RestoreRegion();
  QRect LabelRect() const { return labelPatch_; }
  QRect CutOutRect() const { return cutOut_; }

 signals:
  // A new rectangle while the user drags (the raw rectangle under the mouse).
  void regionDragged(const CaptureRegion& region);
  // The selection was given up; rectangles reported during the drag no longer count.
  void selectionCancelled();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void TakeScreenSize();
  void ShowOverScreen();
  // Button up (or a standard size accepted): the selection is over, keep or refuse `rect`.
  void EndSelection(const CaptureRegion& rect);
  // Hides the selection windows and reports that no region was chosen.
  void CancelSelection();
  void ReportCancel();
  void OpenStandardSize(QPoint cursor);

  int screenWidth_ = 0;
  int screenHeight_ = 0;
  CaptureRegion rect_;
  std::unique_ptr<CFlashingWnd> frame_;  // the overlay's only
  CShiftRegionWindow2* next_ = nullptr;
  bool dragging_ = false;
  bool regionSet_ = false;
  bool mouseDisabled_ = false;

  // Layer: the screen photograph plain and dimmed, the undimmed rectangle and the label.
  QPixmap screen_;
  QPixmap dimmed_;
  QRect cutOut_;
  QRect labelPatch_;  // where the label was last drawn, with its 4-pixel margin
  QRect labelText_;
  QString label_;
};

}  // namespace vortane
