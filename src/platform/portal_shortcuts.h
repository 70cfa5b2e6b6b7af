#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/window_message.h"

class QObject;

// Global keys on a Wayland session: the desktop portal's GlobalShortcuts binds them for the whole
// desktop, where the X11 key grab sees a key only while one of our own (Xwayland) windows has
// focus. Each activation is posted to the toolbar's message window exactly as the key grab posts
// a press (WM_HOTKEY_EVENT with the key's code), so both arrive through the same entry.
namespace vortane::platform {

struct PortalShortcut {
  QString id;                // the shortcut's name towards the portal
  QString description;       // what the desktop shows the teacher
  QString preferredTrigger;  // e.g. "F8"; the desktop may choose another key
  std::uintptr_t keyCode;    // posted as wParam of WM_HOTKEY_EVENT
};

enum class PortalShortcutsState {
  kBinding,      // asking the portal (the desktop may be showing its dialog)
  kUnavailable,  // no session bus, or its portal does not offer GlobalShortcuts
  kBound,        // the desktop took the keys
  kNotBound,     // the portal refused or failed: only the key grab remains
  kClosed,       // Close() has run
};

// One portal session, run on a worker thread of its own with its own GLib main context, so the
// desktop's dialog never holds up the UI thread. The object must outlive nothing it posts to:
// results go to `context`'s thread, and posting to a window that is gone is dropped.
class PortalShortcuts {
 public:
  using ResultHandler = std::function<void(PortalShortcutsState)>;

  // Starts at once. `onResult` runs on `context`'s thread once the binding has an outcome.
  PortalShortcuts(WindowHandle window, std::vector<PortalShortcut> shortcuts, QObject* context,
                  ResultHandler onResult);
  // Close().
  ~PortalShortcuts();
  PortalShortcuts(const PortalShortcuts&) = delete;
  PortalShortcuts& operator=(const PortalShortcuts&) = delete;

  PortalShortcutsState state() const { return state_.load(); }
  bool IsBound() const { return state() == PortalShortcutsState::kBound; }

  // Closes the portal session (the desktop frees the keys) and ends the worker; a binding still
  // waiting for the desktop's dialog is abandoned. Returns once the worker has ended.
  void Close();

  class Worker;  // the portal conversation (defined in the source file)

 private:
  std::atomic<PortalShortcutsState> state_{PortalShortcutsState::kBinding};
  std::unique_ptr<Worker> worker_;
  std::thread thread_;
};

}  // namespace vortane::platform
