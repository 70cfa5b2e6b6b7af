#include "ui/label.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>
#include <QUrl>
#include <algorithm>

#include "ui/command_target.h"
#include "ui/ui_font.h"

namespace vortane::ui {
namespace {

constexpr int kFlashIntervalMs = 500;

int Channel(int from, int to, int step, int steps) {
  return from + (to - from) * step / std::max(1, steps - 1);
}

}  // namespace

CLabel::CLabel(int controlId, QWidget* parent) : CLabel(QString(), controlId, parent) {}

CLabel::CLabel(const QString& text, int controlId, QWidget* parent)
    : QLabel(text, parent), controlId_(controlId) {
  textColour_ = palette().color(QPalette::WindowText);
  QFont f = font();
  f.setFamily(MapFontFace(f.family()));
  setFont(f);
  UpdateMouseHandling();
}

CLabel& CLabel::SetBackground(const QColor& colour, const QColor& secondColour, bool gradient) {
  backgroundColour_ = colour;
  secondColour_ = secondColour;
  gradient_ = gradient;
  if (!gradient) customBrush_ = colour;
  Redraw();
  return *this;
}

CLabel& CLabel::SetTextColor(const QColor& colour) {
  textColour_ = colour;
  Redraw();
  return *this;
}

CLabel& CLabel::SetText(const QString& text) {
  setText(text);
  Redraw();
  return *this;
}

CLabel& CLabel::SetBold(bool on) {
  QFont f = font();
  f.setWeight(on ? QFont::Bold : QFont::Normal);
  setFont(f);
  Redraw();
  return *this;
}

CLabel& CLabel::SetUnderline(bool on) {
  QFont f = font();
  f.setUnderline(on);
  setFont(f);
  Redraw();
  return *this;
}

CLabel& CLabel::SetItalic(bool on) {
  QFont f = font();
  f.setItalic(on);
  setFont(f);
  Redraw();
  return *this;
}

CLabel& CLabel::SetPointSize(int points) {
  QFont f = font();
  f.setPointSize(std::max(1, points));
  setFont(f);
  Redraw();
  return *this;
}

CLabel& CLabel::SetSunkenEdge(bool on) {
  setFrameShape(on ? QFrame::Panel : (frameShape() == QFrame::Box ? QFrame::Box : QFrame::NoFrame));
  setFrameShadow(on ? QFrame::Sunken : QFrame::Plain);
  setLineWidth(1);
  Redraw();
  return *this;
}

CLabel& CLabel::SetBorder(bool on) {
  if (on) {
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
  } else if (frameShape() == QFrame::Box) {
    setFrameShape(QFrame::NoFrame);
  }
  setLineWidth(1);
  Redraw();
  return *this;
}

CLabel& CLabel::SetTransparent(bool on) {
  transparent_ = on;
  setAutoFillBackground(false);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  Redraw();
  return *this;
}

CLabel& CLabel::FlashText(bool on) {
  flashTimer_.stop();
  if (on) {
    flashPhase_ = 0;
    flashType_ = kFlashText;
    flashTimer_.start(kFlashIntervalMs, this);
  } else {
    flashType_ = kFlashNone;
    flashPhase_ = 0;
  }
  Redraw();
  return *this;
}

CLabel& CLabel::FlashBackground(bool on) {
  flashTimer_.stop();
  if (on) {
    flashPhase_ = 0;
    flashType_ = kFlashBackground;
    flashTimer_.start(kFlashIntervalMs, this);
  } else {
    // A stopped flash shows its content again instead of freezing in the inverted phase.
    flashPhase_ = 0;
  }
  Redraw();
  return *this;
}

CLabel& CLabel::SetHyperlink(bool on, bool notifyParent) {
  linkType_ = on ? kLinkHyperlink : kLinkNone;
  notifyParent_ = notifyParent;
  UpdateMouseHandling();
  return *this;
}

CLabel& CLabel::SetText3D(bool on, bool sunken) {
  text3d_ = on;
  sunken3d_ = sunken;
  Redraw();
  return *this;
}

CLabel& CLabel::SetRotation(int degrees, bool on) {
  rotationDegrees_ = degrees;
  rotation_ = on;
  Redraw();
  return *this;
}

CLabel& CLabel::SetHighlightColor(const QColor& colour) {
  highlightColour_ = colour;
  Redraw();
  return *this;
}

CLabel& CLabel::SetNotify(bool on) {
  notifyStyle_ = on;
  UpdateMouseHandling();
  return *this;
}

void CLabel::UpdateMouseHandling() {
  const bool takesClicks = notifyStyle_ || notifyParent_ || linkType_ != kLinkNone;
  // A plain static is invisible to the mouse, so presses reach the window under it.
  setAttribute(Qt::WA_TransparentForMouseEvents, !takesClicks);
  if (linkType_ != kLinkNone)
    setCursor(Qt::PointingHandCursor);
  else
    unsetCursor();
}

void CLabel::Redraw() {
  // A transparent label shows its parent's current background: Qt repaints the parent's area
  // under a non-opaque child as part of this update.
  update();
}

int CLabel::TextFlags() const {
  const Qt::Alignment align = alignment();
  const QString content = text();
  int flags = Qt::TextSingleLine;
  if (content.contains(QLatin1Char('\t'))) flags |= Qt::TextExpandTabs;
  if (align & Qt::AlignHCenter) {
    if ((align & Qt::AlignVCenter) && !content.contains(QLatin1String("\r\n")))
      return flags | Qt::AlignCenter;
    return flags | Qt::AlignHCenter | Qt::AlignTop;
  }
  if (align & Qt::AlignRight) return flags | Qt::AlignRight | Qt::AlignVCenter;
  return flags | Qt::AlignLeft | Qt::AlignVCenter;
}

void CLabel::PaintBackground(QPainter& painter, const QRect& rect, const QColor& solid) const {
  if (!gradient_) {
    painter.fillRect(rect, solid);
    return;
  }
  // Bands of one colour each, stepping per channel from the first colour to the second; the
  // last band ends at the right edge.
  const int bands = std::max(1, std::min(rect.width(), 100));
  for (int i = 0; i < bands; ++i) {
    const int x0 = rect.left() + rect.width() * i / bands;
    const int x1 = i == bands - 1 ? rect.right() + 1 : rect.left() + rect.width() * (i + 1) / bands;
    const QColor c(Channel(backgroundColour_.red(), secondColour_.red(), i, bands),
                   Channel(backgroundColour_.green(), secondColour_.green(), i, bands),
                   Channel(backgroundColour_.blue(), secondColour_.blue(), i, bands));
    painter.fillRect(QRect(x0, rect.top(), x1 - x0, rect.height()), c);
  }
}

void CLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect area = contentsRect();
  const QColor solid = customBrush_.value_or(palette().color(QPalette::Button));
  QColor ink = textColour_;
  if (flashType_ == kFlashText && flashPhase_ == 1) ink = backgroundColour_;

