#include "vortenc/sound_reader.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vortenc {

SoundReader StartSoundReader(const std::string& program, const std::string& source,
                             const std::string& name, long long startMicros) {
  SoundReader reader;
  if (access(program.c_str(), X_OK) != 0) {
    reader.error = "cannot find the sound reader \"" + program + "\" (reinstall the program)";
    return reader;
  }
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    reader.error = std::string("cannot make a pipe for the sound: ") + std::strerror(errno);
    return reader;
  }
  // Room for a few seconds of sound, so the reader seldom waits on ffmpeg.
  fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
  const pid_t encoder = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    reader.error = std::string("cannot start the sound reader: ") + std::strerror(errno);
    close(ends[0]);
    close(ends[1]);
    return reader;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != encoder) _exit(0);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGINT, SIG_IGN);  // a Ctrl+C meant for the encoder; the pipe's end stops this one
    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull >= 0) dup2(devNull, STDIN_FILENO);
    // Only the pipe and standard error stay open: no output file, no other reader's pipe.
    dup2(ends[1], kSoundReaderFd);
    fcntl(kSoundReaderFd, F_SETFD, 0);
    close_range(kSoundReaderFd + 1, ~0U, 0);
    // A fresh program: the sound server's library refuses to work in a copy of a process that
    // has used it (the device lookup may have).
    std::string start = std::to_string(startMicros);
    std::string path = program;
    char* arguments[] = {path.data(), const_cast<char*>(source.c_str()),
                         const_cast<char*>(name.c_str()), start.data(), nullptr};
    execv(path.c_str(), arguments);
    _exit(127);
  }
  close(ends[1]);
  reader.pid = pid;
  reader.fd = ends[0];
  return reader;
}

}  // namespace vortenc
