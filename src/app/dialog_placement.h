#pragma once

class QWidget;

namespace vortane {

// Centred on a thin toolbar at the top of the screen, a dialog would hide it: it opens just
// below the toolbar instead, kept on the toolbar's screen.
void PlaceBelowToolbar(const QWidget& toolbar, QWidget& dialog);

}  // namespace vortane
