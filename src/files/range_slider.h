#pragma once

#include <QRect>
#include <QWidget>
#include <cstdint>
#include <utility>

namespace vortane {

// Two thumbs that select a sub-range [left, right] of [min, max], with an optional second,
// "visual" range shaded inside the selection. Mouse drags move a thumb or the whole selection;
// arrow keys move the selection (Shift: only its right end) by one pixel's worth.
//
// Changes are reported by rangeChanged(wParam), delivered before the change's handler returns:
//   1  the left mouse button was released over the control (after a drag or not),
//   2  an arrow key moved the whole selection,
//   0  Shift with an arrow key moved only the right end.
// Refused moves are reported too. No message is sent while dragging.
//
// Where the values leave the geometry undefined, the control stays put: with min = max, or a
// control narrower than two thumbs, both thumbs sit at the start and drags and keys change
// nothing. Shift with the decreasing arrow stops when the right end meets the left end.
class CRangeSlider : public QWidget {
  Q_OBJECT

 public:
  enum Element { kLeftThumb = 0, kRightThumb = 1, kMiddleBar = 2 };

  explicit CRangeSlider(int controlId = 0, QWidget* parent = nullptr);

  int controlId() const { return controlId_; }

  // Orders a and b and makes them the value range; the selection is kept inside it.
  void SetMinMax(double a, double b);
  // Makes [a, b] the selection (kept inside the value range).
  void SetRange(double a, double b);
  void SetVisualMinMax(double a, double b);
  void SetVisualMode(bool on);
  std::pair<double, double> GetRange() const;
  std::pair<double, double> GetMinMax() const;
  std::pair<double, double> GetVisualMinMax() const;
  bool VisualMode() const { return visualMode_; }

  // Vertical sliders run top to bottom (Up decreases, Down increases).
  void SetHorizontal(bool horizontal);
  bool IsHorizontal() const { return horizontal_; }
  // Inverted sliders hold their values negated, so the control runs from max to min.
  void SetInverted(bool inverted);
  bool IsInverted() const { return inverted_; }

  // Geometry of the current size, in pixels along the slider.
  int ThumbSize() const;
  int TrackLength() const;
  int ValueToPixel(double value) const;
  // The thumbs' hit rectangles (the drawn thumbs inset by 1 at the top/left, 2 at the
  // bottom/right) and the middle bar, in widget coordinates.
  QRect LeftThumbRect() const;
  QRect RightThumbRect() const;
  QRect MiddleBarRect() const;
  bool IsDragging() const { return dragging_; }

  QSize sizeHint() const override;

 signals:
  void rangeChanged(int wParam);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  // Along / across the slider's axis.
  int Along(const QPoint& p) const { return horizontal_ ? p.x() : p.y(); }
  int Length() const { return horizontal_ ? width() : height(); }
  int Breadth() const { return horizontal_ ? height() : width(); }
  // A rectangle given along/across the axis as [a0, a1) × [c0, c1).
  QRect Box(int a0, int c0, int a1, int c1) const;
  void NormaliseSelection();
  void NormaliseVisual();
  void Notify(int wParam);

  int controlId_ = 0;
  double min_ = 0.0;
  double max_ = 1.0;
  double left_ = 0.0;
  double right_ = 1.0;
  double visualMin_ = 0.0;
  double visualMax_ = 1.0;
  bool horizontal_ = true;
  bool visualMode_ = false;
  bool inverted_ = false;
  bool dragging_ = false;
  int dragElement_ = kLeftThumb;
  int dragOffset_ = 0;
};

}  // namespace vortane
