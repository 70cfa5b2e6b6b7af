#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPushButton>

namespace vortane::ui {

// A dialog push button painted from the built-in 180 × 25 strip (three 60 × 25 frames: normal,
// hover, pressed) with its text centred over the picture. Black pixels at the corners are cut
// out of its shape. The button sizes itself to one frame. A click calls OnCommand(controlId) on
// the owning window (see command_target.h) and emits clicked(); as a QPushButton it can be the
// dialog's default button (Enter).
class CGdiButton : public QPushButton {
  Q_OBJECT

 public:
  explicit CGdiButton(int controlId = 0, QWidget* parent = nullptr);
  CGdiButton(const QString& text, int controlId, QWidget* parent);

  int controlId() const { return controlId_; }
  void setControlId(int id) { controlId_ = id; }

  // 0 normal, 1 hover, 2 pressed: the frame the next paint shows.
  int CurrentFrame() const;
  bool IsHovered() const { return hover_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

  // The built-in strip (loaded once per process).
  static const QImage& Strip();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

 private:
  QImage ComposeFrame(int frame) const;
  void UpdateShape();

  int controlId_ = 0;
  bool hover_ = false;
  int shapedFrame_ = -1;
  QColor captionColour_ = Qt::white;
  bool keyboardFocus_ = false;
};

}  // namespace vortane::ui
