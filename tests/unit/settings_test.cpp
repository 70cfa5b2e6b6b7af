#include "settings/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

#include "platform/code_page.h"
#include "settings/capture_settings.h"
#include "support/files.h"

namespace vortane {
namespace {

using test::ReadBytes;
using test::WriteBytes;

void PutInt(QByteArray& record, int offset, int32_t value) {
  std::memcpy(record.data() + offset, &value, 4);
}

TEST(CaptureSettings, FirstRunDefaultsAndRoundTrip) {
  QTemporaryDir dir;
  QString path = dir.filePath("config.cfg");
  CaptureSettings fresh = LoadCaptureSettingsFrom(path);
  EXPECT_EQ(fresh.videoSource, 0);
  EXPECT_EQ(fresh.soundSource, 0);
  EXPECT_EQ(fresh.saveFormat, 0);
  EXPECT_EQ(fresh.frameRate, 0);
  EXPECT_EQ(fresh.liveEnabled, 0);
  EXPECT_TRUE(fresh.SaveFolder().isEmpty());
  EXPECT_TRUE(fresh.PlatformUser().isEmpty());

  CaptureSettings s;
  s.videoBitrateKbps = 2500;
  s.frameRate = 25;
  s.soundSource = 2;
  s.liveEnabled = 1;
  ASSERT_TRUE(s.SetSaveFolder(QString::fromUtf8("/home/老师/录像")));
  ASSERT_TRUE(s.SetAudioDevice(QString::fromUtf8("麦克风 (USB Audio)")));
  ASSERT_TRUE(s.SetVideoDevice(QStringLiteral("HD Webcam C920")));
  ASSERT_TRUE(s.SetLiveUrl(QStringLiteral("rtmp://127.0.0.1/live/a")));
  ASSERT_TRUE(SaveCaptureSettingsTo(s, path));
  EXPECT_EQ(ReadBytes(path).size(), 1980);  // no 0x0A byte in this record

  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600) << "config.cfg may hold a password";

  CaptureSettings back = LoadCaptureSettingsFrom(path);
  EXPECT_EQ(std::memcmp(&back, &s, sizeof(s)), 0);
  EXPECT_EQ(back.SaveFolder(), QString::fromUtf8("/home/老师/录像"));
  EXPECT_EQ(back.AudioDevice(), QString::fromUtf8("麦克风 (USB Audio)"));
  // The narrow folder is GBK on disk: 老 is 0xC0 0xCF.
  QByteArray bytes = ReadBytes(path);
  EXPECT_TRUE(bytes.mid(28, 20).contains(QByteArray("\xC0\xCF")));
}

TEST(Settings, TypedValuesOfTheRecordAndBack) {
  CaptureSettings record;
  record.frameRate = 10;
  record.soundSource = 2;
  record.saveFormat = 1;
  record.videoSource = 1;
  record.cameraWidth = 1280;
  record.hideOnStart = 1;
  record.rememberPassword = 1;
  ASSERT_TRUE(record.SetSaveFolder(QString::fromUtf8("/home/老师/录像")));
  ASSERT_TRUE(record.SetVideoDevice(QStringLiteral("HD Webcam C920")));
  ASSERT_TRUE(record.SetPlatformPassword(QStringLiteral("secret")));

  const Settings s = Settings::FromRecord(record);
  EXPECT_EQ(s.frameRate, 10);
  EXPECT_EQ(s.soundSource, SoundSource::kBoth);
  EXPECT_EQ(s.saveFormat, SaveFormat::kTs);
  EXPECT_EQ(s.videoSource, VideoSource::kCamera);
  EXPECT_EQ(s.cameraWidth, 1280);
  EXPECT_TRUE(s.hideOnStart);
  EXPECT_FALSE(s.liveEnabled);
  EXPECT_TRUE(s.rememberPassword);
  EXPECT_EQ(s.saveFolder, QString::fromUtf8("/home/老师/录像"));
  EXPECT_EQ(s.videoDevice, QStringLiteral("HD Webcam C920"));
  EXPECT_EQ(s.platformPassword, QStringLiteral("secret"));
  const CaptureSettings back = s.ToRecord();
  EXPECT_EQ(std::memcmp(&back, &record, sizeof(record)), 0) << "the same 1980 bytes";

  // A flag a foreign file holds as 2 counts as set and is written as 1; a text too long for its
  // field is refused, never cut into the record.
  record.liveEnabled = 2;
  Settings changed = Settings::FromRecord(record);
  EXPECT_TRUE(changed.liveEnabled);
  EXPECT_EQ(changed.ToRecord().liveEnabled, 1);
  const QString longUrl = QStringLiteral("rtmp://") + QString(300, QLatin1Char('a'));
  EXPECT_FALSE(Settings::FitsLiveUrl(longUrl));
  EXPECT_TRUE(Settings::FitsLiveUrl(QStringLiteral("rtmp://127.0.0.1/live/a")));
  changed.liveUrl = longUrl;
  EXPECT_EQ(changed.ToRecord().LiveUrl(), QString());
}

TEST(CaptureSettings, LineFeedBytesAreStoredAsCrLf) {
  QTemporaryDir dir;
  QString path = dir.filePath("config.cfg");
  CaptureSettings s;
  s.frameRate = 10;  // the byte 0x0A
  ASSERT_TRUE(SaveCaptureSettingsTo(s, path));
  QByteArray bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 1981);
  EXPECT_EQ(bytes.mid(8, 2), QByteArray("\r\n"));
  EXPECT_EQ(LoadCaptureSettingsFrom(path).frameRate, 10);

