#include "settings/flashing_wnd.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <climits>

#include "settings/screen_capture_recorder_ini.h"

namespace vortane {
namespace {

QColor ToQColor(ColorRef colour) {
  return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

CaptureRegion FromQRect(const QRect& rect) {
  return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

}  // namespace

double PrimaryScreenScaleFactor() {
  // The screen's mode width over the width the program sees is the device pixel ratio; the ratio
  // itself is exact, while the width the program sees has been rounded.
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->devicePixelRatio() : 1.0;
}

CFlashingWnd::CFlashingWnd()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setWindowTitle(QStringLiteral("rec_area"));
  // The ring is painted completely on every paint; erasing first would only flicker.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setMouseTracking(true);
  setGeometry(0, 0, kInitialSize, kInitialSize);
  ApplyRegion();
}

void CFlashingWnd::SetLocked(bool locked) {
  locked_ = locked;
  if (locked_) {
    resizeZone_ = FrameZone::None;
    unsetCursor();
  }
}

void CFlashingWnd::MarkRecording(bool on) {
  SetLocked(on);
  cornerColour_ = on ? kRecordingCornerColour : kCornerColour;
  update();
}

CaptureRegion CFlashingWnd::FrameRect() const {
  return FromQRect(geometry());
}

void CFlashingWnd::PlaceFrame(const CaptureRegion& frame, bool show) {
  CaptureRegion even = EvenFrameRect(frame);
  setGeometry(even.left, even.top, even.Width(), even.Height());
  ApplyRegion();
  if (show) {
    this->show();
    raise();
  }
  ReportCaptureRect();
}

void CFlashingWnd::ReportCaptureRect() {
  captureRect_ = ScaledCaptureRect(FrameInside(FrameRect()), PrimaryScreenScaleFactor());
  // The owner keeps the rectangle for the next capture and has it before the values for the
  // desktop source change.
  emit regionPlaced(captureRect_);
  // A file that cannot be written changes nothing for the recording, whose region travels on the
  // encoder's command line.
  WriteScreenCaptureRecorderValues(RegionChosenValues(captureRect_));
}

void CFlashingWnd::ApplyRegion() {
  QRect client = rect();
  QRegion ring = QRegion(client).subtracted(QRegion(
      client.adjusted(kFrameRingWidth, kFrameRingWidth, -kFrameRingWidth, -kFrameRingWidth)));
  if (ring == region_) return;
  region_ = ring;
  setMask(region_);
}

void CFlashingWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  int w = width();
  int h = height();
  painter.fillRect(rect(), ToQColor(frameColour_));
  QColor corner = ToQColor(cornerColour_);
  painter.fillRect(0, 0, kFrameCornerSize, kFrameCornerSize, corner);
  painter.fillRect(w - kFrameCornerSize, 0, kFrameCornerSize, kFrameCornerSize, corner);
  painter.fillRect(0, h - kFrameCornerSize, kFrameCornerSize, kFrameCornerSize, corner);
  painter.fillRect(w - kFrameCornerSize, h - kFrameCornerSize, kFrameCornerSize, kFrameCornerSize,
                   corner);
}

void CFlashingWnd::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ApplyRegion();
}

void CFlashingWnd::closeEvent(QCloseEvent* event) {
  // Only the region button removes the frame; a stray close shortcut must not.
  event->ignore();
}

void CFlashingWnd::ShowZoneCursor(FrameZone zone) {
  switch (zone) {
    case FrameZone::Left:
    case FrameZone::Right:
      setCursor(Qt::SizeHorCursor);
      break;
    case FrameZone::Top:
    case FrameZone::Bottom:
      setCursor(Qt::SizeVerCursor);
      break;
    case FrameZone::TopLeft:
    case FrameZone::BottomRight:
      setCursor(Qt::SizeFDiagCursor);
      break;
    case FrameZone::TopRight:
    case FrameZone::BottomLeft:
      setCursor(Qt::SizeBDiagCursor);
      break;
    case FrameZone::None:
      unsetCursor();
      break;
  }
}

void CFlashingWnd::mousePressEvent(QMouseEvent* event) {
  if (locked_ || event->button() != Qt::LeftButton) return;
  FrameZone zone = HitTestFrame(event->position().toPoint(), size());
  if (zone == FrameZone::None) return;
  resizeZone_ = zone;
  resizeStart_ = event->globalPosition().toPoint();
  resizeFrom_ = FrameRect();
}

void CFlashingWnd::mouseMoveEvent(QMouseEvent* event) {
  if (locked_) return;
  if (resizeZone_ == FrameZone::None) {
    ShowZoneCursor(HitTestFrame(event->position().toPoint(), size()));
    return;
  }
  QPoint delta = event->globalPosition().toPoint() - resizeStart_;
  QScreen* screen = QGuiApplication::primaryScreen();
  QSize area = screen != nullptr ? screen->geometry().size() : QSize(INT_MAX, INT_MAX);
  CaptureRegion target = EvenFrameRect(
      ResizeFrame(resizeFrom_, resizeZone_, delta.x(), delta.y(), area.width(), area.height()));
  if (target == FrameRect()) return;
  PlaceFrame(target);
}

void CFlashingWnd::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) resizeZone_ = FrameZone::None;
}

}  // namespace vortane
