#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QCursor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <optional>

namespace vortane::ui {

// A static text with its own text colour, background (solid, left-to-right gradient or
// transparent), font attributes, text or background flashing, 3-D text, rotation, and optional
// hyperlink behaviour. Every operation returns the label, so calls chain:
//
//   status->SetTextColor(QColor(0, 255, 0)).SetTransparent(true).SetText(tr("就绪"));
//
// Vertical placement follows the alignment: left and right aligned text is centred vertically;
// horizontally centred text sits at the top, unless the alignment also asks for vertical
// centring (Qt::AlignCenter) and the text has no "\r\n", which centres it both ways.
//
// Clicks: with SetNotify(true) (the template's notify style) a click is a command:
// OnCommand(controlId) on the owning window. With notify-parent on (SetHyperlink)
// a click sends OnNotify(controlId, kLabelClickNotify) instead of opening the link. Labels that
// take no clicks let the mouse through to the window under them (the toolbar drags from there).
class CLabel : public QLabel {
  Q_OBJECT

 public:
  enum FlashType { kFlashNone = 0, kFlashText = 1, kFlashBackground = 2 };
  enum LinkType { kLinkNone = 0, kLinkHyperlink = 1 };

  explicit CLabel(int controlId = 0, QWidget* parent = nullptr);
  CLabel(const QString& text, int controlId, QWidget* parent);

  int controlId() const { return controlId_; }
  void setControlId(int id) { controlId_ = id; }

  CLabel& SetBackground(const QColor& colour, const QColor& secondColour = QColor(0, 0, 0),
                        bool gradient = false);
  CLabel& SetTextColor(const QColor& colour);
  CLabel& SetText(const QString& text);
  CLabel& SetBold(bool on);
  CLabel& SetUnderline(bool on);
  CLabel& SetItalic(bool on);
  CLabel& SetPointSize(int points);
  CLabel& SetSunkenEdge(bool on);
  CLabel& SetBorder(bool on);
  CLabel& SetTransparent(bool on);
  CLabel& FlashText(bool on);
  CLabel& FlashBackground(bool on);
  CLabel& SetHyperlink(bool on, bool notifyParent);
  CLabel& SetText3D(bool on, bool sunken = false);
  CLabel& SetRotation(int degrees, bool on);
  CLabel& SetHighlightColor(const QColor& colour);
  // The notify style of the dialog template: clicks become commands.
  CLabel& SetNotify(bool on);

  QColor TextColor() const { return textColour_; }
  int GetFlashType() const { return flashType_; }
  bool IsFlashing() const { return flashTimer_.isActive(); }
  // 1 while flashed content is in its hidden / inverted phase.
  int FlashPhase() const { return flashPhase_; }

 signals:
  // The label was clicked while it takes clicks (notify style, link or notify-parent).
  void labelClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void Redraw();
  void UpdateMouseHandling();
  void PaintBackground(QPainter& painter, const QRect& rect, const QColor& solid) const;
  int TextFlags() const;
  void OpenLink() const;

  int controlId_ = 0;
  QColor textColour_;
  std::optional<QColor> customBrush_;
  QColor backgroundColour_ = QColor(0, 0, 0);
  QColor secondColour_ = QColor(0, 0, 0);
  bool gradient_ = false;
  bool transparent_ = false;
  QBasicTimer flashTimer_;
  int flashType_ = kFlashNone;
  int flashPhase_ = 0;
  int linkType_ = kLinkNone;
  bool notifyParent_ = false;
  bool notifyStyle_ = false;
  bool text3d_ = false;
  bool sunken3d_ = false;
  QColor highlightColour_ = Qt::white;
  bool rotation_ = false;
  int rotationDegrees_ = 0;
  bool pressedInside_ = false;
};

}  // namespace vortane::ui
