// A teacher's first lesson with the real program: no settings yet, so F8 says so and opens the
// settings dialog; the folder is typed in and the microphone picked from the sound server's list;
// then a region of the desktop is chosen with the mouse (a bare click first, which cancels) and
// recorded. The desktop shows a backdrop whose slide fills exactly the inside of the region
// frame, so a frame of the recording tells whether the right pixels were captured.
//
// Set VORTANE_SCREENSHOT_DIR to keep pictures of the settings dialog, of a selection in progress
// and of the region frame while recording.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QSettings>

#include "dialog_harness.h"

namespace vortane::test {
namespace {

// The drag and what becomes of it: even sizes (640 × 360), minus the frame's 4-pixel ring.
const QPoint kDragFrom(100, 100);
const QPoint kDragTo(741, 461);
const QRect kInside(QPoint(104, 104), QSize(632, 352));

const QColor kDesk(28, 52, 96);
const QColor kSlide(236, 224, 168);

// The bottom row of the toolbar: n × 44 from its left edge (the start button at 2), 33 down,
// 43 × 46 each (the layout the widget tests check).
QPoint ToolbarButton(const QRect& toolbar, int n) {
  return toolbar.topLeft() + QPoint(n == 0 ? 2 : n * 44, 33) + QPoint(21, 23);
}

// The desktop's own picture: a dark desk with a lesson slide exactly where the region's inside
// will be, its content well away from the slide's edges.
bool ShowBackdrop(const QString& folder) {
  QImage desk(1920, 1080, QImage::Format_RGB32);
  desk.fill(kDesk);
  QPainter p(&desk);
  p.fillRect(kInside, kSlide);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 70, 140));
  p.drawRect(kInside.left() + 40, kInside.top() + 36, 380, 34);
  p.setBrush(QColor(60, 60, 60));
  for (int line = 0; line < 4; ++line)
    p.drawRect(kInside.left() + 40, kInside.top() + 110 + line * 36, 260 - line * 30, 14);
  const QRect pie(kInside.left() + 380, kInside.top() + 110, 180, 180);
  p.setBrush(QColor(200, 60, 60));
  p.drawPie(pie, 90 * 16, 180 * 16);
  p.setBrush(QColor(60, 150, 90));
  p.drawPie(pie, 270 * 16, 120 * 16);
  p.setBrush(QColor(230, 170, 40));
  p.drawPie(pie, 30 * 16, 60 * 16);
  p.end();
  const QString path = folder + QStringLiteral("/backdrop.png");
  if (!desk.save(path)) return false;
  // ImageMagick sets the root window's background and ends (with status 1 when it succeeded).
  QProcess display;
  display.start(QStringLiteral("display"),
                {QStringLiteral("-window"), QStringLiteral("root"), path});
  return display.waitForFinished(15000) && display.exitStatus() == QProcess::NormalExit;
}

