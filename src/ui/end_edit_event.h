#pragma once

#include <QEvent>

#include "platform/window_messages.h"

namespace vortane::ui {

// WM_LISTEX_END_EDIT as a Qt event: sent (synchronously) by the end-edit hook to the list that
// owns the active cell editor, or to the alternate receiver it registered. commit is 1 to keep
// the edited text, 0 to cancel.
class CEndEditEvent : public QEvent {
 public:
  static constexpr QEvent::Type kType =
      static_cast<QEvent::Type>(QEvent::User + WM_LISTEX_END_EDIT);

  explicit CEndEditEvent(int commit) : QEvent(kType), commit_(commit) {}
  int commit() const { return commit_; }

 private:
  int commit_;
};

}  // namespace vortane::ui
