#include "http/live_task_choice.h"

#include <atomic>
#include <string_view>

#include "platform/job.h"

namespace vortane::live_task_choice {
namespace {

// A push address needs more than a scheme to lead anywhere.
constexpr size_t kShortestPushUrl = 9;
constexpr int kMaxIndent = 15;
// Where a live push may go, as in the settings, and RTMP over TLS.
constexpr std::string_view kPushSchemes[] = {"rtmp://", "rtmps://", "udp://"};

std::atomic<bool>& RefreshMarker() {
  static std::atomic<bool> marker{false};
  return marker;
}

}  // namespace

Command Decide(int jobState, bool loggedIn) {
  if (jobState == kJobStarted || jobState == kJobProgress) return Command::kIgnore;
  return loggedIn ? Command::kOpenList : Command::kNeedLogin;
}

QString NeedLoginMessage() {
  return QString::fromUtf8("使用直播任务需要先登录云平台！\r\n点击右上角的登录按钮登录。");
}

QString LiveQuestion() {
  return QString::fromUtf8(
      "您选择一个直播任务，但是在系统设置中没有开启直播选项。\r\n您现在要开启云直播选项吗？");
}

std::optional<QString> Refusal(const LiveTask* selected) {
  if (selected == nullptr) return QString::fromUtf8("请选择要使用的直播任务！");
  if (selected->pushUrl.size() < kShortestPushUrl)
    return QString::fromUtf8("请选择有效的直播任务！");
  if (!IsAcceptedPushUrl(selected->pushUrl))
    return QString::fromUtf8("该直播任务的直播地址无效，无法使用！");
  return std::nullopt;
}

bool IsAcceptedPushUrl(std::string_view url) {
  bool scheme = false;
  for (std::string_view prefix : kPushSchemes)
    scheme = scheme || url.starts_with(prefix);
  if (!scheme) return false;
  // The encoder joins several outputs with '|' (its "tee:"), and a quote or a control character
  // has no place in an address: either would let the platform choose what the encoder writes.
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '|' || c == '"' || byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

QString RowTitle(const LiveTask& task) {
  if (task.level >= 1 && task.level <= kMaxIndent)
    return QString(task.level, QLatin1Char(' ')) + task.name;
  return task.name;
}

Effect Choose(const LiveTask& task, bool liveEnabled) {
  return {!task.chatUrl.empty(), !task.meetingUrl.empty(), !liveEnabled};
}

bool RefreshAllowed(bool loaded) {
  return !(RefreshMarker().load() && loaded);
}

void MarkRefreshed() {
  RefreshMarker().store(true);
}

void ResetRefreshMarker() {
  RefreshMarker().store(false);
}

}  // namespace vortane::live_task_choice
