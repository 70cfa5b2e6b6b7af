#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <climits>
#include <cstring>

#include "settings/camera_graph.h"
#include "settings/camera_window_placement.h"
#include "support/files.h"

namespace vortane {
namespace {

using test::ReadBytes;
using test::WriteBytes;

QByteArray RectBytes(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  const std::int32_t values[] = {left, top, right, bottom};
  return QByteArray(reinterpret_cast<const char*>(values), sizeof(values));
}

TEST(ChooseCameraSize, PrefersHdThenTheLastWideSizeAtLeast720High) {
  using Sizes = std::vector<PictureSize>;
  EXPECT_EQ(ChooseCameraSize(Sizes{{640, 480}, {1280, 960}, {1280, 720}}),
            (PictureSize{1280, 720}));
  // No HD size: the last qualifying entry wins over an earlier one.
  EXPECT_EQ(ChooseCameraSize(Sizes{{640, 480}, {1600, 1200}, {1280, 1024}}),
            (PictureSize{1280, 1024}));
  EXPECT_EQ(ChooseCameraSize(Sizes{{640, 480}}), std::nullopt);

  // The first HD size stops the walk, whichever of the two it is.
  EXPECT_EQ(ChooseCameraSize(Sizes{{1920, 1080}, {1280, 720}, {2560, 1440}}),
            (PictureSize{1920, 1080}));
  EXPECT_EQ(ChooseCameraSize(Sizes{{1600, 1200}, {1280, 720}, {1920, 1080}}),
            (PictureSize{1280, 720}));
  // Exactly 720 high counts; portrait and square sizes never do.
  EXPECT_EQ(ChooseCameraSize(Sizes{{960, 720}, {720, 1280}, {1080, 1080}}),
            (PictureSize{960, 720}));
  EXPECT_EQ(ChooseCameraSize(Sizes{{720, 1280}, {1080, 1080}, {1280, 719}}), std::nullopt);
}

TEST(ChooseCameraFormat, FirstUncompressedOfThatSizePreferring25Fps) {
  using Offers = std::vector<CameraFormatOffer>;
  // A camera whose formats are all MJPG gets no change.
  Offers mjpgOnly = {{1280, 720, "MJPG", 5, 30}, {640, 480, "MJPG", 5, 30}};
  EXPECT_EQ(ChooseCameraFormat(mjpgOnly, 1280, 720), std::nullopt);

  Offers mixed = {{1280, 720, "MJPG", 5, 30}, {640, 480, "YUYV", 5, 30},
                  {1280, 720, "NV12", 5, 30}, {1280, 720, "YUYV", 10, 10},
                  {1280, 720, "UYVY", 5, 30}, {1280, 720, "YUYV", 25, 25}};
  // 25 fps is preferred among the matching ones, in offer order.
  EXPECT_EQ(ChooseCameraFormat(mixed, 1280, 720), 4u);
  EXPECT_EQ(ChooseCameraFormat(mixed, 640, 480), 1u);
  EXPECT_EQ(ChooseCameraFormat(mixed, 720, 1280), std::nullopt) << "exactly that size";

  // Without 25 fps anywhere the first matching one is taken.
  Offers slow = {{800, 600, "MJPG", 25, 25}, {800, 600, "RGB3", 10, 15}, {800, 600, "YUYV", 5, 15}};
  EXPECT_EQ(ChooseCameraFormat(slow, 800, 600), 1u);
  // RGB24 in either byte order, and the HD capture cards' UYVY.
  EXPECT_EQ(ChooseCameraFormat(Offers{{320, 240, "BGR3", 25, 25}}, 320, 240), 0u);
  EXPECT_EQ(ChooseCameraFormat(Offers{{1920, 1080, "HDYC", 30, 30}}, 1920, 1080), 0u);
}

TEST(CameraWindowPlacement, StoredRectangleRulesAndDefault) {
  const QRect screen(0, 0, 1920, 1080);
  const CameraWindowRect fallback{1640, 30, 1920, 240};
  EXPECT_EQ(DefaultCameraWindowRect(screen), fallback);

  EXPECT_EQ(PlaceCameraWindow(std::nullopt, screen), fallback);
  const CameraWindowRect kept{100, 200, 500, 500};
  EXPECT_EQ(PlaceCameraWindow(kept, screen), kept);
  // The right edge must lie left of the screen width, the bottom above its height.
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{1600, 30, 1920, 240}, screen), fallback);
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{1600, 30, 1919, 240}, screen),
            (CameraWindowRect{1600, 30, 1919, 240}));
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{100, 780, 500, 1080}, screen), fallback);
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{100, 779, 500, 1079}, screen),
            (CameraWindowRect{100, 779, 500, 1079}));
  // More than 32 pixels both ways: 30 × 200 and 200 × 32 are refused, 33 × 33 kept.
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{100, 100, 130, 300}, screen), fallback);
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{100, 100, 300, 132}, screen), fallback);
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{100, 100, 133, 133}, screen),
            (CameraWindowRect{100, 100, 133, 133}));
  // Upside down (negative size) is refused like a small one.
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{500, 500, 100, 100}, screen), fallback);

  // A damaged file: a window wholly off the screen, or one too large to make, is not taken.
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{-900, 100, -100, 400}, screen), fallback);
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{100, -900, 400, -100}, screen), fallback);
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{INT_MIN, 100, 400, 400}, screen), fallback);
  // Partly off the left edge is how the user left it.
  EXPECT_EQ(PlaceCameraWindow(CameraWindowRect{-100, 100, 200, 400}, screen),
            (CameraWindowRect{-100, 100, 200, 400}));
}

TEST(CameraWindowPlacement, Vw1FileIsSixteenBytesInTextMode) {
  QTemporaryDir dir;
  const QString path = dir.filePath("vw1.cfg");
  EXPECT_EQ(ReadCameraWindowRect(path), std::nullopt) << "missing file";

  // A left edge of 10 is the byte 0x0A: stored as CR LF, read back as 10.
  const CameraWindowRect rect{10, 266, 1290, 2570};  // 266 = 0x010A, 2570 = 0x0A0A
  ASSERT_TRUE(WriteCameraWindowRect(path, rect));
  const QByteArray stored = ReadBytes(path);
  EXPECT_EQ(stored.size(), 16 + 5);  // five 0x0A bytes
  EXPECT_EQ(stored.left(3), QByteArray("\x0D\x0A\x00", 3));
  EXPECT_EQ(ReadCameraWindowRect(path), rect);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"vw1.cfg"})
      << "no temporary file is left behind";

  // A file as a Windows install wrote it, with CR LF for each 0x0A byte.
  QByteArray windows = RectBytes(10, 30, 290, 240);
  windows.replace(QByteArray("\x0A", 1), QByteArray("\x0D\x0A", 2));
  WriteBytes(path, windows);
  EXPECT_EQ(ReadCameraWindowRect(path), (CameraWindowRect{10, 30, 290, 240}));

  // Short files are not a rectangle: 15 bytes, or 16 on disk that decode to 15.
  WriteBytes(path, RectBytes(100, 100, 400, 300).left(15));
  EXPECT_EQ(ReadCameraWindowRect(path), std::nullopt);
  WriteBytes(path, RectBytes(100, 100, 400, 300).left(14) + QByteArray("\x0D\x0A", 2));
  EXPECT_EQ(ReadCameraWindowRect(path), std::nullopt);

  // A folder that cannot be written: nothing is remembered, and nothing breaks.
  EXPECT_FALSE(WriteCameraWindowRect(dir.filePath("missing/vw1.cfg"), rect));
}

}  // namespace
}  // namespace vortane
