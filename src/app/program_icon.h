#pragma once

#include <QIcon>
#include <QImage>

namespace vortane {

// The program's icon (the toolbar's taskbar entry, the About box): a red recording dot in a
// ring on a dark rounded tile, drawn at the sizes window managers ask for.
QIcon ProgramIcon();

// The icon at one size (also drawn into the desktop's icon theme by the skin generator).
QImage PaintProgramIcon(int size);

}  // namespace vortane
