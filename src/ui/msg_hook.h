#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace vortane::ui {

// The registration of an active cell editor for the end-edit hook, and the hook itself.
//
// While at least one editor is registered, an application-wide event filter watches every
// window of the UI thread and ends the edit (a CEndEditEvent sent to the owning list, or to the
// alternate receiver) when:
//   - the keyboard focus leaves the editor (and its children) for a window outside it: commit;
//   - Enter (commit) or Escape (cancel) is pressed in the editor; the key goes no further, so a
//     dialog does not close on the Escape that cancels an edit;
//   - a mouse button is pressed or the wheel turned over a window that is not inside the
//     editor: commit, for every registered editor.
// None of this happens while a popup the editor opened (a combo box's list, a date picker's
// calendar) is shown: the drop-down flag is set while it is open. Tab and Shift+Tab in an
// editor are handed to the list (it moves the edit to the next editable cell). A destroyed
// editor is unregistered.
class CMsgHook {
 public:
  QPointer<QWidget> editor;
  QPointer<QWidget> list;
  // Receives the end-edit event instead of the list when set.
  QPointer<QObject> alternate;
  bool dropDownOpen = false;

  // Registers `editor` (replacing an earlier registration of it); installs the hook with the
  // first registration.
  static void Register(QWidget* editor, QWidget* list, QObject* alternate = nullptr);
  // Removes the registration; the hook goes with the last one. False when it was not registered.
  static bool Unregister(const QWidget* editor);
  static CMsgHook* Find(const QWidget* editor);
  static int RegistrationCount();
  // True when `widget` is `editor` or lies inside it (following parents across popups).
  static bool IsInside(const QWidget* widget, const QWidget* editor);
  // Sends the end-edit event for this registration's editor to its receiver.
  void SendEndEdit(int commit) const;
};

}  // namespace vortane::ui
