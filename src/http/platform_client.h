#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "http/platform_account.h"
#include "platform/window_message.h"

// The three platform requests. Each runs on a thread of its own and reports to `notifyWindow`
// with exactly one WM_PLATFORM_REPLY (wParam = the job, payload = its JobEvent): code 3 on
// success, code 10 with the message (GBK) on failure; a stop signal that succeeds posts nothing.
// Each kind keeps its latest job in a slot; a request that has been replaced by a newer one of
// its kind neither changes the account nor reports.
namespace vortane {

// The login request, whose reply carries the live task tree. Without credentials (the live
// list's refresh) the ones stored in the live account are used again.
void RequestLiveTasks(const std::optional<PlatformCredentials>& credentials,
                      platform::WindowHandle notifyWindow);
// The upload destinations, with the same credentials, into the upload account.
void RequestUploadTargets(const std::optional<PlatformCredentials>& credentials,
                          platform::WindowHandle notifyWindow);
// Tells the platform that the live stream of a task stopped. False, doing nothing, when the
// address has fewer than 8 characters.
bool SendStopSignal(const std::string& callbackUrl, platform::WindowHandle notifyWindow);

void ClearLiveTasks();
void ClearUploadTargets();

// Waits up to `timeout` for the request threads still running (a stop signal sent just before
// the program ends should still reach the platform). True when none is left.
bool WaitForPlatformRequests(std::chrono::milliseconds timeout);

}  // namespace vortane
