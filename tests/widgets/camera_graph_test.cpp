#include "settings/camera_graph.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QVideoWidget>
#include <QWidget>

#include "platform/device_lookup.h"
#include "platform/fixture_camera_provider.h"
#include "widget_test_app.h"

namespace vortane {
namespace {

// Two cameras the device lookup knows but Qt Multimedia cannot open: their nodes do not exist.
constexpr char kFixture[] =
    "camera USB Camera HD\n"
    "path /nonexistent/vortane-video0\n"
    "size 640x480 YUYV\n"
    "size 1280x720 MJPG\n"
    "size 1280x720 YUYV\n"
    "size 640x480 MJPG\n"
    "size 1600x1200 YUYV\n"
    "camera 采集卡 HDMI\n"
    "path /nonexistent/vortane-video1\n"
    "size 1920x1080 UYVY\n";

class CameraGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WidgetTestApp();
    ASSERT_TRUE(dir_.isValid());
    fixturePath_ = dir_.filePath("cameras.txt");
    QFile file(fixturePath_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kFixture);
    file.close();
    platform::InstallCameraProvider(
        std::make_unique<platform::FixtureCameraProvider>(fixturePath_));
  }
  void TearDown() override { platform::InstallCameraProvider(nullptr); }

  static void FlushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  QTemporaryDir dir_;
  QString fixturePath_;
};

TEST_F(CameraGraphTest, OpensOnlyTheExactFriendlyName) {
  CameraGraph graph;
  EXPECT_FALSE(graph.Open(QStringLiteral("No Such Camera")));
  EXPECT_FALSE(graph.LastError().isEmpty());
  // Letter case, a prefix, a trailing blank: all different cameras.
  EXPECT_FALSE(graph.Open(QStringLiteral("usb camera hd")));
  EXPECT_FALSE(graph.Open(QStringLiteral("USB Camera HD ")));
  EXPECT_FALSE(graph.Open(QStringLiteral("USB Camera")));
  EXPECT_FALSE(graph.Open(QString()));
  EXPECT_TRUE(graph.ListSizes().empty()) << "a failed open leaves nothing open";

  EXPECT_TRUE(graph.Open(QStringLiteral("USB Camera HD")));

  // An unplugged camera (gone from the lookup between listing and opening) is not found.
  QFile file(fixturePath_);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write("camera Another\n");
  file.close();
  EXPECT_FALSE(graph.Open(QStringLiteral("USB Camera HD")));
}

TEST_F(CameraGraphTest, ListsSizesInDriverOrderWithRepeats) {
  CameraGraph graph;
  EXPECT_TRUE(graph.ListSizes().empty()) << "nothing open yet";
  ASSERT_TRUE(graph.Open(QStringLiteral("USB Camera HD")));
  const std::vector<PictureSize> sizes = graph.ListSizes();
  EXPECT_EQ(sizes, (std::vector<PictureSize>{
                       {640, 480}, {1280, 720}, {1280, 720}, {640, 480}, {1600, 1200}}));
  EXPECT_EQ(ChooseCameraSize(sizes), (PictureSize{1280, 720}));
  graph.Release();
  EXPECT_TRUE(graph.ListSizes().empty());

  // The same cameras through the environment, as the program and the encoder adapter read them.
  platform::InstallCameraProvider(nullptr);
  qputenv(platform::kDeviceFixtureVariable, QFile::encodeName(fixturePath_));
  CameraGraph fromEnvironment;
  EXPECT_TRUE(fromEnvironment.Open(QStringLiteral("采集卡 HDMI")));
  EXPECT_EQ(fromEnvironment.ListSizes(), (std::vector<PictureSize>{{1920, 1080}}));
  qunsetenv(platform::kDeviceFixtureVariable);
}

TEST_F(CameraGraphTest, CameraQtCannotOpenFailsAtThePreviewAndCleansUp) {
  QWidget window;
  window.resize(280, 210);
  CameraGraph graph;
  ASSERT_TRUE(graph.Open(QStringLiteral("USB Camera HD")));
  EXPECT_FALSE(graph.SetFormat(1280, 720)) << "no format can be applied";

  ASSERT_TRUE(graph.AttachPreview(&window));
  QPointer<QVideoWidget> video = window.findChild<QVideoWidget*>();
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->geometry(), window.rect());

  EXPECT_FALSE(graph.RenderPreview());
  EXPECT_TRUE(graph.LastError().contains(QStringLiteral("USB Camera HD")))
      << graph.LastError().toStdString();
  EXPECT_FALSE(graph.Run());
  graph.Stop();

  // The preview follows the window only through FitToWindow, as the camera window calls it.
  window.resize(400, 300);
  graph.FitToWindow();
  EXPECT_EQ(video->geometry(), QRect(0, 0, 400, 300));

  graph.ShowPropertyPages(&window);  // no controls to show: returns at once
  graph.Release();
  graph.Release();
  FlushDeferredDeletes();
  EXPECT_TRUE(video.isNull()) << "the preview widget goes with the graph";
  EXPECT_TRUE(window.findChildren<QVideoWidget*>().isEmpty());
}

TEST_F(CameraGraphTest, StepsOutOfOrderFailAndReleaseIsAlwaysSafe) {
  auto window = std::make_unique<QWidget>();
  {
    CameraGraph fresh;
    EXPECT_FALSE(fresh.AttachPreview(window.get())) << "no camera open";
    EXPECT_FALSE(fresh.RenderPreview());
    EXPECT_FALSE(fresh.Run());
    fresh.Stop();
    fresh.FitToWindow();
    fresh.Release();
    fresh.Release();
  }
  // Attaching twice keeps one preview; the window going first leaves the graph harmless.
  CameraGraph graph;
  ASSERT_TRUE(graph.Open(QStringLiteral("USB Camera HD")));
  EXPECT_FALSE(graph.AttachPreview(nullptr));
  EXPECT_FALSE(graph.RenderPreview()) << "nothing attached";
  ASSERT_TRUE(graph.AttachPreview(window.get()));
  ASSERT_TRUE(graph.AttachPreview(window.get()));
  FlushDeferredDeletes();
  EXPECT_EQ(window->findChildren<QVideoWidget*>().size(), 1);
  window.reset();
  graph.FitToWindow();
  EXPECT_FALSE(graph.RenderPreview());
  graph.Release();
}

}  // namespace
}  // namespace vortane
