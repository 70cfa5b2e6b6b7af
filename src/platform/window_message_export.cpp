#include "platform/window_message_export.h"

#include "platform/window_message.h"

extern "C" __attribute__((visibility("default"))) bool VortanePostWindowMessage(
    std::uint64_t window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  return vortane::platform::PostWindowMessage(window, {message, wParam, lParam});
}
