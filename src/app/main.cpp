#include <chrono>
#include <csignal>

#include "app/vortane_app.h"
#include "http/platform_client.h"
#include "platform/folders.h"
#include "platform/wayland_session.h"

int main(int argc, char* argv[]) {
  // A write to a pipe whose reader is gone must fail, not end the toolbar.
  std::signal(SIGPIPE, SIG_IGN);
  // The bare name "vortenc" finds the encoder beside the program.
  vortane::PutProgramFolderFirstOnPath();
  // On a Wayland session the toolbar's windows stay X11 clients under Xwayland, where they keep
  // their places and stay on top.
  if (vortane::platform::IsWaylandSession() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "xcb");
  vortane::CVortaneApp app(argc, argv);
  const int status = app.InitInstance();
  // A stop signal sent as the lesson ended still reaches the platform; no request outlives main.
  vortane::EndPlatformRequests(std::chrono::seconds(5));
  return status;
}
