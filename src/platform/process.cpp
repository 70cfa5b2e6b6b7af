#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <thread>

extern char** environ;

namespace vortane::platform {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view FileNameOf(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Moves a new descriptor out of 0..2 so that handing it to a child as a standard descriptor can
// never overwrite another one of the same child.
int AboveStandardDescriptors(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  int saved = errno;
  close(fd);
  errno = saved;
  return moved;
}

std::string ReadSmallFile(const std::string& path, size_t limit) {
  std::string content;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return content;
  content.resize(limit);
  size_t used = 0;
  while (used < limit) {
    ssize_t n = read(fd, content.data() + used, limit - used);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    used += static_cast<size_t>(n);
  }
  close(fd);
  content.resize(used);
  return content;
}

bool ProgramNameMatches(pid_t pid, std::string_view programName) {
  const std::string folder = "/proc/" + std::to_string(pid);
  char target[4096];
  ssize_t length = readlink((folder + "/exe").c_str(), target, sizeof target);
  if (length > 0) {
    std::string_view exe(target, static_cast<size_t>(length));
    // A program file replaced while it runs (an update) is still the same program.
    constexpr std::string_view kDeleted = " (deleted)";
    if (exe.ends_with(kDeleted)) exe.remove_suffix(kDeleted.size());
    if (FileNameOf(exe) == programName) return true;
  }
  std::string commandLine = ReadSmallFile(folder + "/cmdline", 4096);
  std::string_view argv0(commandLine.c_str());
  return !argv0.empty() && FileNameOf(argv0) == programName;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = line.size();
  while (i < n && IsBlank(line[i]))
    ++i;
  if (i == n) return args;

  std::string program;
  bool inQuotes = false;
  for (; i < n; ++i) {
    char c = line[i];
    if (c == '"') {
      inQuotes = !inQuotes;
      continue;
    }
    if (!inQuotes && IsBlank(c)) break;
    program += c;
  }
  args.push_back(std::move(program));

  for (;;) {
    while (i < n && IsBlank(line[i]))
      ++i;
    if (i >= n) break;
    std::string arg;
    inQuotes = false;
    for (;;) {
      size_t backslashes = 0;
      while (i < n && line[i] == '\\') {
        ++backslashes;
        ++i;
      }
      bool copy = true;
      if (i < n && line[i] == '"') {
        if (backslashes % 2 == 0) {
          if (inQuotes && i + 1 < n && line[i + 1] == '"') {
            ++i;  // "" inside quotes: one literal quote, still quoted
          } else {
            copy = false;
            inQuotes = !inQuotes;
          }
        }
        backslashes /= 2;
      }
      arg.append(backslashes, '\\');
      if (i >= n || (!inQuotes && IsBlank(line[i]))) break;
      if (copy) arg += line[i];
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::optional<PipeEnds> CreatePipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  PipeEnds ends{AboveStandardDescriptors(fds[0]), AboveStandardDescriptors(fds[1])};
  if (ends.readEnd < 0 || ends.writeEnd < 0) {
    int saved = errno;
    CloseDescriptor(ends.readEnd);
    CloseDescriptor(ends.writeEnd);
    errno = saved;
    return std::nullopt;
  }
  return ends;
}

bool SetNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void CloseDescriptor(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

StartedProcess StartProcess(const std::vector<std::string>& argv, int inputFd, int outputFd) {
  StartedProcess result;
  if (argv.empty() || argv[0].empty()) {
    result.errorNumber = ENOENT;
    return result;
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (inputFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, inputFd, STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
  // Descriptors that other parts of the program opened without close-on-exec stay out too.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigfillset(&defaults);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigset_t noneBlocked;
  sigemptyset(&noneBlocked);
  posix_spawnattr_setsigmask(&attributes, &noneBlocked);
  // A process group of its own: Ctrl+C in the program's terminal, a closed terminal or a signal
  // to the program's group reaches the program, which then ends its children in order.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  pid_t pid = -1;
  int error = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    result.errorNumber = error;
    return result;
  }
  result.pid = pid;
  return result;
}

int BytesWaiting(int fd) {
  int count = 0;
  if (ioctl(fd, FIONREAD, &count) != 0) return -1;
  return count;
}

long ReadAvailable(int fd, char* buffer, std::size_t size) {
  std::size_t used = 0;
  while (used < size) {
    ssize_t n = read(fd, buffer + used, size - used);
    if (n > 0) {
      used += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && used == 0) return -1;
    break;
  }
  return static_cast<long>(used);
}

bool WriteToPipe(int fd, std::string_view text) {
  // SIGPIPE is raised in the writing thread: keep it blocked for the write and take back a
  // signal this write caused, so neither this process nor its other threads see it.
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  sigset_t pending;
  sigpending(&pending);
  const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
  sigset_t previousMask;
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previousMask);

  bool written = true;
  bool brokenPipe = false;
  while (!text.empty()) {
    ssize_t n = write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      brokenPipe = n < 0 && errno == EPIPE;
      written = false;
      break;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }

  if (brokenPipe && !alreadyPending) {
    timespec noWait{};
    while (sigtimedwait(&pipeSignal, nullptr, &noWait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  return written;
}

std::uint32_t ExitCodeFromWaitStatus(int waitStatus) {
  if (WIFEXITED(waitStatus)) return static_cast<std::uint32_t>(WEXITSTATUS(waitStatus));
  if (WIFSIGNALED(waitStatus))
    return 0x80000000u + static_cast<std::uint32_t>(WTERMSIG(waitStatus));
  return static_cast<std::uint32_t>(waitStatus);
}

WaitResult WaitForChild(pid_t pid, std::chrono::milliseconds timeout, std::uint32_t& exitCode) {
  auto collect = [&]() -> std::optional<WaitResult> {
    int status = 0;
    pid_t r;
    do {
      r = waitpid(pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid) {
      exitCode = ExitCodeFromWaitStatus(status);
      return WaitResult::kExited;
    }
    if (r < 0) return WaitResult::kFailed;
    return std::nullopt;
  };
  if (auto result = collect()) return *result;
  if (timeout.count() <= 0) return WaitResult::kRunning;

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // A pidfd turns "wait with a time-out" into one poll; without one, look every 10 ms.
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    if (pidfd >= 0) {
      pollfd entry{pidfd, POLLIN, 0};
      int ready = poll(&entry, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      break;
    }
    std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(10)));
    if (auto result = collect()) return *result;
  }
  if (pidfd >= 0) close(pidfd);
  if (auto result = collect()) return *result;
  return WaitResult::kRunning;
}

std::vector<std::string> ProcessArguments(pid_t pid) {
  // An encoder's command line is at most a few kilobytes; 64 KiB leaves ample room.
  const std::string content = ReadSmallFile("/proc/" + std::to_string(pid) + "/cmdline", 1 << 16);
  std::vector<std::string> arguments;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\0', start);
    if (end == std::string::npos) end = content.size();
    arguments.emplace_back(content, start, end - start);
    start = end + 1;
  }
  return arguments;
}

bool KillProcess(pid_t pid) {
  return pid > 0 && kill(pid, SIGKILL) == 0;
}

std::vector<pid_t> FindProcessesByName(std::string_view programName) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return found;
  const uid_t user = getuid();
  const pid_t self = getpid();
  while (dirent* entry = readdir(proc)) {
    std::string_view name(entry->d_name);
    pid_t pid = 0;
    auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (error != std::errc() || end != name.data() + name.size() || pid <= 0) continue;
    if (pid == self) continue;
    struct stat info;
    if (fstatat(dirfd(proc), entry->d_name, &info, 0) != 0 || info.st_uid != user) continue;
    if (ProgramNameMatches(pid, programName)) found.push_back(pid);
  }
  closedir(proc);
  return found;
}

}  // namespace vortane::platform
