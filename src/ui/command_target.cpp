#include "ui/command_target.h"

#include <QWidget>

namespace vortane::ui {

CCommandTarget* FindCommandTarget(QWidget* control) {
  for (QWidget* w = control ? control->parentWidget() : nullptr; w; w = w->parentWidget()) {
    if (auto* target = dynamic_cast<CCommandTarget*>(w)) return target;
  }
  return nullptr;
}

bool SendCommand(QWidget* control, int id) {
  CCommandTarget* target = FindCommandTarget(control);
  if (!target) return false;
  target->OnCommand(id);
  return true;
}

bool SendNotify(QWidget* control, int id, int code) {
  CCommandTarget* target = FindCommandTarget(control);
  if (!target) return false;
  target->OnNotify(id, code);
  return true;
}

}  // namespace vortane::ui
