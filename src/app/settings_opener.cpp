#include "app/settings_opener.h"

#include <QTimer>

#include "app/dialog_placement.h"
#include "app/toolbar_trace.h"
#include "settings/setup_dlg.h"

namespace vortane {

SettingsOpener::SettingsOpener(QWidget& toolbar, Settings& settings,
                               const ToolbarServices& services, const ToolbarTrace& trace,
                               int delayMs, Hooks hooks)
    : toolbar_(toolbar),
      settings_(settings),
      services_(services),
      trace_(trace),
      hooks_(std::move(hooks)) {
  delay_ = new QTimer(this);
  delay_->setSingleShot(true);
  delay_->setInterval(delayMs);
  connect(delay_, &QTimer::timeout, this, &SettingsOpener::Run);
}

SettingsOpener::~SettingsOpener() = default;

SetupDlg* SettingsOpener::Dialog() const {
  return dialog_;
}

bool SettingsOpener::IsPending() const {
  return delay_->isActive() || dialog_ != nullptr;
}

void SettingsOpener::Command() {
  if (!hooks_.mayOpen()) return;
  if (dialog_ != nullptr) {
    dialog_->raise();
    dialog_->activateWindow();
    return;
  }
  if (delay_->isActive()) return;
  hooks_.releaseCamera();
  delay_->start();
}

void SettingsOpener::Cancel() {
  delay_->stop();
  // The dialog's loop ends with it; the dialog itself goes when Run returns.
  if (dialog_ != nullptr) dialog_->reject();
}

void SettingsOpener::Run() {
  // A job may have started during the wait (the start button still worked).
  if (!hooks_.mayOpen()) return;
  SetupDlg dialog(settings_, &toolbar_, services_.listDevices);
  dialog_ = &dialog;
  dialog.SetMessageSink([this](QWidget* parent, const QString& text) {
    trace_(QStringLiteral("message: ") + text);
    services_.showWarning(parent, text);
  });
  connect(&dialog, &SetupDlg::Filled, this, [this, &dialog] {
    trace_.Controls(dialog);
    trace_(QStringLiteral("settings dialog filled"));
  });
  dialog.adjustSize();
  PlaceBelowToolbar(toolbar_, dialog);
  trace_(QStringLiteral("settings dialog opened"));
  const int result = dialog.exec();
  dialog_ = nullptr;
  trace_(result == QDialog::Accepted ? QStringLiteral("settings dialog closed: OK")
                                     : QStringLiteral("settings dialog closed: cancelled"));
  hooks_.closed();
}

}  // namespace vortane
