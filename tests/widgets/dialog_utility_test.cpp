#include "ui/dialog_utility.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QTemporaryDir>

#include "ui/skin_drawing.h"
#include "widget_test_app.h"

namespace vortane::ui {
namespace {

QString Save(const QImage& image, const QTemporaryDir& dir, const char* name) {
  const QString path = dir.filePath(QLatin1String(name));
  EXPECT_TRUE(image.save(path, "BMP"));
  return path;
}

TEST(DialogUtility, BackgroundShapeIsEveryPixelThatIsNotMagenta) {
  test::WidgetTestApp();
  QTemporaryDir dir;
  CDialogUtility utility;

  // Missing picture: no shape, nothing drawn, and an earlier picture is dropped.
  QImage bordered(40, 20, QImage::Format_RGB32);
  bordered.fill(kShapeKeyColour);
  for (int y = 2; y < 18; ++y)
    for (int x = 3; x < 37; ++x)
      bordered.setPixel(x, y, qRgb(30, 34, 40));
  bordered.setPixel(3, 2, kShapeKeyColour);  // a notch in the corner
  ASSERT_TRUE(utility.LoadBackground(Save(bordered, dir, "bordered.bmp")));
  EXPECT_EQ(utility.BackgroundSize(), QSize(40, 20));
  const std::optional<QRegion> shape = utility.BackgroundRegion();
  ASSERT_TRUE(shape.has_value());
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x)
      EXPECT_EQ(shape->contains(QPoint(x, y)),
                bordered.pixel(x, y) != (kShapeKeyColour | 0xFF000000u))
          << x << "," << y;

  // Stretched drawing: the 40 × 20 picture over 80 × 40 doubles every pixel.
  QImage target(80, 40, QImage::Format_RGB32);
  target.fill(Qt::white);
  {
    QPainter p(&target);
    EXPECT_TRUE(utility.DrawBackground(p, target.rect()));
  }
  EXPECT_EQ(test::Rgb(target, 0, 0), test::Rgb(kShapeKeyColour));
  EXPECT_EQ(test::Rgb(target, 40, 20), qRgb(30, 34, 40) & 0xFFFFFF);

  EXPECT_FALSE(utility.LoadBackground(dir.filePath("missing.bmp")));
  EXPECT_FALSE(utility.HasBackground());
  EXPECT_FALSE(utility.BackgroundRegion().has_value());
  target.fill(Qt::white);
  {
    QPainter p(&target);
    EXPECT_FALSE(utility.DrawBackground(p, target.rect()));
  }
  EXPECT_EQ(test::Rgb(target, 40, 20), 0xFFFFFFu);
}

TEST(DialogUtility, ShapeWithThousandsOfRunsIsExact) {
  test::WidgetTestApp();
  QTemporaryDir dir;
  // Every other pixel magenta, shifted per row: 150 runs per row, 9000 runs in all, and no two
  // neighbouring rows alike.
  QImage checker(300, 60, QImage::Format_RGB32);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 300; ++x)
      checker.setPixel(x, y, (x + y) % 2 ? kShapeKeyColour : qRgb(10, 20, 30));
  // A solid block in the middle rows merges into bands.
  for (int y = 20; y < 30; ++y)
    for (int x = 0; x < 300; ++x)
      checker.setPixel(x, y, qRgb(10, 20, 30));
  CDialogUtility utility;
  ASSERT_TRUE(utility.LoadBackground(Save(checker, dir, "checker.bmp")));
  const QRegion shape = *utility.BackgroundRegion();
  int mismatches = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 300; ++x)
      mismatches += shape.contains(QPoint(x, y)) !=
                    (test::Rgb(checker.pixel(x, y)) != test::Rgb(kShapeKeyColour));
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(shape.rectCount(), 2000);
}

TEST(DialogUtility, TransparentBitmapKeepsTheKeyPixelsOfTheTarget) {
  test::WidgetTestApp();
  QImage picture(4, 3, QImage::Format_RGB32);
  picture.fill(qRgb(255, 255, 0));
  picture.setPixel(0, 0, qRgb(1, 2, 3));
  picture.setPixel(3, 2, qRgb(1, 2, 3));
  QImage target(20, 10, QImage::Format_RGB32);
  target.fill(qRgb(0, 0, 255));
  {
    QPainter p(&target);
    DrawBitmapTransparent(p, picture, qRgb(1, 2, 3));
  }
  EXPECT_EQ(test::Rgb(target, 8, 2), qRgb(0, 0, 255) & 0xFFFFFF);
  EXPECT_EQ(test::Rgb(target, 9, 2), qRgb(255, 255, 0) & 0xFFFFFF);
  EXPECT_EQ(test::Rgb(target, 11, 4), qRgb(0, 0, 255) & 0xFFFFFF);
  EXPECT_EQ(test::Rgb(target, 10, 4), qRgb(255, 255, 0) & 0xFFFFFF);
  EXPECT_EQ(test::Rgb(target, 7, 2), qRgb(0, 0, 255) & 0xFFFFFF);
}

}  // namespace
}  // namespace vortane::ui
