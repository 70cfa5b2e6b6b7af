#include "app/toolbar_drag.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWidget>
#include <QWindow>

namespace vortane {

bool ToolbarDrag::Press(const QMouseEvent& event) {
  if (event.button() != Qt::LeftButton) return false;
  pressed_ = true;
  systemMoveTried_ = false;
  pressGlobal_ = event.globalPosition().toPoint();
  pressOffset_ = pressGlobal_ - window_.pos();
  return true;
}

void ToolbarDrag::Move(const QMouseEvent& event) {
  if (!pressed_ || !(event.buttons() & Qt::LeftButton)) return;
  const QPoint global = event.globalPosition().toPoint();
  if (!systemMoveTried_) {
    if ((global - pressGlobal_).manhattanLength() <
        QGuiApplication::styleHints()->startDragDistance())
      return;
    systemMoveTried_ = true;
    if (window_.windowHandle() != nullptr && window_.windowHandle()->startSystemMove()) {
      pressed_ = false;
      return;
    }
  }
  window_.move(global - pressOffset_);
}

void ToolbarDrag::Release(const QMouseEvent& event) {
  if (event.button() == Qt::LeftButton) pressed_ = false;
}

}  // namespace vortane
