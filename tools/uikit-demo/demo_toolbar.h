#pragma once

#include <QDialog>

#include "ui/command_target.h"
#include "ui/dialog_utility.h"

namespace vortane::ui {
class CDynamicLED;
class CHoverButton;
class CLabel;
}  // namespace vortane::ui

namespace vortane::demo {

// The toolbar as the program lays it out: background and shape from main.bmp, the bottom row
// of picture buttons, the small top-right buttons, the labels and the LED. Start toggles a
// pretend recording; the camera and user buttons swap their pictures.
class DemoToolbar : public QDialog, public ui::CDialogUtility, public ui::CCommandTarget {
  Q_OBJECT

 public:
  explicit DemoToolbar(const QString& skinFolder, QWidget* parent = nullptr);

  void OnCommand(int id) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  ui::CHoverButton* AddButton(int id, const QString& picture, const QString& tip);

  QString skinFolder_;
  ui::CHoverButton* start_ = nullptr;
  ui::CHoverButton* camera_ = nullptr;
  ui::CHoverButton* user_ = nullptr;
  ui::CLabel* status_ = nullptr;
  ui::CLabel* mode_ = nullptr;
  ui::CLabel* userName_ = nullptr;
  ui::CDynamicLED* led_ = nullptr;
  bool recording_ = false;
  bool cameraOn_ = false;
  bool loggedIn_ = false;
};

}  // namespace vortane::demo