// One picture of a recording, 1 s in, as RGB bytes.
QImage FrameOf(const QString& file, const QSize& size) {
  QProcess ffmpeg;
  ffmpeg.start(QStringLiteral("ffmpeg"),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-ss"),
                QStringLiteral("1"), QStringLiteral("-i"), file, QStringLiteral("-frames:v"),
                QStringLiteral("1"), QStringLiteral("-f"), QStringLiteral("rawvideo"),
                QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"), QStringLiteral("pipe:1")});
  if (!ffmpeg.waitForFinished(20000)) return {};
  const QByteArray bytes = ffmpeg.readAllStandardOutput();
  if (bytes.size() != size.width() * size.height() * 3) return {};
  return QImage(reinterpret_cast<const uchar*>(bytes.constData()), size.width(), size.height(),
                size.width() * 3, QImage::Format_RGB888)
      .copy();
}

bool NearSlide(QRgb pixel) {
  return std::abs(qRed(pixel) - kSlide.red()) < 40 &&
         std::abs(qGreen(pixel) - kSlide.green()) < 40 &&
         std::abs(qBlue(pixel) - kSlide.blue()) < 50;
}

TEST(SetupFirstRun, F8WithoutSettingsOpensTheDialogThenAChosenRegionIsRecorded) {
  Toolbar toolbar;
  ASSERT_FALSE(QFile::exists(toolbar.ConfigPath())) << "a first run";
  ASSERT_TRUE(ShowBackdrop(toolbar.VideosFolder() + QStringLiteral("/..")));
  toolbar.Start();
  ASSERT_TRUE(toolbar.WaitUntilReady()) << toolbar.TraceText().toStdString();
  const QStringList toolbars = FindWindows(QLatin1String(kToolbarName));
  ASSERT_EQ(toolbars.size(), 1);
  const std::optional<QRect> bar = WindowGeometry(toolbars.first());
  ASSERT_TRUE(bar);

  // F8 without settings: the message first, the settings dialog once it has been answered.
  size_t before = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(
      Utf8("message: 您还没有对系统做任何设置，请完成设置后再启动录制。"), 5000, before))
      << toolbar.TraceText().toStdString();
  const std::optional<QString> box = WaitForMessageBox(5000);
  ASSERT_TRUE(box) << "the message box carries the program's title";
  SleepMs(400);
  EXPECT_TRUE(VisibleWindows(Utf8("设置")).isEmpty()) << "the dialog waits for the answer";
  ASSERT_TRUE(AnswerMessageBox(*box));
  const auto filled = toolbar.WaitForTrace(QStringLiteral("settings dialog filled"), 15000, before);
  ASSERT_TRUE(filled) << toolbar.TraceText().toStdString();
  const QStringList dialogs = VisibleWindows(Utf8("设置"), 2000);
  ASSERT_EQ(dialogs.size(), 1);
  const std::map<int, QPoint> controls = TracedControls(toolbar, before);
  for (int id : {1004, 1010, 1})
    ASSERT_TRUE(controls.count(id)) << "control " << id << " listed\n"
                                    << toolbar.TraceText().toStdString();
  if (const auto dialog = WindowGeometry(dialogs.first()))
    KeepScreenshot(QStringLiteral("toolbar-settings.png"),
                   dialog->united(*bar).adjusted(-8, 0, 8, 8) & QRect(0, 0, 1920, 1080));

  // The folder is typed in; the microphone is picked from the open list by typing its name.
  ASSERT_TRUE(ClickAt(controls.at(1004)));
  ASSERT_TRUE(Xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a")}));
  ASSERT_TRUE(Xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("10"),
                       toolbar.VideosFolder()}));
  ASSERT_TRUE(ClickAt(controls.at(1010)));
  SleepMs(300);
  ASSERT_TRUE(Xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
                       QStringLiteral("VirtualMic")}));
  ASSERT_TRUE(Xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
  SleepMs(300);
  before = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(controls.at(1)));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("settings dialog closed: OK"), 5000, before))
      << toolbar.TraceText().toStdString();
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("status: 就绪 - 准备录制 - 全屏模式"), 2000, before));
  const std::optional<ConfigRecord> config = ConfigRecord::Load(toolbar.ConfigPath());
  ASSERT_TRUE(config) << "config.cfg is a 1980-byte record";
  EXPECT_EQ(config->SaveFolder(), toolbar.VideosFolder());
  EXPECT_EQ(config->AudioDevice(), QStringLiteral("VirtualMic"));
  EXPECT_EQ(config->SoundSource(), 0) << "the microphone";
  EXPECT_EQ(config->VideoSource(), 0) << "the desktop";

  // A bare click cancels a selection.
  const QPoint regionButton = ToolbarButton(*bar, 1);
  before = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(regionButton));
  ASSERT_TRUE(toolbar.WaitForTrace(Utf8("status: 就绪 - 准备录制 - 区域模式"), 3000, before));
  ASSERT_FALSE(VisibleWindows(QStringLiteral("area"), 3000).isEmpty()) << "the overlay is up";
  SleepMs(200);
  ASSERT_TRUE(ClickAt(QPoint(900, 700)));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("region cancelled"), 3000, before));
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("status: 就绪 - 准备录制 - 全屏模式"), 2000, before))
      << toolbar.TraceText().toStdString();
  EXPECT_TRUE(WaitUntil([] { return VisibleWindows(QStringLiteral("area")).isEmpty(); }, 2000));

  // The drag from (100, 100) to (741, 461).
  before = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(regionButton));
  ASSERT_FALSE(VisibleWindows(QStringLiteral("area"), 3000).isEmpty());
  SleepMs(200);
  const QString x0 = QString::number(kDragFrom.x()), y0 = QString::number(kDragFrom.y());
  ASSERT_TRUE(Xdotool({QStringLiteral("mousemove"), x0, y0}));
  SleepMs(100);
  ASSERT_TRUE(Xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
  for (const QPoint& at : {QPoint(300, 250), QPoint(600, 400), kDragTo}) {
    SleepMs(100);
    ASSERT_TRUE(
        Xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())}));
  }
  SleepMs(300);
  KeepScreenshot(QStringLiteral("toolbar-region-selecting.png"), QRect(0, 0, 1300, 560));
  ASSERT_TRUE(Xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("region 104,104-736,456"), 3000, before))
      << toolbar.TraceText().toStdString();
  EXPECT_TRUE(toolbar.WaitForTrace(Utf8("status: 就绪 - 区域模式(632x352)"), 2000, before));
  const QStringList frames = VisibleWindows(QStringLiteral("rec_area"), 2000);
  ASSERT_EQ(frames.size(), 1);
  EXPECT_EQ(WindowGeometry(frames.first()), QRect(kDragFrom, QSize(640, 360)));
  QSettings ini(toolbar.ConfigHome() + QStringLiteral("/vortn/screen-capture-recorder.ini"),
                QSettings::IniFormat);
  ini.beginGroup(QStringLiteral("screen-capture-recorder"));
  EXPECT_EQ(ini.value(QStringLiteral("use_regin")).toInt(), 1);
  EXPECT_EQ(ini.value(QStringLiteral("start_x")).toInt(), 104);
  EXPECT_EQ(ini.value(QStringLiteral("start_y")).toInt(), 104);
  EXPECT_EQ(ini.value(QStringLiteral("capture_width")).toInt(), 632);
  EXPECT_EQ(ini.value(QStringLiteral("capture_height")).toInt(), 352);

  // Three seconds of the region. The pointer stays outside it, as x11grab draws the pointer.
  ASSERT_TRUE(
      Xdotool({QStringLiteral("mousemove"), QStringLiteral("1500"), QStringLiteral("800")}));
  before = toolbar.TraceSize();
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(RecordingPast(3.0), 20000, before))
      << toolbar.TraceText().toStdString();
  KeepScreenshot(QStringLiteral("toolbar-region-recording.png"), QRect(0, 0, 1300, 560));
  // The settings stay closed while recording, the button as much as the command.
  const size_t whileRecording = toolbar.TraceSize();
  ASSERT_TRUE(ClickAt(ToolbarButton(*bar, 3)));
  SleepMs(600);
  EXPECT_FALSE(toolbar.WaitForTrace(QStringLiteral("settings dialog opened"), 0, whileRecording));
  EXPECT_TRUE(VisibleWindows(Utf8("设置")).isEmpty());
  ASSERT_TRUE(
      Xdotool({QStringLiteral("mousemove"), QStringLiteral("1500"), QStringLiteral("800")}));
  ASSERT_TRUE(PressKey(QStringLiteral("F8")));
  ASSERT_TRUE(toolbar.WaitForTrace(QStringLiteral("job remux code 3"), 30000, before))
      << toolbar.TraceText().toStdString();

  const QStringList files = Recordings(toolbar.VideosFolder());
  ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
  EXPECT_TRUE(files.first().endsWith(QStringLiteral("m.mp4")));
  const QString file = toolbar.VideosFolder() + QLatin1Char('/') + files.first();
  const auto media = Probe(file);
  ASSERT_TRUE(media);
  EXPECT_EQ(media->videoCodec, QStringLiteral("h264"));
  EXPECT_EQ(media->width, 632);
  EXPECT_EQ(media->height, 352);
  EXPECT_EQ(media->audioCodec, QStringLiteral("aac")) << "the microphone chosen in the dialog";
  EXPECT_GE(media->duration, 2.5);

  // The picture is the slide and nothing else: along every edge, a pixel in from the border.
  const QImage frame = FrameOf(file, QSize(632, 352));
  ASSERT_FALSE(frame.isNull());
  for (int i = 0; i <= 10; ++i) {
    const int x = 2 + i * (632 - 5) / 10;
    const int y = 2 + i * (352 - 5) / 10;
    EXPECT_TRUE(NearSlide(frame.pixel(x, 1))) << "top edge at x " << x;
    EXPECT_TRUE(NearSlide(frame.pixel(x, 350))) << "bottom edge at x " << x;
    EXPECT_TRUE(NearSlide(frame.pixel(1, y))) << "left edge at y " << y;
    EXPECT_TRUE(NearSlide(frame.pixel(630, y))) << "right edge at y " << y;
  }

  toolbar.Terminate();
  ASSERT_TRUE(toolbar.WaitForExit(10000));
  EXPECT_EQ(toolbar.ExitCode(), 0);
}

}  // namespace
}  // namespace vortane::test
