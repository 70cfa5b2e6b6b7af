#include "ui/label.h"

#include <gtest/gtest.h>

#include <QTest>

#include "ui/command_target.h"
#include "widget_test_app.h"

namespace vortane::ui {
namespace {

using test::Grab;
using test::Rgb;

const QColor kInk(255, 255, 255);
const QColor kPaper(0, 0, 80);

// The rows and columns that carry ink in a grabbed label.
struct InkBox {
  int top = -1, bottom = -1, left = -1, right = -1;
};

InkBox FindInk(const QImage& image, QRgb paper) {
  InkBox box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (Rgb(image, x, y) == paper) continue;
      if (box.top < 0) box.top = y;
      box.bottom = y;
      box.left = box.left < 0 ? x : std::min(box.left, x);
      box.right = std::max(box.right, x);
    }
  }
  return box;
}

class NotifyWindow : public QWidget, public CCommandTarget {
 public:
  void OnCommand(int id) override { commands.push_back(id); }
  void OnNotify(int id, int code) override { notifies.push_back({id, code}); }
  std::vector<int> commands;
  std::vector<std::pair<int, int>> notifies;
};

TEST(Label, AlignmentDecidesWhereTheTextSits) {
  test::WidgetTestApp();
  CLabel label(1002, nullptr);
  label.resize(240, 60);
  label.SetBackground(kPaper).SetTextColor(kInk).SetText(QStringLiteral("就绪 Ready"));

  label.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  const InkBox left = FindInk(Grab(label), Rgb(kPaper));
  ASSERT_GE(left.top, 0);
  EXPECT_LT(left.left, 10);
  EXPECT_GT(left.top, 12);  // vertically centred
  EXPECT_LT(left.bottom, 48);

  label.setAlignment(Qt::AlignRight);
  const InkBox right = FindInk(Grab(label), Rgb(kPaper));
  EXPECT_GT(right.right, 228);
  EXPECT_GT(right.top, 12);

  // Centre style: horizontally centred, at the top of the control.
  label.setAlignment(Qt::AlignHCenter);
  const InkBox centre = FindInk(Grab(label), Rgb(kPaper));
  EXPECT_LT(centre.top, 6);
  EXPECT_NEAR((centre.left + centre.right) / 2, 120, 6);

  // Centre plus vertical centring: both ways, unless the text has a line break.
  label.setAlignment(Qt::AlignCenter);
  const InkBox both = FindInk(Grab(label), Rgb(kPaper));
  EXPECT_GT(both.top, 12);
  label.SetText(QStringLiteral("one\r\ntwo"));
  EXPECT_LT(FindInk(Grab(label), Rgb(kPaper)).top, 6);
}

TEST(Label, BackgroundsSolidGradientAndTransparent) {
  test::WidgetTestApp();
  QWidget parent;
  parent.resize(300, 100);
  parent.setAutoFillBackground(true);
  QPalette palette = parent.palette();
  palette.setColor(QPalette::Window, QColor(120, 0, 0));
  parent.setPalette(palette);
  auto* label = new CLabel(7, &parent);
  label->setGeometry(0, 0, 200, 30);

  // Chained operations act on the same label.
  CLabel& chained = label->SetBackground(QColor(0, 0, 0), QColor(200, 100, 0), true).SetText({});
  EXPECT_EQ(&chained, label);
  QImage image = Grab(*label);
  EXPECT_EQ(Rgb(image, 0, 15), qRgb(0, 0, 0) & 0xFFFFFF);
  EXPECT_EQ(Rgb(image, 199, 15), qRgb(200, 100, 0) & 0xFFFFFF);
  const QColor middle = QColor(image.pixel(100, 15));
  EXPECT_NEAR(middle.red(), 100, 4);

  label->SetBackground(QColor(0, 90, 0));
  EXPECT_EQ(Rgb(Grab(*label), 100, 15), qRgb(0, 90, 0) & 0xFFFFFF);

  label->SetTransparent(true);
  EXPECT_EQ(Rgb(Grab(parent), 100, 15), qRgb(120, 0, 0) & 0xFFFFFF);
}

TEST(Label, FlashingHidesTheTextEveryOtherTick) {
  test::WidgetTestApp();
  CLabel label;
  label.resize(120, 30);
  label.SetBackground(kPaper).SetTextColor(kInk).SetText(QStringLiteral("REC"));
  label.FlashText(true);
  EXPECT_TRUE(label.IsFlashing());
  EXPECT_EQ(label.GetFlashType(), CLabel::kFlashText);
  EXPECT_GE(FindInk(Grab(label), Rgb(kPaper)).top, 0);
  QTRY_COMPARE_WITH_TIMEOUT(label.FlashPhase(), 1, 2000);
  EXPECT_LT(FindInk(Grab(label), Rgb(kPaper)).top, 0);  // text in the background colour
  label.FlashText(false);
  EXPECT_FALSE(label.IsFlashing());
  EXPECT_EQ(label.GetFlashType(), CLabel::kFlashNone);
  EXPECT_GE(FindInk(Grab(label), Rgb(kPaper)).top, 0);

  // Background flashing shows the label inverted in its dark phase.
  label.FlashBackground(true);
  QTRY_COMPARE_WITH_TIMEOUT(label.FlashPhase(), 1, 2000);
  EXPECT_EQ(Rgb(Grab(label), 1, 1), Rgb(kInk));
  label.FlashBackground(false);
  EXPECT_EQ(Rgb(Grab(label), 1, 1), Rgb(kPaper));
}

TEST(Label, ClicksAreCommandsOrNotificationsOnlyWhenAsked) {
  test::WidgetTestApp();
  NotifyWindow window;
  window.resize(200, 80);
  auto* label = new CLabel(QStringLiteral("user"), 2020, &window);
  label->setGeometry(10, 10, 100, 20);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  // A plain label lets the mouse through to the window under it.
  EXPECT_TRUE(label->testAttribute(Qt::WA_TransparentForMouseEvents));

  label->SetNotify(true);
  EXPECT_FALSE(label->testAttribute(Qt::WA_TransparentForMouseEvents));
  int clicks = 0;
  QObject::connect(label, &CLabel::labelClicked, [&] { ++clicks; });
  QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(window.commands, std::vector<int>{2020});
  EXPECT_TRUE(window.notifies.empty());

  label->SetNotify(false).SetHyperlink(true, true);
  QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_EQ(window.notifies.size(), 1u);
  EXPECT_EQ(window.notifies[0], std::make_pair(2020, kLabelClickNotify));
  EXPECT_EQ(window.commands.size(), 1u);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
}

}  // namespace
}  // namespace vortane::ui
