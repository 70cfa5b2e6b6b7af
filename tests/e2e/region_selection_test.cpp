// The region windows on a real X server, driven by the real mouse and keyboard (xdotool).
// Set VORTANE_SCREENSHOT_DIR to keep pictures of a selection in progress and of the frame.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "settings/flashing_wnd.h"
#include "settings/region_windows.h"
#include "settings/screen_capture_recorder_ini.h"
#include "settings/shift_region_window.h"
#include "settings/standard_size_dlg.h"

namespace vortane {
namespace {

// A stand-in desktop under the selection: a lesson slide, so dimming and the frame show.
class Backdrop : public QWidget {
 public:
  Backdrop() : QWidget(nullptr, Qt::FramelessWindowHint) {
    setWindowTitle(QStringLiteral("backdrop"));
  }
  static QColor Base() { return QColor(240, 200, 80); }
  QPoint lastPress{-1, -1};

 protected:
  // The lesson's title, a pie and a formula lie inside the rectangle the tests select, away
  // from the pixels they sample (x 99..104 and 400 at y 300).
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Base());
    QLinearGradient band(0, 0, width(), 0);
    band.setColorAt(0, QColor(30, 90, 160));
    band.setColorAt(1, QColor(40, 150, 120));
    p.fillRect(0, 640, width(), height() - 640, band);
    QFont title = font();
    title.setPixelSize(44);
    p.setFont(title);
    p.setPen(QColor(20, 30, 60));
    p.drawText(QRect(140, 130, 900, 70), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("第三课：分数的加减法"));
    QFont body = font();
    body.setPixelSize(28);
    p.setFont(body);
    p.drawText(QRect(140, 360, 400, 80), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("1/2 + 1/3 = 5/6"));
    p.setPen(Qt::NoPen);
    QRect pie(530, 240, 180, 180);
    p.setBrush(QColor(200, 60, 60));
    p.drawPie(pie, 90 * 16, 180 * 16);
    p.setBrush(QColor(60, 120, 200));
    p.drawPie(pie, 270 * 16, 120 * 16);
    p.setPen(Qt::white);
    p.setFont(body);
    p.drawText(
        QRect(200, 700, width() - 400, 300), Qt::AlignLeft | Qt::TextWordWrap,
        QStringLiteral("同分母分数相加，分母不变，分子相加。\n异分母分数相加，先通分，再相加。"));
  }
  void mousePressEvent(QMouseEvent* e) override { lastPress = e->globalPosition().toPoint(); }
};

struct Report {
  std::uintptr_t wParam;
  std::optional<CaptureRegion> region;
};

class RegionSelection : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_FALSE(qgetenv("DISPLAY").isEmpty()) << "needs an X server (scripts/with-desktop)";
    config_ = new QTemporaryDir;
    qputenv("XDG_CONFIG_HOME", config_->path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    static int argc = 1;
    static char arg0[] = "region_selection_test";
    static char* argv[] = {arg0, nullptr};
    app_ = new QApplication(argc, argv);
    backdrop_ = new Backdrop;
    backdrop_->setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(backdrop_));
  }
  static void TearDownTestSuite() {
    DestroyRegionWindows();
    delete backdrop_;
    delete app_;
    delete config_;
  }

  void SetUp() override {
    receiver_ = std::make_unique<QObject>();
    // What the toolbar does at start-up and before each selection.
    CreateRegionWindows(receiver_.get(), [this](const std::optional<CaptureRegion>& region) {
      reports.push_back(Report{region ? 1u : 0u, region});
    });
    HideRegionFrame();
    ResetRegionRegistry();
    ClearRegionSet();
    MarkFrameRecording(false);
    Pump(50);
  }
  void TearDown() override {
    HideRegionFrame();
    ClearRegionSet();
    receiver_.reset();
  }

  static void Pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    do {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    } while (timer.elapsed() < ms);
  }

  static bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
      if (timer.elapsed() > ms) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
  }

  // Runs a program to its end while the windows keep handling events.
  static void Run(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    ASSERT_TRUE(process.waitForStarted(5000)) << program.toStdString();
    ASSERT_TRUE(WaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000));
    ASSERT_EQ(process.exitCode(), 0) << program.toStdString() << " " << args.join(' ').toStdString()
                                     << ": " << process.readAllStandardError().toStdString();
  }
  static void Xdotool(const QString& commands) {
    Run(QStringLiteral("xdotool"), commands.split(' ', Qt::SkipEmptyParts));
  }

  static void KeepScreenshot(const QString& name) {
    QString folder = QString::fromLocal8Bit(qgetenv("VORTANE_SCREENSHOT_DIR"));
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    Run(QStringLiteral("import"), {"-window", "root", folder + "/" + name});
  }

  void BeginSelection() {
    reports.clear();
    BeginRegionSelection();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(RegionOverlay()));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(RegionLayer()));
    Pump(100);
  }

  bool WaitForFinalReport() {
    return WaitFor([&] {
      return !reports.empty() &&
             (!reports.back().region || (RegionFrame()->isVisible() &&
                                         reports.back().region == RegionFrame()->CaptureRect()));
    });
  }

  static QImage Screen() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

  static std::string IniText() {
    QFile file(ScreenCaptureRecorderIniPath());
    if (!file.open(QIODevice::ReadOnly)) return "(missing)";
    return file.readAll().toStdString();
  }

  std::vector<Report> reports;
  std::unique_ptr<QObject> receiver_;
  static inline QTemporaryDir* config_ = nullptr;
  static inline QApplication* app_ = nullptr;
  static inline Backdrop* backdrop_ = nullptr;
};

