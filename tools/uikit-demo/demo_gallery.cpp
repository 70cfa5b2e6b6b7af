#include "demo_gallery.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include "files/range_slider.h"
#include "ui/dynamic_led.h"
#include "ui/gdi_button.h"
#include "ui/hover_button.h"
#include "ui/label.h"
#include "ui/list_ctrl_ex.h"
#include "ui/skin_drawing.h"
#include "ui/skin_list_ctrl.h"
#include "ui/ui_font.h"

namespace vortane::demo {
namespace {

using ui::CDynamicLED;
using ui::CGdiButton;
using ui::CHoverButton;
using ui::CLabel;
using ui::CListCtrlEx;

QLabel* Heading(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = ui::MakeUiFont(QString(), 14, 700);
  label->setFont(font);
  label->setStyleSheet(QStringLiteral("color: #8fb8ff; padding-top: 6px;"));
  return label;
}

QLabel* Caption(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setFont(ui::MakeUiFont(QString(), 12));
  label->setStyleSheet(QStringLiteral("color: #9aa4b1;"));
  return label;
}

// One frame of a strip as a still picture, so all three states show at once.
QLabel* Frame(const QString& path, int frame, QWidget* parent) {
  const QImage strip = ui::LoadSkinPicture(path);
  auto* label = new QLabel(parent);
  if (!strip.isNull()) {
    const int w = strip.width() / 3;
    // The frame as the button shows it: corner key pixels see through to the page.
    QImage picture(w, strip.height(), QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.translate(-8, -2);
    ui::DrawBitmapTransparent(painter, strip.copy(frame * w, 0, w, strip.height()),
                              ui::kCornerKeyColour);
    painter.end();
    label->setPixmap(QPixmap::fromImage(picture));
  }
  return label;
}

QWidget* ButtonsSection(const QString& skin, QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(6);
  const char* const big[] = {"start.bmp", "stop.bmp",  "area.bmp",     "cam.bmp",  "camed.bmp",
                             "setup.bmp", "files.bmp", "liveshow.bmp", "chat.bmp", "hudong.bmp"};
  int column = 0;
  for (const char* name : big) {
    auto* button = new CHoverButton(0, box);
    button->LoadBitmapStrip(skin + QLatin1String(name));
    grid->addWidget(button, 0, column++, Qt::AlignLeft);
  }
  grid->addWidget(Caption(QStringLiteral("普通 / 按下 / 悬停"), box), 1, 0, 1, 3);
  int x = 3;
  for (int frame : {0, 1, 2})
    grid->addWidget(Frame(skin + "start.bmp", frame, box), 1, x++);
  for (int frame : {0, 1, 2})
    grid->addWidget(Frame(skin + "setup.bmp", frame, box), 1, x++);
  auto* small = new QHBoxLayout;
  small->setSpacing(4);
  for (const char* name : {"info.bmp", "user.bmp", "userlogin.bmp", "min.bmp", "close.bmp"}) {
    auto* button = new CHoverButton(0, box);
    button->LoadBitmapStrip(skin + QLatin1String(name));
    small->addWidget(button);
  }
  for (int frame : {2, 1})
    small->addWidget(Frame(skin + "close.bmp", frame, box));
  small->addSpacing(16);
  auto* login = new CGdiButton(QStringLiteral("登录"), 1, box);
  auto* cancel = new CGdiButton(QStringLiteral("取消"), 2, box);
  auto* refresh = new CGdiButton(QStringLiteral("刷新"), 3, box);
  refresh->setEnabled(false);
  small->addWidget(login);
  small->addWidget(cancel);
  small->addWidget(refresh);
  small->addStretch();
  grid->addLayout(small, 2, 0, 1, 10);
  return box;
}

QWidget* LabelsSection(QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(8);
  auto add = [&](CLabel* label, int row, int column, int span = 1) {
    label->setMinimumHeight(26);
    grid->addWidget(label, row, column, 1, span);
    return label;
  };
  add(new CLabel(QStringLiteral("  就绪 - 准备直播 - 区域模式(1280x720)"), 0, box), 0, 0, 2)
      ->SetBackground(QColor(18, 21, 25))
      .SetTextColor(QColor(0, 255, 0));
  add(new CLabel(QStringLiteral("  渐变背景 Gradient"), 0, box), 0, 2)
      ->SetBackground(QColor(32, 80, 160), QColor(20, 160, 140), true)
      .SetTextColor(Qt::white)
      .SetBold(true);
  add(new CLabel(QStringLiteral("立体文字 Raised"), 0, box), 1, 0)
      ->SetBackground(QColor(70, 70, 70))
      .SetTextColor(QColor(40, 40, 40))
      .SetText3D(true, false)
      .SetHighlightColor(QColor(200, 200, 200))
      .SetPointSize(13);
  add(new CLabel(QStringLiteral("凹陷文字 Sunken"), 0, box), 1, 1)
      ->SetBackground(QColor(70, 70, 70))
      .SetTextColor(QColor(40, 40, 40))
      .SetText3D(true, true)
      .SetHighlightColor(QColor(200, 200, 200))
      .SetPointSize(13);
  auto* centred = add(new CLabel(QStringLiteral("居中（顶端对齐）"), 0, box), 1, 2);
  centred->setAlignment(Qt::AlignHCenter);
  centred->SetBackground(QColor(50, 55, 63)).SetTextColor(QColor(230, 230, 230)).SetBorder(true);
  add(new CLabel(QStringLiteral("https://vortane.example/help"), 0, box), 2, 0)
      ->SetTransparent(true)
      .SetTextColor(QColor(110, 170, 255))
      .SetUnderline(true)
      .SetHyperlink(true, false);
  add(new CLabel(QStringLiteral("正在录制…"), 0, box), 2, 1)
      ->SetBackground(QColor(60, 20, 24))
      .SetTextColor(QColor(255, 90, 90))
      .SetBold(true)
      .FlashBackground(true);
  auto* sunken = add(new CLabel(QStringLiteral("凹边框 / 斜体"), 0, box), 2, 2);
  sunken->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  sunken->SetBackground(QColor(40, 44, 50))
      .SetTextColor(Qt::white)
      .SetItalic(true)
      .SetSunkenEdge(true);
  auto* rotated = new CLabel(QStringLiteral("旋转 90°"), 0, box);
  rotated->SetBackground(QColor(50, 55, 63))
      .SetTextColor(QColor(255, 200, 80))
      .SetRotation(90, true);
  rotated->setFixedWidth(30);
  grid->addWidget(rotated, 0, 3, 3, 1);
  return box;
}

QWidget* LedSection(QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  const struct {
    int code;
    const char* name;
  } colours[] = {{CDynamicLED::kRed, "红"},
                 {CDynamicLED::kGreen, "绿"},
                 {CDynamicLED::kBlue, "蓝"},
                 {CDynamicLED::kYellow, "黄"}};
  for (const auto& c : colours) {
    auto* led = new CDynamicLED(0, box);
    led->setFixedSize(16, 16);
    led->SetLed(c.code);
    row->addWidget(led);
    row->addWidget(Caption(QString::fromUtf8(c.name), box));
    row->addSpacing(10);
  }
  auto* square = new CDynamicLED(0, box);
  square->setFixedSize(14, 14);
  square->SetLed(CDynamicLED::kGreen);
  square->SetShape(CDynamicLED::kSquare);
  row->addWidget(square);
  row->addWidget(Caption(QStringLiteral("方形"), box));
  auto* held = new CDynamicLED(0, box);
  held->setFixedSize(16, 16);
  held->SetLed(CDynamicLED::kRed);
  held->StopBlinking();
  row->addSpacing(10);
  row->addWidget(held);
  row->addWidget(Caption(QStringLiteral("停止闪烁（保持）"), box));
  row->addStretch();
  return box;
}

CListCtrlEx* RecordingsList(QWidget* parent) {
  auto* list = new CListCtrlEx(parent);
  list->InsertColumn(0, QStringLiteral("文件"), Qt::AlignLeft, 165);
  list->InsertColumn(1, QStringLiteral("录制时间"), Qt::AlignLeft, 165);
  list->InsertColumn(2, QStringLiteral("大小"), Qt::AlignRight, 70);
  list->InsertColumn(3, QStringLiteral("时长"), Qt::AlignRight, 70);
  list->InsertColumn(4, QStringLiteral("状态"), Qt::AlignLeft, 90);
  list->InsertColumn(5, QStringLiteral("上传位置"), Qt::AlignLeft, 130);
  const struct {
    const char *file, *time, *size, *length, *state, *target;
  } rows[] = {
      {"20240311083012m.mp4", "2024年3月11日 8点30分", "812.4MB", "45分12秒", "", "不上传"},
      {"20240311101544m.mp4", "2024年3月11日 10点15分", "1.2GB", "75分3秒", "上传完成",
       "高一(3)班 物理"},
      {"20240312140207t.ts", "2024年3月12日 14点2分", "96.0MB", "6分40秒", "正在上传 42%",
       "公开课"},
      {"剪辑120-300.mp4", "2024年3月12日 16点9分", "31.5MB", "3分0秒", "", "不上传"},
  };
  for (int r = 0; r < 4; ++r) {
    list->InsertItem(r, QString::fromUtf8(rows[r].file));
    list->SetItemText(r, 1, QString::fromUtf8(rows[r].time));
    list->SetItemText(r, 2, QString::fromUtf8(rows[r].size));
    list->SetItemText(r, 3, QString::fromUtf8(rows[r].length));
    list->SetItemText(r, 4, QString::fromUtf8(rows[r].state));
    list->SetItemText(r, 5, QString::fromUtf8(rows[r].target));
  }
  list->SetCellColors(1, 4, QColor(), QColor(0, 160, 0));
  list->SetCellColors(2, 4, QColor(255, 244, 214), QColor(160, 90, 0));
  list->SetColumnSort(0, CListCtrlEx::kSortFlip, 5);
  list->SetColumnSort(1, CListCtrlEx::kSortFlip, 7);
  list->SetColumnSort(2, CListCtrlEx::kSortFlip, 2);
  list->SetColumnSort(3, CListCtrlEx::kSortFlip, 1);
  list->SetGridLines(true);
  auto* combo = new QComboBox(list);
  combo->addItems({QStringLiteral("不上传"), QStringLiteral("高一(3)班 物理"),
                   QStringLiteral("公开课"), QStringLiteral("教研组资料")});
  combo->hide();
  list->SetColumnEditor(
      5,
      [](QWidget*& editor, int, int, QString& text, void*, CListCtrlEx*, int) {
        auto* c = static_cast<QComboBox*>(editor);
        c->setCurrentIndex(std::max(0, c->findText(text)));
        return 1;
      },
      [](QWidget*& editor, int, int, QString& text, void*, CListCtrlEx*, int) {
        text = static_cast<QComboBox*>(editor)->currentText();
        return 1;
      },
      combo);
  list->SortByColumn(1, 1);
  list->setFixedHeight(128);
  return list;
}

ui::CSkinListCtrl* TaskList(QWidget* parent) {
  auto* list = new ui::CSkinListCtrl(parent);
  list->setColumnCount(2);
  list->setHeaderLabels({QStringLiteral("直播任务"), QStringLiteral("开始时间")});
  list->backgroundColor = QColor(88, 88, 88);
  list->textColor = QColor(0, 255, 0);
  list->selectedBackgroundColor = QColor(30, 30, 30);
  list->selectedTextColor = QColor(255, 255, 255);
  const char* const tasks[][2] = {{"高一年级", ""},
                                  {" 物理 第三章 牛顿定律", "2024-03-12 14:00"},
                                  {" 数学 函数的单调性", "2024-03-13 09:30"},
                                  {"公开课", ""},
                                  {" 语文 古诗词鉴赏", "2024-03-14 15:10"}};
  for (const auto& t : tasks)
    list->addTopLevelItem(new QTreeWidgetItem({QString::fromUtf8(t[0]), QString::fromUtf8(t[1])}));
  list->setColumnWidth(0, 210);
  list->topLevelItem(2)->setSelected(true);
  return list;
}

QWidget* SliderSection(QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  auto* slider = new CRangeSlider(1044, box);
  slider->setFixedHeight(20);
  slider->SetMinMax(0, 2712);
  slider->SetVisualMinMax(0, 2712);
  slider->SetVisualMode(true);
  slider->SetRange(620, 1830);
  slider->SetVisualMinMax(900, 1500);
  auto* readout = new CLabel(0, box);
  readout->SetTransparent(true).SetTextColor(QColor(0, 255, 0));
  readout->setMinimumHeight(20);
  auto show = [slider, readout](int) {
    const auto [in, out] = slider->GetRange();
    readout->SetText(QStringLiteral("入点 %1 秒   出点 %2 秒   长度 %3 秒")
                         .arg(int(in))
                         .arg(int(out))
                         .arg(int(out) - int(in)));
  };
  QObject::connect(slider, &CRangeSlider::rangeChanged, readout, show);
  show(0);
  column->addWidget(slider);
  column->addWidget(readout);
  return box;
}

}  // namespace

DemoGallery::DemoGallery(const QString& skinFolder, QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Vortane UI kit"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 10, 16, 14);
  layout->setSpacing(6);
  layout->addWidget(Heading(QStringLiteral("按钮 · CHoverButton / CGdiButton"), this));
  layout->addWidget(ButtonsSection(skinFolder, this));
  layout->addWidget(Heading(QStringLiteral("标签 · CLabel"), this));
  layout->addWidget(LabelsSection(this));
  layout->addWidget(Heading(QStringLiteral("指示灯 · CDynamicLED"), this));
  layout->addWidget(LedSection(this));
  layout->addWidget(
      Heading(QStringLiteral("录制文件 · CListCtrlEx（点击“上传位置”编辑，点击表头排序）"), this));
  layout->addWidget(RecordingsList(this));
  layout->addWidget(Heading(QStringLiteral("剪辑 · CRangeSlider"), this));
  layout->addWidget(SliderSection(this));
  layout->addWidget(Heading(QStringLiteral("直播任务 · CSkinListCtrl"), this));
  auto* tasks = TaskList(this);
  tasks->setFixedHeight(110);
  layout->addWidget(tasks);
}

}  // namespace vortane::demo
