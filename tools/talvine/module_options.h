#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <optional>

namespace talvine {

// The module's command line: --url=ADDRESS --width=N --height=N --xpos=N --ypos=N --lock-view.
struct ModuleOptions {
  QString url;
  std::optional<int> width;
  std::optional<int> height;
  std::optional<int> xpos;
  std::optional<int> ypos;
  bool lockView = false;
};

// `arguments` without the program name. Every option but --url may be missing; unknown ones are
// ignored (a newer program may pass more). Nothing when --url is missing, given more than once,
// or not an absolute http or https address with a host: the module shows no other page than
// the one it was given.
std::optional<ModuleOptions> ParseModuleOptions(const QStringList& arguments);

// An absolute http or https address with a host.
bool IsPageAddress(const QString& address);

// Where the window goes on a screen whose free area is `available`: the size and place the
// options ask for (a default for what they leave out: 400 × 600 at the right edge, below the
// toolbar), kept whole on the screen.
QRect PlaceModuleWindow(const ModuleOptions& options, const QRect& available);

}  // namespace talvine
