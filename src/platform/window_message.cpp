#include "platform/window_message.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <atomic>
#include <mutex>
#include <unordered_map>

namespace vortane::platform {
namespace {

const QEvent::Type kMessageEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent : public QEvent {
 public:
  explicit MessageEvent(WindowMessage message)
      : QEvent(kMessageEventType), message(std::move(message)) {}
  WindowMessage message;
};

}  // namespace

class MessageWindow::Sink : public QObject {
 public:
  Sink(QObject* context, Handler handler) : handler_(std::move(handler)) {
    if (context != nullptr) moveToThread(context->thread());
  }

  void Deliver(const WindowMessage& message) { handler_(message); }

  bool event(QEvent* e) override {
    if (e->type() != kMessageEventType) return QObject::event(e);
    Deliver(static_cast<MessageEvent*>(e)->message);
    return true;
  }

 private:
  Handler handler_;
};

namespace {

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unordered_map<WindowHandle, MessageWindow::Sink*>& Registry() {
  static std::unordered_map<WindowHandle, MessageWindow::Sink*> registry;
  return registry;
}

std::atomic<WindowHandle> nextHandle{1};

}  // namespace

MessageWindow::MessageWindow(QObject* context, Handler handler)
    : handle_(nextHandle++), sink_(std::make_unique<Sink>(context, std::move(handler))) {
  std::lock_guard lock(RegistryMutex());
  Registry()[handle_] = sink_.get();
}

MessageWindow::~MessageWindow() {
  {
    std::lock_guard lock(RegistryMutex());
    Registry().erase(handle_);
  }
  // From here no thread can post to the sink; deleting it discards what is still queued.
  sink_.reset();
}

bool PostWindowMessage(WindowHandle window, WindowMessage message) {
  std::lock_guard lock(RegistryMutex());
  auto it = Registry().find(window);
  if (it == Registry().end()) return false;
  QCoreApplication::postEvent(it->second, new MessageEvent(std::move(message)));
  return true;
}

}  // namespace vortane::platform
