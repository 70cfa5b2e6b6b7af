#include "files/range_slider.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QTest>

#include "widget_test_app.h"

namespace vortane {
namespace {

using test::Grab;
using test::Rgb;

// Records every change notification.
struct Listener {
  QObject owner;
  std::vector<int> signals_;

  explicit Listener(CRangeSlider& slider) {
    QObject::connect(&slider, &CRangeSlider::rangeChanged, &owner,
                     [this](int wParam) { signals_.push_back(wParam); });
  }
};

void ExpectRange(const CRangeSlider& slider, double left, double right) {
  EXPECT_DOUBLE_EQ(slider.GetRange().first, left);
  EXPECT_DOUBLE_EQ(slider.GetRange().second, right);
}

TEST(RangeSlider, GeometryPaintingAndNormalisation) {
  test::WidgetTestApp();
  CRangeSlider slider(1044);
  slider.resize(216, 20);
  slider.SetMinMax(100, 0);  // ordered
  EXPECT_EQ(slider.GetMinMax(), std::make_pair(0.0, 100.0));
  slider.SetRange(25, 75);
  EXPECT_EQ(slider.ThumbSize(), 15);     // 20 × 3 / 4
  EXPECT_EQ(slider.TrackLength(), 186);  // 216 − 2 × 15
  EXPECT_EQ(slider.ValueToPixel(25), 47);
  EXPECT_EQ(slider.ValueToPixel(75), 140);
  EXPECT_EQ(slider.LeftThumbRect(), QRect(48, 1, 12, 17));
  EXPECT_EQ(slider.RightThumbRect(), QRect(156, 1, 12, 17));
  EXPECT_EQ(slider.MiddleBarRect(), QRect(63, 1, 92, 18));

  slider.SetVisualMinMax(60, 40);  // exchanged
  EXPECT_EQ(slider.GetVisualMinMax(), std::make_pair(40.0, 60.0));
  QImage image = Grab(slider);
  const QRgb face = Rgb(slider.palette().color(QPalette::Button));
  EXPECT_EQ(Rgb(image, 0, 0), 0u);            // black border
  EXPECT_EQ(Rgb(image, 200, 10), 0x808080u);  // grey ground
  EXPECT_EQ(Rgb(image, 47 + 3, 4), face);     // left thumb
  EXPECT_EQ(Rgb(image, 47 + 7, 10), 0u);      // its triangle
  EXPECT_EQ(Rgb(image, 100, 10), 0xFFFFFFu);  // middle bar
  slider.SetVisualMode(true);
  image = Grab(slider);
  EXPECT_EQ(Rgb(image, 108, 10), 0x00FA00u);  // visual range inside the selection
  EXPECT_EQ(Rgb(image, 70, 10), 0xFFFFFFu);

  // The selection and the visual range stay inside the value range.
  slider.SetRange(-5, 500);
  ExpectRange(slider, 0, 100);
  slider.SetVisualMinMax(-10, 50);
  EXPECT_EQ(slider.GetVisualMinMax(), std::make_pair(0.0, 50.0));

  // SetRange(0, 0): both thumbs at the start, touching, and no middle bar.
  slider.SetRange(0, 0);
  EXPECT_EQ(slider.LeftThumbRect().x(), 1);
  EXPECT_EQ(slider.RightThumbRect().x(), 16);
  EXPECT_TRUE(slider.MiddleBarRect().isEmpty());

  // Inverted: the owner sees its own values, the control runs from max to min.
  slider.SetInverted(true);
  slider.SetMinMax(0, 100);
  slider.SetRange(10, 30);
  ExpectRange(slider, 10, 30);
  EXPECT_EQ(slider.GetMinMax(), std::make_pair(0.0, 100.0));
  EXPECT_EQ(slider.LeftThumbRect().x(), slider.ValueToPixel(-30) + 1);
  EXPECT_GT(slider.LeftThumbRect().x(), 100);
}

TEST(RangeSlider, DragsStopAtTheOtherThumbAndTheMiddleBarKeepsItsWidth) {
  test::WidgetTestApp();
  CRangeSlider slider;
  slider.resize(230, 20);  // track 200
  slider.SetMinMax(0, 100);
  slider.SetRange(20, 60);
  Listener listener(slider);

  // Left thumb dragged far past the right one stops there; nothing is reported until release.
  QPoint grab = slider.LeftThumbRect().center();
  QTest::mousePress(&slider, Qt::LeftButton, {}, grab);
  EXPECT_TRUE(slider.IsDragging());
  QTest::mouseMove(&slider, grab + QPoint(190, 0));
  ExpectRange(slider, 60, 60);
  EXPECT_TRUE(listener.signals_.empty());
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, grab + QPoint(190, 0));
  EXPECT_FALSE(slider.IsDragging());
  EXPECT_EQ(listener.signals_, std::vector<int>{1});