  // A record that itself holds 0x0D 0x0A survives the translation too.
  s.videoBitrateKbps = 0x0A0D;
  ASSERT_TRUE(SaveCaptureSettingsTo(s, path));
  EXPECT_EQ(ReadBytes(path).size(), 1982);
  EXPECT_EQ(LoadCaptureSettingsFrom(path).videoBitrateKbps, 0x0A0D);
}

TEST(CaptureSettings, ShortMissingAndWindowsFiles) {
  QTemporaryDir dir;
  // A 100-byte file: the folder is cut where the file ends, later fields stay zero.
  QByteArray shortFile(100, 'A');
  PutInt(shortFile, 8, 15);
  WriteBytes(dir.filePath("short.cfg"), shortFile);
  CaptureSettings s = LoadCaptureSettingsFrom(dir.filePath("short.cfg"));
  EXPECT_EQ(s.frameRate, 15);
  EXPECT_EQ(s.SaveFolder(), QString(72, 'A'));
  EXPECT_EQ(s.videoDevice[0], 0);
  EXPECT_EQ(s.noiseReduction, 0);

  EXPECT_EQ(LoadCaptureSettingsFrom(dir.filePath("missing.cfg")).videoBitrateKbps, 0);

  // A file as a Windows install writes it, built byte by byte.
  QByteArray record(1980, '\0');
  PutInt(record, 0, 3000);
  PutInt(record, 8, 10);
  PutInt(record, 12, 1280);
  PutInt(record, 16, 720);
  PutInt(record, 20, 2);
  QByteArray folder("D:\\\xC2\xBC\xCF\xF1");  // D:\录像 in GBK
  record.replace(28, folder.size(), folder);
  const char16_t camera[] = u"USB 视频设备";
  std::memcpy(record.data() + 284, camera, sizeof(camera));
  PutInt(record, 1320, 1);
  QByteArray url("rtmp://live.example.cn/app/stream");
  record.replace(1324, url.size(), url);
  PutInt(record, 1972, 1);
  QByteArray onDisk = record;
  onDisk.replace("\n", "\r\n");
  WriteBytes(dir.filePath("windows.cfg"), onDisk);
  CaptureSettings w = LoadCaptureSettingsFrom(dir.filePath("windows.cfg"));
  EXPECT_EQ(w.videoBitrateKbps, 3000);
  EXPECT_EQ(w.frameRate, 10);
  EXPECT_EQ(w.outputWidth, 1280);
  EXPECT_EQ(w.soundSource, 2);
  EXPECT_EQ(w.SaveFolder(), QString::fromUtf8("D:\\录像"));
  EXPECT_EQ(w.VideoDevice(), QString::fromUtf8("USB 视频设备"));
  EXPECT_EQ(w.LiveUrl(), QString::fromLatin1(url));
  EXPECT_EQ(w.videoSource, 1);
  // And what we write is what Windows would have written.
  ASSERT_TRUE(SaveCaptureSettingsTo(w, dir.filePath("again.cfg")));
  EXPECT_EQ(ReadBytes(dir.filePath("again.cfg")), onDisk);
}

TEST(CaptureSettings, FailedSaveKeepsOldFileAndOverlongValuesAreRefused) {
  QTemporaryDir dir;
  QString path = dir.filePath("config.cfg");
  CaptureSettings s;
  s.frameRate = 20;
  ASSERT_TRUE(SaveCaptureSettingsTo(s, path));
  QFile::setPermissions(path, QFileDevice::ReadOwner);
  s.frameRate = 25;
  EXPECT_FALSE(SaveCaptureSettingsTo(s, path));
  EXPECT_EQ(LoadCaptureSettingsFrom(path).frameRate, 20);
  EXPECT_FALSE(SaveCaptureSettingsTo(s, dir.filePath("no/such/folder/config.cfg")));
  // No temporary file is left behind.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);

  CaptureSettings t;
  ASSERT_TRUE(t.SetSaveFolder(QString(255, 'x')));
  EXPECT_FALSE(t.SetSaveFolder(QString(256, 'y')));
  EXPECT_EQ(t.SaveFolder(), QString(255, 'x'));
  // 128 Chinese characters are 256 GBK bytes: too long although fewer than 255 characters.
  EXPECT_FALSE(t.SetSaveFolder(QString(128, QChar(0x8001))));
  EXPECT_TRUE(t.SetSaveFolder(QString(127, QChar(0x8001))));
  EXPECT_FALSE(t.SetVideoDevice(QString(256, 'c')));
  EXPECT_TRUE(t.SetVideoDevice(QString(255, 'c')));
  EXPECT_FALSE(t.SetPlatformUser(QString(64, 'u')));
  EXPECT_FALSE(t.SetLiveUrl(QString::fromUtf16(u"rtmp://a\0b", 10)));
}

TEST(CodePage, GbkConversions) {
  using namespace platform;
  QString chinese = QString::fromUtf8("创建进程失败");
  std::string gbk = WideToAnsi(chinese);
  EXPECT_EQ(gbk, "\xB4\xB4\xBD\xA8\xBD\xF8\xB3\xCC\xCA\xA7\xB0\xDC");
  EXPECT_EQ(AnsiToWide(gbk), chinese);
  EXPECT_EQ(WideToAnsi(QString::fromUtf8("a😀b")), "a??b");
  EXPECT_EQ(AnsiToWide(std::string("a\xFF"
                                   "b")),
            QString::fromUtf8("a\uFFFDb"));
  EXPECT_EQ(AnsiPrefixLength(gbk, 5), 4u);
  EXPECT_EQ(AnsiPrefixLength("abc", 5), 3u);
}

}  // namespace
}  // namespace vortane
