#include "settings/region_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <vector>

#include "settings/flashing_wnd.h"
#include "settings/region_geometry.h"
#include "settings/screen_capture_recorder_ini.h"
#include "settings/shift_region_window.h"
#include "settings/standard_size_dlg.h"

namespace vortane {
namespace {

// One application for the whole program, made and destroyed inside the test run (an application
// destroyed by the exit handlers would outlive the parts of Qt its windows need).
class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // The values file goes to a private user data folder.
    config_ = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", config_->path().toLocal8Bit());
    app_ = std::make_unique<QApplication>(argc_, argv_);
    // The offscreen platform has no window shapes or stacking; saying so for each window is noise.
    previous_ = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
          if (previous_ != nullptr &&
              !message.startsWith(QStringLiteral("This plugin does not support")))
            previous_(type, context, message);
        });
  }
  void TearDown() override {
    app_.reset();
    config_.reset();
  }
  static QApplication& App() { return *app_; }

 private:
  static inline int argc_ = 1;
  static inline char arg0_[] = "region_windows_test";
  static inline char* argv_[] = {arg0_, nullptr};
  static inline std::unique_ptr<QTemporaryDir> config_;
  static inline std::unique_ptr<QApplication> app_;
  static inline QtMessageHandler previous_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

QApplication& App() {
  return AppEnvironment::App();
}

// The toolbar's side of the region selection: every report, in order (wParam 1 for a
// rectangle, 0 for a cancel).
struct Owner {
  struct Report {
    std::uintptr_t wParam;
    std::optional<CaptureRegion> region;
  };
  std::vector<Report> reports;
  QObject receiver;
  RegionHandler handler() {
    return [this](const std::optional<CaptureRegion>& region) {
      reports.push_back({region ? 1u : 0u, region});
    };
  }
};

void SendMouse(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButton button,
               Qt::MouseButtons held) {
  QPoint local = global - w->geometry().topLeft();
  QMouseEvent event(type, local, local, global, button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

void Press(QWidget* w, QPoint global, Qt::MouseButton button = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseButtonPress, global, button, button);
}
void Move(QWidget* w, QPoint global, Qt::MouseButtons held = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseMove, global, Qt::NoButton, held);
}
void Release(QWidget* w, QPoint global, Qt::MouseButton button = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseButtonRelease, global, button, Qt::NoButton);
}

QColor Pixel(QWidget* w, int x, int y) {
  return w->grab().toImage().pixelColor(x, y);
}

ScreenCaptureRecorderValues IniValues() {
  return ReadScreenCaptureRecorderValues().value_or(
      ScreenCaptureRecorderValues{-1, -1, -1, -1, -1});
}

class RegionWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    CreateRegionWindows(&owner.receiver, owner.handler());
    HideRegionFrame();
    ResetRegionRegistry();
    ClearRegionSet();
    MarkFrameRecording(false);
    screen = QGuiApplication::primaryScreen()->geometry();
  }
  Owner owner;
  QRect screen;
};

