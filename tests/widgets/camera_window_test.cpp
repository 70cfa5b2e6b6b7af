#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVideoWidget>
#include <functional>

#include "platform/device_lookup.h"
#include "platform/fixture_camera_provider.h"
#include "platform/program_info.h"
#include "settings/camera_graph.h"
#include "settings/camera_window_placement.h"
#include "settings/video_dlg1.h"
#include "widget_test_app.h"

namespace vortane {
namespace {

constexpr QRgb kDarkGrey = 0x464646;  // RGB(70, 70, 70)
constexpr QRgb kGreen = 0x00FF00;

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 2000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// The toolbar's side: how often the camera window said it closed (queued, as the toolbar hears).
struct Owner {
  int closed = 0;
  QObject receiver;
  void Watch(CVideoDlg1& window) {
    QObject::connect(
        &window, &CVideoDlg1::cameraWindowClosed, &receiver, [this] { ++closed; },
        Qt::QueuedConnection);
  }
  int ClosedCount() const { return closed; }
};

// Mouse input as the window system would deliver it: the pointer has a screen position that does
// not follow the window while it moves.
void SendMouse(QWidget& widget, QEvent::Type type, QPoint global, Qt::MouseButtons buttons,
               Qt::MouseButton button = Qt::LeftButton) {
  QMouseEvent event(type, QPointF(widget.mapFromGlobal(global)), QPointF(global), button, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(&widget, &event);
}

void Drag(QWidget& widget, QPoint from, QPoint by) {
  const QPoint start = widget.mapToGlobal(from);
  SendMouse(widget, QEvent::MouseButtonPress, start, Qt::LeftButton);
  SendMouse(widget, QEvent::MouseMove, start + by / 2, Qt::LeftButton, Qt::NoButton);
  SendMouse(widget, QEvent::MouseMove, start + by, Qt::LeftButton, Qt::NoButton);
  SendMouse(widget, QEvent::MouseButtonRelease, start + by, Qt::NoButton);
}

void DoubleClick(QWidget& widget, QPoint at) {
  const QPoint global = widget.mapToGlobal(at);
  SendMouse(widget, QEvent::MouseButtonPress, global, Qt::LeftButton);
  SendMouse(widget, QEvent::MouseButtonRelease, global, Qt::NoButton);
  SendMouse(widget, QEvent::MouseButtonDblClick, global, Qt::LeftButton);
  SendMouse(widget, QEvent::MouseButtonRelease, global, Qt::NoButton);
}

class CameraWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WidgetTestApp();
    // The offscreen platform cannot raise windows or pass size hints; saying so is noise.
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
          if (previous != nullptr && !message.startsWith(QStringLiteral("This plugin does not")))
            previous(type, context, message);
        });
    ASSERT_TRUE(config_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
    screen_ = QGuiApplication::primaryScreen()->geometry();
    const QString fixture = config_.filePath("cameras.txt");
    QFile file(fixture);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Known to the device lookup, but no node Qt Multimedia could open.
    file.write("camera USB Camera HD\npath /nonexistent/vortane-video0\nsize 1280x720 YUYV\n");
    file.close();
    platform::InstallCameraProvider(std::make_unique<platform::FixtureCameraProvider>(fixture));
  }
  void TearDown() override {
    platform::InstallCameraProvider(nullptr);
    qunsetenv("XDG_CONFIG_HOME");
  }

  // The user data folder is made on first use, as the program makes it.
  QString Vw1Path() const { return CameraWindowFilePath(); }
  void StoreRect(const CameraWindowRect& rect) {
    ASSERT_TRUE(WriteCameraWindowRect(Vw1Path(), rect));
  }
  QRect DefaultGeometry() const { return DefaultCameraWindowRect(screen_).ToGeometry(); }

  QTemporaryDir config_;
  QRect screen_;
  Owner owner_;
};

