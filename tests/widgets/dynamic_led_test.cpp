#include "ui/dynamic_led.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "widget_test_app.h"

namespace vortane::ui {
namespace {

QRgb Centre(CDynamicLED& led) {
  const QImage image = test::Grab(led);
  return test::Rgb(image, image.width() / 2 + 1, image.height() / 2 + 2);
}

TEST(DynamicLed, BlinksOneColourWithOneTimerAndHoldsItsPhase) {
  test::WidgetTestApp();
  QWidget parent;
  parent.resize(40, 40);
  auto* led = new CDynamicLED(1018, &parent);
  led->setGeometry(0, 0, 16, 16);
  EXPECT_FALSE(led->HasLit());

  led->SetLed(CDynamicLED::kGreen);
  EXPECT_EQ(led->BlinkInterval(), 500);
  EXPECT_TRUE(led->IsBright());  // the first tick comes at once
  EXPECT_EQ(Centre(*led), test::Rgb(QColor(0, 250, 0)));
  QTRY_VERIFY_WITH_TIMEOUT(!led->IsBright(), 2000);
  EXPECT_EQ(Centre(*led), test::Rgb(QColor(0, 150, 0)));

  // A second SetLed switches the colour; there is still exactly one running timer.
  led->SetLed(CDynamicLED::kRed);
  const QList<QTimer*> timers = led->findChildren<QTimer*>();
  ASSERT_EQ(timers.size(), 1);
  EXPECT_TRUE(timers[0]->isActive());
  EXPECT_EQ(timers[0]->interval(), 500);
  EXPECT_EQ(led->ColourCode(), CDynamicLED::kRed);
  const QRgb redNow = Centre(*led);
  EXPECT_TRUE(redNow == test::Rgb(QColor(250, 0, 0)) || redNow == test::Rgb(QColor(150, 0, 0)));

  // Held: the phase stays through several blink periods, until the next SetLed.
  led->StopBlinking();
  EXPECT_EQ(led->BlinkInterval(), 0);
  const bool held = led->IsBright();
  QTest::qWait(1200);
  EXPECT_EQ(led->IsBright(), held);
  EXPECT_EQ(Centre(*led), redNow);
  led->SetLed(CDynamicLED::kYellow);
  EXPECT_EQ(Centre(*led), test::Rgb(held ? QColor(150, 150, 0) : QColor(200, 200, 0)));

  led->SetShape(CDynamicLED::kSquare);
  EXPECT_EQ(test::Rgb(test::Grab(*led), 8, 8), Centre(*led));
}

}  // namespace
}  // namespace vortane::ui
