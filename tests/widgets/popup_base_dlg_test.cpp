#include "ui/popup_base_dlg.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include "ui/skin_drawing.h"
#include "widget_test_app.h"

namespace vortane::ui {
namespace {

using test::Rgb;

// A 100 × 60 skin bitmap: every piece region in its own colour, the top-left pixel in the
// corner key colour.
constexpr QRgb kPieceColours[9] = {0x100000, 0x200000, 0x300000, 0x400000, 0x500000,
                                   0x600000, 0x700000, 0x800000, 0x900000};

void WriteSkin(const QTemporaryDir& dir, const QString& pieces, const char* bitmapName = "f.bmp") {
  QImage bitmap(100, 60, QImage::Format_RGB32);
  // Columns 0..19 | 20..79 | 80..99, rows 0..29 | 30..49 | 50..59.
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 100; ++x) {
      const int col = x < 20 ? 0 : (x < 80 ? 1 : 2);
      const int row = y < 30 ? 0 : (y < 50 ? 1 : 2);
      bitmap.setPixel(x, y, 0xFF000000 | kPieceColours[row * 3 + col]);
    }
  }
  bitmap.setPixel(0, 0, kCornerKeyColour);
  ASSERT_TRUE(bitmap.save(dir.filePath(QLatin1String(bitmapName)), "BMP"));
  QFile xml(dir.filePath("maindlg.xml"));
  ASSERT_TRUE(xml.open(QIODevice::WriteOnly));
  xml.write(QStringLiteral("<?xml version=\"1.0\"?>\n<whatever file=\"%1\">%2</whatever>\n")
                .arg(QLatin1String(bitmapName), pieces)
                .toUtf8());
}

const char kNinePieces[] =
    "<a left='0' top='0' width='20' height='30'/>"
    "<b left='20' top='0' width='60' height='30'/>"
    "<c left='-20' top='0' width='20' height='30'/>"
    "<d left='0' top='30' width='20' height='20'/>"
    "<e left='20' top='30' width='60' height='20'/>"
    "<f left='-20' top='30' width='20' height='20'/>"
    "<g left='0' top='-10' width='20' height='10'/>"
    "<h left='20' top='-10' width='60' height='10'/>"
    "<i left='-20' top='-10' width='20' height='10'/>";

TEST(PopupBaseDlg, NinePieceSkinWithOffsetsFromTheRightAndBottom) {
  test::WidgetTestApp();
  QTemporaryDir dir;
  WriteSkin(dir, QLatin1String(kNinePieces));
  CPopupBaseDlg dialog;
  ASSERT_TRUE(dialog.LoadSkin(dir.filePath("maindlg.xml")));
  ASSERT_EQ(dialog.SkinRects().size(), 9);
  EXPECT_EQ(dialog.SkinRects()[2], QRect(80, 0, 20, 30));  // left −20 on a 100-wide bitmap
  EXPECT_EQ(dialog.SkinRects()[6], QRect(0, 50, 20, 10));  // top −10 on a 60-high bitmap
  EXPECT_EQ(dialog.SkinRects()[8], QRect(80, 50, 20, 10));

  // Corners copied, edges and centre stretched over a 300 × 200 window.
  const QImage painted = dialog.RenderBackground(QSize(300, 200));
  struct Probe {
    int x, y, piece;
  } probes[] = {{5, 5, 0},     {150, 5, 1}, {295, 5, 2},   {5, 100, 3},  {150, 100, 4},
                {295, 100, 5}, {5, 195, 6}, {150, 195, 7}, {295, 195, 8}};
  for (const Probe& probe : probes)
    EXPECT_EQ(Rgb(painted, probe.x, probe.y), kPieceColours[probe.piece]) << probe.piece;
  EXPECT_EQ(Rgb(painted, 0, 0), Rgb(kCornerKeyColour));

  // The key-coloured corner pixel leaves the window's shape.
  dialog.resize(300, 200);
  EXPECT_FALSE(dialog.mask().contains(QPoint(0, 0)));
  EXPECT_TRUE(dialog.mask().contains(QPoint(1, 0)));

  // The window never gets smaller than the corners: 20 + 20 + 1 wide, 30 + 10 + 1 high.
  EXPECT_EQ(dialog.minimumSize(), QSize(41, 41));
  dialog.SetMinimumTrackSize(400, 0);
  EXPECT_EQ(dialog.minimumSize(), QSize(400, 41));
}