TEST_F(CameraWindowTest, OpensAtTheDefaultPlaceThenWhereItWasClosed) {
  CVideoDlg1 window;
  owner_.Watch(window);
  EXPECT_FALSE(window.IsCameraWindowOpen());
  EXPECT_TRUE(window.isWindow());
  EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);

  // No vw1.cfg: 280 × 210 in the top-right corner, 30 pixels down.
  window.OpenCameraWindow(false);
  EXPECT_TRUE(window.IsCameraWindowOpen());
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.geometry(), QRect(screen_.width() - 280, 30, 280, 210));

  window.move(40, 50);
  window.CloseCameraWindow();
  EXPECT_FALSE(window.IsCameraWindowOpen());
  EXPECT_FALSE(window.isVisible());
  ASSERT_TRUE(WaitFor([&] { return owner_.ClosedCount() == 1; }));
  EXPECT_EQ(ReadCameraWindowRect(Vw1Path()), (CameraWindowRect{40, 50, 320, 260}));

  window.OpenCameraWindow(false);
  EXPECT_EQ(window.geometry(), QRect(40, 50, 280, 210));
  window.CloseCameraWindow();

  // Implausible rectangles fall back to the default place (the rules themselves are unit tested).
  StoreRect({screen_.width() - 300, 10, screen_.width(), 200});
  window.OpenCameraWindow(false);
  EXPECT_EQ(window.geometry(), DefaultGeometry());
  window.CloseCameraWindow();

  ASSERT_TRUE(WaitFor([&] { return owner_.ClosedCount() == 3; }));
  // Closing a closed window tells nobody.
  window.CloseCameraWindow();
  QCoreApplication::processEvents();
  EXPECT_EQ(owner_.ClosedCount(), 3);
}

TEST_F(CameraWindowTest, EscRestoresAMaximisedWindowThenCloses) {
  CVideoDlg1 window;
  owner_.Watch(window);
  StoreRect({100, 120, 420, 360});
  window.OpenCameraWindow(false);
  const QRect normal(100, 120, 320, 240);
  ASSERT_EQ(window.geometry(), normal);

  QTest::keyClick(&window, Qt::Key_Return);
  QTest::keyClick(&window, Qt::Key_Enter);
  EXPECT_TRUE(window.IsCameraWindowOpen()) << "Enter does nothing";

  DoubleClick(window, QPoint(160, 120));
  EXPECT_TRUE(window.IsMaximised());
  EXPECT_EQ(window.geometry(), window.screen()->availableGeometry());
  EXPECT_EQ(window.BusyLabel()->geometry(), window.rect()) << "the text follows the size";
  // A maximised window stays where it is when dragged.
  Drag(window, QPoint(200, 200), QPoint(30, 30));
  EXPECT_EQ(window.geometry(), window.screen()->availableGeometry());

  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_FALSE(window.IsMaximised());
  EXPECT_TRUE(window.IsCameraWindowOpen());
  EXPECT_EQ(window.geometry(), normal);

  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_FALSE(window.IsCameraWindowOpen());
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(ReadCameraWindowRect(Vw1Path()), (CameraWindowRect{100, 120, 420, 360}));
  EXPECT_TRUE(WaitFor([&] { return owner_.ClosedCount() == 1; }));

  // Closed by the window manager: the same as Esc.
  window.OpenCameraWindow(false);
  window.close();
  EXPECT_FALSE(window.IsCameraWindowOpen());
  EXPECT_TRUE(WaitFor([&] { return owner_.ClosedCount() == 2; }));
}