constexpr char kResetIni[] =
    "[screen-capture-recorder]\nuse_regin=0\nstart_x=0\nstart_y=0\ncapture_height=1080\n"
    "capture_width=1920\n";

QColor Dimmed(QColor c) {
  auto dim = [](int v) { return v * (255 - CShiftRegionWindow2::kLayerOpacity) / 255; };
  return QColor(dim(c.red()), dim(c.green()), dim(c.blue()));
}

bool Near(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
         std::abs(a.blue() - b.blue()) <= 2;
}

TEST_F(RegionSelection, DragDrawsOverTheDimmedScreenAndLeavesAResizableFrame) {
  QRect screen = QGuiApplication::primaryScreen()->geometry();
  ASSERT_EQ(screen.size(), QSize(1920, 1080)) << "the desktop is expected at 1920x1080";
  EXPECT_EQ(IniText(), kResetIni);

  BeginSelection();
  // Hold the button half way: the screen is dimmed except the rectangle, with the size label.
  Xdotool("mousemove 100 100 mousedown 1 mousemove 741 461");
  ASSERT_TRUE(WaitFor([] { return RegionLayer()->CutOutRect() == QRect(100, 100, 641, 361); }));
  Pump(300);
  QImage selecting = Screen();
  EXPECT_TRUE(Near(selecting.pixelColor(50, 300), Dimmed(Backdrop::Base())))
      << selecting.pixelColor(50, 300).name().toStdString();
  EXPECT_TRUE(Near(selecting.pixelColor(400, 300), Backdrop::Base()))
      << selecting.pixelColor(400, 300).name().toStdString();
  QRect label = RegionLayer()->LabelRect();
  EXPECT_EQ(label.left(), 106);
  EXPECT_LT(label.bottom(), 100);
  int green = 0;
  for (int x = label.left(); x <= label.right(); ++x)
    for (int y = label.top(); y <= label.bottom(); ++y)
      if (selecting.pixelColor(x, y).green() > 200 && selecting.pixelColor(x, y).red() < 60)
        ++green;
  EXPECT_GT(green, 20) << "the green size label";
  KeepScreenshot(QStringLiteral("region-selecting.png"));
  Xdotool("mouseup 1");

  ASSERT_TRUE(WaitForFinalReport());
  // Drag steps first, the rectangle inside the frame's ring last (and nothing after it).
  Pump(200);
  ASSERT_GE(reports.size(), 2u);
  EXPECT_EQ(reports.front().region->left, 100);
  EXPECT_EQ(reports.back().region, (CaptureRegion{104, 104, 736, 456}));
  EXPECT_EQ(reports.back().wParam, 1u);
  EXPECT_TRUE(IsRegionSet());
  EXPECT_FALSE(RegionOverlay()->isVisible());
  EXPECT_FALSE(RegionLayer()->isVisible());
  EXPECT_EQ(RegionFrame()->geometry(), QRect(100, 100, 640, 360));
  EXPECT_EQ(IniText(),
            "[screen-capture-recorder]\nuse_regin=1\nstart_x=104\nstart_y=104\n"
            "capture_height=352\ncapture_width=632\n");

  // On screen: the ring in its colours around the undimmed picture, which stays clickable.
  Pump(300);
  QImage framed = Screen();
  EXPECT_EQ(framed.pixelColor(101, 300), QColor(0, 255, 80));
  EXPECT_EQ(framed.pixelColor(101, 101), QColor(255, 0, 0));
  EXPECT_EQ(framed.pixelColor(738, 458), QColor(255, 0, 0));
  EXPECT_EQ(framed.pixelColor(104, 300), Backdrop::Base());
  EXPECT_EQ(framed.pixelColor(99, 300), Backdrop::Base());
  KeepScreenshot(QStringLiteral("region-frame.png"));
  Xdotool("mousemove 400 300 click 1");
  ASSERT_TRUE(WaitFor([] { return backdrop_->lastPress == QPoint(400, 300); }));

  // The right edge follows the mouse.
  reports.clear();
  Xdotool("mousemove 738 300 mousedown 1 mousemove 800 300 mousemove 838 300 mouseup 1");
  ASSERT_TRUE(WaitFor([&] {
    return !reports.empty() && reports.back().region == CaptureRegion{104, 104, 836, 456};
  }));
  EXPECT_EQ(RegionFrame()->geometry(), QRect(100, 100, 740, 360));
  EXPECT_EQ(ReadScreenCaptureRecorderValues(),
            (ScreenCaptureRecorderValues{1, 104, 104, 352, 732}));

  // While recording the frame is locked and its corners grey.
  MarkFrameRecording(true);
  Pump(200);
  EXPECT_EQ(Screen().pixelColor(101, 101), QColor(128, 128, 128));
  reports.clear();
  Xdotool("mousemove 838 300 mousedown 1 mousemove 900 300 mouseup 1");
  Pump(200);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(RegionFrame()->geometry(), QRect(100, 100, 740, 360));
  MarkFrameRecording(false);
  Pump(200);
  EXPECT_EQ(Screen().pixelColor(101, 101), QColor(255, 0, 0));
}

