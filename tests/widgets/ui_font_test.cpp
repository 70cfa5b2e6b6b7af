#include "ui/ui_font.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>

#include "widget_test_app.h"

namespace vortane::ui {
namespace {

TEST(UiFont, WindowsFacesBecomeAnInstalledFaceWithChineseGlyphs) {
  test::WidgetTestApp();
  const QString mapped = MapFontFace(QStringLiteral("宋体"));
  EXPECT_TRUE(QFontDatabase::families().contains(mapped)) << mapped.toStdString();
  EXPECT_EQ(MapFontFace(QStringLiteral("微软雅黑")), mapped);
  EXPECT_EQ(MapFontFace(QStringLiteral("MS Shell Dlg")), mapped);
  EXPECT_EQ(MapFontFace(QStringLiteral("No Such Face 123")), mapped);
  if (QFontDatabase::families().contains(QStringLiteral("DejaVu Sans"))) {
    EXPECT_EQ(MapFontFace(QStringLiteral("DejaVu Sans")), QStringLiteral("DejaVu Sans"));
  }

  const QFont font = MakeUiFont(QStringLiteral("宋体"), -12, 700);
  EXPECT_EQ(font.pixelSize(), 12);
  EXPECT_EQ(font.weight(), QFont::Bold);
  EXPECT_TRUE(QFontMetrics(font).inFont(QChar(0x5F55)));  // 录
  EXPECT_EQ(WeightFromWindows(0), QFont::Normal);
  EXPECT_EQ(WeightFromWindows(300), QFont::Light);
  EXPECT_EQ(WeightFromWindows(500), QFont::Medium);
}

}  // namespace
}  // namespace vortane::ui
