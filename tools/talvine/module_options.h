#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <optional>

namespace talvine {

// The module's command line: --url=ADDRESS --width=N --height=N --xpos=N --ypos=N --lock-view.
// Every option may be missing; unknown ones are ignored (a newer program may pass more).
struct ModuleOptions {
  QString url;
  std::optional<int> width;
  std::optional<int> height;
  std::optional<int> xpos;
  std::optional<int> ypos;
  bool lockView = false;
};

// `arguments` without the program name.
ModuleOptions ParseModuleOptions(const QStringList& arguments);

// Where the window goes on a screen whose free area is `available`: the size and place the
// options ask for (a default for what they leave out: 400 × 600 at the right edge, below the
// toolbar), kept whole on the screen.
QRect PlaceModuleWindow(const ModuleOptions& options, const QRect& available);

}  // namespace talvine
