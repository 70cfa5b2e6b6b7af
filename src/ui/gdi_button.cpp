#include "ui/gdi_button.h"

#include <QFocusEvent>
#include <QPainter>

#include "ui/command_target.h"
#include "ui/skin_drawing.h"
#include "ui/ui_font.h"

// The strip is a resource of the static UI library; it must be registered by hand.
static void InitUiKitResources() {
  Q_INIT_RESOURCE(vortane_ui_kit);
}

namespace vortane::ui {
namespace {

constexpr QRgb kBlack = qRgb(0, 0, 0);

}  // namespace

const QImage& CGdiButton::Strip() {
  static const QImage strip = [] {
    InitUiKitResources();
    return LoadSkinPicture(QStringLiteral(":/vortane/ui/gdi_button.bmp"));
  }();
  return strip;
}

CGdiButton::CGdiButton(int controlId, QWidget* parent) : CGdiButton(QString(), controlId, parent) {}

CGdiButton::CGdiButton(const QString& text, int controlId, QWidget* parent)
    : QPushButton(text, parent), controlId_(controlId) {
  setFont(MakeUiFont(QStringLiteral("宋体"), 12, 300));
  setFixedSize(sizeHint());
  setCursor(Qt::PointingHandCursor);
  connect(this, &QAbstractButton::clicked, this, [this] { SendCommand(this, controlId_); });
  connect(this, &QAbstractButton::pressed, this, &CGdiButton::UpdateShape);
  connect(this, &QAbstractButton::released, this, &CGdiButton::UpdateShape);
}

QSize CGdiButton::sizeHint() const {
  const QImage& strip = Strip();
  return strip.isNull() ? QSize(60, 25) : QSize(strip.width() / 3, strip.height());
}

int CGdiButton::CurrentFrame() const {
  if (isDown()) return 2;
  if (hover_) return 1;
  return 0;
}

QImage CGdiButton::ComposeFrame(int frame) const {
  const QImage& strip = Strip();
  if (strip.isNull()) return {};
  const int w = strip.width() / 3;
  QImage picture = strip.copy(frame * w, 0, w, strip.height());
  const QString caption = text();
  if (caption.isEmpty()) return picture;
  // Caption on black, OR-ed onto the picture: a white caption stays white on any frame.
  QImage sheet(picture.size(), QImage::Format_RGB32);
  sheet.fill(Qt::black);
  {
    QPainter p(&sheet);
    p.setFont(font());
    // A disabled button keeps its picture but its caption dims, so it reads as unavailable.
    p.setPen(isEnabled() ? captionColour_ : QColor(150, 150, 150));
    const QFontMetrics metrics(font());
    const int x = (sheet.width() - metrics.horizontalAdvance(caption)) / 2;
    const int y = (sheet.height() - metrics.height()) / 2 + metrics.ascent();
    p.drawText(QPoint(x, y), caption);
  }
  QPainter p(&picture);
  p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
  p.drawImage(0, 0, sheet);
  return picture;
}

void CGdiButton::UpdateShape() {
  const int frame = CurrentFrame();
  if (frame != shapedFrame_) {
    shapedFrame_ = frame;
    CutCornerRegion(ComposeFrame(frame), this, kBlack);
  }
  update();
}

void CGdiButton::paintEvent(QPaintEvent*) {
  const QImage picture = ComposeFrame(isEnabled() ? CurrentFrame() : 0);
  QPainter p(this);
  if (picture.isNull()) {
    p.fillRect(rect(), QColor(90, 96, 106));
    p.setPen(captionColour_);
    p.drawText(rect(), Qt::AlignCenter, text());
    return;
  }
  if (!isEnabled()) p.setOpacity(0.55);
  p.drawImage(0, 0, picture);
  if (hasFocus() && keyboardFocus_ && !isDown()) {
    // Keyboard users need to see which button Enter or Space would press.
    p.setOpacity(1.0);
    p.setPen(QPen(QColor(255, 255, 255, 110), 1, Qt::DotLine));
    p.drawRoundedRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5), 2, 2);
  }
}

void CGdiButton::enterEvent(QEnterEvent* event) {
  hover_ = true;
  UpdateShape();
  QPushButton::enterEvent(event);
}

void CGdiButton::leaveEvent(QEvent* event) {
  hover_ = false;
  UpdateShape();
  QPushButton::leaveEvent(event);
}

void CGdiButton::hideEvent(QHideEvent* event) {
  hover_ = false;
  UpdateShape();
  QPushButton::hideEvent(event);
}

void CGdiButton::focusInEvent(QFocusEvent* event) {
  keyboardFocus_ = event->reason() == Qt::TabFocusReason ||
                   event->reason() == Qt::BacktabFocusReason ||
                   event->reason() == Qt::ShortcutFocusReason;
  QPushButton::focusInEvent(event);
}

void CGdiButton::resizeEvent(QResizeEvent* event) {
  shapedFrame_ = -1;
  UpdateShape();
  QPushButton::resizeEvent(event);
}

bool CGdiButton::hitButton(const QPoint& pos) const {
  return mask().isEmpty() ? rect().contains(pos) : mask().contains(pos);
}

}  // namespace vortane::ui
