#include "settings/capture_settings.h"

#include <cstring>
#include <memory>

#include "platform/code_page.h"
#include "platform/folders.h"
#include "platform/record_file.h"

namespace vortane {
namespace {

template <std::size_t N>
QString ReadNarrow(const char (&field)[N]) {
  return platform::AnsiToWide(std::string_view(field, strnlen(field, N)));
}

template <std::size_t N>
bool WriteNarrow(char (&field)[N], const QString& value) {
  std::string ansi = platform::WideToAnsi(value);
  // A NUL inside the value would silently cut it on the next load.
  if (ansi.size() >= N || ansi.find('\0') != std::string::npos) return false;
  std::memset(field, 0, N);
  std::memcpy(field, ansi.data(), ansi.size());
  return true;
}

template <std::size_t N>
QString ReadWide(const char16_t (&field)[N]) {
  std::size_t length = 0;
  while (length < N && field[length] != 0)
    ++length;
  return QString::fromUtf16(field, static_cast<qsizetype>(length));
}

template <std::size_t N>
bool WriteWide(char16_t (&field)[N], const QString& value) {
  if (static_cast<std::size_t>(value.size()) >= N || value.contains(QChar(0))) return false;
  std::memset(field, 0, sizeof(field));
  std::memcpy(field, value.utf16(), static_cast<std::size_t>(value.size()) * sizeof(char16_t));
  return true;
}

}  // namespace

QString CaptureSettings::SaveFolder() const {
  return ReadNarrow(saveFolder);
}
bool CaptureSettings::SetSaveFolder(const QString& folder) {
  return WriteNarrow(saveFolder, folder);
}
QString CaptureSettings::VideoDevice() const {
  return ReadWide(videoDevice);
}
bool CaptureSettings::SetVideoDevice(const QString& name) {
  return WriteWide(videoDevice, name);
}
QString CaptureSettings::AudioDevice() const {
  return ReadWide(audioDevice);
}
bool CaptureSettings::SetAudioDevice(const QString& name) {
  return WriteWide(audioDevice, name);
}
QString CaptureSettings::LiveUrl() const {
  return ReadNarrow(liveUrl);
}
bool CaptureSettings::SetLiveUrl(const QString& url) {
  return WriteNarrow(liveUrl, url);
}
QString CaptureSettings::PlatformServer() const {
  return ReadNarrow(platformServer);
}
bool CaptureSettings::SetPlatformServer(const QString& server) {
  return WriteNarrow(platformServer, server);
}
QString CaptureSettings::PlatformUser() const {
  return ReadNarrow(platformUser);
}
bool CaptureSettings::SetPlatformUser(const QString& user) {
  return WriteNarrow(platformUser, user);
}
QString CaptureSettings::PlatformPassword() const {
  return ReadNarrow(platformPassword);
}
bool CaptureSettings::SetPlatformPassword(const QString& password) {
  return WriteNarrow(platformPassword, password);
}

QString ConfigFilePath() {
  return GetUserDataFolder() + QStringLiteral("config.cfg");
}

CaptureSettings LoadCaptureSettingsFrom(const QString& path) {
  CaptureSettings settings;
  ReadRecordFile(path, &settings, sizeof(settings));
  return settings;
}

bool SaveCaptureSettingsTo(const CaptureSettings& settings, const QString& path) {
  return WriteRecordFile(path, &settings, sizeof(settings));
}

bool SaveCaptureSettings(const CaptureSettings& settings) {
  return SaveCaptureSettingsTo(settings, ConfigFilePath());
}

}  // namespace vortane
