// The global F8/F9 keys end to end: the real libkeyvane.so from the program folder, a real X
// server (DISPLAY), key presses made by xdotool, and messages arriving at a registered window on
// the UI thread.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/keyboard_capture.h"
#include "platform/window_message.h"
#include "platform/window_messages.h"

namespace vortane::platform {
namespace {

constexpr std::uint32_t kKeysymF8 = 0xffc5;
constexpr std::uint32_t kKeysymF9 = 0xffc6;
const char kFailureText[] = "注册系统热键失败，您无法使用热键操作！";

int argc = 1;
char arg0[] = "keyvane_test";
char* argv[] = {arg0, nullptr};

// One application for the whole program, on the X display like the toolbar's.
class ApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QGuiApplication>(argc, argv); }
  void TearDown() override { app_.reset(); }
  // A death test's child ends in exit() without tear-down; Qt cannot be destroyed from there.
  ~ApplicationEnvironment() override { (void)app_.release(); }

 private:
  std::unique_ptr<QGuiApplication> app_;
};
[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

QString ProgramFolder() {
  return qEnvironmentVariable("VORTANE_PROGRAM_DIR");
}

void Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

void Xdotool(const QStringList& arguments) {
  ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), arguments), 0)
      << arguments.join(' ').toStdString();
}

// What reached one window, and whether every message came on the UI thread.
struct HotKeyLog {
  std::vector<std::pair<std::uint32_t, std::uintptr_t>> messages;
  bool allOnUiThread = true;

  MessageWindow::Handler Handler(QObject* owner) {
    return [this, owner](const WindowMessage& m) {
      allOnUiThread = allOnUiThread && QThread::currentThread() == owner->thread();
      messages.emplace_back(m.message, m.wParam);
    };
  }
  std::vector<std::uintptr_t> Keys() const {
    std::vector<std::uintptr_t> keys;
    for (auto [message, key] : messages) {
      EXPECT_EQ(message, WM_HOTKEY_EVENT);
      keys.push_back(key);
    }
    return keys;
  }
};

// Another program on the same display, holding keys of its own.
class OtherClient {
 public:
  OtherClient() : connection_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  }
  ~OtherClient() { xcb_disconnect(connection_); }
  bool Connected() const { return xcb_connection_has_error(connection_) == 0; }

  // Grabs the key without modifiers, as a program's hot key would; false on BadAccess.
  bool Grab(std::uint32_t keysym) {
    xcb_void_cookie_t cookie = xcb_grab_key_checked(connection_, 1, root_, 0, Keycode(keysym),
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
    std::free(error);
    return error == nullptr;
  }

  // The modifier and lock bits the server has in force now.
  std::uint16_t ModifierState() {
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    std::uint16_t mask = reply != nullptr ? reply->mask : 0;
    std::free(reply);
    return mask;
  }

 private:
  xcb_keycode_t Keycode(std::uint32_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
        connection_,
        xcb_get_keyboard_mapping(connection_, setup->min_keycode, static_cast<std::uint8_t>(count)),
        nullptr);
    xcb_keycode_t found = 0;
    if (mapping != nullptr) {
      const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
      for (int i = 0; i < count && found == 0; ++i) {
        if (keysyms[i * mapping->keysyms_per_keycode] == keysym)
          found = static_cast<xcb_keycode_t>(setup->min_keycode + i);
      }
    }
    std::free(mapping);
    return found;
  }

  xcb_connection_t* connection_;
  xcb_window_t root_ = 0;
};

