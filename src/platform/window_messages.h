#pragma once

#include <cstdint>

#include "platform/window_message.h"

// The message numbers that still travel as numbers (as the Windows build had them): the key-grab
// library's key presses, and the cell editor's end, which the list controls take as a Qt event
// type.
namespace vortane {

using platform::kWmUser;

inline constexpr std::uint32_t WM_LISTEX_END_EDIT = kWmUser + 10;  // cell editor → list
inline constexpr std::uint32_t WM_HOTKEY_EVENT = kWmUser + 501;    // keyvane → toolbar

}  // namespace vortane
