#include "settings/region_geometry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "settings/screen_capture_recorder_ini.h"

namespace vortane {
namespace {

constexpr int kW = 1920;
constexpr int kH = 1080;

// Drags from `from` through `moves`, as the overlay does, and returns what button-up keeps.
std::optional<CaptureRegion> Drag(QPoint from, std::initializer_list<QPoint> moves,
                                  int* forwardSteps = nullptr) {
  CaptureRegion rect{from.x(), from.y(), from.x(), from.y()};
  int forward = 0;
  for (QPoint cursor : moves) {
    DragStep step = DragTo(rect, cursor, kW, kH);
    rect = step.rect;
    forward += step.forward ? 1 : 0;
  }
  if (forwardSteps != nullptr) *forwardSteps = forward;
  return FinishSelection(rect, kW, kH);
}

TEST(RegionGeometry, DragBecomesEvenFrameAroundTheCapturedRectangle) {
  std::optional<CaptureRegion> frame = Drag({100, 100}, {{300, 200}, {741, 461}});
  ASSERT_TRUE(frame);
  EXPECT_EQ(*frame, (CaptureRegion{100, 100, 740, 460}));
  CaptureRegion inside = FrameInside(*frame);
  EXPECT_EQ(inside, (CaptureRegion{104, 104, 736, 456}));
  EXPECT_EQ(FrameAround(inside), *frame);
  ScreenCaptureRecorderValues values = RegionChosenValues(inside);
  EXPECT_EQ(values, (ScreenCaptureRecorderValues{1, 104, 104, 352, 632}));

  // Odd sizes lose the last row and column, never the first.
  EXPECT_EQ(EvenFrameRect({10, 20, 211, 321}), (CaptureRegion{10, 20, 210, 320}));
  EXPECT_EQ(EvenFrameRect({10, 20, 210, 320}), (CaptureRegion{10, 20, 210, 320}));
  // The cursor is clamped one pixel inside the screen's right and bottom edges.
  DragStep edge = DragTo({1000, 500, 1000, 500}, {5000, 5000}, kW, kH);
  EXPECT_TRUE(edge.forward);
  EXPECT_EQ(edge.rect, (CaptureRegion{1000, 500, kW - 1, kH - 1}));
  EXPECT_EQ(FinishSelection(edge.rect, kW, kH), (CaptureRegion{1000, 500, 1918, 1078}));
}

TEST(RegionGeometry, ClicksSmallDragsAndBackwardDrags) {
  // A bare click grows to exactly 128 x 128, which is refused.
  EXPECT_FALSE(Drag({100, 100}, {}));
  EXPECT_FALSE(Drag({100, 100}, {{100, 100}}));
  // A 50 x 300 drag from x = 100 grows to 178 wide; the height is left alone.
  EXPECT_EQ(Drag({100, 100}, {{150, 400}}), (CaptureRegion{100, 100, 278, 400}));
  // Small in both directions: both sides grow.
  EXPECT_EQ(Drag({100, 100}, {{130, 140}}), (CaptureRegion{100, 100, 258, 268}));
  // Exactly 1 pixel short of the right edge's margin: grows to the left instead.
  EXPECT_EQ(Drag({1800, 100}, {{1850, 400}}), (CaptureRegion{1672, 100, 1850, 400}));
  // Near the bottom edge the height grows upwards.
  EXPECT_EQ(Drag({100, 1000}, {{400, 1040}}), (CaptureRegion{100, 872, 400, 1040}));
  // A width of exactly 128 is refused; 129 passes and then loses its odd column.
  EXPECT_FALSE(Drag({100, 100}, {{228, 400}}));
  EXPECT_EQ(Drag({100, 100}, {{229, 400}}), (CaptureRegion{100, 100, 228, 400}));

  // Up or to the left: nothing is reported during the drag and button-up cancels, however far.
  int forward = -1;
  EXPECT_FALSE(Drag({500, 500}, {{400, 300}}, &forward));
  EXPECT_EQ(forward, 0);
  EXPECT_FALSE(Drag({500, 500}, {{900, 300}}, &forward));
  EXPECT_EQ(forward, 0);
  EXPECT_FALSE(Drag({500, 500}, {{499, 900}}));
  EXPECT_FALSE(Drag({500, 500}, {{100, 100}}));
  // Going back over the start after a forward drag cancels too.
  EXPECT_FALSE(Drag({500, 500}, {{900, 900}, {450, 450}}, &forward));
  EXPECT_EQ(forward, 1);
  // A narrow screen does not push the grown rectangle past its left edge.
  EXPECT_EQ(FinishSelection({100, 10, 200, 200}, 300, 400), (CaptureRegion{0, 10, 200, 200}));
}

TEST(RegionGeometry, StandardSizesListMappingAndPlacement) {
  EXPECT_EQ(StandardSizeTexts(),
            (QStringList{"1920x1080", "1600x900", "1280x720", "960x540", "800x600"}));
  EXPECT_EQ(StandardSizeTexts().at(kPreselectedStandardSize), "1280x720");
  EXPECT_EQ(StandardSizeForIndex(0), QSize(1920, 1080));
  EXPECT_EQ(StandardSizeForIndex(1), QSize(1600, 900));
  EXPECT_EQ(StandardSizeForIndex(2), QSize(1280, 720));
  EXPECT_EQ(StandardSizeForIndex(3), QSize(960, 540));
  EXPECT_EQ(StandardSizeForIndex(4), QSize(800, 600));
  EXPECT_EQ(StandardSizeForIndex(-1), QSize(1280, 720));
  EXPECT_EQ(StandardSizeForIndex(7), QSize(1280, 720));

  // Near the bottom-right corner the full-screen size starts at (0, 0) and stays valid.
  CaptureRegion full = PlaceStandardSize({1900, 1060}, {1920, 1080}, kW, kH);
  EXPECT_EQ(full, (CaptureRegion{0, 0, 1920, 1080}));
  EXPECT_EQ(FinishSelection(full, kW, kH), full);
  EXPECT_EQ(FrameInside(full), (CaptureRegion{4, 4, 1916, 1076}));
  // Where it fits, the top-left is the cursor; exactly touching the edge still fits.
  EXPECT_EQ(PlaceStandardSize({300, 200}, {800, 600}, kW, kH),
            (CaptureRegion{300, 200, 1100, 800}));
  EXPECT_EQ(PlaceStandardSize({1120, 480}, {800, 600}, kW, kH),
            (CaptureRegion{1120, 480, 1920, 1080}));
  // Past only the bottom edge is enough to go to (0, 0).
  EXPECT_EQ(PlaceStandardSize({10, 481}, {800, 600}, kW, kH), (CaptureRegion{0, 0, 800, 600}));
  // On a screen smaller than the size, the region is cut at the screen's edges.
  EXPECT_EQ(PlaceStandardSize({10, 10}, {1920, 1080}, 1366, 768), (CaptureRegion{0, 0, 1366, 768}));
}

TEST(RegionGeometry, ScaleCorrection) {
  CaptureRegion inside{104, 104, 736, 456};
  EXPECT_EQ(ApplyScale(inside, 1.0), inside);
  EXPECT_EQ(ApplyScale(inside, 1.5), (CaptureRegion{156, 156, 1104, 684}));
  // Truncated toward zero, not rounded.
  EXPECT_EQ(ApplyScale({3, 5, 7, 9}, 1.5), (CaptureRegion{4, 7, 10, 13}));
  EXPECT_EQ(ApplyScale({1, 1, 3, 3}, 1.25), (CaptureRegion{1, 1, 3, 3}));
  EXPECT_EQ(ApplyScale({-3, -5, 7, 9}, 1.5), (CaptureRegion{-4, -7, 10, 13}));

  // The encoder takes only even sizes: 402 pixels at 150 % are 603 device pixels, cut to 602.
  EXPECT_EQ(ScaledCaptureRect({100, 100, 502, 300}, 1.5), (CaptureRegion{150, 150, 752, 450}));
  EXPECT_EQ(ScaledCaptureRect(inside, 1.0), inside);
  // At every fractional scale, wherever the frame sits: even sizes, inside the scaled rectangle,
  // at most one device pixel smaller on each side.
  for (double factor : {1.25, 1.5, 1.75}) {
    for (int left = 0; left < 9; ++left) {
      for (int width = 128; width < 160; width += 2) {
        const CaptureRegion frameInside{left + 4, left + 5, left + 4 + width, left + 5 + width + 6};
        const CaptureRegion scaled = ApplyScale(frameInside, factor);
        const CaptureRegion even = ScaledCaptureRect(frameInside, factor);
        EXPECT_EQ(even.Width() % 2, 0) << factor << " " << left << " " << width;
        EXPECT_EQ(even.Height() % 2, 0) << factor << " " << left << " " << width;
        EXPECT_EQ(even.left, scaled.left);
        EXPECT_EQ(even.top, scaled.top);
        EXPECT_GE(even.Width(), scaled.Width() - 1);
        EXPECT_GE(even.Height(), scaled.Height() - 1);
        EXPECT_LE(even.right, scaled.right);
        EXPECT_LE(even.bottom, scaled.bottom);
      }
    }
  }
}

TEST(RegionGeometry, SizeLabelTextAndPlace) {
  EXPECT_EQ(SizeLabelText({10, 10, 11, 11}), QStringLiteral("请按下左键拖动鼠标"));
  EXPECT_EQ(SizeLabelText({10, 10, 14, 14}), QStringLiteral("请按下左键拖动鼠标"));
  EXPECT_EQ(SizeLabelText({10, 10, 15, 12}), QStringLiteral("录制区域（5x2）"));
  EXPECT_EQ(SizeLabelText({100, 100, 741, 461}), QStringLiteral("录制区域（641x361）"));
  // Above the rectangle, or below it when there is no room above.
  EXPECT_EQ(SizeLabelOrigin({100, 100, 741, 461}, 20), QPoint(110, 75));
  EXPECT_EQ(SizeLabelOrigin({100, 25, 741, 461}, 20), QPoint(110, 0));
  EXPECT_EQ(SizeLabelOrigin({100, 24, 741, 461}, 20), QPoint(110, 466));
  EXPECT_EQ(SizeLabelPatch({110, 75}, {120, 20}), (CaptureRegion{106, 71, 234, 99}));
}

TEST(RegionGeometry, FrameEdgesAndResizing) {
  QSize size(640, 360);
  EXPECT_EQ(HitTestFrame({2, 200}, size), FrameZone::Left);
  EXPECT_EQ(HitTestFrame({638, 200}, size), FrameZone::Right);
  EXPECT_EQ(HitTestFrame({300, 1}, size), FrameZone::Top);
  EXPECT_EQ(HitTestFrame({300, 358}, size), FrameZone::Bottom);
  EXPECT_EQ(HitTestFrame({2, 2}, size), FrameZone::TopLeft);
  EXPECT_EQ(HitTestFrame({12, 2}, size), FrameZone::TopLeft);  // along the red square
  EXPECT_EQ(HitTestFrame({2, 15}, size), FrameZone::TopLeft);
  EXPECT_EQ(HitTestFrame({2, 16}, size), FrameZone::Left);
  EXPECT_EQ(HitTestFrame({630, 3}, size), FrameZone::TopRight);
  EXPECT_EQ(HitTestFrame({3, 350}, size), FrameZone::BottomLeft);
  EXPECT_EQ(HitTestFrame({639, 359}, size), FrameZone::BottomRight);
  EXPECT_EQ(HitTestFrame({300, 200}, size), FrameZone::None);
  EXPECT_EQ(HitTestFrame({-1, 200}, size), FrameZone::None);

  CaptureRegion start{100, 100, 740, 460};
  auto resize = [&](FrameZone zone, int dx, int dy) {
    return ResizeFrame(start, zone, dx, dy, kW, kH);
  };
  EXPECT_EQ(resize(FrameZone::Right, 100, 50), (CaptureRegion{100, 100, 840, 460}));
  EXPECT_EQ(resize(FrameZone::TopLeft, -20, -30), (CaptureRegion{80, 70, 740, 460}));
  EXPECT_EQ(resize(FrameZone::Bottom, 999, -1000), (CaptureRegion{100, 100, 740, 228}));
  EXPECT_EQ(resize(FrameZone::Left, 1000, 0), (CaptureRegion{612, 100, 740, 460}));
  EXPECT_EQ(resize(FrameZone::None, 10, 10), start);
  // Dragged sides stop at the screen's edges.
  EXPECT_EQ(resize(FrameZone::TopLeft, -500, -500), (CaptureRegion{0, 0, 740, 460}));
  EXPECT_EQ(resize(FrameZone::BottomRight, 5000, 5000), (CaptureRegion{100, 100, kW, kH}));
}

TEST(ScreenCaptureRecorderIni, ValuesFileAndOrder) {
  EXPECT_EQ(ResetValues(1920, 1080), (ScreenCaptureRecorderValues{0, 0, 0, 1080, 1920}));
  EXPECT_EQ(ResetValues(1367, 767), (ScreenCaptureRecorderValues{0, 0, 0, 766, 1366}));
  EXPECT_EQ(RegionChosenValues({5, 7, 106, 208}), (ScreenCaptureRecorderValues{1, 5, 7, 200, 100}));

  std::string fresh = FormatScreenCaptureRecorderIni({1, 104, 104, 352, 632}, "");
  EXPECT_EQ(fresh,
            "[screen-capture-recorder]\nuse_regin=1\nstart_x=104\nstart_y=104\n"
            "capture_height=352\ncapture_width=632\n");
  // Values written by someone else survive; ours are replaced and keep their order.
  std::string other =
      "; kept\r\n[screen-capture-recorder]\r\ncapture_width=1\r\nhwnd_to_track=0\r\n"
      "use_regin=0\r\n[other]\r\nstart_x=9\r\n";
  std::string merged = FormatScreenCaptureRecorderIni({0, 0, 0, 1080, 1920}, other);
  EXPECT_EQ(merged,
            "; kept\n[screen-capture-recorder]\nuse_regin=0\nstart_x=0\nstart_y=0\n"
            "capture_height=1080\ncapture_width=1920\nhwnd_to_track=0\n[other]\nstart_x=9\n");
  EXPECT_EQ(ParseScreenCaptureRecorderIni(merged),
            (ScreenCaptureRecorderValues{0, 0, 0, 1080, 1920}));
  EXPECT_FALSE(ParseScreenCaptureRecorderIni("[screen-capture-recorder]\nuse_regin=1\n"));
  EXPECT_FALSE(ParseScreenCaptureRecorderIni(
      "[screen-capture-recorder]\nuse_regin=x\nstart_x=0\nstart_y=0\ncapture_height=1\n"
      "capture_width=1\n"));

  QTemporaryDir dir;
  QString path = dir.filePath("screen-capture-recorder.ini");
  EXPECT_FALSE(ReadScreenCaptureRecorderValues(path));
  ASSERT_TRUE(WriteScreenCaptureRecorderValues({1, 104, 104, 352, 632}, path));
  EXPECT_EQ(ReadScreenCaptureRecorderValues(path),
            (ScreenCaptureRecorderValues{1, 104, 104, 352, 632}));
  ASSERT_TRUE(WriteScreenCaptureRecorderValues(ResetValues(1920, 1080), path));
  EXPECT_EQ(ReadScreenCaptureRecorderValues(path),
            (ScreenCaptureRecorderValues{0, 0, 0, 1080, 1920}));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"screen-capture-recorder.ini"});
  // A folder that cannot take the file is reported, not ignored.
  EXPECT_FALSE(WriteScreenCaptureRecorderValues(
      ResetValues(1920, 1080), dir.filePath("missing/screen-capture-recorder.ini")));
}

}  // namespace
}  // namespace vortane
