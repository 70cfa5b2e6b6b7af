#include "ui/gdi_button.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QEnterEvent>
#include <QTest>

#include "ui/command_target.h"
#include "widget_test_app.h"

namespace vortane::ui {
namespace {

using test::Grab;
using test::Rgb;

class CommandDialog : public QDialog, public CCommandTarget {
 public:
  void OnCommand(int id) override { commands.push_back(id); }
  std::vector<int> commands;
};

TEST(GdiButton, BuiltInStripFramesAndBlackCornersCut) {
  test::WidgetTestApp();
  const QImage& strip = CGdiButton::Strip();
  ASSERT_EQ(strip.size(), QSize(180, 25));
  CommandDialog dialog;
  auto* button = new CGdiButton(QString(), 1, &dialog);
  EXPECT_EQ(button->size(), QSize(60, 25));

  const QPoint probe(30, 12);
  EXPECT_EQ(Rgb(Grab(*button), probe.x(), probe.y()), Rgb(strip.pixel(probe)));
  QEnterEvent enter{QPointF(probe), QPointF(probe), QPointF(probe)};
  QApplication::sendEvent(button, &enter);
  EXPECT_EQ(button->CurrentFrame(), 1);
  EXPECT_EQ(Rgb(Grab(*button), probe.x(), probe.y()), Rgb(strip.pixel(probe + QPoint(60, 0))));
  button->setDown(true);
  EXPECT_EQ(Rgb(Grab(*button), probe.x(), probe.y()), Rgb(strip.pixel(probe + QPoint(120, 0))));
  button->setDown(false);

  // Exactly the black corner pixels leave the shape, never more than half the height.
  const QRegion shape = button->mask();
  int removed = 0;
  for (int y = 0; y < 25; ++y) {
    for (int x = 0; x < 60; ++x) {
      const bool black = Rgb(strip.pixel(60 + x, y)) == 0;
      if (!shape.contains(QPoint(x, y))) {
        ++removed;
        EXPECT_TRUE(black) << x << "," << y;
        EXPECT_TRUE(y < 12 || y > 12) << x << "," << y;
      }
    }
  }
  EXPECT_GE(removed, 4);  // at least one pixel per corner
  EXPECT_FALSE(shape.contains(QPoint(0, 0)));
  EXPECT_FALSE(shape.contains(QPoint(59, 24)));

  // The caption brightens the picture (OR), in the middle of the button.
  button->setText(QStringLiteral("登录"));
  const QImage captioned = Grab(*button);
  int brighter = 0;
  for (int x = 15; x < 45; ++x)
    for (int y = 4; y < 21; ++y) {
      const QColor c(captioned.pixel(x, y));
      brighter += c.red() > 200 && c.green() > 200 && c.blue() > 200;
    }
  EXPECT_GT(brighter, 10);
}

TEST(GdiButton, OneCommandPerClickAndEnterPressesTheDefaultButton) {
  test::WidgetTestApp();
  CommandDialog dialog;
  dialog.resize(200, 80);
  auto* ok = new CGdiButton(QStringLiteral("登录"), 1, &dialog);
  auto* cancel = new CGdiButton(QStringLiteral("取消"), 2, &dialog);
  ok->move(10, 10);
  cancel->move(100, 10);
  ok->setDefault(true);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

  QTest::mouseClick(cancel, Qt::LeftButton, {}, QPoint(30, 12));
  EXPECT_EQ(dialog.commands, std::vector<int>{2});

  // Pressed on the button, released elsewhere: no click.
  QTest::mousePress(ok, Qt::LeftButton, {}, QPoint(30, 12));
  QTest::mouseRelease(ok, Qt::LeftButton, {}, QPoint(150, 60));
  EXPECT_EQ(dialog.commands, std::vector<int>{2});

  dialog.activateWindow();
  dialog.setFocus();
  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_EQ(dialog.commands, (std::vector<int>{2, 1}));
}

}  // namespace
}  // namespace vortane::ui
