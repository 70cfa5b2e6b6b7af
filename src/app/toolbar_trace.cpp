#include "app/toolbar_trace.h"

#include <QElapsedTimer>
#include <cstdio>

#include "ui/skin_list_ctrl.h"

namespace vortane {
namespace {

QElapsedTimer& ProgramClock() {
  static QElapsedTimer clock = [] {
    QElapsedTimer timer;
    timer.start();
    return timer;
  }();
  return clock;
}

}  // namespace

ToolbarTrace::ToolbarTrace(bool on) : on_(on) {
  // The clock counts from the toolbar's making, not from its first line.
  ProgramClock();
}

void ToolbarTrace::operator()(const QString& text) const {
  if (!on_) return;
  std::fprintf(stderr, "[vortane %8.3f] %s\n", ProgramClock().elapsed() / 1000.0,
               text.toUtf8().constData());
  std::fflush(stderr);
}

void ToolbarTrace::Controls(const QWidget& window) const {
  if (!on_) return;
  for (const QWidget* child : window.findChildren<QWidget*>()) {
    bool isId = false;
    const int id = child->objectName().toInt(&isId);
    if (!isId || !child->isVisible()) continue;
    const QPoint at = child->mapToGlobal(QPoint(0, 0));
    (*this)(QStringLiteral("control %1 at %2,%3 %4x%5")
                .arg(id)
                .arg(at.x())
                .arg(at.y())
                .arg(child->width())
                .arg(child->height()));
  }
}

void ToolbarTrace::ListRows(const QWidget& window) const {
  // Whole-program tests pick a task by its row, as a user clicks it.
  if (!on_) return;
  const auto* list = window.findChild<ui::CSkinListCtrl*>();
  if (list == nullptr) return;
  for (int row = 0; row < list->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    const QRect rect = list->visualItemRect(item);
    if (!rect.isValid() || !list->viewport()->rect().intersects(rect)) continue;
    const QPoint at = list->viewport()->mapToGlobal(rect.topLeft());
    (*this)(QStringLiteral("row %1 at %2,%3 %4x%5: %6")
                .arg(row)
                .arg(at.x())
                .arg(at.y())
                .arg(rect.width())
                .arg(rect.height())
                .arg(item->text(0).trimmed()));
  }
}

}  // namespace vortane
