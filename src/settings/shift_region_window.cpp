#include "settings/shift_region_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include "settings/flashing_wnd.h"
#include "settings/region_geometry.h"
#include "settings/region_windows.h"
#include "settings/standard_size_dlg.h"

namespace vortane {
namespace {

Qt::WindowFlags FlagsFor(bool mouseDisabled) {
  Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
  if (mouseDisabled) flags |= Qt::WindowTransparentForInput;
  return flags;
}

QRect ToQRect(const CaptureRegion& rect) {
  return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

QPixmap PhotographScreen(QScreen* screen) {
  QRect area = screen != nullptr ? screen->geometry() : QRect(0, 0, 640, 480);
  QPixmap shot = screen != nullptr ? screen->grabWindow(0) : QPixmap();
  if (shot.isNull()) {
    shot = QPixmap(area.size());
    shot.fill(Qt::black);
  }
  if (area.width() > 0) shot.setDevicePixelRatio(double(shot.width()) / area.width());
  return shot;
}

}  // namespace

CShiftRegionWindow2::CShiftRegionWindow2(bool mouseDisabled)
    : QWidget(nullptr, FlagsFor(mouseDisabled)), mouseDisabled_(mouseDisabled) {
  setWindowTitle(mouseDisabled ? QStringLiteral("layer") : QStringLiteral("area"));
  // Every pixel is painted from the photograph; an erase first would only flash.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  if (mouseDisabled) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
  } else {
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    frame_ = std::make_unique<CFlashingWnd>();
  }
  TakeScreenSize();
}

CShiftRegionWindow2::~CShiftRegionWindow2() = default;

void CShiftRegionWindow2::TakeScreenSize() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  screenWidth_ = screen->geometry().width();
  screenHeight_ = screen->geometry().height();
}

void CShiftRegionWindow2::ShowOverScreen() {
  setGeometry(0, 0, screenWidth_, screenHeight_);
  show();
  raise();
}

void CShiftRegionWindow2::BeginSelection() {
  // The screen may have changed its mode since the windows were made.
  TakeScreenSize();
  dragging_ = false;
  rect_ = CaptureRegion{};
  // The photograph must be taken before any of the selection windows covers the screen.
  screen_ = PhotographScreen(QGuiApplication::primaryScreen());
  ShowOverScreen();
  if (next_ != nullptr) next_->ShowLayer(screen_);
  activateWindow();
  setFocus();
}

void CShiftRegionWindow2::ShowLayer(const QPixmap& screen) {
  TakeScreenSize();
  screen_ = screen;
  dimmed_ = screen;
  {
    QPainter painter(&dimmed_);
    painter.fillRect(QRectF(QPointF(0, 0), dimmed_.deviceIndependentSize()),
                     QColor(0, 0, 0, kLayerOpacity));
  }
  cutOut_ = QRect();
  labelPatch_ = QRect();
  label_.clear();
  ShowOverScreen();
  update();
}

void CShiftRegionWindow2::DrawSizeLabel(const CaptureRegion& rect) {
  if (IsEmptyRect(rect)) return;
  QString text = SizeLabelText(rect);
  QFontMetrics metrics = fontMetrics();
  QSize textSize(metrics.horizontalAdvance(text), metrics.height());
  QPoint origin = SizeLabelOrigin(rect, textSize.height());
  QRect patch = ToQRect(SizeLabelPatch(origin, textSize));
  // Repainting the old patch from the photograph is what restoring the saved patch was.
  update(labelPatch_);
  labelPatch_ = patch;
  labelText_ = QRect(origin, textSize);
  label_ = text;
  update(labelPatch_);
}

void CShiftRegionWindow2::CutOut(const CaptureRegion& rect) {
  QRect hole = IsEmptyRect(rect) ? QRect() : ToQRect(rect);
  update(QRegion(cutOut_).xored(QRegion(hole)));
  cutOut_ = hole;
}

void CShiftRegionWindow2::RestoreRegion() {
  update(QRegion(cutOut_).united(labelPatch_));
  cutOut_ = QRect();
  labelPatch_ = QRect();
  label_.clear();
}

