// The interaction module's command line, where it puts its window on the screen, and what the
// module itself does with a command line it refuses.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include "module_options.h"

namespace talvine {
namespace {

TEST(TalvineOptions, ReadsTheLaunchersOptionsAndKeepsTheWindowOnTheScreen) {
  const std::optional<ModuleOptions> options = ParseModuleOptions(
      {"--url=http://127.0.0.1:8080/chat/11?width=380&height=560&lock-view=1", "--width=380",
       "--height=560", "--xpos=1520", "--ypos=150", "--lock-view", "--later-option=1"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->url, "http://127.0.0.1:8080/chat/11?width=380&height=560&lock-view=1");
  EXPECT_EQ(options->width, 380);
  EXPECT_EQ(options->height, 560);
  EXPECT_EQ(options->xpos, 1520);
  EXPECT_EQ(options->ypos, 150);
  EXPECT_TRUE(options->lockView);
  EXPECT_FALSE(ParseModuleOptions({"--url=https://c/r"})->lockView);

  // A full-HD screen with a 30-pixel panel at the bottom.
  const QRect screen(0, 0, 1920, 1050);
  struct Case {
    QStringList arguments;
    QRect window;
  };
  const Case cases[] = {
      {{"--width=380", "--height=560", "--xpos=1520", "--ypos=150"}, {1520, 150, 380, 560}},
      // Nothing asked: 400 × 600 near the right edge, below the toolbar.
      {{}, {1500, 120, 400, 600}},
      // Off the screen: moved back onto it, whole.
      {{"--width=380", "--height=560", "--xpos=5000", "--ypos=-50"}, {1540, 0, 380, 560}},
      {{"--xpos=-100", "--ypos=900"}, {0, 450, 400, 600}},
      // Larger than the screen: the screen; a zero size: the default; a tiny one: readable.
      {{"--width=4000", "--height=0"}, {0, 120, 1920, 600}},
      {{"--width=10", "--height=10", "--xpos=0", "--ypos=0"}, {0, 0, 160, 160}},
  };
  for (const Case& c : cases) {
    const auto placed = ParseModuleOptions(QStringList{"--url=http://c/r"} + c.arguments);
    ASSERT_TRUE(placed) << c.arguments.join(' ').toStdString();
    EXPECT_EQ(PlaceModuleWindow(*placed, screen), c.window) << c.arguments.join(' ').toStdString();
  }
}

TEST(TalvineOptions, ShowsOneHttpPageOrNothing) {
  // A page address with blanks in it, as one argument, is that one page.
  const auto page = ParseModuleOptions(
      {"--url=http://127.0.0.1:8080/chat/21?width=380%20--url=file:///etc/passwd", "--width=380"});
  ASSERT_TRUE(page);
  EXPECT_EQ(page->url, "http://127.0.0.1:8080/chat/21?width=380%20--url=file:///etc/passwd");
  const QStringList refused[] = {
      {},
      {"--width=380"},
      // A second address, wherever it comes from.
      {"--url=http://127.0.0.1:8080/chat/21", "--url=file:///home/teacher/"},
      {"--url=http://127.0.0.1:8080/chat/21", "--url=http://127.0.0.1:8080/chat/22"},
      // Anything but an http or https page with a host.
      {"--url=file:///etc/passwd"},
      {"--url=javascript:alert(1)"},
      {"--url=127.0.0.1:8080/chat/21"},
      {"--url=http:///chat/21"},
      {"--url="},
  };
  for (const QStringList& arguments : refused)
    EXPECT_FALSE(ParseModuleOptions(arguments)) << arguments.join(' ').toStdString();
}

TEST(TalvineOptions, TheModuleRefusesBeforeItShowsAnythingAndNeverSaysTheAddress) {
  int argc = 1;
  char arg0[] = "talvine_options_test";
  char* argv[] = {arg0, nullptr};
  QCoreApplication app(argc, argv);  // for QProcess
  const QString program =
      qEnvironmentVariable("VORTANE_PROGRAM_FILES") + QStringLiteral("/talvine/talvine");
  ASSERT_TRUE(QFile::exists(program)) << program.toStdString();
  const QStringList refused[] = {
      {"--url=http://127.0.0.1:8080/chat/21?password=lesson", "--url=file:///etc/passwd"},
      {"--url=file:///etc/passwd?password=lesson"},
  };
  for (const QStringList& arguments : refused) {
    QProcess module;
    module.setProcessChannelMode(QProcess::MergedChannels);
    module.start(program, arguments);
    ASSERT_TRUE(module.waitForFinished(20000)) << arguments.join(' ').toStdString();
    EXPECT_EQ(module.exitCode(), 2) << arguments.join(' ').toStdString();
    const QString output = QString::fromLocal8Bit(module.readAll());
    EXPECT_TRUE(output.startsWith(QStringLiteral("usage: talvine"))) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("lesson"))) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("passwd"))) << output.toStdString();
  }
}

}  // namespace
}  // namespace talvine
