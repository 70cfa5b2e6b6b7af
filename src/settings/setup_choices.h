#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace vortane {

struct Settings;

// The fixed choices of the settings dialog and the rules that pick and store them. Kept free of
// widgets so that every rule can be checked without a window.

// One entry of a fixed list: what the user sees and what the settings record keeps.
struct ValueChoice {
  QString label;
  int value = 0;
};

// One entry of the output size list; 0 × 0 keeps the captured size.
struct SizeChoice {
  QString label;
  int width = 0;
  int height = 0;
};

// The tables, in the order the lists show them. For save format, sound source and video source
// the position in the list is what is stored, and the value equals the position.
std::vector<ValueChoice> SaveFormatChoices();
std::vector<SizeChoice> OutputSizeChoices();
std::vector<ValueChoice> VideoBitrateChoices();
std::vector<ValueChoice> FrameRateChoices();
std::vector<ValueChoice> AudioBitrateChoices();
std::vector<ValueChoice> SoundSourceChoices();
std::vector<ValueChoice> VideoSourceChoices();

// The last entry whose value equals `value`, or the first entry when none does (a value the
// list does not offer shows as its first entry, "默认" or "原画幅（推荐）").
int LastMatchOrFirst(const std::vector<ValueChoice>& choices, int value);
int LastWidthMatchOrFirst(const std::vector<SizeChoice>& choices, int width);
// A stored position, or the first entry when a damaged record holds one the list does not have.
int PositionOrFirst(int position, int count);

// The entries of a device list: `names` without every name containing `excluded` (a virtual
// device with a fixed role), in alphabetical order regardless of case.
QStringList DeviceListEntries(const QStringList& names, const QString& excluded);

// The list's own prefix search: the first entry that begins with `text`, ignoring case, searching
// from the second entry onwards and wrapping round to the first; -1 when none matches or `text`
// is empty.
int FindPrefixEntry(const QStringList& entries, const QString& text);
// The entry for a stored device name: the entry that is exactly `name`, else the prefix search.
// The exact match comes first so that "Cam" is not shown as "Cam 2" when both exist.
int FindDeviceEntry(const QStringList& entries, const QString& name);

// `path` without trailing '/' characters; the root folder stays "/".
QString RemoveTrailingSeparators(const QString& path);

// A push address the settings accept: empty, or beginning with "rtmp://" or "udp://" exactly.
bool IsAcceptedLiveUrl(const QString& url);

// What the user left in the dialog when pressing OK.
struct SetupInput {
  QString folderText;
  int saveFormatIndex = 0;
  int outputSizeIndex = 0;
  int videoBitrateIndex = 0;
  int frameRateIndex = 0;
  int audioBitrateIndex = 0;
  int soundSourceIndex = 0;
  int videoSourceIndex = 0;
  std::optional<QString> selectedCamera;      // none when the camera list has no selection
  std::optional<QString> selectedMicrophone;  // none when the microphone list has no selection
  int chosenCameraWidth = 0;
  int chosenCameraHeight = 0;
  bool hideOnStart = false;
  bool liveEnabled = false;
  QString liveUrlText;
  bool fluencyFirst = false;
  bool noiseReduction = false;
};

// The control that holds a refused value, so the dialog can put the focus there.
enum class SetupField { kFolder, kCamera, kMicrophone, kVideoSource, kLiveUrl };

struct SetupRefusal {
  SetupField field;
  QString message;
};

inline constexpr char kFolderMissingMessage[] = "目标目录不存在！";
inline constexpr char kFolderTooLongMessage[] = "存放目录路径过长，请选择较短的路径！";
inline constexpr char kFolderUnsavableMessage[] =
    "存放目录路径中含有无法保存的字符，请选择其他目录！";
inline constexpr char kNoMicrophoneMessage[] = "请选择录音设备！";
inline constexpr char kMicrophoneNameTooLongMessage[] = "录音设备名称过长，无法保存！";
inline constexpr char kNoCameraMessage[] = "请选择采集视频的摄像头或采集卡！";
inline constexpr char kCameraNameTooLongMessage[] = "摄像头名称过长，无法保存！";
inline constexpr char kBadLiveUrlMessage[] = "请输入有效的直播地址！软件支持UDP协议和RTMP协议。";
inline constexpr char kLiveUrlTooLongMessage[] = "直播地址过长！";
inline constexpr char kLiveUrlUnsavableMessage[] = "直播地址中含有无法保存的字符！";

// OK's checks and stores, in this order: folder, the list values, camera, microphone, video
// source, camera size, check boxes and push address. Changes `settings` (a scratch copy) and
// returns the first refusal, if any; after a refusal the copy is half-changed and must be thrown
// away. Never touches the account fields.
std::optional<SetupRefusal> ApplySetupInput(const SetupInput& input, Settings& settings);

}  // namespace vortane
