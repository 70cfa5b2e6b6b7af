#pragma once

#include <sys/types.h>

#include <QString>

// An encoder left running by an earlier run of the toolbar (it crashed or was killed while
// recording) still holds the camera and the sound devices; the toolbar ends it at start.
namespace vortane {

// The first encoder process of this user that was started on `display` (its DISPLAY), or 0.
// Encoders of other desktops belong to other toolbars (one runs per display) and are left alone;
// with no display there is nothing to match.
pid_t FindLeftoverEncoder(const QString& display);

// Ends the leftover encoder of this program's display, if there is one. Returns its id, or 0.
pid_t EndLeftoverEncoder();

}  // namespace vortane