void CShiftRegionWindow2::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPixmap& base = mouseDisabled_ ? dimmed_ : screen_;
  if (base.isNull()) {
    painter.fillRect(rect(), Qt::black);
  } else {
    painter.drawPixmap(0, 0, base);
  }
  if (!mouseDisabled_) return;
  if (!cutOut_.isEmpty() && !screen_.isNull()) {
    painter.save();
    painter.setClipRect(cutOut_);
    painter.drawPixmap(0, 0, screen_);
    painter.restore();
  }
  if (!label_.isEmpty()) {
    painter.fillRect(labelText_, Qt::black);
    painter.setPen(QColor(0, 255, 0));
    painter.drawText(labelText_, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, label_);
  }
}

void CShiftRegionWindow2::mouseMoveEvent(QMouseEvent* event) {
  if (mouseDisabled_) return;
  QPoint cursor = event->globalPosition().toPoint();
  if (!dragging_) {
    rect_ = {cursor.x(), cursor.y(), cursor.x() + 1, cursor.y() + 1};
    if (next_ != nullptr) next_->DrawSizeLabel(rect_);
    return;
  }
  DragStep step = DragTo(rect_, cursor, screenWidth_, screenHeight_);
  bool changed = !(step.rect == rect_);
  rect_ = step.rect;
  if (!step.forward || !changed) return;
  if (next_ != nullptr) {
    next_->DrawSizeLabel(rect_);
    next_->CutOut(rect_);
  }
  emit regionDragged(rect_);
}

void CShiftRegionWindow2::mousePressEvent(QMouseEvent* event) {
  if (mouseDisabled_) return;
  QPoint cursor = event->globalPosition().toPoint();
  if (event->button() == Qt::LeftButton) {
    if (frame_) frame_->hide();
    rect_ = {cursor.x(), cursor.y(), cursor.x(), cursor.y()};
    dragging_ = true;
  } else if (event->button() == Qt::RightButton) {
    OpenStandardSize(cursor);
  }
}

void CShiftRegionWindow2::mouseReleaseEvent(QMouseEvent* event) {
  if (mouseDisabled_ || event->button() != Qt::LeftButton || !dragging_) return;
  dragging_ = false;
  EndSelection(rect_);
}

void CShiftRegionWindow2::keyPressEvent(QKeyEvent* event) {
  if (!mouseDisabled_ && event->key() == Qt::Key_Escape && isVisible()) {
    CancelSelection();
    return;
  }
  QWidget::keyPressEvent(event);
}

void CShiftRegionWindow2::closeEvent(QCloseEvent* event) {
  event->ignore();
  // Closing the overlay by the keyboard ends the selection the way Esc does.
  if (!mouseDisabled_ && isVisible()) CancelSelection();
}

void CShiftRegionWindow2::OpenStandardSize(QPoint cursor) {
  StandardSizeDlg dialog(this);
  dialog.PlaceAt(cursor);
  if (dialog.exec() != QDialog::Accepted) {
    CancelSelection();
    return;
  }
  dragging_ = false;
  EndSelection(PlaceStandardSize(cursor, dialog.ChosenSize(), screenWidth_, screenHeight_));
}

void CShiftRegionWindow2::EndSelection(const CaptureRegion& rect) {
  hide();
  if (next_ != nullptr) {
    next_->RestoreRegion();
    next_->hide();
  }
  std::optional<CaptureRegion> chosen = FinishSelection(rect, screenWidth_, screenHeight_);
  if (!chosen) {
    ReportCancel();
    return;
  }
  rect_ = *chosen;
  // The drag steps were posted and the final rectangle is sent; the steps must reach the owner
  // first, or it would be left holding the last raw drag rectangle (ring included).
  QCoreApplication::sendPostedEvents();
  // Set before the frame reports, so the owner sees a set region while it handles the report.
  regionSet_ = true;
  if (frame_) frame_->PlaceFrame(*chosen, true);
}

void CShiftRegionWindow2::CancelSelection() {
  dragging_ = false;
  hide();
  if (next_ != nullptr) {
    next_->RestoreRegion();
    next_->hide();
  }
  ReportCancel();
}

void CShiftRegionWindow2::ReportCancel() {
  if (frame_) frame_->hide();
  ResetRegionRegistry();
  regionSet_ = false;
  emit selectionCancelled();
}

}  // namespace vortane
