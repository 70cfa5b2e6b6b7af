#pragma once

#include <QString>
#include <functional>

// What the start-up check tests before the toolbar comes into view: the encoder beside the
// program and the two virtual sources it records from.
namespace vortane {

inline constexpr char kEncoderProgram[] = "vortenc";

struct InstallationReport {
  // vortenc is an executable file in the program folder and it has an ffmpeg to run.
  bool encoderInstalled = false;
  // "screen-capture-recorder" (an X display answers) and "virtual-audio-capturer" (the sound
  // server has a monitor of its default output) both exist.
  bool virtualSourcesInstalled = false;
  // The screen can be recorded: on a Wayland session that takes the desktop portal's screen
  // cast and PipeWire (an X11 grab there is black).
  bool screenRecordable = true;
  // Why not, in plain words for the teacher (shown in the check's log); empty when it can.
  QString screenProblem;
  // Something the teacher should know that does not stop the program (shown in the log).
  QString note;
  // What is missing, in words for whoever installs the program; empty when nothing is.
  QString detail;

  bool Passed() const { return encoderInstalled && virtualSourcesInstalled && screenRecordable; }
};

// The note of a Wayland session whose desktop takes no global keys from the program.
QString NoGlobalShortcutsNote();

// A regular file this user may execute.
bool IsRunnableFile(const QString& path);

// The ffmpeg vortenc would run: VORTENC_FFMPEG (a path, or a name searched on PATH), else
// "ffmpeg" on PATH. Empty when there is none.
QString FindEncoderBackend();

// Tests the installation. It looks at files and asks the sound server (up to about two seconds)
// and, on a Wayland session, the desktop portal, so the toolbar runs it off the UI thread.
// `virtualSources` replaces the device test (tests).
InstallationReport CheckInstallation(const QString& programFolder,
                                     const std::function<bool()>& virtualSources = {});

}  // namespace vortane