TEST_F(RegionSelection, BareClickAndBackwardDragCancelSmallDragGrows) {
  BeginSelection();
  Xdotool("mousemove 300 300 click 1");
  ASSERT_TRUE(WaitForFinalReport());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].wParam, 0u);
  EXPECT_FALSE(reports[0].region);
  EXPECT_FALSE(IsRegionSet());
  EXPECT_FALSE(RegionFrame()->isVisible());
  EXPECT_FALSE(RegionOverlay()->isVisible());
  EXPECT_EQ(IniText(), kResetIni);

  BeginSelection();
  Xdotool("mousemove 500 500 mousedown 1 mousemove 450 450 mousemove 400 300 mouseup 1");
  ASSERT_TRUE(WaitForFinalReport());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_FALSE(reports[0].region);

  // Esc on the keyboard cancels too.
  BeginSelection();
  Xdotool("mousemove 200 200 mousemove 260 260 key Escape");
  ASSERT_TRUE(WaitForFinalReport());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_FALSE(reports[0].region);
  EXPECT_FALSE(RegionOverlay()->isVisible());
  EXPECT_FALSE(RegionLayer()->isVisible());

  // A 50 x 300 drag from x = 100 becomes 178 wide.
  BeginSelection();
  Xdotool("mousemove 100 200 mousedown 1 mousemove 150 500 mouseup 1");
  ASSERT_TRUE(WaitForFinalReport());
  EXPECT_EQ(RegionFrame()->geometry(), QRect(100, 200, 178, 300));
  EXPECT_EQ(reports.back().region, (CaptureRegion{104, 204, 274, 496}));
  EXPECT_EQ(ReadScreenCaptureRecorderValues(),
            (ScreenCaptureRecorderValues{1, 104, 204, 292, 170}));
}

TEST_F(RegionSelection, RightClickNearTheCornerPlacesTheStandardSizeAtTheOrigin) {
  BeginSelection();
  // The dialog is answered with the keyboard once it has the focus.
  QString title;
  QString preselected;
  QRect placed;
  auto* keys = new QProcess(app_);
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<StandardSizeDlg*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isActiveWindow() || keys->state() != QProcess::NotRunning)
      return;
    answer.stop();
    title = dialog->windowTitle();
    preselected = dialog->SizeList()->currentText();
    placed = dialog->frameGeometry();
    KeepScreenshot(QStringLiteral("region-standard-size.png"));
    keys->start(QStringLiteral("xdotool"), {"key", "--delay", "50", "Up", "Up", "Return"});
  });
  answer.start(50);
  Xdotool("mousemove 1900 1060 click 3");
  ASSERT_TRUE(WaitForFinalReport()) << "the dialog got no answer";
  keys->waitForFinished(5000);
  EXPECT_EQ(title, QStringLiteral("设置一个标准区域"));
  EXPECT_EQ(preselected, "1280x720");
  EXPECT_TRUE(QRect(0, 0, 1920, 1080).contains(placed))
      << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height();
  EXPECT_EQ(RegionFrame()->geometry(), QRect(0, 0, 1920, 1080));
  EXPECT_EQ(reports.back().region, (CaptureRegion{4, 4, 1916, 1076}));
  EXPECT_TRUE(IsRegionSet());
  EXPECT_EQ(ReadScreenCaptureRecorderValues(), (ScreenCaptureRecorderValues{1, 4, 4, 1072, 1912}));

  // Esc in the dialog cancels the whole selection.
  BeginSelection();
  QObject::disconnect(&answer, nullptr, nullptr, nullptr);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<StandardSizeDlg*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isActiveWindow()) return;
    answer.stop();
    keys->start(QStringLiteral("xdotool"), {"key", "Escape"});
  });
  answer.start(50);
  Xdotool("mousemove 600 400 click 3");
  ASSERT_TRUE(WaitForFinalReport());
  keys->waitForFinished(5000);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_FALSE(reports[0].region);
  EXPECT_FALSE(IsRegionSet());
  EXPECT_FALSE(RegionFrame()->isVisible());
  EXPECT_EQ(IniText(), kResetIni);
}

}  // namespace
}  // namespace vortane