TEST(PopupBaseDlg, BrokenOrShortSkinsFailOrPaintPlainly) {
  test::WidgetTestApp();
  QTemporaryDir dir;
  CPopupBaseDlg dialog;
  EXPECT_FALSE(dialog.LoadSkin(dir.filePath("missing.xml")));
  EXPECT_TRUE(dialog.SkinRects().isEmpty());

  QFile broken(dir.filePath("broken.xml"));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("<skin file='f.bmp'><a left='1'</skin>");
  broken.close();
  EXPECT_FALSE(dialog.LoadSkin(dir.filePath("broken.xml")));

  // Five pieces, one with missing and empty attributes (0), one with trailing junk (leading
  // integer): the skin loads, but the minimum size stays the system's and painting falls
  // back to plain colours.
  WriteSkin(dir, QStringLiteral("<a left='0' top='0' width='20' height='30'/><b/>"
                                "<c left='' top='7px' width='3' height='4'/><d/><e/>"));
  ASSERT_TRUE(dialog.LoadSkin(dir.filePath("maindlg.xml")));
  ASSERT_EQ(dialog.SkinRects().size(), 5);
  EXPECT_EQ(dialog.SkinRects()[1], QRect(0, 0, 0, 0));
  EXPECT_EQ(dialog.SkinRects()[2], QRect(0, 7, 3, 4));
  EXPECT_EQ(dialog.minimumSize(), QSize(0, 0));
  const QImage plain = dialog.RenderBackground(QSize(200, 100));
  EXPECT_EQ(Rgb(plain, 100, 60), 0x464646u);

  // Ten pieces: painted from the first nine, but the minimum stays the system's.
  WriteSkin(dir, QLatin1String(kNinePieces) + QStringLiteral("<extra width='5' height='5'/>"));
  ASSERT_TRUE(dialog.LoadSkin(dir.filePath("maindlg.xml")));
  EXPECT_EQ(dialog.SkinRects().size(), 10);
  EXPECT_EQ(dialog.minimumSize(), QSize(0, 0));
  EXPECT_EQ(Rgb(dialog.RenderBackground(QSize(200, 100)), 100, 50), kPieceColours[4]);

  // A missing bitmap fails the load.
  QFile xml(dir.filePath("nobitmap.xml"));
  ASSERT_TRUE(xml.open(QIODevice::WriteOnly));
  xml.write("<skin file='nothing.bmp'><a/></skin>");
  xml.close();
  EXPECT_FALSE(dialog.LoadSkin(dir.filePath("nobitmap.xml")));
}

void SendMouse(QWidget& w, QEvent::Type type, QPoint local, QPoint global) {
  QMouseEvent event(type, QPointF(local), QPointF(local), QPointF(global), Qt::LeftButton,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&w, &event);
}

