#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "platform/camera_provider.h"
#include "platform/sound_server.h"

// The capture devices of the machine under the names the program and the encoder use:
// cameras are V4L2 devices named by their card name; sound sources are PulseAudio sources named
// by their description. Two virtual devices stand for the desktop and the speakers:
// "screen-capture-recorder" (video) exists while an X display is reachable, and
// "virtual-audio-capturer" (audio) while the sound server has a default output with a monitor.
//
// Tests without a camera set VORTANE_DEVICE_FIXTURE to a camera fixture file (format in
// platform/fixture_camera_provider.h), or install a provider in-process.
//
// Every lookup is bounded: the sound server is given at most about two seconds, and an absent
// display or sound server simply means no such devices.
namespace vortane::platform {

enum class DeviceCategory { kVideoInput, kAudioInput };

inline constexpr int kMaxListedDevices = 10;
// Longer names are left out of the lists: the settings could not keep them.
inline constexpr int kMaxDeviceNameLength = 511;
inline constexpr char kScreenCaptureDeviceName[] = "screen-capture-recorder";
inline constexpr char kSpeakerCaptureDeviceName[] = "virtual-audio-capturer";
inline constexpr char kDeviceFixtureVariable[] = "VORTANE_DEVICE_FIXTURE";

// The friendly names of one category, at most ten, in enumeration order; the virtual device of
// the category comes after the real ones. Callers filter the virtual names out where needed.
QStringList ListCaptureDevices(DeviceCategory category);
// The same lists, built from what was already asked for.
QStringList VideoDeviceNames(const std::vector<CameraDevice>& cameras, bool displayReachable);
QStringList AudioDeviceNames(const SoundServerInventory& inventory);

// True when both virtual devices exist (a display is reachable, and the sound server has a
// monitor of its default output).
bool AreVirtualFiltersInstalled();

// Every camera, from the installed provider, the fixture named by VORTANE_DEVICE_FIXTURE, or V4L2.
std::vector<CameraDevice> ListCameras();
// The first camera whose name is exactly `name` (case-sensitive), or nothing.
std::optional<CameraDevice> FindCamera(const QString& name);

// Replaces the camera source for this process (nullptr = back to the default) and returns the
// one installed before. For in-process tests.
std::unique_ptr<CameraProvider> InstallCameraProvider(std::unique_ptr<CameraProvider> provider);

// The sound source a friendly name stands for.
struct SoundSourceMatch {
  enum class Outcome { kFound, kNoSuchSource, kNoSpeakerMonitor, kNoSoundServer };
  Outcome outcome = Outcome::kNoSoundServer;
  QString pulseName;  // the source to record when found
  QString detail;     // why not, for an error message
};
// "virtual-audio-capturer" is the monitor of the default output; any other name is the first
// source whose description is exactly `name` (case-sensitive).
SoundSourceMatch FindSoundSource(const QString& name);
SoundSourceMatch FindSoundSource(const QString& name, const SoundServerInventory& inventory);

// $DISPLAY, and whether an X server answers there.
QString DisplayName();
bool IsDisplayReachable();

}  // namespace vortane::platform
