// The About box: its texts and colours, and what its two buttons hand to the desktop.
#include "app/about_dlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "platform/program_info.h"
#include "widget_test_app.h"

namespace vortane {
namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

TEST(AboutBox, TextsColoursAndButtons) {
  test::WidgetTestApp();
  std::vector<QUrl> opened;
  const QString programFolder = qEnvironmentVariable("VORTANE_PROGRAM_DIR");
  AboutDlg about(nullptr, programFolder, [&](const QUrl& url) { opened.push_back(url); });
  EXPECT_EQ(about.windowTitle(), U("关于"));
  EXPECT_EQ(about.TitleLabel()->text(), ProgramTitle());
  EXPECT_EQ(about.VersionLabel()->text(), U("版本号 ") + QStringLiteral(VORTANE_VERSION));
  EXPECT_EQ(about.Button(AboutDlg::kIdHelp)->text(), U("查看帮助"));
  EXPECT_EQ(about.Button(AboutDlg::kIdHomePage)->text(), U("访问官网"));
  EXPECT_FALSE(about.Button(AboutDlg::kIdFeedback)->isVisibleTo(&about));

  about.show();
  const QImage picture = test::Grab(about);
  EXPECT_EQ(test::Rgb(picture, 3, 3), 0x585858u);
  bool green = false;
  const QImage version = test::Grab(*about.VersionLabel());
  for (int x = 0; x < version.width() && !green; ++x)
    for (int y = 0; y < version.height() && !green; ++y)
      green = qGreen(version.pixel(x, y)) > 200 && qRed(version.pixel(x, y)) < 80;
  EXPECT_TRUE(green) << "green text on grey";

  // The help page beside the program, and the home page.
  QTest::mouseClick(about.Button(AboutDlg::kIdHelp), Qt::LeftButton);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], QUrl::fromLocalFile(programFolder + QStringLiteral("/manual/index.html")));
  QTest::mouseClick(about.Button(AboutDlg::kIdHomePage), Qt::LeftButton);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[1], QUrl(QLatin1String(kHomePage)));
  EXPECT_TRUE(about.isVisible());
  QTest::mouseClick(about.Button(AboutDlg::kIdOk), Qt::LeftButton);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);

  // Without a manual folder the help button does nothing and says nothing.
  QTemporaryDir bare;
  std::vector<QUrl> none;
  AboutDlg without(nullptr, bare.path(), [&](const QUrl& url) { none.push_back(url); });
  without.OnHelp();
  EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace vortane
