#pragma once

#include <QPoint>
#include <QRegion>
#include <QWidget>

#include "encoder/capture_region.h"
#include "platform/color_ref.h"
#include "settings/region_geometry.h"

namespace vortane {

// The region frame "rec_area": a borderless top-most window shaped as a 4-pixel ring around the
// captured rectangle, so the frame itself never shows in the recording. While unlocked, its edges
// and corner squares resize it. Every time it is placed or resized it reports the rectangle inside
// the ring (in device pixels) through regionPlaced and writes it to the
// screen-capture-recorder values.
class CFlashingWnd : public QWidget {
  Q_OBJECT

 public:
  static constexpr ColorRef kFrameColour = Rgb(0, 255, 80);
  static constexpr ColorRef kCornerColour = Rgb(255, 0, 0);
  static constexpr ColorRef kRecordingCornerColour = Rgb(128, 128, 128);
  static constexpr int kInitialSize = 200;

  CFlashingWnd();

  // A locked frame cannot be resized; the recording locks it so the captured area stays put.
  void SetLocked(bool locked);
  bool IsLocked() const { return locked_; }
  // Recording on: locked, grey corners. Off: unlocked, red corners. The ring keeps its colour.
  void MarkRecording(bool on);

  // Moves the frame to `frame` (its window rectangle in screen pixels, ring included) with odd
  // sizes made even, shows it when `show` is set, then reports the rectangle inside the ring:
  // sent to the owner (handled when this returns) and written to the INI values.
  void PlaceFrame(const CaptureRegion& frame, bool show = false);

  // The frame's window rectangle and the last reported capture rectangle.
  CaptureRegion FrameRect() const;
  CaptureRegion CaptureRect() const { return captureRect_; }
  ColorRef FrameColour() const { return frameColour_; }
  ColorRef CornerColour() const { return cornerColour_; }
  const QRegion& WindowRegion() const { return region_; }

 signals:
  // The rectangle inside the ring, in device pixels, after the frame was placed or resized.
  void regionPlaced(const CaptureRegion& region);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void ApplyRegion();
  void ReportCaptureRect();
  void ShowZoneCursor(FrameZone zone);

  bool locked_ = false;
  QRegion region_;
  ColorRef frameColour_ = kFrameColour;
  // Kept so that a repaint while recording (an expose) keeps the grey corners.
  ColorRef cornerColour_ = kCornerColour;
  CaptureRegion captureRect_;

  // A resize by the mouse in progress: the zone grabbed, where and on which rectangle it began.
  FrameZone resizeZone_ = FrameZone::None;
  QPoint resizeStart_;
  CaptureRegion resizeFrom_;
};

// Device pixels of the primary screen's mode per pixel the program sees (1 without scaling).
double PrimaryScreenScaleFactor();

}  // namespace vortane