bool LibraryStillLoaded() {
  const QByteArray path = QFile::encodeName(ProgramFolder() + "/" + kKeyboardCaptureLibrary);
  void* handle = dlopen(path.constData(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

class KeyboardCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs an X display";
    ASSERT_FALSE(ProgramFolder().isEmpty());
    ASSERT_TRUE(QFile::exists(ProgramFolder() + "/" + kKeyboardCaptureLibrary));
  }
  // A test that stopped half-way must not leave the lock keys on for the next one.
  void TearDown() override {
    OtherClient probe;
    const std::uint16_t state = probe.ModifierState();
    if ((state & XCB_MOD_MASK_2) != 0) Xdotool({"key", "Num_Lock"});
    if ((state & XCB_MOD_MASK_LOCK) != 0) Xdotool({"key", "Caps_Lock"});
  }
};

TEST_F(KeyboardCaptureTest, F8AndF9ReachTheWindowUntilTheLibraryIsUnloaded) {
  QObject owner;
  HotKeyLog log;
  MessageWindow window(&owner, log.Handler(&owner));
  auto capture = std::make_unique<KeyboardCapture>(window.handle(), ProgramFolder());
  ASSERT_EQ(capture->status(), KeyboardCaptureStatus::kOn) << capture->detail().toStdString();
  EXPECT_TRUE(capture->IsOn());
  EXPECT_TRUE(capture->message().isEmpty());

  // Presses arrive in order with their Windows key codes; keys we did not take stay silent.
  Xdotool({"key", "F8"});
  ASSERT_TRUE(PumpUntil([&] { return log.messages.size() == 1; }));
  Xdotool({"key", "F7"});
  Xdotool({"key", "F9"});
  ASSERT_TRUE(PumpUntil([&] { return log.messages.size() == 2; }));
  Pump(200);
  EXPECT_EQ(log.Keys(), (std::vector<std::uintptr_t>{0x77, 0x78}));
  EXPECT_TRUE(log.allOnUiThread);

  // The keys are really ours: another program cannot take them while capture is on.
  OtherClient other;
  ASSERT_TRUE(other.Connected());
  EXPECT_FALSE(other.Grab(kKeysymF8));
  EXPECT_FALSE(other.Grab(kKeysymF9));

  // With NumLock, and then CapsLock too, the keys still work.
  log.messages.clear();
  Xdotool({"key", "Num_Lock"});
  ASSERT_NE(other.ModifierState() & XCB_MOD_MASK_2, 0) << "NumLock did not come on";
  Xdotool({"key", "F8"});
  ASSERT_TRUE(PumpUntil([&] { return log.messages.size() == 1; }));
  Xdotool({"key", "Caps_Lock"});
  ASSERT_NE(other.ModifierState() & XCB_MOD_MASK_LOCK, 0) << "CapsLock did not come on";
  Xdotool({"key", "F9"});
  ASSERT_TRUE(PumpUntil([&] { return log.messages.size() == 2; }));
  Xdotool({"key", "Caps_Lock", "Num_Lock"});
  EXPECT_EQ(other.ModifierState() & (XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK), 0);
  EXPECT_EQ(log.Keys(), (std::vector<std::uintptr_t>{0x77, 0x78}));

  // A key held down counts once, however long the server repeats it.
  log.messages.clear();
  Xdotool({"keydown", "F8"});
  Pump(1200);
  Xdotool({"keyup", "F8"});
  Xdotool({"key", "F9"});
  ASSERT_TRUE(PumpUntil([&] { return log.messages.size() >= 2; }));
  Pump(200);
  EXPECT_EQ(log.Keys(), (std::vector<std::uintptr_t>{0x77, 0x78}));

  // Asking again for another window moves the keys there.
  QObject otherOwner;
  HotKeyLog otherLog;
  MessageWindow otherWindow(&otherOwner, otherLog.Handler(&otherOwner));
  log.messages.clear();
  auto again = std::make_unique<KeyboardCapture>(otherWindow.handle(), ProgramFolder());
  ASSERT_EQ(again->status(), KeyboardCaptureStatus::kOn);
  Xdotool({"key", "F9"});
  ASSERT_TRUE(PumpUntil([&] { return otherLog.messages.size() == 1; }));
  Pump(200);
  EXPECT_TRUE(log.messages.empty());
  EXPECT_EQ(otherLog.Keys(), (std::vector<std::uintptr_t>{0x78}));

  // Unloading while keys are being pressed stops delivery cleanly and frees the keys; what the
  // library had posted before it went is still delivered. The typist says when its first ten
  // keys are down and then types ten more.
  again.reset();
  const std::size_t before = otherLog.messages.size();
  const QString tenKeys = QStringLiteral("F8 F9 F8 F9 F8 F9 F8 F9 F8 F9");
  QProcess typist;
  typist.start(QStringLiteral("sh"), {"-c", QStringLiteral("xdotool key --delay 20 %1; echo half; "
                                                           "xdotool key --delay 20 %1")
                                                .arg(tenKeys)});
  ASSERT_TRUE(typist.waitForStarted());
  ASSERT_TRUE(PumpUntil([&] { return otherLog.messages.size() > before; }, 5000));
  // From here the window is not served until the unload, so the keys pressed meanwhile wait in
  // its queue.
  ASSERT_TRUE(typist.waitForReadyRead(5000));
  const std::size_t servedBeforeUnload = otherLog.messages.size();
  capture->Release();
  EXPECT_FALSE(capture->IsLoaded());
  EXPECT_FALSE(LibraryStillLoaded());
  EXPECT_EQ(typist.state(), QProcess::Running) << "the unload came during typing";
  ASSERT_TRUE(typist.waitForFinished(5000));
  Pump(300);
  const std::size_t delivered = otherLog.messages.size();
  EXPECT_GT(delivered, servedBeforeUnload) << "queued keys are delivered after the unload";
  EXPECT_LE(delivered - before, 20u);
  // In the order they were typed.
  for (std::size_t i = before; i < delivered; ++i)
    EXPECT_EQ(otherLog.messages[i].second, (i - before) % 2 == 0 ? 0x77u : 0x78u) << i;
  Xdotool({"key", "F8", "F9"});
  Pump(300);
  EXPECT_EQ(otherLog.messages.size(), delivered);
  EXPECT_TRUE(other.Grab(kKeysymF8));
  EXPECT_TRUE(other.Grab(kKeysymF9));
}

TEST_F(KeyboardCaptureTest, RefusedCaptureLeavesNothingGrabbed) {
  QObject owner;
  HotKeyLog log;
  MessageWindow window(&owner, log.Handler(&owner));
  {
    // Another program already has F8: the library refuses and stays loaded, F9 stays free.
    OtherClient holder;
    ASSERT_TRUE(holder.Grab(kKeysymF8));
    KeyboardCapture capture(window.handle(), ProgramFolder());
    EXPECT_EQ(capture.status(), KeyboardCaptureStatus::kRefused);
    EXPECT_FALSE(capture.IsOn());
    EXPECT_TRUE(capture.IsLoaded());
    EXPECT_EQ(capture.message(), QString::fromUtf8(kFailureText));
    EXPECT_FALSE(capture.detail().isEmpty());
    Xdotool({"key", "F9"});
    Pump(300);
    EXPECT_TRUE(log.messages.empty());
    OtherClient probe;
    EXPECT_TRUE(probe.Grab(kKeysymF9));
  }
  {
    // No reachable display: refused, not crashed.
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    KeyboardCapture capture(window.handle(), ProgramFolder());
    qputenv("DISPLAY", display);
    EXPECT_EQ(capture.status(), KeyboardCaptureStatus::kRefused);
  }
  // Once the other program is gone the keys can be had again.
  KeyboardCapture capture(window.handle(), ProgramFolder());
  ASSERT_EQ(capture.status(), KeyboardCaptureStatus::kOn);
  Xdotool({"key", "F8"});
  ASSERT_TRUE(PumpUntil([&] { return log.messages.size() == 1; }));
  EXPECT_EQ(log.Keys(), (std::vector<std::uintptr_t>{0x77}));
}

TEST_F(KeyboardCaptureTest, ProgramMayEndWithCaptureStillOn) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        QObject owner;
        HotKeyLog log;
        MessageWindow window(&owner, log.Handler(&owner));
        // Deliberately never released: the library must stop its thread by itself at exit.
        auto* capture = new KeyboardCapture(window.handle(), ProgramFolder());
        if (!capture->IsOn()) std::exit(3);
        QProcess::execute(QStringLiteral("xdotool"), {"key", "F8", "F9"});
        std::exit(PumpUntil([&] { return log.messages.size() == 2; }) ? 0 : 4);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(KeyboardCaptureTest, LoaderReportsMissingLibraryAndExport) {
  QObject owner;
  HotKeyLog log;
  MessageWindow window(&owner, log.Handler(&owner));
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());

  KeyboardCapture missing(window.handle(), folder.path());
  EXPECT_EQ(missing.status(), KeyboardCaptureStatus::kLibraryMissing);
  EXPECT_FALSE(missing.IsLoaded());
  EXPECT_EQ(missing.message(), QString::fromUtf8(kFailureText));
  EXPECT_TRUE(missing.detail().contains(QStringLiteral("libkeyvane.so")))
      << missing.detail().toStdString();

  // A damaged file under the library's name is no library either.
  QFile damaged(folder.filePath(kKeyboardCaptureLibrary));
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
  damaged.write(
      "\x7f"
      "ELF but nothing more");
  damaged.close();
  KeyboardCapture broken(window.handle(), folder.path());
  EXPECT_EQ(broken.status(), KeyboardCaptureStatus::kLibraryMissing);

  // A real library without the export is refused and released at once.
  Dl_info xcbLibrary{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&xcb_connect), &xcbLibrary), 0);
  ASSERT_TRUE(damaged.remove());
  ASSERT_TRUE(QFile::copy(QString::fromLocal8Bit(xcbLibrary.dli_fname),
                          folder.filePath(kKeyboardCaptureLibrary)));
  KeyboardCapture wrong(window.handle(), folder.path());
  EXPECT_EQ(wrong.status(), KeyboardCaptureStatus::kExportMissing);
  EXPECT_FALSE(wrong.IsLoaded());
  EXPECT_EQ(wrong.message(), QString::fromUtf8(kFailureText));
}

}  // namespace
}  // namespace vortane::platform
