// The interaction module's command line and where it puts its window on the screen.
#include <gtest/gtest.h>

#include "module_options.h"

namespace talvine {
namespace {

TEST(TalvineOptions, ReadsTheLaunchersOptionsAndKeepsTheWindowOnTheScreen) {
  const ModuleOptions options = ParseModuleOptions(
      {"--url=http://127.0.0.1:8080/chat/11?width=380&height=560&lock-view=1", "--width=380",
       "--height=560", "--xpos=1520", "--ypos=150", "--lock-view", "--later-option=1"});
  EXPECT_EQ(options.url, "http://127.0.0.1:8080/chat/11?width=380&height=560&lock-view=1");
  EXPECT_EQ(options.width, 380);
  EXPECT_EQ(options.height, 560);
  EXPECT_EQ(options.xpos, 1520);
  EXPECT_EQ(options.ypos, 150);
  EXPECT_TRUE(options.lockView);
  EXPECT_FALSE(ParseModuleOptions({"--url=x"}).lockView);

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
    EXPECT_EQ(PlaceModuleWindow(ParseModuleOptions(c.arguments), screen), c.window)
        << c.arguments.join(' ').toStdString();
  }
}

}  // namespace
}  // namespace talvine
