// The library's one export. The toolbar loads the library by name, calls EnableKeyboardCapture
// with its window, and from then on gets WM_HOTKEY_EVENT with the virtual key code for each press
// of F8 or F9, whatever window has the focus.

#include <dlfcn.h>

#include <cstdint>
#include <memory>
#include <mutex>

#include "hot_key_grabber.h"
#include "platform/window_message_export.h"

namespace {

// One capture per process, as one window owns the keys. The holder's destructor runs when the
// library is unloaded (or the process ends), so the event thread never outlives the code it runs.
struct Capture {
  std::mutex mutex;
  std::unique_ptr<keyvane::HotKeyGrabber> grabber;
};
Capture capture;

}  // namespace

// Captures F8 and F9 for `window`; non-zero when the keys are ours. A second call first gives up
// the keys the first one took (window 0 just gives them up). `module` is the handle the program's
// loader got for this library; the keys do not need it.
extern "C" __attribute__((visibility("default"))) unsigned char EnableKeyboardCapture(
    std::uint64_t window, [[maybe_unused]] void* module) {
  std::lock_guard lock(capture.mutex);
  capture.grabber.reset();
  if (window == 0) return 0;
  // The program exports its message poster; without it no press could ever arrive, so the keys
  // are not taken from other programs for nothing.
  auto post = reinterpret_cast<keyvane::PostMessageFunction>(
      dlsym(RTLD_DEFAULT, vortane::platform::kPostWindowMessageExport));
  if (post == nullptr) return 0;
  capture.grabber = keyvane::HotKeyGrabber::Start(window, post);
  return capture.grabber != nullptr ? 1 : 0;
}
