#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>

class QObject;

// Window messages between threads. A window registers itself and gets a handle; any thread may
// post (message number, wParam, lParam, payload) to that handle. Delivery happens on the thread
// that owns the window, in posting order. Posting to a handle whose window is gone is dropped.
namespace vortane::platform {

using WindowHandle = std::uint64_t;  // 0 = no window

inline constexpr std::uint32_t kWmUser = 0x0400;

struct WindowMessage {
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  // A copy of whatever the message points at (a job's status, a rectangle), so the receiver
  // never reads memory the sender may already have changed or freed.
  std::any payload;
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

// Delivers the message at once when called on the window's own thread, else posts it and waits
// until it has been handled. False when no such window exists.
bool SendWindowMessage(WindowHandle window, WindowMessage message);

bool IsWindowAlive(WindowHandle window);

// The number of a message known by name (RegisterWindowMessage on Windows): the same name gives
// the same number in 0xC000..0xFFFF for the life of the process.
std::uint32_t RegisterWindowMessage(const char* name);

}  // namespace vortane::platform
