#pragma once

#include <QString>
#include <optional>

#include "app/settings_login_memory.h"
#include "http/account_state.h"
#include "http/interaction_launcher.h"

namespace vortane {

struct Settings;
struct PlatformReply;
struct ToolbarServices;
class CVortaneDlg;
class RecordingController;
class ToolbarTrace;

// The toolbar's commands that reach the school's platform: log in and out (the user button and
// the user name), choose a live task (直播), and open a task's chat or video page (聊, 会). It
// holds the login state and the launchers; the toolbar only shows what they decide.
class PlatformCommands : public AccountView, public InteractionHost {
 public:
  PlatformCommands(CVortaneDlg& toolbar, RecordingController& controller, Settings& settings,
                   const ToolbarServices& services, const ToolbarTrace& trace);

  AccountState& account() { return account_; }

  void UserCommand();
  void LiveTasksCommand();
  void InteractionCommand(bool chat);
  // The login requests and the stop signals answer.
  void OnPlatformReply(const PlatformReply& reply);

  // AccountView
  void ShowUserState(bool loggedIn, const QString& name) override;
  void SetStatusText(const QString& text, bool isError) override;
  void SetLoginPending(bool pending) override;

  // InteractionHost
  bool IsLoggedIn() const override;
  std::optional<LiveTask> SelectedTask() const override;
  void ChooseLiveTask() override;
  void ShowLauncherMessage(const QString& text, MessageIcon icon) override;
  bool IsCameraOpen() const override;
  void CloseCamera() override;

 private:
  void ShowMessage(const QString& text);

  CVortaneDlg& toolbar_;
  RecordingController& controller_;
  Settings& settings_;
  const ToolbarServices& services_;
  const ToolbarTrace& trace_;
  SettingsLoginMemory loginMemory_;
  AccountState account_;
  InteractionLauncher launcher_;
};

}  // namespace vortane