TEST_F(CameraWindowTest, BusyTextIsGreenOnDarkGreyWithoutPreview) {
  CVideoDlg1 window;
  owner_.Watch(window);
  window.SetCamera(QStringLiteral("USB Camera HD"), 1280, 720);
  window.OpenCameraWindow(false);
  ASSERT_TRUE(window.IsCameraWindowOpen());
  EXPECT_FALSE(window.HasPreview()) << "the camera is being recorded";
  EXPECT_TRUE(window.findChildren<QVideoWidget*>().isEmpty());

  QLabel* text = window.BusyLabel();
  ASSERT_TRUE(text->isVisible());
  EXPECT_EQ(text->geometry(), window.rect());
  EXPECT_EQ(text->text(), QStringLiteral("\n\n正在使用摄像头视频...\n本窗口不提供视频预览...\n"
                                         "请面向摄像头方向保持微笑"));

  const QImage image = test::Grab(window);
  EXPECT_EQ(test::Rgb(image, 2, 2), kDarkGrey);
  EXPECT_EQ(test::Rgb(image, image.width() - 3, image.height() - 3), kDarkGrey);
  // Every pixel is the background, the text colour, or a blend of the two; the text is there,
  // below its two empty lines, and centred.
  int green = 0;
  int exactGreen = 0;
  int firstTextRow = image.height();
  int leftmost = image.width();
  int rightmost = -1;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor colour(image.pixel(x, y));
      ASSERT_EQ(colour.red(), colour.blue()) << x << "," << y;
      ASSERT_LE(colour.red(), 70) << x << "," << y;
      ASSERT_GE(colour.green(), 70) << x << "," << y;
      if (test::Rgb(image, x, y) != kDarkGrey) {
        firstTextRow = std::min(firstTextRow, y);
        leftmost = std::min(leftmost, x);
        rightmost = std::max(rightmost, x);
      }
      if (colour.green() - colour.red() >= 120) ++green;
      if (test::Rgb(image, x, y) == kGreen) ++exactGreen;
    }
  }
  EXPECT_GT(green, 100) << "three lines of text";
  EXPECT_GT(exactGreen, 0) << "drawn in RGB(0, 255, 0)";
  const int lineHeight = text->fontMetrics().height();
  EXPECT_GE(firstTextRow, 2 * lineHeight - 2) << "two empty lines first";
  EXPECT_LE(std::abs(leftmost - (image.width() - 1 - rightmost)), 4) << "centred";
}

TEST_F(CameraWindowTest, CameraThatCannotOpenShowsTheMessageAndCloses) {
  CVideoDlg1 window;
  owner_.Watch(window);
  struct Shown {
    QString title;
    QString text;
    bool windowVisible = false;
    bool openAgainIgnored = false;
  };
  std::vector<Shown> shown;
  // Answers the message box when it appears, noting what it said and what was behind it.
  std::function<void()> answer = [&] {
    if (!WaitFor([] { return QApplication::activeModalWidget() != nullptr; })) return;
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    Shown seen{box->windowTitle(), box->text(), window.isVisible(), false};
    // A camera command arriving while the message is up changes nothing.
    window.OpenCameraWindow(true);
    seen.openAgainIgnored = QApplication::activeModalWidget() == box;
    shown.push_back(seen);
    box->accept();
  };

  const QString names[] = {QStringLiteral("USB Camera HD"), QStringLiteral("usb camera hd")};
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    const std::size_t before = shown.size();
    window.SetCamera(name, 1280, 720);
    QTimer::singleShot(0, answer);
    window.OpenCameraWindow(true);
    ASSERT_EQ(shown.size(), before + 1) << "the message box was shown once";
    EXPECT_EQ(shown.back().title, ProgramTitle());
    EXPECT_EQ(shown.back().text,
              QStringLiteral("无法打开摄像头，请检查是否正确插入，或则被其他应用占用！"));
    EXPECT_TRUE(shown.back().windowVisible) << "the message comes before the window closes";
    EXPECT_TRUE(shown.back().openAgainIgnored);
    EXPECT_FALSE(window.IsCameraWindowOpen());
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.HasPreview());
  }
  ASSERT_TRUE(WaitFor([&] { return owner_.ClosedCount() == 2; }))
      << "each failure tells the owner, so its camera button is restored";
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(window.findChildren<QVideoWidget*>().isEmpty());

  // A failure leaves the window usable for the busy text.
  window.OpenCameraWindow(false);
  EXPECT_TRUE(window.IsCameraWindowOpen());
  EXPECT_TRUE(window.BusyLabel()->isVisible());
}

