#include "ui/hover_button.h"

#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QTemporaryDir>
#include <QTest>

#include "ui/command_target.h"
#include "ui/skin_drawing.h"
#include "widget_test_app.h"

namespace vortane::ui {
namespace {

using test::Grab;
using test::Rgb;

constexpr QRgb kNormal = 0xC80000;
constexpr QRgb kPressed = 0x00C800;
constexpr QRgb kHover = 0x0000C8;

// A 150 × 30 strip: three solid frames whose top-left corners carry a key-coloured staircase
// (3, 2, 1 pixels in the first three columns).
QString WriteStrip(const QTemporaryDir& dir) {
  QImage strip(150, 30, QImage::Format_RGB32);
  const QRgb colours[] = {kNormal, kPressed, kHover};
  for (int frame = 0; frame < 3; ++frame) {
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 50; ++x)
        strip.setPixel(frame * 50 + x, y, 0xFF000000 | colours[frame]);
    for (int x = 0; x < 3; ++x)
      for (int y = 0; y < 3 - x; ++y)
        strip.setPixel(frame * 50 + x, y, kCornerKeyColour);
  }
  const QString path = dir.filePath("strip.bmp");
  EXPECT_TRUE(strip.save(path, "BMP"));
  return path;
}

class CommandWindow : public QWidget, public CCommandTarget {
 public:
  void OnCommand(int id) override { commands.push_back(id); }
  std::vector<int> commands;
};

void Enter(QWidget& w) {
  QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), QPointF(20, 20));
  QApplication::sendEvent(&w, &enter);
}

void Leave(QWidget& w) {
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&w, &leave);
}

TEST(HoverButton, StripFramesFollowNormalPressedAndHover) {
  test::WidgetTestApp();
  QTemporaryDir dir;
  CHoverButton button(1001);
  button.move(7, 9);
  ASSERT_TRUE(button.LoadBitmapStrip(WriteStrip(dir)));
  EXPECT_EQ(button.size(), QSize(50, 30));
  EXPECT_EQ(button.pos(), QPoint(7, 9));

  EXPECT_EQ(Rgb(Grab(button), 25, 15), kNormal);
  Enter(button);
  EXPECT_EQ(button.CurrentFrame(), 2);
  EXPECT_EQ(Rgb(Grab(button), 25, 15), kHover);
  button.setDown(true);  // pressed wins over hover
  EXPECT_EQ(Rgb(Grab(button), 25, 15), kPressed);
  button.setDown(false);
  Leave(button);
  EXPECT_EQ(Rgb(Grab(button), 25, 15), kNormal);
  // A disabled button is drawn dimmed.
  button.setEnabled(false);
  EXPECT_LT(qRed(Rgb(Grab(button), 25, 15)), qRed(kNormal) / 2);
  button.setEnabled(true);

  // Swapping strips (start ↔ stop) keeps the place; a missing file makes the button vanish.
  EXPECT_FALSE(button.LoadBitmapStrip(dir.filePath("missing.bmp")));
  EXPECT_EQ(button.size(), QSize(0, 0));
  EXPECT_EQ(button.pos(), QPoint(7, 9));
  ASSERT_TRUE(button.LoadBitmapStrip(dir.filePath("strip.bmp")));
  EXPECT_EQ(button.size(), QSize(50, 30));
}

TEST(HoverButton, CornerKeyPixelsLeaveTheShapeAndClicksGoToTheOwner) {
  test::WidgetTestApp();
  QTemporaryDir dir;
  CommandWindow window;
  window.resize(200, 100);
  auto* button = new CHoverButton(1021, &window);
  ASSERT_TRUE(button->LoadBitmapStrip(WriteStrip(dir)));
  button->move(10, 10);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  const QRegion shape = button->mask();
  for (int x = 0; x < 3; ++x)
    for (int y = 0; y < 3; ++y)
      EXPECT_EQ(shape.contains(QPoint(x, y)), y >= 3 - x) << x << "," << y;
  EXPECT_TRUE(shape.contains(QPoint(49, 0)));
  EXPECT_TRUE(shape.contains(QPoint(0, 29)));

  int clicked = 0;
  QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicked; });
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(25, 15));
  EXPECT_EQ(clicked, 1);
  EXPECT_EQ(window.commands, std::vector<int>{1021});
  // A click on a cut-away corner pixel is not a click on the button (QPoint(0, 0) would mean
  // "the middle" to QTest).
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(1, 0));
  EXPECT_EQ(clicked, 1);
}

TEST(HoverButton, CornerCutNeverTakesMoreThanHalfTheHeight) {
  test::WidgetTestApp();
  // A picture entirely in the key colour: each corner stops at half the height, so the middle
  // row of an odd height survives.
  QImage keyed(10, 9, QImage::Format_RGB32);
  keyed.fill(kCornerKeyColour);
  const QRegion region = CornerCutRegion(keyed, keyed.size(), kCornerKeyColour);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(region.contains(QPoint(x, y)), y == 4) << x << "," << y;

  // A staircase that grows again after shrinking is not followed: each column may lose at most
  // what the column before it lost.
  QImage stairs(6, 20, QImage::Format_RGB32);
  stairs.fill(Qt::white);
  const int runs[] = {4, 2, 5, 0, 3, 0};
  for (int x = 0; x < 6; ++x)
    for (int y = 0; y < runs[x]; ++y)
      stairs.setPixel(x, y, kCornerKeyColour);
  const QRegion cut = CornerCutRegion(stairs, stairs.size(), kCornerKeyColour);
  const int expectedLost[] = {4, 2, 2, 0, 0, 0};
  for (int x = 0; x < 6; ++x) {
    for (int y = 0; y < 6; ++y)
      EXPECT_EQ(cut.contains(QPoint(x, y)), y >= expectedLost[x]) << x << "," << y;
  }
}

}  // namespace
}  // namespace vortane::ui
