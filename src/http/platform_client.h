#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "http/platform_account.h"
#include "http/platform_request.h"

// The three platform requests. Each runs as a PlatformRequest of its own and reports once to
// `onReply`, on `receiver`'s thread, while `receiver` exists: success, or failure with the
// message; a stop signal that succeeds reports nothing. The login and the destinations keep
// their latest request: one that has been replaced by a newer one of its kind neither changes
// the account nor reports. The requests belong to the process's platform client, which waits
// for them (EndPlatformRequests, and at the latest when the process ends).
namespace vortane {

using PlatformReplyHandler = std::function<void(const PlatformReply& reply)>;

// The login request, whose reply carries the live task tree. Without credentials (the live
// list's refresh) the ones stored in the live account are used again.
void RequestLiveTasks(const std::optional<PlatformCredentials>& credentials, QObject* receiver,
                      PlatformReplyHandler onReply);
// The upload destinations, with the same credentials, into the upload account.
void RequestUploadTargets(const std::optional<PlatformCredentials>& credentials, QObject* receiver,
                          PlatformReplyHandler onReply);
// Tells the platform that the live stream of a task stopped. False, doing nothing, when the
// address has fewer than 8 characters.
bool SendStopSignal(const std::string& callbackUrl, QObject* receiver,
                    PlatformReplyHandler onReply);

void ClearLiveTasks();
void ClearUploadTargets();

// Waits up to `timeout` for the requests still running (a stop signal sent just before the
// program ends should still reach the platform), then cancels the rest and waits for their
// threads. True when all had ended by themselves. UI thread only, like the requests.
bool EndPlatformRequests(std::chrono::milliseconds timeout);

}  // namespace vortane
