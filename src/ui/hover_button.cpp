#include "ui/hover_button.h"

#include <QColor>
#include <QEnterEvent>
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
  return strip_.copy(frame * frameWidth_, 0, frameWidth_, frameHeight_);
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
