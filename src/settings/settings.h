#pragma once

#include <QString>

namespace vortane {

struct CaptureSettings;

// What the lesson's picture comes from.
enum class VideoSource { kDesktop = 0, kCamera = 1 };
// What the lesson's sound comes from: the chosen microphone, what the computer plays, or both.
enum class SoundSource { kMicrophone = 0, kSpeaker = 1, kBoth = 2 };
// The container of a finished recording.
enum class SaveFormat { kMp4 = 0, kTs = 1 };

// The teacher's settings as the program works with them. They are kept in config.cfg as the
// 1980-byte record (CaptureSettings), and turned into it only where they meet the file. The
// toolbar owns the one value of a run and hands it to whoever reads or changes it.
struct Settings {
  // 0 leaves the choice to the encoder (bit rates, frame rate) or keeps the captured size.
  int videoBitrateKbps = 0;
  int audioBitrateKbps = 0;
  int frameRate = 0;
  int outputWidth = 0;
  int outputHeight = 0;
  SoundSource soundSource = SoundSource::kMicrophone;
  SaveFormat saveFormat = SaveFormat::kMp4;
  // Without a trailing separator; empty until the settings were completed once.
  QString saveFolder;
  QString videoDevice;
  QString audioDevice;
  // The capture size the settings dialog's camera probe chose; 0 when none was.
  int cameraWidth = 0;
  int cameraHeight = 0;
  bool hideOnStart = false;
  bool liveEnabled = false;
  QString liveUrl;
  bool fluencyFirst = false;
  // The remembered platform login; the password only when it is to be remembered.
  QString platformServer;
  QString platformUser;
  QString platformPassword;
  bool rememberPassword = false;
  VideoSource videoSource = VideoSource::kDesktop;
  bool noiseReduction = false;

  bool operator==(const Settings&) const = default;

  // Whether a text fits its field of the record with its terminator (in GBK for the narrow
  // fields, UTF-16 for the device names). A text that does not fit is refused, never cut.
  static bool FitsFolder(const QString& folder);
  static bool FitsDeviceName(const QString& name);
  static bool FitsLiveUrl(const QString& url);
  static bool FitsServer(const QString& server);
  // The user name and the password share one width.
  static bool FitsAccountText(const QString& text);

  static Settings FromRecord(const CaptureSettings& record);
  // The record of these settings. A text that does not fit leaves its field empty.
  CaptureSettings ToRecord() const;
};

// Reads config.cfg; zeros (a first run) where the file has nothing.
Settings LoadSettings();
// Writes config.cfg; false when it could not be written (the old file stays as it was).
bool SaveSettings(const Settings& settings);

}  // namespace vortane