TEST_F(CameraWindowTest, MovesAndResizesByHandWithoutAWindowManager) {
  CVideoDlg1 window;
  owner_.Watch(window);
  StoreRect({200, 150, 500, 375});
  window.OpenCameraWindow(false);
  ASSERT_EQ(window.geometry(), QRect(200, 150, 300, 225));

  // Dragging from anywhere inside, also over the busy text, moves the window.
  Drag(window, QPoint(150, 100), QPoint(-60, 40));
  EXPECT_EQ(window.geometry(), QRect(140, 190, 300, 225));

  // The edges and corners resize: right edge, then the top-left corner.
  const int zone = CVideoDlg1::kEdgeZone;
  Drag(window, QPoint(300 - zone / 2, 100), QPoint(50, 0));
  EXPECT_EQ(window.geometry(), QRect(140, 190, 350, 225));
  Drag(window, QPoint(1, 1), QPoint(20, -30));
  EXPECT_EQ(window.geometry(), QRect(160, 160, 330, 255));
  Drag(window, QPoint(100, 255 - 1), QPoint(0, 15));
  EXPECT_EQ(window.geometry(), QRect(160, 160, 330, 270));
  // Just inside the band is no longer an edge.
  Drag(window, QPoint(zone, zone), QPoint(5, 5));
  EXPECT_EQ(window.geometry(), QRect(165, 165, 330, 270));

  // An edge stops where the window would become too small to be remembered.
  Drag(window, QPoint(0, 100), QPoint(1000, 0));
  EXPECT_EQ(window.width(), kMinimumStoredCameraWindowSide + 1);
  EXPECT_EQ(window.geometry().right() + 1, 165 + 330) << "the other edge stays";

  // Hovering shows which way an edge resizes.
  const QPoint inside = window.mapToGlobal(QPoint(window.width() - 1, window.height() / 2));
  SendMouse(window, QEvent::MouseMove, inside, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(window.cursor().shape(), Qt::SizeHorCursor);
  SendMouse(window, QEvent::MouseMove, window.mapToGlobal(QPoint(0, 0)), Qt::NoButton,
            Qt::NoButton);
  EXPECT_EQ(window.cursor().shape(), Qt::SizeFDiagCursor);
  SendMouse(window, QEvent::MouseMove, window.mapToGlobal(QPoint(16, 100)), Qt::NoButton,
            Qt::NoButton);
  EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);

  // The new place is the one remembered.
  const QRect last = window.geometry();
  window.CloseCameraWindow();
  window.OpenCameraWindow(false);
  EXPECT_EQ(window.geometry(), last);
}

TEST_F(CameraWindowTest, ThePictureDoesNotTakeTheMouseFromTheWindow) {
  // A preview widget as the camera graph puts it into the window (the fixture camera cannot
  // show a picture, but its video widget is the real one).
  CVideoDlg1 window;
  owner_.Watch(window);
  StoreRect({100, 100, 400, 325});
  window.OpenCameraWindow(false);
  CameraGraph graph;
  ASSERT_TRUE(graph.Open(QStringLiteral("USB Camera HD")));
  ASSERT_TRUE(graph.AttachPreview(&window));
  auto* video = window.findChild<QVideoWidget*>();
  ASSERT_NE(video, nullptr);
  ASSERT_EQ(video->geometry(), window.rect());

  Drag(*video, QPoint(150, 100), QPoint(25, 35));
  EXPECT_EQ(window.geometry(), QRect(125, 135, 300, 225));
  Drag(*video, QPoint(299, 100), QPoint(20, 0));
  EXPECT_EQ(window.geometry(), QRect(125, 135, 320, 225));
  graph.FitToWindow();
  EXPECT_EQ(video->geometry(), window.rect());
  DoubleClick(*video, QPoint(50, 50));
  EXPECT_TRUE(window.IsMaximised());
  graph.Release();
  window.CloseCameraWindow();
}

}  // namespace
}  // namespace vortane
