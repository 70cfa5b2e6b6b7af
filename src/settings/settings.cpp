#include "settings/settings.h"

#include "settings/capture_settings.h"

namespace vortane {
namespace {

// Flags were written as 0 or 1; anything else a foreign file holds counts as set.
bool Flag(std::int32_t value) {
  return value != 0;
}

std::int32_t FlagValue(bool on) {
  return on ? 1 : 0;
}

}  // namespace

bool Settings::FitsFolder(const QString& folder) {
  CaptureSettings scratch;
  return scratch.SetSaveFolder(folder);
}

bool Settings::FitsDeviceName(const QString& name) {
  CaptureSettings scratch;
  return scratch.SetVideoDevice(name);
}

bool Settings::FitsLiveUrl(const QString& url) {
  CaptureSettings scratch;
  return scratch.SetLiveUrl(url);
}

bool Settings::FitsServer(const QString& server) {
  CaptureSettings scratch;
  return scratch.SetPlatformServer(server);
}

bool Settings::FitsAccountText(const QString& text) {
  CaptureSettings scratch;
  return scratch.SetPlatformUser(text);
}

Settings Settings::FromRecord(const CaptureSettings& record) {
  Settings s;
  s.videoBitrateKbps = record.videoBitrateKbps;
  s.audioBitrateKbps = record.audioBitrateKbps;
  s.frameRate = record.frameRate;
  s.outputWidth = record.outputWidth;
  s.outputHeight = record.outputHeight;
  s.soundSource = static_cast<SoundSource>(record.soundSource);
  s.saveFormat = static_cast<SaveFormat>(record.saveFormat);
  s.saveFolder = record.SaveFolder();
  s.videoDevice = record.VideoDevice();
  s.audioDevice = record.AudioDevice();
  s.cameraWidth = record.cameraWidth;
  s.cameraHeight = record.cameraHeight;
  s.hideOnStart = Flag(record.hideOnStart);
  s.liveEnabled = Flag(record.liveEnabled);
  s.liveUrl = record.LiveUrl();
  s.fluencyFirst = Flag(record.fluencyFirst);
  s.platformServer = record.PlatformServer();
  s.platformUser = record.PlatformUser();
  s.platformPassword = record.PlatformPassword();
  s.rememberPassword = Flag(record.rememberPassword);
  s.videoSource = static_cast<VideoSource>(record.videoSource);
  s.noiseReduction = Flag(record.noiseReduction);
  return s;
}

CaptureSettings Settings::ToRecord() const {
  CaptureSettings r;
  r.videoBitrateKbps = videoBitrateKbps;
  r.audioBitrateKbps = audioBitrateKbps;
  r.frameRate = frameRate;
  r.outputWidth = outputWidth;
  r.outputHeight = outputHeight;
  r.soundSource = static_cast<std::int32_t>(soundSource);
  r.saveFormat = static_cast<std::int32_t>(saveFormat);
  r.SetSaveFolder(saveFolder);
  r.SetVideoDevice(videoDevice);
  r.SetAudioDevice(audioDevice);
  r.cameraWidth = cameraWidth;
  r.cameraHeight = cameraHeight;
  r.hideOnStart = FlagValue(hideOnStart);
  r.liveEnabled = FlagValue(liveEnabled);
  r.SetLiveUrl(liveUrl);
  r.fluencyFirst = FlagValue(fluencyFirst);
  r.SetPlatformServer(platformServer);
  r.SetPlatformUser(platformUser);
  r.SetPlatformPassword(platformPassword);
  r.rememberPassword = FlagValue(rememberPassword);
  r.videoSource = static_cast<std::int32_t>(videoSource);
  r.noiseReduction = FlagValue(noiseReduction);
  return r;
}

Settings LoadSettings() {
  return Settings::FromRecord(LoadCaptureSettingsFrom(ConfigFilePath()));
}

bool SaveSettings(const Settings& settings) {
  return SaveCaptureSettings(settings.ToRecord());
}

}  // namespace vortane
