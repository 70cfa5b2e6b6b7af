#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "http/live_task.h"

namespace vortane {

struct Settings;

// The sign a launcher message box carries.
enum class MessageIcon { kInformation, kWarning };

// What the launchers reach in the toolbar.
class InteractionHost {
 public:
  virtual ~InteractionHost() = default;
  // The live account is loaded.
  virtual bool IsLoggedIn() const = 0;
  virtual std::optional<LiveTask> SelectedTask() const = 0;
  // The live-task command: lets the user choose a task, returns when the choice is over.
  virtual void ChooseLiveTask() = 0;
  // A modal message box; returns once it has been answered.
  virtual void ShowLauncherMessage(const QString& text, MessageIcon icon) = 0;
  virtual bool IsCameraOpen() const = 0;
  virtual void CloseCamera() = 0;
};

// How a launch ended.
enum class LaunchOutcome {
  kNotLoggedIn,
  kNoTask,         // asked to choose one, none chosen
  kNoPage,         // the task has no such page
  kModuleBusy,     // two modules already run
  kModuleMissing,  // the interaction module is not installed
  kBadAddress,     // the page address is not an absolute http or https address
  kTooLong,        // the page address does not fit the module's command line
  kStartFailed,    // the module or the browser could not be started
  kStarted,
};

// "started", "module missing", ... (for traces).
const char* LaunchOutcomeName(LaunchOutcome outcome);

struct LaunchResult {
  LaunchOutcome outcome = LaunchOutcome::kNotLoggedIn;
  QString program;  // what was started (or tried)
  QStringList arguments;
};

// The two interaction buttons of a live lesson: 文字互动 opens the task's chat page in the
// interaction module (program-files folder + "talvine/talvine"), 视频互动 opens its video page
// as an app window of the first of google-chrome, chromium on PATH. A page address comes from the
// platform: it is handed on as one argument, and only when it is an http or https address. Both
// run on the UI thread and neither waits for what it starts.
class InteractionLauncher {
 public:
  InteractionLauncher(InteractionHost& host, const Settings& settings);

  LaunchResult OpenChat();
  LaunchResult OpenVideoInteraction();

  // Where the interaction module is installed.
  static QString ModulePath();
  // The browser that shows the video page: its full path, or empty when there is none.
  static QString FindBrowser();

  static QString NotLoggedInText();
  static QString NoTaskText();
  static QString NoChatText();
  static QString NoMeetingText();
  static QString ModuleMissingText();
  static QString BadAddressText();
  static QString AddressTooLongText();
  static QString ModuleStartFailedText();
  static QString NoBrowserText();

 private:
  // The preconditions of both buttons: logged in and a task chosen (asked for when missing).
  std::optional<LiveTask> TaskForInteraction(LaunchResult& result);
  std::string Server() const;

  InteractionHost& host_;
  const Settings& settings_;
};

// The number of running processes of this user whose program is the interaction module.
int CountRunningModules();

}  // namespace vortane
