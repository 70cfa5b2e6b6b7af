// Runs inside scripts/with-desktop: a private X display, a sound server whose default output is
// "speaker" and whose "VirtualMic" source plays a tone, and no camera.
#include "platform/device_lookup.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>

#include "platform/fixture_camera_provider.h"
#include "platform/v4l2_camera_provider.h"
#include "support/scoped_env.h"

namespace vortane::platform {
namespace {

using test::ScopedEnv;

void WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(content);
}

TEST(DeviceLookup, PrivateDesktopOffersTheVirtualDevicesAndTheMicrophone) {
  ASSERT_FALSE(qgetenv("PULSE_SERVER").isEmpty()) << "run inside scripts/with-desktop";
  QStringList audio = ListCaptureDevices(DeviceCategory::kAudioInput);
  EXPECT_TRUE(audio.contains("VirtualMic")) << audio.join(", ").toStdString();
  // The speakers are offered once, as the virtual device, after the real sources; monitors are
  // not listed as microphones.
  EXPECT_EQ(audio.count("virtual-audio-capturer"), 1);
  EXPECT_EQ(audio.last(), "virtual-audio-capturer");
  for (const QString& name : audio)
    EXPECT_FALSE(name.startsWith("Monitor of")) << name.toStdString();

  QStringList video = ListCaptureDevices(DeviceCategory::kVideoInput);
  EXPECT_TRUE(video.contains("screen-capture-recorder"));
  EXPECT_TRUE(AreVirtualFiltersInstalled());

  SoundSourceMatch speaker = FindSoundSource("virtual-audio-capturer");
  EXPECT_EQ(speaker.outcome, SoundSourceMatch::Outcome::kFound);
  EXPECT_EQ(speaker.pulseName, "speaker.monitor");
  SoundSourceMatch mic = FindSoundSource("VirtualMic");
  EXPECT_EQ(mic.outcome, SoundSourceMatch::Outcome::kFound);
  EXPECT_EQ(mic.pulseName, "virtual_mic");
  // Names match exactly: another letter case is another device.
  EXPECT_EQ(FindSoundSource("virtualmic").outcome, SoundSourceMatch::Outcome::kNoSuchSource);

  SoundServerInventory inventory = QuerySoundServer();
  ASSERT_TRUE(inventory.reachable) << inventory.error.toStdString();
  EXPECT_EQ(inventory.defaultSink, "speaker");
  EXPECT_EQ(inventory.defaultSinkMonitor, "speaker.monitor");
}

TEST(DeviceLookup, MissingServersMeanNoDevicesAndNeverAHang) {
  {
    ScopedEnv pulse("PULSE_SERVER", "unix:/nonexistent/vortane/native");
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(ListCaptureDevices(DeviceCategory::kAudioInput).isEmpty());
    EXPECT_FALSE(AreVirtualFiltersInstalled());
    SoundSourceMatch match = FindSoundSource("VirtualMic");
    EXPECT_EQ(match.outcome, SoundSourceMatch::Outcome::kNoSoundServer);
    EXPECT_FALSE(match.detail.isEmpty());
    EXPECT_LT(timer.elapsed(), 2000) << "a missing server must be noticed at once";
  }
  {
    // A server that takes the connection and never answers: the lookup gives up on its own.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QByteArray socketPath = (folder.path() + "/silent").toUtf8();
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.constData(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ScopedEnv pulse("PULSE_SERVER", "unix:" + socketPath);
    QElapsedTimer timer;
    timer.start();
    SoundServerInventory inventory = QuerySoundServer();
    qint64 elapsed = timer.elapsed();
    close(listener);
    EXPECT_FALSE(inventory.reachable);
    EXPECT_TRUE(inventory.sources.empty());
    EXPECT_LT(elapsed, 4000);
  }
  {
    ScopedEnv display("DISPLAY", QByteArray());
    EXPECT_FALSE(IsDisplayReachable());
    EXPECT_FALSE(
        ListCaptureDevices(DeviceCategory::kVideoInput).contains("screen-capture-recorder"));
    EXPECT_FALSE(AreVirtualFiltersInstalled());
  }
  {
    ScopedEnv display("DISPLAY", ":4242");
    EXPECT_FALSE(IsDisplayReachable());
  }
  // After all that, the real servers are still found.
  EXPECT_TRUE(AreVirtualFiltersInstalled());
}

TEST(DeviceLookup, CameraFixtureStandsInForV4l2) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  QString path = folder.path() + "/cameras.txt";
  QByteArray fixture =
      "# two cameras and ten more\n"
      "camera USB Camera HD\n"
      "path /dev/video4\n"
      "size 640x480\n"
      "size 1280x720 MJPG\n"
      "\n"
      "camera 讲台摄像头\r\n"
      "size 1920x1080 YUYV\r\n";
  for (int i = 3; i <= 12; ++i)
    fixture += "camera Camera " + QByteArray::number(i) + "\n";
  WriteFile(path, fixture);
  ScopedEnv env(kDeviceFixtureVariable, path.toUtf8());

  std::vector<CameraDevice> cameras = ListCameras();
  ASSERT_EQ(cameras.size(), 12u);
  EXPECT_EQ(cameras[0].name, "USB Camera HD");
  EXPECT_EQ(cameras[0].devicePath, "/dev/video4");
  EXPECT_EQ(cameras[0].sizes, (std::vector<CameraSize>{{640, 480, "YUYV"}, {1280, 720, "MJPG"}}));
  EXPECT_EQ(cameras[1].name, QString::fromUtf8("讲台摄像头"));
  EXPECT_EQ(cameras[1].devicePath, "/dev/video1");  // no path given: by its place in the file

  // Lists stop at ten names; the desktop's virtual device comes after the cameras, so it falls
  // off here.
  QStringList video = ListCaptureDevices(DeviceCategory::kVideoInput);
  ASSERT_EQ(video.size(), kMaxListedDevices);
  EXPECT_EQ(video.first(), "USB Camera HD");
  EXPECT_EQ(video.last(), "Camera 10");

  std::optional<CameraDevice> found = FindCamera("USB Camera HD");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->devicePath, "/dev/video4");
  EXPECT_FALSE(FindCamera("usb camera hd"));
  EXPECT_FALSE(FindCamera("USB Camera"));

