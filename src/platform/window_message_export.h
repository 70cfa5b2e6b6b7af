#pragma once

#include <cstdint>

// The program's window messages, offered to libraries it loads at run time. Such a library cannot
// see our window objects; it finds this function by name in the running program (as a Windows
// library would call PostMessage) and posts through it from any thread.
namespace vortane::platform {

inline constexpr char kPostWindowMessageExport[] = "VortanePostWindowMessage";

}  // namespace vortane::platform

// Queues the message for the window (no payload); false when no such window exists.
extern "C" bool VortanePostWindowMessage(std::uint64_t window, std::uint32_t message,
                                         std::uintptr_t wParam, std::intptr_t lParam);
