#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "app/toolbar_services.h"

class QTimer;
class QWidget;

namespace vortane {

class SetupDlg;
struct Settings;
class ToolbarTrace;

// The toolbar's settings command. The dialog opens a moment after the command, so a camera the
// camera window has just let go of is free for the dialog's own preview; the wait runs on a
// timer, so the toolbar keeps painting and answering meanwhile. From the command until the
// dialog has closed the settings count as open (F8 and F9 wait for them).
class SettingsOpener : public QObject {
  Q_OBJECT

 public:
  struct Hooks {
    // No job runs and the toolbar is not closing: the settings may change.
    std::function<bool()> mayOpen;
    // Frees the camera from the camera window's preview.
    std::function<void()> releaseCamera;
    // The dialog has closed (OK or cancelled).
    std::function<void()> closed;
  };

  SettingsOpener(QWidget& toolbar, Settings& settings, const ToolbarServices& services,
                 const ToolbarTrace& trace, int delayMs, Hooks hooks);
  ~SettingsOpener() override;

  void Command();
  // The toolbar closes: a wait is dropped and a shown dialog is cancelled.
  void Cancel();
  bool IsPending() const;
  SetupDlg* Dialog() const;

 private:
  void Run();

  QWidget& toolbar_;
  Settings& settings_;
  const ToolbarServices& services_;
  const ToolbarTrace& trace_;
  Hooks hooks_;
  QTimer* delay_ = nullptr;
  // Lives on the stack of Run while it is shown.
  QPointer<SetupDlg> dialog_;
};

}  // namespace vortane
