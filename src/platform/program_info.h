#pragma once

#include <QString>

namespace vortane {

// The program's title: window captions, message boxes, the idle mode label.
inline QString ProgramTitle() {
  return QStringLiteral("Vortane 录课直播");
}
inline QString ProgramVersion() {
  return QStringLiteral(VORTANE_VERSION);
}
inline constexpr char kHomePage[] = "https://vortane.example.org/";

}  // namespace vortane
