#include "demo_toolbar.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "ui/dynamic_led.h"
#include "ui/hover_button.h"
#include "ui/label.h"
#include "ui/ui_font.h"

namespace vortane::demo {

using ui::CDynamicLED;
using ui::CHoverButton;
using ui::CLabel;

DemoToolbar::DemoToolbar(const QString& skinFolder, QWidget* parent)
    : QDialog(parent), skinFolder_(skinFolder) {
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  setWindowTitle(QStringLiteral("vtnwin"));
  setFont(ui::MakeUiFont(QStringLiteral("MS Shell Dlg"), 12));
  LoadBackground(skinFolder_ + "main.bmp");
  resize(BackgroundSize().isEmpty() ? QSize(640, 84) : BackgroundSize());
  if (auto shape = BackgroundRegion()) setMask(*shape);

  // The bottom row: start at x = 2, the n-th button at n × (w + 1), 5 pixels above the bottom.
  start_ = AddButton(1001, "start.bmp", QStringLiteral("开始录制"));
  const QSize frame = start_->size();
  const int y = height() - frame.height() - 5;
  start_->move(2, y);
  const struct {
    int id;
    const char* picture;
    const char* tip;
  } row[] = {{1021, "area.bmp", "选择录制区域"}, {1015, "cam.bmp", "开启摄像头"},
             {3, "setup.bmp", "设置"},           {1019, "files.bmp", "文件管理"},
             {1054, "liveshow.bmp", "直播任务"}, {1065, "chat.bmp", "文字互动"},
             {1066, "hudong.bmp", "视频互动"}};
  int n = 1;
  for (const auto& b : row) {
    CHoverButton* button = AddButton(b.id, QLatin1String(b.picture), QString::fromUtf8(b.tip));
    button->move(n++ * (frame.width() + 1), y);
    if (b.id == 1015) camera_ = button;
  }

  // The top-right row, right to left, one pixel apart.
  CHoverButton* close = AddButton(2, "close.bmp", QString());
  close->move(width() - close->width() - 4, 2);
  CHoverButton* slide = AddButton(14, "min.bmp", QString());
  slide->move(close->x() - slide->width() - 1, 2);
  CHoverButton* about = AddButton(1023, "info.bmp", QString());
  about->move(slide->x() - about->width() - 1, 2);
  userName_ = new CLabel(QStringLiteral("未登录"), 2020, this);
  userName_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  userName_->SetTransparent(true).SetTextColor(QColor(192, 192, 192)).SetNotify(true);
  userName_->resize(72, 16);
  userName_->move(about->x() - userName_->width() - 1, 4);
  user_ = AddButton(6, "user.bmp", QString());
  user_->move(userName_->x() - user_->width() - 1, 2);

  mode_ = new CLabel(QStringLiteral("录制模式"), 2023, this);
  mode_->SetTransparent(true).SetTextColor(QColor(255, 255, 255));
  mode_->setGeometry(10, 6, 110, 18);
  auto* task = new CLabel(QString(), 2022, this);
  task->SetTransparent(true).SetTextColor(QColor(0, 255, 0));
  task->setGeometry(133, 6, 250, 18);

  led_ = new CDynamicLED(1018, this);
  led_->setGeometry(width() - 280, 43, 14, 14);
  status_ = new CLabel(1002, this);
  status_->SetTransparent(true).SetTextColor(QColor(0, 255, 0));
  status_->setGeometry(width() - 250, 42, 222, 16);
  status_->SetText(QStringLiteral("就绪 - 准备录制 - 全屏模式"));
}

CHoverButton* DemoToolbar::AddButton(int id, const QString& picture, const QString& tip) {
  auto* button = new CHoverButton(id, this);
  button->LoadBitmapStrip(skinFolder_ + picture);
  if (!tip.isEmpty()) button->SetToolTipText(tip);
  return button;
}

void DemoToolbar::OnCommand(int id) {
  switch (id) {
    case 1001:
      recording_ = !recording_;
      start_->LoadBitmapStrip(skinFolder_ + (recording_ ? "stop.bmp" : "start.bmp"));
      start_->SetToolTipText(recording_ ? QStringLiteral("停止录制") : QStringLiteral("开始录制"));
      status_->SetTextColor(QColor(0, 255, 0))
          .SetText(recording_ ? QStringLiteral("正在录制 00:00:12.48")
                              : QStringLiteral("已停止 00:00:12.48"));
      mode_->SetTextColor(recording_ ? QColor(255, 0, 0) : QColor(255, 255, 255));
      if (recording_)
        led_->SetLed(CDynamicLED::kGreen);
      else
        led_->StopBlinking();
      break;
    case 1015:
      cameraOn_ = !cameraOn_;
      camera_->LoadBitmapStrip(skinFolder_ + (cameraOn_ ? "camed.bmp" : "cam.bmp"));
      break;
    case 6:
    case 2020:
      loggedIn_ = !loggedIn_;
      user_->LoadBitmapStrip(skinFolder_ + (loggedIn_ ? "userlogin.bmp" : "user.bmp"));
      userName_->SetText(loggedIn_ ? QStringLiteral("张老师") : QStringLiteral("未登录"))
          .SetTextColor(loggedIn_ ? QColor(255, 255, 255) : QColor(192, 192, 192));
      break;
    case 1021:
      status_->SetTextColor(QColor(255, 0, 0))
          .SetText(QStringLiteral("采集摄像头时无需划定桌面区域！"));
      led_->SetLed(CDynamicLED::kRed);
      break;
    case 2:
      QApplication::quit();
      break;
    default:
      break;
  }
}

void DemoToolbar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!DrawBackground(painter, rect())) painter.fillRect(rect(), QColor(30, 34, 40));
}

void DemoToolbar::mousePressEvent(QMouseEvent* event) {
  // The toolbar moves with the mouse from any free spot.
  if (event->button() == Qt::LeftButton && windowHandle() && windowHandle()->startSystemMove())
    return;
  QDialog::mousePressEvent(event);
}

}  // namespace vortane::demo
