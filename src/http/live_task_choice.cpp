#include "http/live_task_choice.h"

#include <atomic>

#include "encoder/encoder_job.h"

namespace vortane::live_task_choice {
namespace {

// A push address needs more than a scheme to lead anywhere.
constexpr size_t kShortestPushUrl = 9;
constexpr int kMaxIndent = 15;

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
  return std::nullopt;
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
