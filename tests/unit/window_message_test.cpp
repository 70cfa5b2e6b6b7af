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
    received.push_back(std::any_cast<int>(m.payload));
  });
  std::thread worker([&] {
    for (int i = 0; i < 1000; ++i) {
      ASSERT_TRUE(PostWindowMessage(window.handle(), {kWmUser + 101, 0, 0, i}));
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
    PostWindowMessage(gone, {1, 0, 0, {}});
  }
  EXPECT_FALSE(PostWindowMessage(gone, {1, 0, 0, {}}));
  EXPECT_FALSE(IsWindowAlive(gone));
  Pump(50);
  EXPECT_EQ(late.load(), 0);

  // A send from a worker waits until the owner thread handled it.
  std::atomic<bool> sent{false};
  int handledValue = 0;
  MessageWindow target(&owner,
                       [&](const WindowMessage& m) { handledValue = static_cast<int>(m.wParam); });
  std::thread sender([&] {
    SendWindowMessage(target.handle(), {2, 42, 0, {}});
    sent = true;
  });
  QElapsedTimer timer;
  timer.start();
  while (!sent && timer.elapsed() < 2000)
    QCoreApplication::processEvents();
  sender.join();
  EXPECT_EQ(handledValue, 42);
  // And a send on the owner thread is handled at once.
  SendWindowMessage(target.handle(), {2, 7, 0, {}});
  EXPECT_EQ(handledValue, 7);
}

}  // namespace
}  // namespace vortane::platform
