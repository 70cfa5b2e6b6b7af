// The toolbar's geometry rules, without a window.
#include "app/toolbar_layout.h"

#include <gtest/gtest.h>

namespace vortane {
namespace {

TEST(ToolbarLayout, DialogUnitsRowsAndCentring) {
  // 7/4 pixel across and 2 pixels down per unit: the 365 × 50 toolbar template is 638 × 100.
  EXPECT_EQ(DialogUnitsToPixels(QSize(365, 50)), QSize(638, 100));
  EXPECT_EQ(DialogUnitsToPixels(QRect(219, 26, 127, 8)), QRect(383, 52, 222, 16));

  const QSize button(43, 46);
  EXPECT_EQ(BottomRowPosition(0, button, 84), QPoint(2, 33));
  EXPECT_EQ(BottomRowPosition(1, button, 84), QPoint(44, 33));
  EXPECT_EQ(BottomRowPosition(7, button, 84), QPoint(308, 33));

  // Right to left, 4 pixels from the edge, 1 pixel apart, each at its own top.
  const std::vector<QPoint> row =
      TopRightRow({{QSize(26, 20), 2}, {QSize(24, 20), 2}, {QSize(71, 16), 5}}, 640);
  EXPECT_EQ(row, (std::vector<QPoint>{{610, 2}, {585, 2}, {513, 5}}));

  EXPECT_EQ(CentredPosition(1920, 640, -200), QPoint(640, -200));
  EXPECT_EQ(CentredPosition(1366, 641, 0), QPoint(683 - 320, 0));
}

TEST(ToolbarLayout, SlidingOutAndBack) {
  // From the top centre of a 1920 screen: 20-pixel steps to 1920 − 43 − 2, at least 20 down.
  SlidePlan out = PlanSlideOut(QRect(640, 0, 640, 84), 1920, 43);
  ASSERT_TRUE(out.moves);
  EXPECT_EQ(out.returnLeft, 640);
  EXPECT_EQ(out.steps.front(), QPoint(660, 20));
  EXPECT_EQ(out.steps.back(), QPoint(1875, 20));
  EXPECT_EQ(out.steps.size(), 62u);
  for (size_t i = 1; i + 1 < out.steps.size(); ++i)
    EXPECT_EQ(out.steps[i].x() - out.steps[i - 1].x(), kSlideStep);

  // Already at the edge (within 10 pixels): nothing moves.
  EXPECT_FALSE(PlanSlideOut(QRect(1866, 300, 640, 84), 1920, 43).moves);
  EXPECT_TRUE(PlanSlideOut(QRect(1864, 300, 640, 84), 1920, 43).moves);
  // A toolbar partly off the right edge comes back fully on screen; a lower top is kept.
  SlidePlan partly = PlanSlideOut(QRect(1500, 300, 640, 84), 1920, 43);
  EXPECT_EQ(partly.returnLeft, 1280);
  EXPECT_EQ(partly.steps.back(), QPoint(1875, 300));

  SlidePlan back = PlanSlideBack(QRect(1875, 20, 640, 84), 1920, 640);
  ASSERT_TRUE(back.moves);
  EXPECT_EQ(back.steps.front(), QPoint(1855, 20));
  EXPECT_EQ(back.steps.back(), QPoint(640, 20));
  // Fully on screen: it stays.
  EXPECT_FALSE(PlanSlideBack(QRect(1280, 20, 640, 84), 1920, 640).moves);
}

}  // namespace
}  // namespace vortane
