#include "vortenc/parent_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace vortenc {
namespace {

static_assert(kFinishSignal == SIGTERM);

// The watcher's life: it holds none of the encoder's pipes, ends when the encoder ends, and when
// the program ends first it sends the finish signal once.
[[noreturn]] void Watch(int programFd, pid_t encoder) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != encoder) _exit(0);
  prctl(PR_SET_NAME, "vortenc-watch");
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  for (int fd = 0; fd <= 2; ++fd)
    if (null >= 0) dup2(null, fd);
  // Everything else but the program's pidfd goes (the pipes above all).
  if (programFd > 3) syscall(SYS_close_range, 3u, unsigned(programFd - 1), 0u);
  syscall(SYS_close_range, unsigned(programFd + 1), ~0u, 0u);
  pollfd ended{programFd, POLLIN, 0};
  while (poll(&ended, 1, -1) < 0 && errno == EINTR) {
  }
  kill(encoder, kFinishSignal);
  _exit(0);
}

}  // namespace

bool WatchProgramEnd(pid_t program) {
  const int programFd = static_cast<int>(syscall(SYS_pidfd_open, program, 0));
  // The program ended before it could be watched: this process has a new parent by now.
  if (getppid() != program) {
    if (programFd >= 0) close(programFd);
    return false;
  }
  if (programFd < 0) {
    // No pidfd (a kernel before 5.3): the parent death signal is the next best thing.
    prctl(PR_SET_PDEATHSIG, kFinishSignal);
    return getppid() == program;
  }
  const pid_t encoder = getpid();
  const pid_t watcher = fork();
  if (watcher == 0) Watch(programFd, encoder);
  close(programFd);
  // Without a watcher (fork failed) the encoder still runs; it is only not tied to the program.
  return true;
}

}  // namespace vortenc
