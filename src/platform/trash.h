#pragma once

#include <QString>

// Deleting a user's file the way the desktop does: into the freedesktop trash, so a wrong click
// can be undone.
namespace vortane::platform {

// Moves the file to the trash; where no trash can take it, removes it for good. False when the
// file could be neither moved nor removed.
bool MoveToTrashOrRemove(const QString& path);

}  // namespace vortane::platform
