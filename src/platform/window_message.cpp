#include "platform/window_message.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <unordered_map>

namespace vortane::platform {
namespace {

const QEvent::Type kMessageEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent : public QEvent {
 public:
  MessageEvent(WindowMessage message, std::promise<void>* handled)
      : QEvent(kMessageEventType), message(std::move(message)), handled(handled) {}
  ~MessageEvent() override {
    // A sent message whose window vanished before delivery must not leave its sender waiting.
    if (handled != nullptr) handled->set_value();
  }
  WindowMessage message;
  std::promise<void>* handled;
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
  QCoreApplication::postEvent(it->second, new MessageEvent(std::move(message), nullptr));
  return true;
}

bool SendWindowMessage(WindowHandle window, WindowMessage message) {
  std::promise<void> handled;
  std::future<void> done = handled.get_future();
  MessageWindow::Sink* ownSink = nullptr;
  {
    std::lock_guard lock(RegistryMutex());
    auto it = Registry().find(window);
    if (it == Registry().end()) return false;
    if (it->second->thread() == QThread::currentThread()) {
      // Only this thread can destroy the sink, so it stays valid outside the lock.
      ownSink = it->second;
    } else {
      QCoreApplication::postEvent(it->second, new MessageEvent(std::move(message), &handled));
    }
  }
  if (ownSink != nullptr) {
    ownSink->Deliver(message);
    return true;
  }
  done.wait();
  return true;
}

std::uint32_t RegisterWindowMessage(const char* name) {
  static std::unordered_map<std::string, std::uint32_t> numbers;
  std::lock_guard lock(RegistryMutex());
  auto [it, added] = numbers.try_emplace(name, 0xC000 + static_cast<std::uint32_t>(numbers.size()));
  return it->second;
}

bool IsWindowAlive(WindowHandle window) {
  std::lock_guard lock(RegistryMutex());
  return Registry().count(window) != 0;
}

}  // namespace vortane::platform
