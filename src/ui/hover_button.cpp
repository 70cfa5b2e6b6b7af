#include "ui/hover_button.h"

#include <QEnterEvent>
#include <QColor>
#include <QPainter>

#include "ui/command_target.h"
#include "ui/skin_drawing.h"
#include "ui/ui_font.h"

namespace vortane::ui {

CHoverButton::CHoverButton(int controlId, QWidget* parent)
    : QAbstractButton(parent), controlId_(controlId) {
  // Toolbar buttons never take the keyboard focus away from where the teacher is typing.
  setFocusPolicy(Qt::NoFocus);
  setFont(MakeUiFont(QString(), 12));
  connect(this, &QAbstractButton::clicked, this, &CHoverButton::OnClicked);
  connect(this, &QAbstractButton::pressed, this, [this] { UpdateShape(); });
  connect(this, &QAbstractButton::released, this, [this] { UpdateShape(); });
}

bool CHoverButton::LoadBitmapStrip(const QString& path) {
  strip_ = LoadSkinPicture(path);
  frameWidth_ = strip_.isNull() ? 0 : strip_.width() / 3;
  frameHeight_ = strip_.isNull() ? 0 : strip_.height();
  shapedFrame_ = -1;
  resize(frameWidth_, frameHeight_);
  UpdateShape();
  update();
  return !strip_.isNull();
}

void CHoverButton::SetToolTipText(const QString& text) {
  setToolTip(text);
}

void CHoverButton::SetCaption(const QString& caption) {
  caption_ = caption;
  shapedFrame_ = -1;
  UpdateShape();
  update();
}

void CHoverButton::SetCaptionColor(const QColor& colour) {
  captionColour_ = colour;
  shapedFrame_ = -1;
  UpdateShape();
  update();
}

void CHoverButton::SetHoverCursor(const QCursor& cursor) {
  setCursor(cursor);
}

int CHoverButton::CurrentFrame() const {
  if (isDown()) return 1;
  if (hover_) return 2;
  return 0;
}

QSize CHoverButton::sizeHint() const {
  return QSize(frameWidth_, frameHeight_);
}

QImage CHoverButton::ComposeFrame(int frame) const {
  if (strip_.isNull() || frameWidth_ <= 0) return {};
  QImage picture = strip_.copy(frame * frameWidth_, 0, frameWidth_, frameHeight_);
  if (caption_.isEmpty()) return picture;
  // The caption goes onto a black sheet first and is then OR-ed onto the picture, so light
  // captions brighten whatever lies under them instead of covering it.
  QImage sheet(picture.size(), QImage::Format_RGB32);
  sheet.fill(Qt::black);
  {
    QPainter p(&sheet);
    p.setFont(font());
    p.setPen(captionColour_);
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(caption_);
    const int textHeight = metrics.height();
    p.drawText(QPoint((sheet.width() - textWidth) / 2,
                      (sheet.height() - textHeight) / 2 + metrics.ascent()),
               caption_);
  }
  QPainter p(&picture);
  p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
  p.drawImage(0, 0, sheet);
  return picture;
}

void CHoverButton::UpdateShape() {
  const int frame = CurrentFrame();
  if (frame == shapedFrame_) return;
  shapedFrame_ = frame;
  CutCornerRegion(ComposeFrame(frame), this, kCornerKeyColour);
  update();
}

void CHoverButton::paintEvent(QPaintEvent*) {
  const QImage picture = ComposeFrame(CurrentFrame());
  if (picture.isNull()) return;
  QPainter p(this);
  p.drawImage(0, 0, picture);
  // A disabled button (the side buttons while recording) is dimmed so the teacher sees it is off.
  if (!isEnabled()) p.fillRect(rect(), QColor(16, 18, 24, 150));
}

void CHoverButton::enterEvent(QEnterEvent* event) {
  hover_ = true;
  UpdateShape();
  update();
  QAbstractButton::enterEvent(event);
}

void CHoverButton::leaveEvent(QEvent* event) {
  hover_ = false;
  UpdateShape();
  update();
  QAbstractButton::leaveEvent(event);
}

void CHoverButton::changeEvent(QEvent* event) {
  // A hidden or disabled button cannot stay hovered: it would show the hover frame when it
  // comes back although the mouse has long left.
  if (event->type() == QEvent::EnabledChange && !isEnabled()) {
    hover_ = false;
    UpdateShape();
  }
  QAbstractButton::changeEvent(event);
}

void CHoverButton::hideEvent(QHideEvent* event) {
  hover_ = false;
  UpdateShape();
  QAbstractButton::hideEvent(event);
}

void CHoverButton::resizeEvent(QResizeEvent* event) {
  shapedFrame_ = -1;
  UpdateShape();
  QAbstractButton::resizeEvent(event);
}

bool CHoverButton::hitButton(const QPoint& pos) const {
  return mask().isEmpty() ? rect().contains(pos) : mask().contains(pos);
}

void CHoverButton::OnClicked() {
  SendCommand(this, controlId_);
}

}  // namespace vortane::ui
