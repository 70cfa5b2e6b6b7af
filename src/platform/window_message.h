#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class QObject;

// The program's one window-message entry: the key-grab library (libkeyvane.so) reports each key
// press by posting (message number, wParam, lParam) to a window handle it was given, from its
// own thread. Delivery happens on the thread that owns the window, in posting order. Posting to a
// handle whose window is gone is dropped. Inside the program, parts talk through Qt signals.
namespace vortane::platform {

using WindowHandle = std::uint64_t;  // 0 = no window

inline constexpr std::uint32_t kWmUser = 0x0400;

struct WindowMessage {
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

// The registration of one window. It lives as long as the window: destroying it (on the owning
// thread) unregisters the handle and drops every message still queued for it.
class MessageWindow {
 public:
  using Handler = std::function<void(const WindowMessage&)>;

  // `context` is the object whose thread receives the messages (normally the window itself);
  // `handler` runs on that thread for each delivered message.
  MessageWindow(QObject* context, Handler handler);
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  WindowHandle handle() const { return handle_; }

  class Sink;  // the receiving object on the owner's thread (defined in the source file)

 private:
  WindowHandle handle_ = 0;
  std::unique_ptr<Sink> sink_;
};

// Queues the message for the window; false when no such window exists (the message is dropped).
bool PostWindowMessage(WindowHandle window, WindowMessage message);

}  // namespace vortane::platform
