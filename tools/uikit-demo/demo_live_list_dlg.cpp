#include "demo_live_list_dlg.h"

#include <QHeaderView>
#include <QTreeWidgetItem>

#include "ui/gdi_button.h"
#include "ui/label.h"
#include "ui/skin_list_ctrl.h"

namespace vortane::demo {

DemoLiveListDlg::DemoLiveListDlg(const QString& skinXml, QWidget* parent)
    : ui::CPopupBaseDlg(parent) {
  SetResizable(true);
  LoadSkin(skinXml);
  setWindowTitle(QStringLiteral("我的直播列表"));
  resize(520, 380);

  auto* list = new ui::CSkinListCtrl(this);
  list->setGeometry(9, 42, 502, 268);
  list->setColumnCount(2);
  list->setHeaderLabels({QStringLiteral("名称"), QStringLiteral("开始时间")});
  list->backgroundColor = QColor(88, 88, 88);
  list->textColor = QColor(0, 255, 0);
  list->selectedBackgroundColor = QColor(24, 24, 24);
  list->setColumnWidth(0, 300);
  const char* const tasks[][2] = {{"高一年级", ""},
                                  {"  物理 第三章 牛顿运动定律", "2024-03-12 14:00"},
                                  {"  数学 函数的单调性", "2024-03-13 09:30"},
                                  {"  英语 Unit 5 阅读", "2024-03-13 10:40"},
                                  {"高二年级", ""},
                                  {"  化学 有机反应", "2024-03-14 08:00"},
                                  {"公开课", ""},
                                  {"  语文 古诗词鉴赏", "2024-03-14 15:10"}};
  for (const auto& t : tasks)
    list->addTopLevelItem(new QTreeWidgetItem({QString::fromUtf8(t[0]), QString::fromUtf8(t[1])}));
  list->topLevelItem(2)->setSelected(true);

  auto* status = new ui::CLabel(1057, this);
  status->SetBackground(QColor(0, 0, 0)).SetTextColor(QColor(0, 255, 0)).SetTransparent(true);
  status->SetText(QStringLiteral("共 5 个直播任务"));
  status->setGeometry(9, 316, 300, 16);

  auto* refresh = new ui::CGdiButton(QStringLiteral("刷新"), 3, this);
  auto* choose = new ui::CGdiButton(QStringLiteral("选择"), 1, this);
  auto* cancel = new ui::CGdiButton(QStringLiteral("取消"), 2, this);
  refresh->move(9, 342);
  choose->move(width() - 2 * 60 - 9 - 8, 342);
  cancel->move(width() - 60 - 9, 342);
  choose->setDefault(true);
  connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
  connect(choose, &QAbstractButton::clicked, this, &QDialog::accept);
}

}  // namespace vortane::demo
