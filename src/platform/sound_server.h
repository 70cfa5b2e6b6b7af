#pragma once

#include <QString>
#include <chrono>
#include <vector>

namespace vortane::platform {

// One capture source of the sound server.
struct SoundSource {
  QString name;            // the server's name, which a recorder opens ("alsa_input...")
  QString description;     // the friendly name shown to the user
  bool isMonitor = false;  // the monitor of an output (what that output plays)
};

// What the PulseAudio server (the one PULSE_SERVER or the client configuration names) offers.
struct SoundServerInventory {
  bool reachable = false;
  std::vector<SoundSource> sources;  // in the server's order
  QString defaultSink;               // empty when the server has no default output
  QString defaultSinkMonitor;        // the source that records the default output
  QString error;                     // why the server could not be asked, when unreachable
};

inline constexpr std::chrono::milliseconds kSoundServerTimeout{2000};

// Asks the sound server for its sources and default output. Never starts a server and never
// waits longer than `timeout`: an absent or silent server gives an unreachable inventory.
// Safe on any thread (each call has its own connection).
SoundServerInventory QuerySoundServer(std::chrono::milliseconds timeout = kSoundServerTimeout);

}  // namespace vortane::platform
