#include <gtest/gtest.h>

#include <QFile>

#include "ui/dialog_utility.h"
#include "ui/hover_button.h"
#include "ui/skin_drawing.h"
#include "widget_test_app.h"

namespace vortane::ui {
namespace {

// Bits per pixel from a BMP file's header.
int BmpBitsPerPixel(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  const QByteArray header = file.read(30);
  if (header.size() < 30 || !header.startsWith("BM")) return -1;
  return static_cast<unsigned char>(header[28]) | (static_cast<unsigned char>(header[29]) << 8);
}

TEST(Skin, ToolbarPicturesAreThreeFrameStripsWithCutCorners) {
  test::WidgetTestApp();
  const QString folder = test::ProgramSkinFolder();
  const char* const strips[] = {"start.bmp", "stop.bmp",  "area.bmp",      "cam.bmp",  "camed.bmp",
                                "setup.bmp", "files.bmp", "liveshow.bmp",  "chat.bmp", "hudong.bmp",
                                "info.bmp",  "user.bmp",  "userlogin.bmp", "min.bmp",  "close.bmp"};
  QSize bottomRow;
  for (const char* name : strips) {
    SCOPED_TRACE(name);
    const QString path = folder + QLatin1String(name);
    EXPECT_EQ(BmpBitsPerPixel(path), 24);
    const QImage strip = LoadSkinPicture(path);
    ASSERT_FALSE(strip.isNull());
    ASSERT_EQ(strip.width() % 3, 0);
    const int w = strip.width() / 3;
    for (int frame = 0; frame < 3; ++frame) {
      const QImage picture = strip.copy(frame * w, 0, w, strip.height());
      const QRegion shape = CornerCutRegion(picture, picture.size(), kCornerKeyColour);
      // Rounded corners: the corner pixel is gone, the middle stays, and no more than a thin
      // margin is lost.
      EXPECT_FALSE(shape.contains(QPoint(0, 0)));
      EXPECT_FALSE(shape.contains(QPoint(w - 1, strip.height() - 1)));
      EXPECT_TRUE(shape.contains(QPoint(w / 2, strip.height() / 2)));
      int kept = 0;
      for (const QRect& r : shape)
        kept += r.width() * r.height();
      EXPECT_GT(kept, w * strip.height() * 7 / 10);
    }
    // The three states look different from each other.
    const QImage normal = strip.copy(0, 0, w, strip.height());
    EXPECT_NE(normal, strip.copy(w, 0, w, strip.height()));
    EXPECT_NE(normal, strip.copy(2 * w, 0, w, strip.height()));
    const QString file = QLatin1String(name);
    if (file == "start.bmp") bottomRow = QSize(w, strip.height());
    if (file == "stop.bmp" || file == "cam.bmp" || file == "hudong.bmp") {
      EXPECT_EQ(QSize(w, strip.height()), bottomRow);  // buttons that swap keep their size
    }
  }

  CHoverButton button;
  ASSERT_TRUE(button.LoadBitmapStrip(folder + "start.bmp"));
  EXPECT_EQ(button.size(), bottomRow);
}

TEST(Skin, ToolbarBackgroundHasRoomForTheButtonRowAndStatusLine) {
  test::WidgetTestApp();
  const QString path = test::ProgramSkinFolder() + "main.bmp";
  EXPECT_EQ(BmpBitsPerPixel(path), 24);
  CDialogUtility background;
  ASSERT_TRUE(background.LoadBackground(path));
  const QSize size = background.BackgroundSize();
  EXPECT_NEAR(size.width(), 640, 40);
  EXPECT_NEAR(size.height(), 88, 8);
  const QRegion shape = *background.BackgroundRegion();
  EXPECT_FALSE(shape.contains(QPoint(0, 0)));  // rounded on a magenta surround
  EXPECT_FALSE(shape.contains(QPoint(size.width() - 1, size.height() - 1)));
  EXPECT_TRUE(shape.contains(QPoint(size.width() / 2, size.height() / 2)));

  // The bottom row (start at x = 2, the n-th button at n × (w + 1)) ends before the LED at
  // width − 280, so the status display never sits under a button.
  const QImage start = LoadSkinPicture(test::ProgramSkinFolder() + "start.bmp");
  const int w = start.width() / 3;
  EXPECT_LE(7 * (w + 1) + w, size.width() - 280);
  EXPECT_GE(size.height() - start.height() - 5, 30);  // below the top band
}

}  // namespace
}  // namespace vortane::ui
