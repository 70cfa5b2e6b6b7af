#pragma once

#include <QString>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vortane {

// The persisted settings record: a raw little-endian image of exactly 1980 bytes, stored in
// config.cfg. Narrow strings are GBK, wide strings UTF-16LE, both NUL-terminated in their field.
// Flags are written as 0 or 1 only.
struct CaptureSettings {
  std::int32_t videoBitrateKbps = 0;
  std::int32_t audioBitrateKbps = 0;
  std::int32_t frameRate = 0;
  std::int32_t outputWidth = 0;
  std::int32_t outputHeight = 0;
  std::int32_t soundSource = 0;  // 0 microphone, 1 speaker, 2 both mixed
  std::int32_t saveFormat = 0;   // 0 MP4, 1 MPEG-TS
  char saveFolder[256] = {};
  char16_t videoDevice[256] = {};
  char16_t audioDevice[256] = {};
  std::int32_t cameraWidth = 0;
  std::int32_t cameraHeight = 0;
  std::int32_t hideOnStart = 0;
  std::int32_t liveEnabled = 0;
  char liveUrl[256] = {};
  std::int32_t fluencyFirst = 0;
  char platformServer[256] = {};
  char platformUser[64] = {};
  char platformPassword[64] = {};
  std::int32_t rememberPassword = 0;
  std::int32_t videoSource = 0;  // 0 desktop, 1 camera
  std::int32_t noiseReduction = 0;

  // Typed access to the string fields. The setters refuse (return false, field unchanged) a
  // value that does not fit its field with its terminator; they never cut.
  QString SaveFolder() const;
  bool SetSaveFolder(const QString& folder);
  QString VideoDevice() const;
  bool SetVideoDevice(const QString& name);
  QString AudioDevice() const;
  bool SetAudioDevice(const QString& name);
  QString LiveUrl() const;
  bool SetLiveUrl(const QString& url);
  QString PlatformServer() const;
  bool SetPlatformServer(const QString& server);
  QString PlatformUser() const;
  bool SetPlatformUser(const QString& user);
  QString PlatformPassword() const;
  bool SetPlatformPassword(const QString& password);
};

inline constexpr std::size_t kCaptureSettingsSize = 1980;
static_assert(std::endian::native == std::endian::little, "config.cfg is a little-endian image");
static_assert(sizeof(CaptureSettings) == kCaptureSettingsSize);
static_assert(offsetof(CaptureSettings, saveFolder) == 28);
static_assert(offsetof(CaptureSettings, videoDevice) == 284);
static_assert(offsetof(CaptureSettings, audioDevice) == 796);
static_assert(offsetof(CaptureSettings, cameraWidth) == 1308);
static_assert(offsetof(CaptureSettings, liveUrl) == 1324);
static_assert(offsetof(CaptureSettings, fluencyFirst) == 1580);
static_assert(offsetof(CaptureSettings, platformServer) == 1584);
static_assert(offsetof(CaptureSettings, platformUser) == 1840);
static_assert(offsetof(CaptureSettings, platformPassword) == 1904);
static_assert(offsetof(CaptureSettings, rememberPassword) == 1968);
static_assert(offsetof(CaptureSettings, videoSource) == 1972);
static_assert(offsetof(CaptureSettings, noiseReduction) == 1976);

// Writes the record to config.cfg (replacing it atomically, mode 0600); false when it could not
// be written, in which case the old file is left as it was.
bool SaveCaptureSettings(const CaptureSettings& settings);

// The path of config.cfg in the user data folder.
QString ConfigFilePath();

// Reads a record from `path`; missing or short files leave the rest zero.
CaptureSettings LoadCaptureSettingsFrom(const QString& path);
bool SaveCaptureSettingsTo(const CaptureSettings& settings, const QString& path);

}  // namespace vortane
