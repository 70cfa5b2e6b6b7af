// The toolbar's geometry rules, without a window.
#include "app/toolbar_layout.h"

#include <gtest/gtest.h>

#include "app/toolbar_slide.h"

namespace vortane {
namespace {

TEST(ToolbarLayout, DialogUnitsRowsAndCentring) {
  // 7/4 pixel across and 2 pixels down per unit: the 365 × 50 toolbar template is 638 × 100.
  EXPECT_EQ(DialogUnitsToPixels(QSize(365, 50)), QSize(638, 100));
  EXPECT_EQ(DialogUnitsToPixels(QRect(219, 26, 127, 8)), QRect(383, 52, 222, 16));

  // The eighth 43 × 46 button of the bottom row.
  EXPECT_EQ(BottomRowPosition(7, QSize(43, 46), 84), QPoint(308, 33));

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

// A second slide while one is under way: the toolbar always comes back to where it was.
TEST(ToolbarLayout, ASlideUnderWayIsFinishedOrReplacedCleanly) {
  const QSize size(640, 84);
  struct Toolbar {
    QRect frame;
    ToolbarSlide slide;
    void Steps(int n) {
      for (int i = 0; i < n; ++i)
        if (auto next = slide.Next()) frame.moveTopLeft(*next);
    }
    void ToEnd() { Steps(1000); }
  };

  // Back while still sliding out (a recording that ends at once): it turns round, even though
  // it is still wholly on screen, and comes back to 640.
  Toolbar a{QRect(QPoint(640, 0), size), {}};
  a.slide.Out(a.frame, 1920, 43);
  a.Steps(10);
  EXPECT_EQ(a.frame.left(), 840);
  a.slide.Back(a.frame, 1920);
  a.ToEnd();
  EXPECT_EQ(a.frame.topLeft(), QPoint(640, 20));
  EXPECT_FALSE(a.slide.Running());

  // Out while sliding back (a live restart): the way back is still the first place.
  Toolbar b{QRect(QPoint(640, 0), size), {}};
  b.slide.Out(b.frame, 1920, 43);
  b.ToEnd();
  EXPECT_EQ(b.frame.left(), 1875);
  b.slide.Back(b.frame, 1920);
  b.Steps(20);
  EXPECT_EQ(b.frame.left(), 1475);
  b.slide.Out(b.frame, 1920, 43);
  b.ToEnd();
  EXPECT_EQ(b.frame.left(), 1875);
  b.slide.Back(b.frame, 1920);
  b.ToEnd();
  EXPECT_EQ(b.frame.topLeft(), QPoint(640, 20));

  // The same slide asked again goes on as it was; back with nothing to do stays put.
  Toolbar c{QRect(QPoint(300, 0), size), {}};
  c.slide.Out(c.frame, 1920, 43);
  c.Steps(5);
  c.slide.Out(c.frame, 1920, 43);
  c.ToEnd();
  EXPECT_EQ(c.frame.left(), 1875);
  c.slide.Back(c.frame, 1920);
  c.Steps(3);
  c.slide.Back(c.frame, 1920);
  c.ToEnd();
  EXPECT_EQ(c.frame.left(), 300);
  c.slide.Back(c.frame, 1920);
  EXPECT_FALSE(c.slide.Running());
  EXPECT_EQ(c.frame.left(), 300);
}

}  // namespace
}  // namespace vortane