TEST(PopupBaseDlg, TopBandDragsAndEdgesResizeOnlyWhenResizable) {
  test::WidgetTestApp();
  QTemporaryDir dir;
  WriteSkin(dir, QLatin1String(kNinePieces));
  CPopupBaseDlg dialog;
  ASSERT_TRUE(dialog.LoadSkin(dir.filePath("maindlg.xml")));
  dialog.setGeometry(100, 100, 300, 200);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

  using A = CPopupBaseDlg::HitArea;
  EXPECT_EQ(dialog.HitTest(QPoint(150, 15)), A::kCaption);
  EXPECT_EQ(dialog.HitTest(QPoint(150, 2)), A::kClient);  // border zone of a fixed dialog
  EXPECT_EQ(dialog.HitTest(QPoint(2, 100)), A::kClient);
  EXPECT_EQ(dialog.HitTest(QPoint(150, 100)), A::kClient);

  // Dragging in the band moves the window (by hand here: offscreen has no window manager).
  const QPoint start = dialog.pos();
  SendMouse(dialog, QEvent::MouseButtonPress, QPoint(150, 15), QPoint(250, 115));
  SendMouse(dialog, QEvent::MouseMove, QPoint(150, 15), QPoint(290, 135));
  SendMouse(dialog, QEvent::MouseButtonRelease, QPoint(150, 15), QPoint(290, 135));
  EXPECT_EQ(dialog.pos(), start + QPoint(40, 20));

  // A double click on the band of a fixed-size dialog does nothing.
  QTest::mouseDClick(&dialog, Qt::LeftButton, {}, QPoint(150, 15));
  EXPECT_FALSE(dialog.isMaximized());

  dialog.SetResizable(true);
  EXPECT_EQ(dialog.HitTest(QPoint(2, 100)), A::kLeft);
  EXPECT_EQ(dialog.HitTest(QPoint(2, 2)), A::kTopLeft);
  EXPECT_EQ(dialog.HitTest(QPoint(297, 197)), A::kBottomRight);
  EXPECT_EQ(dialog.HitTest(QPoint(150, 198)), A::kBottom);
  EXPECT_EQ(dialog.HitTest(QPoint(150, 2)), A::kTop);

  // Resizing from the right edge stops at the minimum width.
  const QRect before = dialog.geometry();
  const QPoint edge(298, 100);
  const QPoint edgeGlobal = before.topLeft() + edge;
  SendMouse(dialog, QEvent::MouseButtonPress, edge, edgeGlobal);
  SendMouse(dialog, QEvent::MouseMove, edge, edgeGlobal + QPoint(-1000, 0));
  SendMouse(dialog, QEvent::MouseButtonRelease, edge, edgeGlobal + QPoint(-1000, 0));
  EXPECT_EQ(dialog.width(), dialog.minimumWidth());
  EXPECT_EQ(dialog.x(), before.x());

  dialog.resize(300, 200);
  dialog.ToggleMaximize();
  EXPECT_TRUE(dialog.isMaximized());
  EXPECT_EQ(dialog.HitTest(QPoint(2, 100)), A::kClient);  // no resizing while maximised
  dialog.ToggleMaximize();
  EXPECT_FALSE(dialog.isMaximized());
}

TEST(PopupBaseDlg, TitleIsDrawnInTheBandAndEndsInAnEllipsis) {
  test::WidgetTestApp();
  QTemporaryDir dir;
  WriteSkin(dir, QLatin1String(kNinePieces));
  CPopupBaseDlg dialog;
  ASSERT_TRUE(dialog.LoadSkin(dir.filePath("maindlg.xml")));
  dialog.resize(200, 120);
  const QImage bare = dialog.RenderBackground(dialog.size());
  EXPECT_EQ(test::Grab(dialog), bare);  // no title, nothing drawn over the skin

  dialog.setWindowTitle(QString(60, QChar(0x767B)));  // far longer than the band
  const QImage titled = test::Grab(dialog);
  int white = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (Rgb(titled, x, y) == Rgb(bare, x, y)) continue;
      EXPECT_GE(x, 28);
      EXPECT_LT(x, 171);  // the band ends 30 pixels before the right edge
      const QColor c(titled.pixel(x, y));
      white += c.red() > 180 && c.green() > 180 && c.blue() > 180;
    }
  }
  EXPECT_GT(white, 20);
  for (int y = 30; y < 120; ++y)
    for (int x = 0; x < 200; x += 7)
      EXPECT_EQ(Rgb(titled, x, y), Rgb(bare, x, y));
}

}  // namespace
}  // namespace vortane::ui
