#include "app/platform_commands.h"

#include "app/dialog_placement.h"
#include "app/recording_controller.h"
#include "app/toolbar_services.h"
#include "app/toolbar_trace.h"
#include "app/vortane_dlg.h"
#include "http/live_list_dlg.h"
#include "http/live_task_choice.h"
#include "http/login_dlg.h"
#include "http/platform_request.h"
#include "settings/settings.h"

namespace vortane {

PlatformCommands::PlatformCommands(CVortaneDlg& toolbar, RecordingController& controller,
                                   Settings& settings, const ToolbarServices& services,
                                   const ToolbarTrace& trace)
    : toolbar_(toolbar),
      controller_(controller),
      settings_(settings),
      services_(services),
      trace_(trace),
      loginMemory_(settings),
      account_(*this, loginMemory_),
      launcher_(*this, settings) {}

void PlatformCommands::ShowMessage(const QString& text) {
  trace_(QStringLiteral("message: ") + text);
  services_.showMessage(&toolbar_, text);
}

void PlatformCommands::UserCommand() {
  // The stream's push address and stop signal belong to the login: it stays while pushing.
  if (toolbar_.IsClosing() || controller_.liveMode()) return;
  if (account_.IsLoggedIn()) {
    if (!services_.askQuestion(&toolbar_, QStringLiteral("要退出登录吗？"))) return;
    account_.Logout();
    toolbar_.Files().ShowUploadDestinations();
    controller_.SetSelectedLiveTask(std::nullopt);
    controller_.ShowReadyStatus();
    return;
  }
  LoginDlg dialog(account_.Prefill(), &toolbar_);
  dialog.SetMessageSink([this](QWidget* parent, const QString& text) {
    trace_(QStringLiteral("message: ") + text);
    services_.showMessage(parent, text);
  });
  QObject::connect(&dialog, &LoginDlg::Shown, &toolbar_, [this, &dialog] {
    trace_.Controls(dialog);
    trace_(QStringLiteral("login dialog opened"));
  });
  PlaceBelowToolbar(toolbar_, dialog);
  const int result = dialog.exec();
  if (toolbar_.IsClosed() || result != QDialog::Accepted) return;
  trace_(QStringLiteral("login to ") + dialog.Fields().server);
  if (!account_.Login(dialog.Fields(), &toolbar_,
                      [this](const PlatformReply& reply) { OnPlatformReply(reply); }))
    trace_(QStringLiteral("config.cfg could not be written"));
}

void PlatformCommands::LiveTasksCommand() {
  switch (live_task_choice::Decide(controller_.jobState(), IsLoggedIn())) {
    case live_task_choice::Command::kIgnore:
      return;
    case live_task_choice::Command::kNeedLogin:
      ShowMessage(live_task_choice::NeedLoginMessage());
      return;
    case live_task_choice::Command::kOpenList:
      break;
  }
  CLiveListDlg dialog(&toolbar_);
  dialog.SetMessageSink([this](QWidget* parent, const QString& text) {
    trace_(QStringLiteral("message: ") + text);
    services_.showMessage(parent, text);
  });
  QObject::connect(&dialog, &CLiveListDlg::Shown, &toolbar_, [this, &dialog] {
    trace_.Controls(dialog);
    trace_.ListRows(dialog);
    trace_(QStringLiteral("live list opened"));
  });
  PlaceBelowToolbar(toolbar_, dialog);
  const int result = dialog.exec();
  if (toolbar_.IsClosed() || result != QDialog::Accepted || !dialog.ChosenTask()) return;
  const LiveTask& task = *dialog.ChosenTask();
  trace_(QStringLiteral("live task chosen: ") + task.name);
  controller_.SetSelectedLiveTask(task);
  const live_task_choice::Effect effect = live_task_choice::Choose(task, settings_.liveEnabled);
  toolbar_.ShowInteractionButtons(effect.showChat, effect.showMeeting);
  // Switched on for this run only; the settings dialog saves it when the user keeps it.
  if (effect.askLive && services_.askQuestion(&toolbar_, live_task_choice::LiveQuestion()))
    settings_.liveEnabled = true;
  controller_.ShowReadyStatus();
}

void PlatformCommands::InteractionCommand(bool chat) {
  if (toolbar_.IsClosing()) return;
  const LaunchResult result = chat ? launcher_.OpenChat() : launcher_.OpenVideoInteraction();
  if (toolbar_.IsClosed()) return;
  // The video page's address carries the password: only the program is traced.
  trace_(QStringLiteral("interaction %1: %2 %3")
             .arg(chat ? QStringLiteral("chat") : QStringLiteral("meeting"),
                  QLatin1String(LaunchOutcomeName(result.outcome)), result.program));
}

void PlatformCommands::OnPlatformReply(const PlatformReply& reply) {
  trace_(QStringLiteral("platform reply %1 %2").arg(reply.StatusCode()).arg(reply.text));
  account_.OnPlatformReply(reply);
  toolbar_.Files().ShowUploadDestinations();
}

void PlatformCommands::ShowUserState(bool loggedIn, const QString& name) {
  toolbar_.ShowUserState(loggedIn, name);
}

void PlatformCommands::SetStatusText(const QString& text, bool isError) {
  controller_.SetStatusText(text, isError);
}

void PlatformCommands::SetLoginPending(bool pending) {
  toolbar_.SetLoginPending(pending);
}

bool PlatformCommands::IsLoggedIn() const {
  return account_.IsLoggedIn();
}

std::optional<LiveTask> PlatformCommands::SelectedTask() const {
  return controller_.selectedLiveTask();
}

void PlatformCommands::ChooseLiveTask() {
  // The program may have been asked to end while the note before this was up.
  if (!toolbar_.IsClosing()) LiveTasksCommand();
}

void PlatformCommands::ShowLauncherMessage(const QString& text, MessageIcon icon) {
  trace_(QStringLiteral("message: ") + text);
  if (icon == MessageIcon::kWarning) {
    services_.showWarning(&toolbar_, text);
  } else {
    services_.showInformation(&toolbar_, text);
  }
}

bool PlatformCommands::IsCameraOpen() const {
  return toolbar_.Camera().IsOpen();
}

void PlatformCommands::CloseCamera() {
  toolbar_.Camera().Close();
}

}  // namespace vortane