  // Right thumb past the end stops at max.
  slider.SetRange(20, 60);
  grab = slider.RightThumbRect().center();
  QTest::mousePress(&slider, Qt::LeftButton, {}, grab);
  QTest::mouseMove(&slider, grab + QPoint(150, 0));
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, grab + QPoint(150, 0));
  ExpectRange(slider, 20, 100);

  // The middle bar pushed against either end keeps the selection's width.
  slider.SetRange(30, 50);
  grab = slider.MiddleBarRect().center();
  QTest::mousePress(&slider, Qt::LeftButton, {}, grab);
  QTest::mouseMove(&slider, grab + QPoint(20, 0));  // 20 px = 10 units
  EXPECT_NEAR(slider.GetRange().first, 40, 0.6);
  EXPECT_NEAR(slider.GetRange().second - slider.GetRange().first, 20, 1e-9);
  QTest::mouseMove(&slider, grab + QPoint(-300, 0));
  ExpectRange(slider, 0, 20);
  QTest::mouseMove(&slider, grab + QPoint(300, 0));
  ExpectRange(slider, 80, 100);
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, grab + QPoint(300, 0));

  // A press on the grey ground beside the thumbs drags nothing but still reports on release.
  slider.SetRange(30, 50);
  QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(225, 10));
  EXPECT_FALSE(slider.IsDragging());
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(225, 10));
  ExpectRange(slider, 30, 50);
  EXPECT_EQ(listener.signals_, (std::vector<int>{1, 1, 1, 1}));
}

TEST(RangeSlider, ArrowKeysStepByOnePixelAndRefusedMovesStillReport) {
  test::WidgetTestApp();
  CRangeSlider slider;
  slider.resize(230, 20);  // track 200: one pixel is 0.5
  slider.SetMinMax(0, 100);
  slider.SetRange(10, 20);
  Listener listener(slider);

  QTest::keyClick(&slider, Qt::Key_Right);
  ExpectRange(slider, 10.5, 20.5);
  QTest::keyClick(&slider, Qt::Key_Left);
  ExpectRange(slider, 10, 20);
  QTest::keyClick(&slider, Qt::Key_Right, Qt::ShiftModifier);
  ExpectRange(slider, 10, 20.5);
  EXPECT_EQ(listener.signals_, (std::vector<int>{2, 2, 0}));

  // At the ends the move is refused but reported.
  slider.SetRange(0, 20);
  QTest::keyClick(&slider, Qt::Key_Left);
  ExpectRange(slider, 0, 20);
  slider.SetRange(50, 100);
  QTest::keyClick(&slider, Qt::Key_Right);
  QTest::keyClick(&slider, Qt::Key_Right, Qt::ShiftModifier);
  ExpectRange(slider, 50, 100);
  // Shift with the decreasing arrow stops where the right end meets the left end.
  slider.SetRange(30, 30);
  QTest::keyClick(&slider, Qt::Key_Left, Qt::ShiftModifier);
  ExpectRange(slider, 30, 30);
  EXPECT_EQ(listener.signals_, (std::vector<int>{2, 2, 0, 2, 2, 0, 0}));

  // Ctrl leaves the arrows alone; vertical sliders use Up and Down.
  QTest::keyClick(&slider, Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(listener.signals_.size(), 7u);
  slider.SetHorizontal(false);
  slider.resize(20, 230);
  slider.SetRange(10, 20);
  QTest::keyClick(&slider, Qt::Key_Down);
  ExpectRange(slider, 10.5, 20.5);
  QTest::keyClick(&slider, Qt::Key_Right);
  ExpectRange(slider, 10.5, 20.5);
}

TEST(RangeSlider, EmptyValueRangeOrNarrowControlStaysPut) {
  test::WidgetTestApp();
  CRangeSlider slider;
  Listener listener(slider);
  slider.resize(230, 20);
  slider.SetMinMax(5, 5);
  slider.SetRange(0, 10);
  ExpectRange(slider, 5, 5);
  EXPECT_EQ(slider.ValueToPixel(5), 0);
  Grab(slider);  // paints without dividing by zero
  QTest::keyClick(&slider, Qt::Key_Right);
  QTest::mousePress(&slider, Qt::LeftButton, {}, slider.LeftThumbRect().center());
  QTest::mouseMove(&slider, QPoint(200, 10));
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(200, 10));
  ExpectRange(slider, 5, 5);

  slider.SetMinMax(0, 100);
  slider.SetRange(20, 40);
  slider.resize(25, 20);  // narrower than two thumbs
  EXPECT_LT(slider.TrackLength(), 0);
  Grab(slider);
  QTest::keyClick(&slider, Qt::Key_Right);
  ExpectRange(slider, 20, 40);
  EXPECT_EQ(listener.signals_, std::vector<int>{1});  // only the mouse release
}

}  // namespace
}  // namespace vortane
