#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QString>

namespace vortane::ui {

// A push button painted from a three-frame picture strip loaded from a skin file: frames side
// by side, left to right normal, pressed, hover. The button is as large as one frame; corners
// painted in RGB(31, 251, 222) are cut out of its shape. A click calls OnCommand(controlId) on
// the owning window (see command_target.h) and emits clicked().
class CHoverButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit CHoverButton(int controlId = 0, QWidget* parent = nullptr);

  int controlId() const { return controlId_; }
  void setControlId(int id) { controlId_ = id; }

  // Loads the strip from a picture file, replacing the previous one, and resizes the button
  // (keeping its position) to one frame: (width / 3) × height. A file that cannot be loaded
  // leaves no strip and a 0 × 0 button. Returns whether the strip was loaded.
  bool LoadBitmapStrip(const QString& path);
  void SetToolTipText(const QString& text);

  // 0 normal, 1 pressed, 2 hover: the frame the next paint shows.
  int CurrentFrame() const;
  bool IsHovered() const { return hover_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

 private:
  // The frame as painted: one frame of the strip.
  QImage ComposeFrame(int frame) const;
  void UpdateShape();
  void OnClicked();

  int controlId_ = 0;
  bool hover_ = false;
  int frameWidth_ = 0;
  int frameHeight_ = 0;
  QImage strip_;
  int shapedFrame_ = -1;
};

}  // namespace vortane::ui
