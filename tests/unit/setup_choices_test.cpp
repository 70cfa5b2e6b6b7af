#include "settings/setup_choices.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "settings/settings.h"

namespace vortane {
namespace {

// "label=value" for every entry, in list order.
template <typename Choice>
QStringList Table(const std::vector<Choice>& choices) {
  QStringList entries;
  for (const Choice& c : choices) {
    if constexpr (requires { c.value; })
      entries.append(QStringLiteral("%1=%2").arg(c.label).arg(c.value));
    else
      entries.append(QStringLiteral("%1=%2x%3").arg(c.label).arg(c.width).arg(c.height));
  }
  return entries;
}

TEST(SetupChoices, TablesAndSelectionRules) {
  // How many entries each list has, and one of them as the user sees it with its value.
  const struct {
    QStringList table;
    qsizetype size;
    const char* entry;
  } lists[] = {
      {Table(SaveFormatChoices()), 2, "TS格式文件=1"},
      {Table(OutputSizeChoices()), 4, "原画幅（推荐）=0x0"},
      {Table(VideoBitrateChoices()), 10, "2.5Mbps=2500"},
      {Table(FrameRateChoices()), 5, "15帧=15"},
      {Table(AudioBitrateChoices()), 4, "默认=0"},
      {Table(SoundSourceChoices()), 3, "麦克风+扬声器=2"},
      {Table(VideoSourceChoices()), 2, "摄像头（或采集卡）=1"},
  };
  for (const auto& list : lists) {
    EXPECT_EQ(list.table.size(), list.size) << list.entry;
    EXPECT_TRUE(list.table.contains(QString::fromUtf8(list.entry))) << list.entry;
  }

  // Values the lists do not offer show as the first entry; with repeats the last match wins.
  EXPECT_EQ(LastWidthMatchOrFirst(OutputSizeChoices(), 1600), 0);
  EXPECT_EQ(LastWidthMatchOrFirst(OutputSizeChoices(), 1280), 2);
  EXPECT_EQ(LastWidthMatchOrFirst({{"a", 0, 0}, {"b", 1280, 720}, {"c", 1280, 1024}}, 1280), 2);
  EXPECT_EQ(LastMatchOrFirst(FrameRateChoices(), 30), 0);
  EXPECT_EQ(LastMatchOrFirst(FrameRateChoices(), 10), 4);
  EXPECT_EQ(LastMatchOrFirst({{"a", 5}, {"b", 7}, {"c", 5}}, 5), 2);
  // A damaged record's position falls back to the first entry instead of no selection.
  EXPECT_EQ(PositionOrFirst(1, 2), 1);
  EXPECT_EQ(PositionOrFirst(2, 2), 0);
  EXPECT_EQ(PositionOrFirst(-1, 3), 0);
}

TEST(SetupChoices, DeviceListsSeparatorsAndAddresses) {
  EXPECT_EQ(DeviceListEntries({"USB Camera", "screen-capture-recorder", "acme cam", "HD Webcam"},
                              "screen-capture-recorder"),
            QStringList({"acme cam", "HD Webcam", "USB Camera"}));
  EXPECT_EQ(DeviceListEntries({"b", "B", "a"}, "zzz"), QStringList({"a", "B", "b"}));

  // The prefix search ignores case, starts at the second entry and wraps round to the first.
  const QStringList entries{"Cam", "Cam 2", "Mic"};
  EXPECT_EQ(FindPrefixEntry(entries, "cam"), 1);
  EXPECT_EQ(FindPrefixEntry(entries, "MI"), 2);
  EXPECT_EQ(FindPrefixEntry({"Cam", "Mic"}, "ca"), 0);
  EXPECT_EQ(FindPrefixEntry(entries, "Camera"), -1);
  EXPECT_EQ(FindPrefixEntry(entries, ""), -1);
  EXPECT_EQ(FindPrefixEntry({}, "Cam"), -1);
  // A stored name that is exactly an entry selects that entry, not a longer name after it.
  EXPECT_EQ(FindDeviceEntry(entries, "Cam"), 0);
  EXPECT_EQ(FindDeviceEntry(entries, "cam"), 1);

  EXPECT_EQ(RemoveTrailingSeparators("/home/t/Videos///"), "/home/t/Videos");
  EXPECT_EQ(RemoveTrailingSeparators("/home/t/Videos"), "/home/t/Videos");
  EXPECT_EQ(RemoveTrailingSeparators("///"), "/");

  EXPECT_TRUE(IsAcceptedLiveUrl(""));
  EXPECT_TRUE(IsAcceptedLiveUrl("rtmp://127.0.0.1/live/a"));
  EXPECT_TRUE(IsAcceptedLiveUrl("udp://239.0.0.1:1234"));
  EXPECT_FALSE(IsAcceptedLiveUrl("RTMP://127.0.0.1/live/a"));
  EXPECT_FALSE(IsAcceptedLiveUrl(" rtmp://127.0.0.1/live/a"));
  EXPECT_FALSE(IsAcceptedLiveUrl("rtmp:/x"));
}

// What OK refuses on top of the dialog's own checks: values the record cannot hold.
TEST(SetupChoices, OkRefusesWhatTheRecordCannotHold) {
  QTemporaryDir dir;
  SetupInput input;
  input.selectedMicrophone = QStringLiteral("VirtualMic");
  Settings settings;
  auto refusal = [&](const QString& folder) {
    input.folderText = folder;
    std::optional<SetupRefusal> result = ApplySetupInput(input, settings);
    return result ? result->message : QString();
  };
  const QString missing = QString::fromUtf8(kFolderMissingMessage);

  // A file is no folder to record into.
  QFile file(dir.filePath("file"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  EXPECT_EQ(refusal(file.fileName()), missing);
  EXPECT_EQ(refusal(""), missing);

  // 254 characters pass the length test, 255 never do.
  QString path = dir.path();
  while (path.size() < 230)
    path += "/" + QString(18, QChar('d'));
  path += "/" + QString(253 - path.size(), QChar('e'));
  ASSERT_EQ(path.size(), 254);
  ASSERT_TRUE(QDir().mkpath(path));
  EXPECT_EQ(refusal(path), "");
  EXPECT_EQ(settings.saveFolder, path);
  EXPECT_EQ(refusal(path + "/"), missing);

  // A folder whose GBK form does not fit is refused, not cut; one GBK cannot spell is refused
  // rather than stored with '?' in it.
  QString wide = dir.path();
  while (wide.size() < 200)
    wide += "/" + QString(20, QChar(0x8BFE));  // 课, two bytes in GBK
  ASSERT_TRUE(QDir().mkpath(wide));
  EXPECT_EQ(refusal(wide), QString::fromUtf8(kFolderTooLongMessage));
  EXPECT_EQ(settings.saveFolder, path);
  ASSERT_TRUE(QDir().mkpath(dir.filePath("Ødegaard")));
  EXPECT_EQ(refusal(dir.filePath("Ødegaard")), QString::fromUtf8(kFolderUnsavableMessage));

  // A relative folder is stored as the folder it names now.
  ASSERT_TRUE(QDir().mkpath(dir.filePath("rel")));
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  EXPECT_EQ(refusal("rel/"), "");
  EXPECT_EQ(settings.saveFolder, dir.filePath("rel"));

  input.selectedCamera = QString(256, QChar('c'));
  EXPECT_EQ(refusal("/"), QString::fromUtf8(kCameraNameTooLongMessage));
  input.selectedCamera = QString(255, QChar('c'));
  input.selectedMicrophone = QString(256, QChar('m'));
  EXPECT_EQ(refusal("/"), QString::fromUtf8(kMicrophoneNameTooLongMessage));
  input.selectedMicrophone = QString(255, QChar('m'));
  input.liveEnabled = true;
  input.liveUrlText = "rtmp://" + QString(249, QChar('u'));  // 256 bytes
  EXPECT_EQ(refusal("/"), QString::fromUtf8(kLiveUrlTooLongMessage));
  input.liveUrlText = "rtmp://host/live/Ø";
  EXPECT_EQ(refusal("/"), QString::fromUtf8(kLiveUrlUnsavableMessage));
  input.liveUrlText = "rtmp://" + QString(248, QChar('u'));
  EXPECT_EQ(refusal("/"), "");
  EXPECT_EQ(settings.saveFolder, "/");
  EXPECT_EQ(settings.liveUrl.size(), 255);
  EXPECT_EQ(settings.videoDevice.size(), 255);
}

}  // namespace
}  // namespace vortane
