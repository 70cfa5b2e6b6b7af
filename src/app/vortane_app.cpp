#include "app/vortane_app.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "app/program_icon.h"
#include "app/single_instance.h"
#include "app/vortane_dlg.h"
#include "platform/program_info.h"

namespace vortane {
namespace {

// A termination signal is turned into a byte on this socket pair, which the UI thread watches:
// nothing else may run inside a signal handler.
int signalSockets[2] = {-1, -1};

void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t written = write(signalSockets[1], &byte, 1);
}

bool WatchTerminationSignals() {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP})
    sigaction(signal, &action, nullptr);
  return true;
}

}  // namespace

CVortaneApp::CVortaneApp(int& argc, char** argv)
    : app_(std::make_unique<QApplication>(argc, argv)) {
  QApplication::setApplicationName(QStringLiteral("vortn"));
  QApplication::setApplicationDisplayName(ProgramTitle());
  QApplication::setApplicationVersion(ProgramVersion());
  QApplication::setWindowIcon(ProgramIcon());
  // Message boxes come and go; the program ends only with the toolbar.
  QApplication::setQuitOnLastWindowClosed(false);
}

CVortaneApp::~CVortaneApp() = default;

int CVortaneApp::InitInstance() {
  // Decided before the toolbar exists: its start-up ends a leftover encoder, which for a second
  // start would be the running toolbar's.
  SingleInstance instance;
  if (!instance.IsFirst()) {
    if (!instance.AskFirstToRaise()) {
      std::fprintf(stderr, "vortane: the toolbar already runs on this display\n");
    }
    return 0;
  }

  CVortaneDlg::Services services;
  services.trace = qEnvironmentVariableIntValue("VORTANE_TRACE") != 0;
  CVortaneDlg toolbar(services);
  QObject::connect(&instance, &SingleInstance::raiseRequested, &toolbar,
                   &CVortaneDlg::BringToFront);
  QObject::connect(&toolbar, &QDialog::finished, app_.get(),
                   [](int status) { QCoreApplication::exit(status); });

  std::unique_ptr<QSocketNotifier> signalWatch;
  if (WatchTerminationSignals()) {
    signalWatch = std::make_unique<QSocketNotifier>(signalSockets[0], QSocketNotifier::Read);
    QObject::connect(signalWatch.get(), &QSocketNotifier::activated, &toolbar, [&toolbar] {
      char byte;
      [[maybe_unused]] ssize_t got = read(signalSockets[0], &byte, 1);
      toolbar.EndProgram();
    });
  }
  return QApplication::exec();
}

}  // namespace vortane
