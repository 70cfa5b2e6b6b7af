#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace keyvane {

// How a key press reaches the program: its exported message poster (PostMessage on Windows).
using PostMessageFunction = bool (*)(std::uint64_t window, std::uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam);

// The Windows virtual key codes the toolbar reacts to.
inline constexpr std::uintptr_t kVirtualKeyF8 = 0x77;
inline constexpr std::uintptr_t kVirtualKeyF9 = 0x78;

// Holds the global grabs of F8 and F9 on the X root window and delivers every press as
// WM_HOTKEY_EVENT to one window. The grabs live on a connection of our own, so they never mix with
// the program's toolkit connection, and errors come back per request instead of through Xlib's
// process-wide error handler.
class HotKeyGrabber {
 public:
  // Connects to $DISPLAY and grabs both keys (with and without NumLock and CapsLock). Null when no
  // display is reachable or when another client already holds one of the keys; nothing stays
  // grabbed then.
  static std::unique_ptr<HotKeyGrabber> Start(std::uint64_t window, PostMessageFunction post);

  // Stops the event thread, then releases the keys by closing the connection.
  ~HotKeyGrabber();
  HotKeyGrabber(const HotKeyGrabber&) = delete;
  HotKeyGrabber& operator=(const HotKeyGrabber&) = delete;

 private:
  struct Key {
    xcb_keycode_t code;
    std::uintptr_t virtualKey;
  };

  HotKeyGrabber(xcb_connection_t* connection, std::uint64_t window, PostMessageFunction post);
  bool GrabKeys(xcb_window_t root);
  void Run();
  void OnKeyEvent(bool pressed, xcb_keycode_t code, xcb_timestamp_t time);

  xcb_connection_t* connection_;
  std::uint64_t window_;
  PostMessageFunction post_;
  std::vector<Key> keys_;
  int wakeFd_ = -1;
  std::thread thread_;

  // Auto-repeat state (event thread only): a held key must not toggle the recording repeatedly.
  std::vector<xcb_keycode_t> keysDown_;
  xcb_keycode_t lastReleasedCode_ = 0;
  xcb_timestamp_t lastReleaseTime_ = 0;
};

}  // namespace keyvane
