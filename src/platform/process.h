#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Child processes without a shell: a command line is split into arguments by the Windows rules,
// the program is looked up on PATH and started with posix_spawnp, its output goes to a pipe that
// the caller polls without blocking.
namespace vortane::platform {

// Splits a command line the way a Windows program receives it (CommandLineToArgvW and the
// C runtime since 2008):
// - The program name (first argument) ends at the first blank or tab outside double quotes;
//   quotes in it only group, backslashes in it are plain characters.
// - After it, blanks and tabs separate arguments; double quotes group, and the quote characters
//   themselves are dropped; "" inside a quoted stretch is one literal quote and the stretch goes
//   on.
// - 2n backslashes before a quote give n backslashes and the quote groups; 2n+1 backslashes
//   before a quote give n backslashes and a literal quote; backslashes elsewhere are literal.
// The text is UTF-8; multi-byte characters pass through unchanged.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

struct PipeEnds {
  int readEnd = -1;
  int writeEnd = -1;
};

// A pipe whose two ends are close-on-exec and numbered 3 or above, so they never collide with
// the standard descriptors a child is given. Nothing when it could not be created (errno set).
std::optional<PipeEnds> CreatePipe();

// Makes reads on `fd` return at once instead of waiting for data.
bool SetNonBlocking(int fd);

// Closes `fd` unless it is -1, and sets it to -1.
void CloseDescriptor(int& fd);

struct StartedProcess {
  pid_t pid = -1;
  int errorNumber = 0;  // errno of the failure when pid is -1
  bool Started() const { return pid > 0; }
};

// Starts argv[0] (searched on PATH unless it contains '/') with `argv`, the parent's environment
// and current folder. The child reads its standard input from `inputFd` and writes standard
// output and standard error to `outputFd`; it inherits no other descriptor. Signals the parent
// ignores or blocks are reset to their defaults in the child (so SIGPIPE ends a writer whose
// reader is gone, as programs expect). The child leads a process group of its own, so signals
// meant for the caller's group (Ctrl+C, a closed terminal) do not reach it.
StartedProcess StartProcess(const std::vector<std::string>& argv, int inputFd, int outputFd);

// The number of bytes waiting in a pipe (FIONREAD); -1 when the descriptor cannot be asked.
int BytesWaiting(int fd);

// Reads up to `size` bytes that are already waiting, without waiting for more. Returns the
// number read (0 when nothing waits), -1 on a read error.
long ReadAvailable(int fd, char* buffer, std::size_t size);

// Writes `text` to a pipe whose reader may already be gone. Never raises SIGPIPE in this
// process; false when not everything could be written.
bool WriteToPipe(int fd, std::string_view text);

enum class WaitResult { kExited, kRunning, kFailed };

// The exit code of a child as a 32-bit unsigned number: a normal exit gives its status
// (0..255); a child ended by a signal gives 0x80000000 + the signal number, the way a crashed
// Windows process reports a code with the high bit set.
std::uint32_t ExitCodeFromWaitStatus(int waitStatus);

// Waits up to `timeout` for the child `pid` of this process to end and collects it. On kExited
// `exitCode` holds its exit code (see ExitCodeFromWaitStatus). kFailed means the child cannot be
// waited for (it is not ours, or was collected elsewhere); the pid must not be used again then.
WaitResult WaitForChild(pid_t pid, std::chrono::milliseconds timeout, std::uint32_t& exitCode);

// The command-line arguments of a running process (argv, from /proc); empty when it is gone or
// not readable.
std::vector<std::string> ProcessArguments(pid_t pid);

// Sends SIGKILL to the process; false when it could not be signalled.
bool KillProcess(pid_t pid);

// The ids of this user's processes (other than the caller) whose program file name or whose
// argv[0] file name is exactly `programName`, in the order /proc lists them. argv[0] matters
// because a wrapper may exec another program while keeping its own name there.
std::vector<pid_t> FindProcessesByName(std::string_view programName);

}  // namespace vortane::platform
