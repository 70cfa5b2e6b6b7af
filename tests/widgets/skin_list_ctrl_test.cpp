#include "ui/skin_list_ctrl.h"

#include <gtest/gtest.h>

#include "widget_test_app.h"

namespace vortane::ui {
namespace {

TEST(SkinListCtrl, PaintsItsOwnBackgroundTextAndSelectionColours) {
  test::WidgetTestApp();
  CSkinListCtrl list;
  list.setColumnCount(2);
  list.setHeaderLabels({QStringLiteral("任务"), QStringLiteral("开始时间")});
  list.backgroundColor = QColor(88, 88, 88);
  list.textColor = QColor(0, 255, 0);
  list.selectedBackgroundColor = QColor(10, 20, 30);
  list.selectedTextColor = QColor(255, 255, 255);
  for (int i = 0; i < 3; ++i)
    list.addTopLevelItem(new QTreeWidgetItem({QStringLiteral("第%1课").arg(i), "2024-01-01"}));
  list.resize(300, 200);
  list.topLevelItem(1)->setSelected(true);

  const QImage image = list.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QRect plain = list.visualItemRect(list.topLevelItem(0));
  const QRect selected = list.visualItemRect(list.topLevelItem(1));
  EXPECT_EQ(test::Rgb(image, image.width() - 5, image.height() - 5), 0x585858u);  // below the rows
  EXPECT_EQ(test::Rgb(image, 290, plain.center().y()), 0x585858u);
  EXPECT_EQ(test::Rgb(image, 290, selected.center().y()), 0x0A141Eu);
  // Text of an unselected row is drawn in the text colour (mostly green pixels).
  int green = 0;
  for (int x = 0; x < 150; ++x) {
    for (int y = plain.top(); y <= plain.bottom(); ++y) {
      const QColor c(image.pixel(x, y));
      green += c.green() > 150 && c.red() < 100;
    }
  }
  EXPECT_GT(green, 5);
}

}  // namespace
}  // namespace vortane::ui
