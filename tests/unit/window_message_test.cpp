#include "platform/window_message.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <atomic>
#include <thread>
#include <vector>

namespace vortane::platform {
namespace {

int argc = 1;
char arg0[] = "window_message_test";
char* argv[] = {arg0, nullptr};

void Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(WindowMessage, PostsFromThreadsArriveInOrderOnTheOwnerThread) {
  QCoreApplication app(argc, argv);
  QObject owner;
  std::vector<int> received;
  bool onOwnerThread = true;
  MessageWindow window(&owner, [&](const WindowMessage& m) {
    onOwnerThread = onOwnerThread && QThread::currentThread() == owner.thread();
    received.push_back(static_cast<int>(m.wParam));
  });
  std::thread worker([&] {
    for (int i = 0; i < 1000; ++i) {
      ASSERT_TRUE(PostWindowMessage(window.handle(), {kWmUser + 501, std::uintptr_t(i), 0}));
    }
  });
  worker.join();
  Pump(100);
  ASSERT_EQ(received.size(), 1000u);
  for (int i = 0; i < 1000; ++i)
    EXPECT_EQ(received[i], i);
  EXPECT_TRUE(onOwnerThread);

  // A window destroyed with messages still queued drops them, and later posts fail harmlessly.
  std::atomic<int> late{0};
  WindowHandle gone = 0;
  {
    MessageWindow shortLived(&owner, [&](const WindowMessage&) { ++late; });
    gone = shortLived.handle();
    PostWindowMessage(gone, {1, 0, 0});
  }
  EXPECT_FALSE(PostWindowMessage(gone, {1, 0, 0}));
  Pump(50);
  EXPECT_EQ(late.load(), 0);
}

}  // namespace
}  // namespace vortane::platform
