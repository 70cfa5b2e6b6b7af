#pragma once

// Whole-program tests that drive the toolbar and its dialogs: the trace lists their controls
// ("control 1056 at 720,140 239x28") and the rows of the live list ("row 1 at x,y wxh: title"),
// so a test can click and type where a teacher would.

#include <QPoint>
#include <QRect>
#include <QRegularExpression>
#include <map>

#include "program_harness.h"

namespace vortane::test {

// The centres of the controls traced from trace line `from` on (a later line for the same id
// wins).
inline std::map<int, QPoint> TracedControls(Toolbar& toolbar, size_t from) {
  static const QRegularExpression pattern(
      QStringLiteral("^control (\\d+) at (-?\\d+),(-?\\d+) (\\d+)x(\\d+)$"));
  std::map<int, QPoint> controls;
  const auto& trace = toolbar.Trace();
  for (size_t i = from; i < trace.size(); ++i) {
    const auto match = pattern.match(trace[i].text);
    if (!match.hasMatch()) continue;
    const QRect rect(match.captured(2).toInt(), match.captured(3).toInt(),
                     match.captured(4).toInt(), match.captured(5).toInt());
    controls[match.captured(1).toInt()] = rect.center();
  }
  return controls;
}

// The centre of the live list's row titled `title`, traced from line `from` on.
inline std::optional<QPoint> TracedRow(Toolbar& toolbar, const QString& title, size_t from) {
  static const QRegularExpression pattern(
      QStringLiteral("^row \\d+ at (-?\\d+),(-?\\d+) (\\d+)x(\\d+): (.*)$"));
  const auto& trace = toolbar.Trace();
  for (size_t i = from; i < trace.size(); ++i) {
    const auto match = pattern.match(trace[i].text);
    if (match.hasMatch() && match.captured(5) == title) {
      return QRect(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt(),
                   match.captured(4).toInt())
          .center();
    }
  }
  return std::nullopt;
}

// Clicks into an edit and types `text` as a user would.
inline bool TypeInto(const QPoint& edit, const QString& text) {
  return ClickAt(edit) &&
         Xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

// A picture for the README when VORTANE_SCREENSHOT_DIR is set.
inline void KeepScreenshot(const QString& name, const QRect& rect) {
  const QString folder = qEnvironmentVariable("VORTANE_SCREENSHOT_DIR");
  if (folder.isEmpty()) return;
  EXPECT_TRUE(Screenshot(folder + QLatin1Char('/') + name, rect));
}

// The screen rectangle of the first visible window named `name`.
inline std::optional<QRect> VisibleWindowRect(const QString& name, int ms = 5000) {
  const QStringList ids = VisibleWindows(name, ms);
  if (ids.isEmpty()) return std::nullopt;
  return WindowGeometry(ids.first());
}

}  // namespace vortane::test