TEST_F(RegionWindows, WindowsAfterCreationAndReset) {
  ASSERT_NE(RegionOverlay(), nullptr);
  EXPECT_EQ(RegionOverlay()->windowTitle(), "area");
  EXPECT_EQ(RegionLayer()->windowTitle(), "layer");
  EXPECT_EQ(RegionFrame()->windowTitle(), "rec_area");
  EXPECT_EQ(RegionOverlay()->Next(), RegionLayer());
  EXPECT_TRUE(RegionLayer()->IsMouseDisabled());
  EXPECT_TRUE(RegionLayer()->windowFlags() & Qt::WindowTransparentForInput);
  EXPECT_TRUE(RegionFrame()->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(RegionFrame()->geometry(), QRect(0, 0, 200, 200));
  EXPECT_FALSE(RegionFrame()->isVisible());
  EXPECT_FALSE(RegionFrame()->IsLocked());
  EXPECT_FALSE(IsRegionSet());
  // Nothing is reported while the windows are made.
  EXPECT_TRUE(owner.reports.empty());
  QSize full = FullScreenClientSize();
  EXPECT_EQ(IniValues(),
            (ScreenCaptureRecorderValues{0, 0, 0, full.height() & ~1, full.width() & ~1}));
}

TEST_F(RegionWindows, FrameIsAnEvenRingThatReportsItsInside) {
  CFlashingWnd* frame = RegionFrame();
  frame->PlaceFrame({100, 100, 741, 461}, true);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(frame->geometry(), QRect(100, 100, 640, 360));
  // Sent, not posted: the owner has it before PlaceFrame returns.
  ASSERT_EQ(owner.reports.size(), 1u);
  EXPECT_EQ(owner.reports[0].wParam, 1u);
  EXPECT_EQ(owner.reports[0].region, (CaptureRegion{104, 104, 736, 456}));
  EXPECT_EQ(IniValues(), (ScreenCaptureRecorderValues{1, 104, 104, 352, 632}));

  // The window's shape is the 4-pixel ring and nothing else.
  QRegion ring = frame->mask();
  EXPECT_EQ(ring, QRegion(0, 0, 640, 360).subtracted(QRegion(4, 4, 632, 352)));
  for (QPoint in :
       {QPoint(0, 0), QPoint(3, 180), QPoint(636, 180), QPoint(320, 3), QPoint(320, 359)})
    EXPECT_TRUE(ring.contains(in)) << in.x() << "," << in.y();
  for (QPoint out : {QPoint(4, 4), QPoint(320, 180), QPoint(635, 355), QPoint(640, 0)})
    EXPECT_FALSE(ring.contains(out)) << out.x() << "," << out.y();

  // Green-ish ring, red 16-pixel corner squares.
  QImage picture = frame->grab().toImage();
  EXPECT_EQ(picture.pixelColor(200, 1), QColor(0, 255, 80));
  EXPECT_EQ(picture.pixelColor(1, 200), QColor(0, 255, 80));
  EXPECT_EQ(picture.pixelColor(16, 1), QColor(0, 255, 80));
  for (QPoint corner : {QPoint(1, 1), QPoint(15, 2), QPoint(638, 1), QPoint(624, 3), QPoint(1, 358),
                        QPoint(2, 344), QPoint(638, 358)})
    EXPECT_EQ(picture.pixelColor(corner), QColor(255, 0, 0)) << corner.x() << "," << corner.y();

  // A frame made smaller by the ring's resizing keeps even sizes; odd width and height both go.
  frame->PlaceFrame({0, 0, 301, 201});
  EXPECT_EQ(frame->geometry(), QRect(0, 0, 300, 200));
  EXPECT_EQ(owner.reports.back().region, (CaptureRegion{4, 4, 296, 196}));
  EXPECT_EQ(frame->mask(), QRegion(0, 0, 300, 200).subtracted(QRegion(4, 4, 292, 192)));

  // A close request (Alt+F4, a window manager's close) leaves the frame where it is.
  EXPECT_FALSE(frame->close());
  EXPECT_TRUE(frame->isVisible());
  HideRegionFrame();
  EXPECT_FALSE(frame->isVisible());
}

TEST_F(RegionWindows, RecordingLocksTheFrameAndGreysItsCorners) {
  ASSERT_GE(screen.width(), 700);
  ASSERT_GE(screen.height(), 500);
  CFlashingWnd* frame = RegionFrame();
  frame->PlaceFrame({100, 100, 500, 400}, true);
  owner.reports.clear();
  QPoint rightEdge(100 + 398, 250);

  MarkFrameRecording(true);
  EXPECT_TRUE(frame->IsLocked());
  EXPECT_EQ(Pixel(frame, 1, 1), QColor(128, 128, 128));
  EXPECT_EQ(Pixel(frame, 398, 298), QColor(128, 128, 128));
  EXPECT_EQ(Pixel(frame, 200, 1), QColor(0, 255, 80));
  // A repaint while recording (the frame uncovered) keeps the grey.
  frame->repaint();
  EXPECT_EQ(Pixel(frame, 1, 1), QColor(128, 128, 128));
  // Locked: the edges do nothing.
  Move(frame, rightEdge, Qt::NoButton);
  EXPECT_EQ(frame->cursor().shape(), Qt::ArrowCursor);
  Press(frame, rightEdge);
  Move(frame, rightEdge + QPoint(100, 0));
  Release(frame, rightEdge + QPoint(100, 0));
  EXPECT_EQ(frame->geometry(), QRect(100, 100, 400, 300));
  EXPECT_TRUE(owner.reports.empty());

  MarkFrameRecording(false);
  EXPECT_FALSE(frame->IsLocked());
  EXPECT_EQ(Pixel(frame, 1, 1), QColor(255, 0, 0));
  EXPECT_EQ(Pixel(frame, 200, 1), QColor(0, 255, 80));
  // Unlocked: the right edge offers a resize and follows the mouse; each step is reported.
  Move(frame, rightEdge, Qt::NoButton);
  EXPECT_EQ(frame->cursor().shape(), Qt::SizeHorCursor);
  Move(frame, QPoint(102, 102), Qt::NoButton);
  EXPECT_EQ(frame->cursor().shape(), Qt::SizeFDiagCursor);
  Press(frame, rightEdge);
  Move(frame, rightEdge + QPoint(51, 7));
  EXPECT_EQ(frame->geometry(), QRect(100, 100, 450, 300));
  Move(frame, rightEdge + QPoint(100, 7));
  Release(frame, rightEdge + QPoint(100, 7));
  EXPECT_EQ(frame->geometry(), QRect(100, 100, 500, 300));
  ASSERT_EQ(owner.reports.size(), 2u);
  EXPECT_EQ(owner.reports.back().region, (CaptureRegion{104, 104, 596, 396}));
  EXPECT_EQ(IniValues(), (ScreenCaptureRecorderValues{1, 104, 104, 292, 492}));
  // Moving after the release resizes nothing.
  Move(frame, rightEdge + QPoint(150, 7), Qt::NoButton);
  EXPECT_EQ(frame->geometry().width(), 500);

  // The bottom-right corner stops at the screen's edges.
  QPoint bottomRight(100 + 498, 100 + 298);
  Press(frame, bottomRight);
  Move(frame, bottomRight + QPoint(3000, 3000));
  Release(frame, bottomRight + QPoint(3000, 3000));
  EXPECT_EQ(frame->geometry(), QRect(100, 100, screen.width() - 100, screen.height() - 100));

  // The top-left corner drags two sides; the frame stops at 128 x 128.
  QPoint corner(101, 101);
  Press(frame, corner);
  Move(frame, corner + QPoint(3000, 3000));
  Release(frame, corner + QPoint(3000, 3000));
  EXPECT_EQ(frame->geometry(), QRect(screen.width() - 128, screen.height() - 128, 128, 128));
  EXPECT_EQ(owner.reports.back().region, (CaptureRegion{screen.width() - 124, screen.height() - 124,
                                                        screen.width() - 4, screen.height() - 4}));
}

TEST_F(RegionWindows, LayerDimsTheScreenExceptTheSelectionAndShowsTheLabel) {
  CShiftRegionWindow2* layer = RegionLayer();
  QPixmap white(screen.size());
  white.fill(Qt::white);
  layer->ShowLayer(white);
  EXPECT_EQ(layer->geometry(), screen);
  // Black at 120/255 over white.
  EXPECT_EQ(Pixel(layer, 50, 50), QColor(135, 135, 135));

  CaptureRegion selection{100, 100, 341, 261};
  layer->CutOut(selection);
  layer->DrawSizeLabel(selection);
  QImage picture = layer->grab().toImage();
  EXPECT_EQ(picture.pixelColor(101, 101), QColor(Qt::white));
  EXPECT_EQ(picture.pixelColor(340, 260), QColor(Qt::white));
  EXPECT_EQ(picture.pixelColor(341, 260), QColor(135, 135, 135));
  EXPECT_EQ(picture.pixelColor(99, 150), QColor(135, 135, 135));
  // The label: green text on black, left+10 above the rectangle.
  QRect label = layer->LabelRect();
  QFontMetrics metrics = layer->fontMetrics();
  QString text = QStringLiteral("录制区域（241x161）");
  EXPECT_EQ(label, QRect(106, 100 - metrics.height() - 5 - 4, metrics.horizontalAdvance(text) + 8,
                         metrics.height() + 8));
  QRect textArea = label.adjusted(4, 4, -4, -4);
  int green = 0;
  int black = 0;
  for (int y = textArea.top(); y <= textArea.bottom(); ++y) {
    for (int x = textArea.left(); x <= textArea.right(); ++x) {
      QColor c = picture.pixelColor(x, y);
      if (c == QColor(Qt::black)) ++black;
      if (c.green() > 128 && c.red() < 64 && c.blue() < 64) ++green;
    }
  }
  EXPECT_GT(green, 20);
  EXPECT_GT(black, green);

  // Near the top of the screen the label goes below the rectangle; the old one is gone.
  CaptureRegion high{200, 2, 500, 300};
  layer->CutOut(high);
  layer->DrawSizeLabel(high);
  EXPECT_EQ(layer->LabelRect().top(), 300 + 5 - 4);
  picture = layer->grab().toImage();
  EXPECT_EQ(picture.pixelColor(textArea.center()), QColor(135, 135, 135));
  EXPECT_EQ(picture.pixelColor(150, 150), QColor(135, 135, 135));
  EXPECT_EQ(picture.pixelColor(250, 150), QColor(Qt::white));

  layer->RestoreRegion();
  picture = layer->grab().toImage();
  EXPECT_EQ(picture.pixelColor(250, 150), QColor(135, 135, 135));
  EXPECT_TRUE(layer->LabelRect().isEmpty());
  layer->hide();
}

TEST_F(RegionWindows, StandardSizeDialogListPreselectionAndMapping) {
  {
    StandardSizeDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("设置一个标准区域"));
    QComboBox* list = dialog.SizeList();
    EXPECT_EQ(list->objectName(), "1064");
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
      items << list->itemText(i);
    EXPECT_EQ(items, (QStringList{"1920x1080", "1600x900", "1280x720", "960x540", "800x600"}));
    EXPECT_EQ(list->currentText(), "1280x720");
    EXPECT_EQ(dialog.ChosenSize(), QSize(1280, 720));
    QStringList texts;
    for (QLabel* label : dialog.findChildren<QLabel*>())
      texts << label->text();
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
      texts << button->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("选择标准区域：")));
    EXPECT_TRUE(texts.contains(QStringLiteral("确定")));
    EXPECT_TRUE(texts.contains(QStringLiteral("取消")));
    // Opened at the bottom-right corner it is moved back onto the screen.
    dialog.PlaceAt(screen.bottomRight());
    EXPECT_TRUE(screen.contains(dialog.geometry())) << dialog.x() << "," << dialog.y();
    dialog.PlaceAt({10, 20});
    EXPECT_EQ(dialog.pos(), QPoint(10, 20));
  }
  for (int index = 0; index < 5; ++index) {
    StandardSizeDlg dialog;
    dialog.SizeList()->setCurrentIndex(index);
    dialog.accept();
    EXPECT_EQ(dialog.ChosenSize(), StandardSizeForIndex(index));
  }
}

