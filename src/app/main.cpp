#include <csignal>

#include "app/folders.h"
#include "app/vortane_app.h"

int main(int argc, char* argv[]) {
  // A write to a pipe whose reader is gone must fail, not end the toolbar.
  std::signal(SIGPIPE, SIG_IGN);
  // The bare name "vortenc" finds the encoder beside the program.
  vortane::PutProgramFolderFirstOnPath();
  vortane::CVortaneApp app(argc, argv);
  return app.InitInstance();
}
