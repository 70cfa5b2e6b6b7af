#pragma once

#include <QImage>
#include <QRegion>
#include <QSize>
#include <QString>
#include <optional>

class QPainter;
class QRect;

namespace vortane::ui {

// Mix-in for a window painted from a background picture (the toolbar): the picture comes from
// a skin file, is stretched over the window, and its non-magenta pixels give the window's shape.
//
//   class CVortaneDlg : public QDialog, public ui::CDialogUtility { ... };
//   LoadBackground(folder + "skin/main.bmp"); resize(BackgroundSize());
//   if (auto shape = BackgroundRegion()) setMask(*shape);
//   void paintEvent(QPaintEvent*) override { QPainter p(this); DrawBackground(p, rect()); }
class CDialogUtility {
 public:
  CDialogUtility() = default;
  virtual ~CDialogUtility() = default;
  CDialogUtility(const CDialogUtility&) = delete;
  CDialogUtility& operator=(const CDialogUtility&) = delete;

  // Loads a BMP file as the background and remembers its size. False when the file cannot be
  // loaded; the previous picture is dropped then.
  bool LoadBackground(const QString& path);

  // The window shape: every pixel of the background that is not exactly RGB(255, 0, 255).
  // No value when there is no background.
  std::optional<QRegion> BackgroundRegion() const;

  // Stretches the whole background onto `rect` (copying, no blending). False, drawing nothing,
  // when there is no background.
  bool DrawBackground(QPainter& painter, const QRect& rect) const;

  bool HasBackground() const { return !background_.isNull(); }
  const QImage& Background() const { return background_; }
  QSize BackgroundSize() const { return QSize(backgroundWidth_, backgroundHeight_); }

 private:
  QImage background_;
  int backgroundWidth_ = 0;
  int backgroundHeight_ = 0;
};

}  // namespace vortane::ui