// Runs in a child process of this test program on a screen scaled to 150 %.
TEST_F(RegionWindows, ScaledScreenReportsDevicePixels) {
  if (qgetenv("QT_SCALE_FACTOR") != "1.5") GTEST_SKIP() << "run by ScaledScreenInChildProcess";
  ASSERT_DOUBLE_EQ(PrimaryScreenScaleFactor(), 1.5);
  RegionFrame()->PlaceFrame({100, 100, 341, 261}, true);
  EXPECT_EQ(RegionFrame()->geometry(), QRect(100, 100, 240, 160));
  // The inside (104, 104)-(336, 256) in device pixels, truncated.
  EXPECT_EQ(owner.reports.back().region, (CaptureRegion{156, 156, 504, 384}));
  EXPECT_EQ(IniValues(), (ScreenCaptureRecorderValues{1, 156, 156, 228, 348}));
  // A 402-pixel inside is 603 device pixels: the encoder gets 602 (it takes no odd sizes).
  RegionFrame()->PlaceFrame({96, 96, 506, 306}, true);
  EXPECT_EQ(owner.reports.back().region, (CaptureRegion{150, 150, 752, 452}));
  // The whole screen in device pixels.
  QSize full = FullScreenClientSize();
  EXPECT_EQ(full, (screen.size() * 1.5));
}

TEST(RegionWindowsScaled, ScaledScreenInChildProcess) {
  if (qgetenv("QT_SCALE_FACTOR") == "1.5") GTEST_SKIP();
  App();
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_SCALE_FACTOR", "1.5");
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_filter=RegionWindows.ScaledScreenReportsDevicePixels"});
  ASSERT_TRUE(child.waitForFinished(60000));
  QString output = QString::fromLocal8Bit(child.readAll());
  EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
  EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

}  // namespace
}  // namespace vortane