  // Names too long to be kept by the settings are left out of the list, not cut.
  WriteFile(path, "camera " + QByteArray(512, 'x') + "\ncamera Short\n");
  EXPECT_EQ(ListCaptureDevices(DeviceCategory::kVideoInput),
            (QStringList{"Short", "screen-capture-recorder"}));

  // A malformed fixture lists nothing, and says where it is wrong.
  WriteFile(path, "camera A\nsize 640 by 480\n");
  EXPECT_TRUE(ListCameras().empty());
  QString error;
  EXPECT_FALSE(FixtureCameraProvider::Parse("size 1x1\n", &error));
  EXPECT_EQ(error, "line 1: \"size\" before the first camera");
  EXPECT_FALSE(FixtureCameraProvider::Parse("camera A\nlens wide\n", &error));
  EXPECT_EQ(error, "line 2: unknown statement \"lens\"");

  // A provider installed in-process wins over the fixture, and can be taken back.
  class OneCamera : public CameraProvider {
   public:
    std::vector<CameraDevice> ListCameras() override {
      return {{"Document Camera", "/dev/video9", {{1280, 720, "YUYV"}}}};
    }
  };
  EXPECT_EQ(InstallCameraProvider(std::make_unique<OneCamera>()), nullptr);
  EXPECT_EQ(ListCaptureDevices(DeviceCategory::kVideoInput),
            (QStringList{"Document Camera", "screen-capture-recorder"}));
  EXPECT_NE(InstallCameraProvider(nullptr), nullptr);
  EXPECT_TRUE(ListCameras().empty());  // the malformed fixture again
}

TEST(DeviceLookup, V4l2ListingSkipsWhatIsNotACamera) {
  // This machine has no camera; a folder of ordinary files named like device nodes, a missing
  // folder and the real /dev must all list cleanly.
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  WriteFile(folder.path() + "/video0", "not a device");
  WriteFile(folder.path() + "/videoX", "");
  EXPECT_TRUE(V4l2CameraProvider(folder.path()).ListCameras().empty());
  EXPECT_TRUE(V4l2CameraProvider("/nonexistent").ListCameras().empty());
  for (const CameraDevice& camera : V4l2CameraProvider().ListCameras()) {
    EXPECT_FALSE(camera.name.isEmpty());
    EXPECT_TRUE(camera.devicePath.startsWith("/dev/video"));
  }
}

}  // namespace
}  // namespace vortane::platform
