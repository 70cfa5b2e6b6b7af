#pragma once

// Shared by the whole-program tests of the file manager: where its controls and rows are on the
// screen, read from the program's trace ("control 2042 at X,Y WxH", "files row 0 at X,Y WxH:
// name | time | size | length | status | destination").

#include <QPoint>
#include <QRect>
#include <QRegularExpression>
#include <QStringList>
#include <map>
#include <optional>

#include "program_harness.h"

namespace vortane::test {

// The window title of the file manager.
inline QString FileManagerTitle() {
  return Utf8("文件管理");
}

// The centre of the toolbar's n-th bottom-row button (the file manager's is the 4th).
inline QPoint ToolbarRowButton(const QRect& toolbar, int n) {
  return toolbar.topLeft() + QPoint(n == 0 ? 2 : n * 44, 33) + QPoint(21, 23);
}

// The screen rectangles of the controls a dialog traced from trace line `from` on, by id.
inline std::map<int, QRect> TracedControls(Toolbar& toolbar, size_t from) {
  static const QRegularExpression kLine(
      QStringLiteral("^control (\\d+) at (-?\\d+),(-?\\d+) (\\d+)x(\\d+)$"));
  std::map<int, QRect> controls;
  const auto& trace = toolbar.Trace();
  for (size_t i = from; i < trace.size(); ++i) {
    const QRegularExpressionMatch m = kLine.match(trace[i].text);
    if (m.hasMatch())
      controls[m.captured(1).toInt()] = QRect(m.captured(2).toInt(), m.captured(3).toInt(),
                                              m.captured(4).toInt(), m.captured(5).toInt());
  }
  return controls;
}

// One row of the recordings list as the program last traced it.
struct TracedRow {
  QRect rect;
  QStringList texts;  // the six columns
};

// The latest traced row `row` from trace line `from` on.
inline std::optional<TracedRow> TracedFileRow(Toolbar& toolbar, int row, size_t from = 0) {
  static const QRegularExpression kLine(
      QStringLiteral("^files row (\\d+) at (-?\\d+),(-?\\d+) (\\d+)x(\\d+): (.*)$"));
  std::optional<TracedRow> found;
  const auto& trace = toolbar.Trace();
  for (size_t i = from; i < trace.size(); ++i) {
    const QRegularExpressionMatch m = kLine.match(trace[i].text);
    if (!m.hasMatch() || m.captured(1).toInt() != row) continue;
    found = TracedRow{QRect(m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt(),
                            m.captured(5).toInt()),
                      m.captured(6).split(QStringLiteral(" | "))};
  }
  return found;
}

// Clicks the middle of a control (or a point `offset` from its left edge).
inline bool ClickControl(const QRect& control, int offset = -1) {
  const QPoint at =
      offset < 0 ? control.center() : QPoint(control.left() + offset, control.center().y());
  return ClickAt(at);
}

}  // namespace vortane::test
