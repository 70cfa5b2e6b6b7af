#pragma once

#include <QString>

// A Wayland session, and what it offers for recording. There the X server (Xwayland) shows only
// X11 windows to a grab, and black where Wayland windows are, so the screen is recorded through
// the desktop portal's screen cast and PipeWire instead; the toolbar's own windows stay X11
// clients under Xwayland.
namespace vortane::platform {

// WAYLAND_DISPLAY is set, or XDG_SESSION_TYPE says "wayland".
bool IsWaylandSession();

struct WaylandRecording {
  bool screenCast = false;       // the desktop portal offers org.freedesktop.portal.ScreenCast
  bool pipeWire = false;         // PipeWire's socket accepts a connection
  bool globalShortcuts = false;  // the portal offers org.freedesktop.portal.GlobalShortcuts
};

// Asks the session bus (up to a few seconds when the portal has to start first): call it off
// the UI thread.
WaylandRecording QueryWaylandRecording();

// Where the portal's restore token is kept, so the teacher is asked to share the screen only once:
// a file in the per-user data folder.
QString ScreenCastTokenFile();

}  // namespace vortane::platform
