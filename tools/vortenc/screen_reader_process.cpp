#include "vortenc/screen_reader_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <vector>

extern char** environ;

namespace vortenc {

ScreenReader StartScreenReader(const std::string& program, long long startMicros,
                               const std::string& rate, const ScreenArea& area,
                               const std::string& tokenFile) {
  ScreenReader reader;
  int frames[2];
  int status[2];
  if (pipe2(frames, O_CLOEXEC) != 0) {
    reader.error = std::string("cannot make a pipe for the screen: ") + std::strerror(errno);
    return reader;
  }
  if (pipe2(status, O_CLOEXEC) != 0) {
    reader.error = std::string("cannot make a pipe for the screen: ") + std::strerror(errno);
    close(frames[0]);
    close(frames[1]);
    return reader;
  }
  // Its own standard input is empty ("q" is ffmpeg's); its messages go where this process's go.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, frames[1], 1);
  posix_spawn_file_actions_adddup2(&actions, status[1], 3);
  std::vector<std::string> arguments{program,
                                     std::to_string(startMicros),
                                     rate,
                                     std::to_string(area.x),
                                     std::to_string(area.y),
                                     std::to_string(area.width),
                                     std::to_string(area.height),
                                     tokenFile};
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(frames[1]);
  close(status[1]);
  if (spawned != 0) {
    close(frames[0]);
    close(status[0]);
    reader.error = "cannot start " + program + ": " + std::strerror(spawned);
    return reader;
  }

  // One line; the portal may be showing the teacher a dialog meanwhile.
  std::string line;
  char c = 0;
  ssize_t got = 0;
  while ((got = read(status[0], &c, 1)) == 1 || (got < 0 && errno == EINTR))
    if (got == 1) {
      if (c == '\n' || line.size() > 4096) break;
      line += c;
    }
  close(status[0]);
  std::istringstream words(line);
  std::string word;
  words >> word;
  if (word == "ready" &&
      words >> reader.width >> reader.height >> reader.pixelFormat >> reader.offsetMicros &&
      reader.width > 0 && reader.height > 0) {
    // Kept open across exec for ffmpeg.
    fcntl(frames[0], F_SETFD, 0);
    reader.fd = frames[0];
    return reader;
  }
  close(frames[0]);
  int exitStatus = 0;
  waitpid(pid, &exitStatus, 0);
  if (word == "cancelled") {
    reader.cancelled = true;
    reader.error = "screen sharing was cancelled, nothing is recorded";
  } else if (word == "failed") {
    std::getline(words >> std::ws, reader.error);
    reader.error = "cannot record the screen through the desktop portal: " + reader.error;
  } else {
    reader.error = "the screen reader " + program + " ended without a picture";
  }
  return reader;
}

}  // namespace vortenc
