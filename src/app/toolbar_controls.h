#pragma once

#include <QColor>
#include <QString>
#include <map>

#include "app/toolbar_view.h"

class QRect;
class QWidget;

namespace vortane {

namespace ui {
class CDynamicLED;
class CHoverButton;
class CLabel;
}  // namespace ui

// Control ids of the toolbar.
enum ToolbarControlId : int {
  kIdOk = 1,  // Enter
  kIdClose = 2,
  kIdSettings = 3,
  kIdUser = 6,
  kIdSlide = 14,
  kIdStop = 1000,
  kIdStart = 1001,
  kIdStatus = 1002,
  kIdCamera = 1015,
  kIdLed = 1018,
  kIdFiles = 1019,
  kIdRegion = 1021,
  kIdAbout = 1023,
  kIdLiveTasks = 1054,
  kIdChat = 1065,
  kIdMeeting = 1066,
  kIdUserName = 2020,
  kIdTask = 2022,
  kIdMode = 2023,
};

// The toolbar's controls on its skin: the bottom row of picture buttons, the small buttons of
// the top-right corner, the labels and the lamp, and the look each takes for a state of the
// toolbar. Which picture shows which state is known here only.
class ToolbarControls {
 public:
  // `skinFolder` ends in '/'.
  ToolbarControls(QWidget& toolbar, QString skinFolder);

  // Makes and places the controls on a toolbar of its final size.
  void Build();

  ui::CHoverButton* Button(int id) const;
  ui::CLabel* Label(int id) const;
  ui::CDynamicLED* Led() const { return led_; }
  ui::CHoverButton* Start() const { return start_; }

  // The user button's picture, the user label (the name in green, or "未登录" in grey) and the
  // live task button; logged out, the interaction buttons go too.
  void ShowUser(bool loggedIn, const QString& name);
  // Shows the chat and the video interaction button of a chosen task; true when one appeared.
  bool ShowInteraction(bool chat, bool meeting);
  void ShowCamera(bool open);
  void ShowStart(StartButton state, const QString& toolTip);
  void ShowLamp(Lamp lamp);
  void SetSideButtonsEnabled(bool enabled);
  void SetStatus(const QString& text, const QColor& colour);
  void SetMode(const QString& text, const QColor& colour);
  // False when the task label already showed the text.
  bool SetTask(const QString& text);

 private:
  ui::CHoverButton* AddButton(int id, const QString& skinFile);
  ui::CLabel* AddLabel(int id, const QRect& dialogUnits);
  QString SkinPath(const QString& file) const;

  QWidget& toolbar_;
  QString skinFolder_;
  // Children of the toolbar, owned through the Qt parent.
  std::map<int, ui::CHoverButton*> buttons_;
  std::map<int, ui::CLabel*> labels_;
  ui::CHoverButton* start_ = nullptr;
  ui::CDynamicLED* led_ = nullptr;
};

}  // namespace vortane
