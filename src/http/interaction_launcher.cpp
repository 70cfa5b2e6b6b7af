#include "http/interaction_launcher.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "http/interaction_command_lines.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "settings/settings.h"

namespace vortane {
namespace {

// The interaction module's program file, in its folder under the program-files folder.
constexpr char kModuleFolder[] = "talvine";
constexpr char kModuleProgram[] = "talvine";
// The browsers that can show a page as an app window, in the order they are preferred.
constexpr const char* kBrowsers[] = {"google-chrome", "chromium"};
// Until this many modules run, another one may start.
constexpr int kMaxRunningModules = 1;

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

}  // namespace

const char* LaunchOutcomeName(LaunchOutcome outcome) {
  switch (outcome) {
    case LaunchOutcome::kNotLoggedIn:
      return "not logged in";
    case LaunchOutcome::kNoTask:
      return "no task";
    case LaunchOutcome::kNoPage:
      return "no page";
    case LaunchOutcome::kModuleBusy:
      return "module busy";
    case LaunchOutcome::kModuleMissing:
      return "module missing";
    case LaunchOutcome::kBadAddress:
      return "address invalid";
    case LaunchOutcome::kTooLong:
      return "address too long";
    case LaunchOutcome::kStartFailed:
      return "start failed";
    case LaunchOutcome::kStarted:
      return "started";
  }
  return "?";
}

InteractionLauncher::InteractionLauncher(InteractionHost& host, const Settings& settings)
    : host_(host), settings_(settings) {}

QString InteractionLauncher::NotLoggedInText() {
  return Text("登录系统后才可以互动！");
}
QString InteractionLauncher::NoTaskText() {
  return Text("请先选择直播课程！");
}
QString InteractionLauncher::NoChatText() {
  return Text("该直播课程没有开启互动功能！");
}
QString InteractionLauncher::NoMeetingText() {
  return Text("该直播课程没有开启视频互动功能！");
}
QString InteractionLauncher::ModuleMissingText() {
  return Text("您没有安装互动模块，请下载并安装互动模块然后再尝试开启互动！");
}
QString InteractionLauncher::BadAddressText() {
  return Text("该直播课程的互动页面地址无效，无法开启互动！");
}
QString InteractionLauncher::AddressTooLongText() {
  return Text("该直播课程的互动页面地址太长，无法开启互动！");
}
QString InteractionLauncher::ModuleStartFailedText() {
  return Text("互动模块无法启动，请重新安装互动模块！");
}
QString InteractionLauncher::NoBrowserText() {
  return Text(
      "该功能需要谷歌浏览器支持，请安装谷歌浏览器！\n安装地址：百度搜索chrome或谷歌浏览器。");
}

QString InteractionLauncher::ModulePath() {
  return GetProgramFilesFolder() + QLatin1String(kModuleFolder) + QLatin1Char('/') +
         QLatin1String(kModuleProgram);
}

QString InteractionLauncher::FindBrowser() {
  for (const char* name : kBrowsers) {
    const QString path = QStandardPaths::findExecutable(QLatin1String(name));
    if (!path.isEmpty()) return path;
  }
  return {};
}

std::string InteractionLauncher::Server() const {
  // In the page address as the platform's own addresses are: UTF-8.
  return settings_.platformServer.toStdString();
}

std::optional<LiveTask> InteractionLauncher::TaskForInteraction(LaunchResult& result) {
  if (!host_.IsLoggedIn()) {
    result.outcome = LaunchOutcome::kNotLoggedIn;
    host_.ShowLauncherMessage(NotLoggedInText(), MessageIcon::kInformation);
    return std::nullopt;
  }
  std::optional<LiveTask> task = host_.SelectedTask();
  if (!task) {
    host_.ShowLauncherMessage(NoTaskText(), MessageIcon::kInformation);
    host_.ChooseLiveTask();
    task = host_.SelectedTask();
    if (!task) result.outcome = LaunchOutcome::kNoTask;
  }
  return task;
}

LaunchResult InteractionLauncher::OpenChat() {
  LaunchResult result;
  const std::optional<LiveTask> task = TaskForInteraction(result);
  if (!task) return result;
  if (task->chatUrl.empty()) {
    result.outcome = LaunchOutcome::kNoPage;
    host_.ShowLauncherMessage(NoChatText(), MessageIcon::kInformation);
    return result;
  }
  if (CountRunningModules() > kMaxRunningModules) {
    result.outcome = LaunchOutcome::kModuleBusy;
    return result;
  }
  result.program = ModulePath();
  if (!QFileInfo::exists(result.program)) {
    result.outcome = LaunchOutcome::kModuleMissing;
    host_.ShowLauncherMessage(ModuleMissingText(), MessageIcon::kWarning);
    return result;
  }
  const std::optional<std::string> page = SafePageUrl(task->chatUrl, Server());
  if (!page) {
    result.outcome = LaunchOutcome::kBadAddress;
    host_.ShowLauncherMessage(BadAddressText(), MessageIcon::kWarning);
    return result;
  }
  const std::optional<std::vector<std::string>> arguments =
      BuildModuleArguments(*page, task->chatUrl);
  if (!arguments) {
    result.outcome = LaunchOutcome::kTooLong;
    host_.ShowLauncherMessage(AddressTooLongText(), MessageIcon::kWarning);
    return result;
  }
  result.arguments = ArgumentTexts(*arguments);
  if (!QProcess::startDetached(result.program, result.arguments)) {
    result.outcome = LaunchOutcome::kStartFailed;
    host_.ShowLauncherMessage(ModuleStartFailedText(), MessageIcon::kWarning);
    return result;
  }
  result.outcome = LaunchOutcome::kStarted;
  return result;
}

LaunchResult InteractionLauncher::OpenVideoInteraction() {
  LaunchResult result;
  const std::optional<LiveTask> task = TaskForInteraction(result);
  if (!task) return result;
  if (task->meetingUrl.empty()) {
    result.outcome = LaunchOutcome::kNoPage;
    host_.ShowLauncherMessage(NoMeetingText(), MessageIcon::kInformation);
    return result;
  }
  const std::optional<std::string> page = SafePageUrl(task->meetingUrl, Server());
  if (!page) {
    result.outcome = LaunchOutcome::kBadAddress;
    host_.ShowLauncherMessage(BadAddressText(), MessageIcon::kWarning);
    return result;
  }
  // The page wants the camera, which the camera window's picture holds.
  if (host_.IsCameraOpen()) host_.CloseCamera();
  result.arguments = ArgumentTexts(BuildBrowserArguments(*page));
  result.program = FindBrowser();
  if (result.program.isEmpty() || !QProcess::startDetached(result.program, result.arguments)) {
    result.outcome = LaunchOutcome::kStartFailed;
    host_.ShowLauncherMessage(NoBrowserText(), MessageIcon::kWarning);
    return result;
  }
  result.outcome = LaunchOutcome::kStarted;
  return result;
}

int CountRunningModules() {
  return static_cast<int>(platform::FindProcessesByName(kModuleProgram).size());
}

}  // namespace vortane
