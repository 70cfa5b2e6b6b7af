#pragma once

#include <QString>
#include <optional>
#include <string_view>

#include "http/live_task.h"

namespace vortane {

// The rules around choosing a live task: when the toolbar's live-task command opens the list,
// which tasks can be chosen, how a row reads, what a chosen task switches on, and when the
// list's refresh runs.
namespace live_task_choice {

enum class Command { kIgnore, kNeedLogin, kOpenList };

// The live-task command while a capture starts or runs does nothing; logged out it explains.
Command Decide(int jobState, bool loggedIn);
QString NeedLoginMessage();
QString LiveQuestion();

// Why `selected` cannot be chosen (no row, no push address, or one the encoder must not be
// given), or nothing.
std::optional<QString> Refusal(const LiveTask* selected);

// A push address from the platform that the encoder may be given: "rtmp://", "rtmps://" or
// "udp://" and no '|', quote or control character.
bool IsAcceptedPushUrl(std::string_view url);

// The title column: `level` spaces before the name for levels 1 to 15.
QString RowTitle(const LiveTask& task);

// What choosing `task` changes in the toolbar. A button already shown stays shown.
struct Effect {
  bool showChat = false;
  bool showMeeting = false;
  // Live streaming is off in the settings: ask whether to switch it on.
  bool askLive = false;
};
Effect Choose(const LiveTask& task, bool liveEnabled);

// The process-wide refresh marker: after the first refresh, refreshing again runs only while
// the list is not loaded. Starting a refresh sets the marker.
bool RefreshAllowed(bool loaded);
void MarkRefreshed();
// For tests: the state at program start.
void ResetRefreshMarker();

}  // namespace live_task_choice
}  // namespace vortane
