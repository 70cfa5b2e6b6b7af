#pragma once

#include <cstdint>

#include "platform/window_message.h"

// The program's private window messages (numbers as the Windows build had them).
namespace vortane {

using platform::kWmUser;

inline constexpr std::uint32_t WM_LISTEX_END_EDIT = kWmUser + 10;    // cell editor → list
inline constexpr std::uint32_t WM_RECORD_JOB_EVENT = kWmUser + 101;  // capture job → toolbar
inline constexpr std::uint32_t WM_REMUX_JOB_EVENT = kWmUser + 102;   // remux job → toolbar
inline constexpr std::uint32_t WM_TRIM_JOB_EVENT = kWmUser + 103;    // trim job → file manager
inline constexpr std::uint32_t WM_PLATFORM_REPLY = kWmUser + 104;    // platform request → window
inline constexpr std::uint32_t WM_UPLOAD_JOB_EVENT = kWmUser + 106;  // upload job → file manager
inline constexpr std::uint32_t WM_RECOVERY_DONE = kWmUser + 110;  // lessons recovered → toolbar
inline constexpr std::uint32_t WM_CAMERA_WINDOW_CLOSED = kWmUser + 201;  // camera window → toolbar
inline constexpr std::uint32_t WM_REGION_CHOSEN = kWmUser + 301;  // region selection → toolbar
inline constexpr std::uint32_t WM_HOTKEY_EVENT = kWmUser + 501;   // keyvane → toolbar

// The range slider's change notification (a registered message on Windows).
inline constexpr char kRangeChangedMessageName[] =
    "RANGE_CHANGED{2E7439A4-12DB-42a2-BB95-3462B3EC39CE}CRangeSlider";

}  // namespace vortane
