#include "app/toolbar_controls.h"

#include <QWidget>
#include <algorithm>
#include <vector>

#include "app/toolbar_layout.h"
#include "platform/dialog_units.h"
#include "ui/dynamic_led.h"
#include "ui/hover_button.h"
#include "ui/label.h"

namespace vortane {
namespace {

const QColor kGreen(0, 255, 0);
const QColor kGrey(192, 192, 192);

}  // namespace

ToolbarControls::ToolbarControls(QWidget& toolbar, QString skinFolder)
    : toolbar_(toolbar), skinFolder_(std::move(skinFolder)) {}

QString ToolbarControls::SkinPath(const QString& file) const {
  return skinFolder_ + file;
}

ui::CHoverButton* ToolbarControls::AddButton(int id, const QString& skinFile) {
  auto* button = new ui::CHoverButton(id, &toolbar_);
  // The trace lists controls by their ids.
  button->setObjectName(QString::number(id));
  button->LoadBitmapStrip(SkinPath(skinFile));
  buttons_[id] = button;
  return button;
}

ui::CLabel* ToolbarControls::AddLabel(int id, const QRect& dialogUnits) {
  auto* label = new ui::CLabel(id, &toolbar_);
  label->setObjectName(QString::number(id));
  label->setGeometry(DialogUnitsToPixels(dialogUnits));
  labels_[id] = label;
  return label;
}

void ToolbarControls::Build() {
  const int width = toolbar_.width();
  const int height = toolbar_.height();
  // The bottom row: every button takes the start button's size.
  start_ = AddButton(kIdStart, QStringLiteral("start.bmp"));
  start_->SetToolTipText(QStringLiteral("开始"));
  const QSize size = start_->size();
  start_->move(BottomRowPosition(0, size, height));
  struct RowButton {
    int id;
    const char* skin;
    const char* toolTip;
  };
  const RowButton row[] = {
      {kIdRegion, "area.bmp", "选择录制区域"},    {kIdCamera, "cam.bmp", "开启摄像头"},
      {kIdSettings, "setup.bmp", "设置"},         {kIdFiles, "files.bmp", "文件管理"},
      {kIdLiveTasks, "liveshow.bmp", "直播任务"}, {kIdChat, "chat.bmp", "文字互动"},
      {kIdMeeting, "hudong.bmp", "视频互动"},
  };
  int n = 1;
  for (const RowButton& item : row) {
    ui::CHoverButton* button = AddButton(item.id, QLatin1String(item.skin));
    button->SetToolTipText(QString::fromUtf8(item.toolTip));
    button->setGeometry(QRect(BottomRowPosition(n++, size, height), size));
  }
  // The stop command has a button that is never shown.
  AddButton(kIdStop, QStringLiteral("stop.bmp"))->hide();
  // The live task list and the two interaction pages appear after a login.
  buttons_[kIdLiveTasks]->hide();
  buttons_[kIdChat]->hide();
  buttons_[kIdMeeting]->hide();

  ui::CLabel* status = AddLabel(kIdStatus, QRect(219, 26, 127, 8));
  ui::CLabel* userName = AddLabel(kIdUserName, QRect(271, 1, 41, 8));
  AddLabel(kIdTask, QRect(76, 1, 149, 8))->SetTextColor(kGreen).SetTransparent(true);
  AddLabel(kIdMode, QRect(5, 1, 63, 8));
  status->SetTextColor(kGreen).SetTransparent(true);
  userName->SetNotify(true).SetTransparent(true);

  // The small buttons of the top-right corner.
  ui::CHoverButton* about = AddButton(kIdAbout, QStringLiteral("info.bmp"));
  ui::CHoverButton* user = AddButton(kIdUser, QStringLiteral("user.bmp"));
  ui::CHoverButton* slide = AddButton(kIdSlide, QStringLiteral("min.bmp"));
  ui::CHoverButton* close = AddButton(kIdClose, QStringLiteral("close.bmp"));
  const std::vector<QPoint> corner = TopRightRow({{close->size(), 2},
                                                  {slide->size(), 2},
                                                  {about->size(), 2},
                                                  {userName->size(), 5},
                                                  {user->size(), 2}},
                                                 width);
  close->move(corner[0]);
  slide->move(corner[1]);
  about->move(corner[2]);
  userName->move(corner[3]);
  user->move(corner[4]);

  // The status line and the LED sit in the display of the background picture. The LED's
  // 8 × 8 dialog units come out 14 × 16 pixels; the lamp is kept round at 14 × 14.
  status->move(width - 250, 43);
  led_ = new ui::CDynamicLED(kIdLed, &toolbar_);
  const QRect ledRect = DialogUnitsToPixels(QRect(209, 25, 8, 8));
  const int side = std::min(ledRect.width(), ledRect.height());
  led_->setGeometry(width - 280, 43, side, side);
}

ui::CHoverButton* ToolbarControls::Button(int id) const {
  auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second;
}

ui::CLabel* ToolbarControls::Label(int id) const {
  auto it = labels_.find(id);
  return it == labels_.end() ? nullptr : it->second;
}

void ToolbarControls::ShowUser(bool loggedIn, const QString& name) {
  ui::CHoverButton* user = Button(kIdUser);
  user->LoadBitmapStrip(
      SkinPath(loggedIn ? QStringLiteral("userlogin.bmp") : QStringLiteral("user.bmp")));
  user->update();
  ui::CLabel* label = labels_[kIdUserName];
  if (loggedIn) {
    label->SetTextColor(kGreen).SetText(name);
    buttons_[kIdLiveTasks]->show();
  } else {
    label->SetTextColor(kGrey).SetText(QStringLiteral("未登录"));
    buttons_[kIdLiveTasks]->hide();
    buttons_[kIdChat]->hide();
    buttons_[kIdMeeting]->hide();
  }
}

bool ToolbarControls::ShowInteraction(bool chat, bool meeting) {
  if (chat) buttons_[kIdChat]->show();
  if (meeting) buttons_[kIdMeeting]->show();
  return chat || meeting;
}

void ToolbarControls::ShowCamera(bool open) {
  ui::CHoverButton* camera = buttons_[kIdCamera];
  camera->LoadBitmapStrip(SkinPath(open ? QStringLiteral("camed.bmp") : QStringLiteral("cam.bmp")));
  camera->update();
}

void ToolbarControls::ShowStart(StartButton state, const QString& toolTip) {
  start_->LoadBitmapStrip(SkinPath(state == StartButton::kStop ? QStringLiteral("stop.bmp")
                                                               : QStringLiteral("start.bmp")));
  start_->SetToolTipText(toolTip);
  start_->update();
}

void ToolbarControls::ShowLamp(Lamp lamp) {
  led_->SetLed(lamp == Lamp::kRunning ? ui::CDynamicLED::kGreen : ui::CDynamicLED::kRed);
}

void ToolbarControls::SetSideButtonsEnabled(bool enabled) {
  for (int id : {kIdRegion, kIdFiles, kIdLiveTasks, kIdSettings})
    buttons_[id]->setEnabled(enabled);
}

void ToolbarControls::SetStatus(const QString& text, const QColor& colour) {
  labels_[kIdStatus]->SetTextColor(colour).SetText(text);
}

void ToolbarControls::SetMode(const QString& text, const QColor& colour) {
  labels_[kIdMode]->SetTextColor(colour).SetText(text).SetTransparent(true);
}

bool ToolbarControls::SetTask(const QString& text) {
  const bool changed = labels_[kIdTask]->text() != text;
  labels_[kIdTask]->SetText(text);
  return changed;
}

}  // namespace vortane
