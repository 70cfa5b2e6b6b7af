#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QVector>

namespace vortane::ui {

// Base of the skinned popup dialogs (login, live task list): a borderless window whose frame,
// caption band and background are painted from nine pieces of one bitmap described by
// "skin/maindlg.xml". It draws its title (white over a grey shadow), moves when dragged by the
// top band, resizes by its edges when resizable, and never shrinks below its skin corners.
//
//   LoginDlg::LoginDlg(QWidget* parent) : CPopupBaseDlg(parent) {
//     SetResizable(false);
//     LoadSkin(GetProgramFolder() + "skin/maindlg.xml");
//   }
class CPopupBaseDlg : public QDialog {
  Q_OBJECT

 public:
  // Where a point of the window lies, for dragging and resizing.
  enum class HitArea {
    kClient,
    kCaption,
    kLeft,
    kRight,
    kTop,
    kTopLeft,
    kTopRight,
    kBottom,
    kBottomLeft,
    kBottomRight,
  };

  explicit CPopupBaseDlg(QWidget* parent = nullptr);

  // Reads the skin description and its bitmap. Returns false when the file is missing or not
  // well-formed XML, has no element, or the bitmap cannot be loaded. The pieces are cleared
  // first; a failed load leaves the window painted in plain colours.
  bool LoadSkin(const QString& xmlPath);

  // Maximises, or restores when maximised.
  virtual void ToggleMaximize();

  void SetResizable(bool resizable);
  // Extra lower limits for the size (0 = none); they raise the limits the skin corners give.
  void SetMinimumTrackSize(int minimumWidth, int minimumHeight);

  const QVector<QRect>& SkinRects() const { return skinRects_; }
  HitArea HitTest(const QPoint& pos) const;
  // The smallest size the skin allows (the larger of the corner sums plus one), raised by the
  // minimum width and height; empty unless the skin has exactly nine pieces.
  QSize SkinMinimumSize() const;
  // The window's background as painted (skin pieces and picture) for the current size.
  QImage RenderBackground(QSize size) const;

 protected:
  // Called at the end of painting; the base draws nothing.
  virtual void OnDrawExtra(QPainter& painter);

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  int CaptionBandHeight() const;
  void ApplyMinimumSize();
  void RebuildBackground();

  QFont captionFont_;
  QVector<QRect> skinRects_;
  QImage skinBitmap_;
  int minimumWidth_ = 0;
  int minimumHeight_ = 0;
  bool resizable_ = false;
  QSize systemMinimum_;
  QImage background_;

  // Moving and resizing by hand where the window system cannot do it for us.
  HitArea dragArea_ = HitArea::kClient;
  QPoint dragStartGlobal_;
  QRect dragStartGeometry_;
};

}  // namespace vortane::ui
