#include "hot_key_grabber.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/window_messages.h"

namespace keyvane {
namespace {

constexpr std::uint32_t kKeysymF8 = 0xffc5;
constexpr std::uint32_t kKeysymF9 = 0xffc6;
constexpr std::uint32_t kKeysymNumLock = 0xff7f;

// Frees what xcb hands out with malloc.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

// Every keycode that produces `keysym` in the current keyboard map. A layout may place a function
// key on more than one keycode; all of them must reach us.
std::vector<xcb_keycode_t> KeycodesFor(xcb_connection_t* connection, std::uint32_t keysym) {
  const xcb_setup_t* setup = xcb_get_setup(connection);
  const int first = setup->min_keycode;
  const int count = setup->max_keycode - setup->min_keycode + 1;
  XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
      connection,
      xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<std::uint8_t>(count)),
      nullptr));
  std::vector<xcb_keycode_t> codes;
  if (!mapping) return codes;
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
  const int perCode = mapping->keysyms_per_keycode;
  const int total = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
  for (int i = 0; i < count && (i + 1) * perCode <= total; ++i) {
    const xcb_keysym_t* row = keysyms + i * perCode;
    if (std::find(row, row + perCode, keysym) != row + perCode)
      codes.push_back(static_cast<xcb_keycode_t>(first + i));
  }
  return codes;
}

// The modifier bit NumLock sets. Almost always Mod2, which is also the answer when the server's
// map does not say.
std::uint16_t NumLockMask(xcb_connection_t* connection) {
  const std::vector<xcb_keycode_t> numLockCodes = KeycodesFor(connection, kKeysymNumLock);
  XcbReply<xcb_get_modifier_mapping_reply_t> modifiers(
      xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
  if (!modifiers || numLockCodes.empty()) return XCB_MOD_MASK_2;
  const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers.get());
  const int perModifier = modifiers->keycodes_per_modifier;
  for (int modifier = 0; modifier < 8; ++modifier) {
    for (int i = 0; i < perModifier; ++i) {
      const xcb_keycode_t code = codes[modifier * perModifier + i];
      if (code != 0 &&
          std::find(numLockCodes.begin(), numLockCodes.end(), code) != numLockCodes.end())
        return static_cast<std::uint16_t>(1u << modifier);
    }
  }
  return XCB_MOD_MASK_2;
}

}  // namespace

std::unique_ptr<HotKeyGrabber> HotKeyGrabber::Start(std::uint64_t window,
                                                    PostMessageFunction post) {
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);  // an errored connection still has to be freed
    return nullptr;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
    xcb_screen_next(&screens);
  if (screens.rem == 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  const xcb_window_t root = screens.data->root;

  // From here the grabber owns the connection; a failed start closes it, which also drops any key
  // that was grabbed before the failure.
  std::unique_ptr<HotKeyGrabber> grabber(new HotKeyGrabber(connection, window, post));
  if (!grabber->GrabKeys(root)) return nullptr;
  grabber->wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (grabber->wakeFd_ < 0) return nullptr;
  grabber->thread_ = std::thread(&HotKeyGrabber::Run, grabber.get());
  return grabber;
}

HotKeyGrabber::HotKeyGrabber(xcb_connection_t* connection, std::uint64_t window,
                             PostMessageFunction post)
    : connection_(connection), window_(window), post_(post) {}

HotKeyGrabber::~HotKeyGrabber() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    // The event fd is non-blocking and its counter cannot overflow from one write.
    [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
    thread_.join();
  }
  if (wakeFd_ >= 0) close(wakeFd_);
  // Closing the connection releases every grab it holds, even when the server is already gone.
  xcb_disconnect(connection_);
}

bool HotKeyGrabber::GrabKeys(xcb_window_t root) {
  for (auto [keysym, virtualKey] :
       {std::pair{kKeysymF8, kVirtualKeyF8}, {kKeysymF9, kVirtualKeyF9}}) {
    const std::vector<xcb_keycode_t> codes = KeycodesFor(connection_, keysym);
    if (codes.empty()) return false;  // a keyboard without the key cannot be captured
    for (xcb_keycode_t code : codes)
      keys_.push_back({code, virtualKey});
  }

  // A passive grab matches the modifier state exactly, so the lock keys need grabs of their own,
  // or F8 would stop working as soon as NumLock or CapsLock is on.
  const std::uint16_t numLock = NumLockMask(connection_);
  const std::uint16_t variants[] = {0, XCB_MOD_MASK_LOCK, numLock,
                                    static_cast<std::uint16_t>(numLock | XCB_MOD_MASK_LOCK)};
  std::vector<xcb_void_cookie_t> cookies;
  for (const Key& key : keys_) {
    for (std::uint16_t modifiers : variants) {
      cookies.push_back(xcb_grab_key_checked(connection_, 1, root, modifiers, key.code,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
  }
  // Each check waits for the server's answer, so a key another client holds (BadAccess) is known
  // before we report success.
  bool allGrabbed = true;
  for (xcb_void_cookie_t cookie : cookies) {
    XcbReply<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
    if (error) allGrabbed = false;
  }
  return allGrabbed && !xcb_connection_has_error(connection_);
}

void HotKeyGrabber::Run() {
  pollfd fds[2] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      XcbReply<xcb_generic_event_t> owned(event);
      const std::uint8_t type = event->response_type & 0x7f;
      if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
        auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        OnKeyEvent(type == XCB_KEY_PRESS, key->detail, key->time);
      }
    }
    // The server went away: nothing more will come, and the keys are free again.
    if (xcb_connection_has_error(connection_)) return;
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) return;
  }
}

void HotKeyGrabber::OnKeyEvent(bool pressed, xcb_keycode_t code, xcb_timestamp_t time) {
  auto down = std::find(keysDown_.begin(), keysDown_.end(), code);
  if (!pressed) {
    if (down != keysDown_.end()) keysDown_.erase(down);
    lastReleasedCode_ = code;
    lastReleaseTime_ = time;
    return;
  }
  // The server repeats a held key as a release and a press with the same time stamp.
  const bool repeat =
      down != keysDown_.end() || (code == lastReleasedCode_ && time == lastReleaseTime_);
  if (down == keysDown_.end()) keysDown_.push_back(code);
  if (repeat) return;
  for (const Key& key : keys_) {
    if (key.code == code) {
      // A window that is gone drops the message; the keys stay ours until we are stopped.
      post_(window_, vortane::WM_HOTKEY_EVENT, key.virtualKey, 0);
      return;
    }
  }
}

}  // namespace keyvane