  if (flashType_ == kFlashBackground && flashPhase_ == 1) {
    // The dark phase of a background flash shows the label in inverse video.
    p.fillRect(rect(), textColour_);
    ink = gradient_ ? backgroundColour_ : solid;
  } else if (!transparent_) {
    PaintBackground(p, rect(), solid);
  }
  drawFrame(&p);

  const QString content = text();
  if (!content.isEmpty()) {
    p.setFont(font());
    if (rotation_) {
      // Rotated text turns about the middle of the label, centred on its baseline.
      const QFontMetrics metrics(font());
      p.save();
      p.translate(area.center() + QPoint(1, 1));
      p.rotate(-rotationDegrees_);
      p.setPen(ink);
      p.drawText(QPoint(-metrics.horizontalAdvance(content) / 2, 0), content);
      p.restore();
    } else {
      const int flags = TextFlags();
      if (text3d_) {
        p.setPen(highlightColour_);
        p.drawText(area.translated(sunken3d_ ? QPoint(1, 1) : QPoint(-1, -1)), flags, content);
      }
      p.setPen(ink);
      p.drawText(area, flags, content);
    }
  }
}

void CLabel::mousePressEvent(QMouseEvent* event) {
  pressedInside_ = event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(event);
}

void CLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressedInside_ && event->button() == Qt::LeftButton &&
                     rect().contains(event->position().toPoint());
  pressedInside_ = false;
  QLabel::mouseReleaseEvent(event);
  if (!click) return;
  if (notifyParent_)
    SendNotify(this, controlId_, kLabelClickNotify);
  else if (linkType_ != kLinkNone)
    OpenLink();
  if (notifyStyle_) SendCommand(this, controlId_);
  emit labelClicked();
}

void CLabel::OpenLink() const {
  QDesktopServices::openUrl(QUrl::fromUserInput(text()));
}

void CLabel::timerEvent(QTimerEvent* event) {
  if (event->timerId() != flashTimer_.timerId()) {
    QLabel::timerEvent(event);
    return;
  }
  flashPhase_ = flashPhase_ ? 0 : 1;
  Redraw();
}

}  // namespace vortane::ui
