#pragma once

#include <QIcon>

namespace vortane {

// The program's icon (the toolbar's taskbar entry, the About box): a red recording dot in a
// ring on a dark rounded tile, drawn at the sizes window managers ask for.
QIcon ProgramIcon();

}  // namespace vortane
