#include "settings/setup_choices.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "platform/code_page.h"
#include "settings/settings.h"

namespace vortane {
namespace {

// The folder edit takes fewer characters than the record's field has bytes.
constexpr int kMaxFolderCharacters = 254;

template <typename Choice>
int ClampIndex(const std::vector<Choice>& choices, int index) {
  return PositionOrFirst(index, static_cast<int>(choices.size()));
}

// True when the GBK form of `text` gives back the same text: a character GBK cannot hold would
// be stored as '?', which names another folder or address.
bool SurvivesAnsi(const QString& text) {
  return platform::AnsiToWide(platform::WideToAnsi(text)) == text;
}

}  // namespace

std::vector<ValueChoice> SaveFormatChoices() {
  return {{QStringLiteral("MP4格式文件"), 0}, {QStringLiteral("TS格式文件"), 1}};
}

std::vector<SizeChoice> OutputSizeChoices() {
  std::vector<SizeChoice> choices{{QStringLiteral("原画幅（推荐）"), 0, 0}};
  for (auto [width, height] : {std::pair{1920, 1080}, {1280, 720}, {960, 540}})
    choices.push_back({QStringLiteral("%1x%2").arg(width).arg(height), width, height});
  return choices;
}

std::vector<ValueChoice> VideoBitrateChoices() {
  return {{QStringLiteral("默认"), 0},       {QStringLiteral("4Mbps"), 4000},
          {QStringLiteral("3Mbps"), 3000},   {QStringLiteral("2.5Mbps"), 2500},
          {QStringLiteral("2Mbps"), 2000},   {QStringLiteral("1.8Mbps"), 1800},
          {QStringLiteral("1.5Mbps"), 1500}, {QStringLiteral("1.2Mbps"), 1200},
          {QStringLiteral("1Mbps"), 1000},   {QStringLiteral("0.8Mbps"), 800}};
}

std::vector<ValueChoice> FrameRateChoices() {
  return {{QStringLiteral("默认"), 0},
          {QStringLiteral("25帧"), 25},
          {QStringLiteral("20帧"), 20},
          {QStringLiteral("15帧"), 15},
          {QStringLiteral("10帧"), 10}};
}

std::vector<ValueChoice> AudioBitrateChoices() {
  return {{QStringLiteral("默认"), 0},
          {QStringLiteral("64Kbps"), 64},
          {QStringLiteral("96Kbps"), 96},
          {QStringLiteral("128Kbps"), 128}};
}

std::vector<ValueChoice> SoundSourceChoices() {
  return {{QStringLiteral("麦克风"), 0},
          {QStringLiteral("扬声器"), 1},
          {QStringLiteral("麦克风+扬声器"), 2}};
}

std::vector<ValueChoice> VideoSourceChoices() {
  return {{QStringLiteral("电脑桌面"), 0}, {QStringLiteral("摄像头（或采集卡）"), 1}};
}

int LastMatchOrFirst(const std::vector<ValueChoice>& choices, int value) {
  int found = 0;
  for (int i = 0; i < static_cast<int>(choices.size()); ++i)
    if (choices[i].value == value) found = i;
  return found;
}

int LastWidthMatchOrFirst(const std::vector<SizeChoice>& choices, int width) {
  int found = 0;
  for (int i = 0; i < static_cast<int>(choices.size()); ++i)
    if (choices[i].width == width) found = i;
  return found;
}

int PositionOrFirst(int position, int count) {
  return position >= 0 && position < count ? position : 0;
}

QStringList DeviceListEntries(const QStringList& names, const QString& excluded) {
  QStringList entries;
  for (const QString& name : names)
    if (!name.contains(excluded)) entries.append(name);
  // Ties between names that differ only in case keep a fixed order, so the list never reshuffles.
  std::stable_sort(entries.begin(), entries.end(), [](const QString& a, const QString& b) {
    int byLetters = a.compare(b, Qt::CaseInsensitive);
    return byLetters != 0 ? byLetters < 0 : a < b;
  });
  return entries;
}

int FindPrefixEntry(const QStringList& entries, const QString& text) {
  const int count = static_cast<int>(entries.size());
  if (text.isEmpty() || count == 0) return -1;
  for (int step = 1; step <= count; ++step) {
    int index = step % count;
    if (entries[index].startsWith(text, Qt::CaseInsensitive)) return index;
  }
  return -1;
}

int FindDeviceEntry(const QStringList& entries, const QString& name) {
  if (name.isEmpty()) return -1;
  int exact = static_cast<int>(entries.indexOf(name));
  return exact >= 0 ? exact : FindPrefixEntry(entries, name);
}

QString RemoveTrailingSeparators(const QString& path) {
  QString result = path;
  while (result.size() > 1 && result.endsWith(QLatin1Char('/')))
    result.chop(1);
  return result;
}

bool IsAcceptedLiveUrl(const QString& url) {
  return url.isEmpty() || url.startsWith(QLatin1String("rtmp://")) ||
         url.startsWith(QLatin1String("udp://"));
}

std::optional<SetupRefusal> ApplySetupInput(const SetupInput& input, Settings& settings) {
  // Folder: an existing folder, stored without trailing separators. A relative path would depend
  // on the program's current folder, so it is stored as the absolute path it names now.
  const QString& folderText = input.folderText;
  QFileInfo folder(folderText);
  if (folderText.isEmpty() || folderText.size() > kMaxFolderCharacters || !folder.isDir())
    return SetupRefusal{SetupField::kFolder, QString::fromUtf8(kFolderMissingMessage)};
  QString folderPath = RemoveTrailingSeparators(
      folder.isRelative() ? QDir::cleanPath(folder.absoluteFilePath()) : folderText);
  if (!SurvivesAnsi(folderPath))
    return SetupRefusal{SetupField::kFolder, QString::fromUtf8(kFolderUnsavableMessage)};
  if (!Settings::FitsFolder(folderPath))
    return SetupRefusal{SetupField::kFolder, QString::fromUtf8(kFolderTooLongMessage)};
  settings.saveFolder = folderPath;

  const auto sizes = OutputSizeChoices();
  const SizeChoice& size = sizes[ClampIndex(sizes, input.outputSizeIndex)];
  settings.outputWidth = size.width;
  settings.outputHeight = size.height;
  const auto videoBitrates = VideoBitrateChoices();
  settings.videoBitrateKbps =
      videoBitrates[ClampIndex(videoBitrates, input.videoBitrateIndex)].value;
  const auto frameRates = FrameRateChoices();
  settings.frameRate = frameRates[ClampIndex(frameRates, input.frameRateIndex)].value;
  const auto audioBitrates = AudioBitrateChoices();
  settings.audioBitrateKbps =
      audioBitrates[ClampIndex(audioBitrates, input.audioBitrateIndex)].value;
  const auto formats = SaveFormatChoices();
  settings.saveFormat =
      static_cast<SaveFormat>(formats[ClampIndex(formats, input.saveFormatIndex)].value);
  const auto soundSources = SoundSourceChoices();
  settings.soundSource = static_cast<SoundSource>(
      soundSources[ClampIndex(soundSources, input.soundSourceIndex)].value);

  if (input.selectedCamera) {
    if (!Settings::FitsDeviceName(*input.selectedCamera))
      return SetupRefusal{SetupField::kCamera, QString::fromUtf8(kCameraNameTooLongMessage)};
    settings.videoDevice = *input.selectedCamera;
  }

  if (input.selectedMicrophone) {
    if (!Settings::FitsDeviceName(*input.selectedMicrophone))
      return SetupRefusal{SetupField::kMicrophone,
                          QString::fromUtf8(kMicrophoneNameTooLongMessage)};
    settings.audioDevice = *input.selectedMicrophone;
  } else if (settings.soundSource == SoundSource::kMicrophone) {
    return SetupRefusal{SetupField::kMicrophone, QString::fromUtf8(kNoMicrophoneMessage)};
  }

  const auto videoSources = VideoSourceChoices();
  settings.videoSource = static_cast<VideoSource>(
      videoSources[ClampIndex(videoSources, input.videoSourceIndex)].value);
  if (settings.videoSource == VideoSource::kCamera && settings.videoDevice.isEmpty())
    return SetupRefusal{SetupField::kVideoSource, QString::fromUtf8(kNoCameraMessage)};

  if (input.chosenCameraWidth > 0 && input.chosenCameraHeight > 0) {
    settings.cameraWidth = input.chosenCameraWidth;
    settings.cameraHeight = input.chosenCameraHeight;
  }

  settings.hideOnStart = input.hideOnStart;

  // With live off the address and the fluency choice stay as they were, for the next time.
  if (input.liveEnabled) {
    settings.liveEnabled = true;
    const QString& url = input.liveUrlText;
    if (!IsAcceptedLiveUrl(url))
      return SetupRefusal{SetupField::kLiveUrl, QString::fromUtf8(kBadLiveUrlMessage)};
    if (!SurvivesAnsi(url))
      return SetupRefusal{SetupField::kLiveUrl, QString::fromUtf8(kLiveUrlUnsavableMessage)};
    if (!Settings::FitsLiveUrl(url))
      return SetupRefusal{SetupField::kLiveUrl, QString::fromUtf8(kLiveUrlTooLongMessage)};
    settings.liveUrl = url;
    settings.fluencyFirst = input.fluencyFirst;
  } else {
    settings.liveEnabled = false;
  }

  settings.noiseReduction = input.noiseReduction;
  return std::nullopt;
}

}  // namespace vortane
