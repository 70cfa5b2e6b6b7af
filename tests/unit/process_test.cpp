#include "platform/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "encoder/encoder_job.h"

extern char** environ;

namespace vortane::platform {
namespace {

using namespace std::chrono_literals;
using Args = std::vector<std::string>;

struct Finished {
  std::uint32_t exitCode = 0;
  std::string output;
};

// Runs a child to its end with its output on a pipe, the way the job runner does.
Finished RunToEnd(const Args& argv) {
  Finished result;
  std::optional<PipeEnds> output = CreatePipe();
  EXPECT_TRUE(output);
  if (!output) return result;
  EXPECT_TRUE(SetNonBlocking(output->readEnd));
  StartedProcess child = StartProcess(argv, -1, output->writeEnd);
  EXPECT_TRUE(child.Started()) << argv[0] << ": error " << child.errorNumber;
  CloseDescriptor(output->writeEnd);
  if (child.Started()) {
    EXPECT_EQ(WaitForChild(child.pid, 20s, result.exitCode), WaitResult::kExited);
  }
  char buffer[65536];
  int waiting = BytesWaiting(output->readEnd);
  if (waiting > 0) {
    long got = ReadAvailable(output->readEnd, buffer, sizeof buffer);
    EXPECT_EQ(got, waiting);
    if (got > 0) result.output.assign(buffer, static_cast<size_t>(got));
  }
  CloseDescriptor(output->readEnd);
  return result;
}

TEST(Process, SplitsCommandLinesByTheWindowsRules) {
  struct Case {
    std::string line;
    Args args;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"   \t ", {}},
      {"prog a b", {"prog", "a", "b"}},
      {"  prog   a\t\tb  ", {"prog", "a", "b"}},
      {"p \"a b\" c", {"p", "a b", "c"}},
      {"p a\"b c\"d", {"p", "ab cd"}},
      {"p \"\"", {"p", ""}},
      {"p \"\" x", {"p", "", "x"}},
      {"p \"a b", {"p", "a b"}},
      // Backslashes not before a quote are plain characters.
      {"p a\\b \\\\server\\share\\", {"p", "a\\b", "\\\\server\\share\\"}},
      // 2n backslashes + quote: n backslashes, the quote groups.
      {"p a\\\\\"b c\"", {"p", "a\\b c"}},
      {"p \"c:\\dir\\\\\" next", {"p", "c:\\dir\\", "next"}},
      // 2n+1 backslashes + quote: n backslashes and a literal quote.
      {"p a\\\"b", {"p", "a\"b"}},
      {"p a\\\\\\\"b", {"p", "a\\\"b"}},
      {"p \"a \\\" b\"", {"p", "a \" b"}},
      // "" inside quotes is one literal quote and the quoted stretch goes on.
      {"p \"a\"\"b c\"", {"p", "a\"b c"}},
      {"p \"\"\"\"", {"p", "\""}},
      // The program name: quotes group, backslashes are literal.
      {"\"C:\\Program Files\\vortenc.exe\" -i", {"C:\\Program Files\\vortenc.exe", "-i"}},
      {"\"a b\"c d", {"a bc", "d"}},
      {"dir\\\"x y", {"dir\\x y"}},
      // Newlines are not separators; multi-byte characters pass through.
      {"p a\nb 中文 \"带 空格\"", {"p", "a\nb", "中文", "带 空格"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SplitCommandLine(c.line), c.args) << "line: " << c.line;
}

TEST(Process, ChildOutputAndExitCodes) {
  Finished normal = RunToEnd({"sh", "-c", "printf 'hello'; printf ' err' >&2; exit 7"});
  EXPECT_EQ(normal.exitCode, 7u);
  EXPECT_EQ(normal.output, "hello err");

  EXPECT_EQ(RunToEnd({"sh", "-c", "exit 0"}).exitCode, 0u);
  EXPECT_EQ(RunToEnd({"sh", "-c", "exit 255"}).exitCode, 255u);
  // Killed by a signal: the high bit plus the signal number, never a small or negative number.
  EXPECT_EQ(RunToEnd({"sh", "-c", "kill -SEGV $$"}).exitCode, 0x80000000u + SIGSEGV);

  // A child still running is reported as running after the time-out, and a kill ends it.
  std::optional<PipeEnds> output = CreatePipe();
  ASSERT_TRUE(output);
  StartedProcess sleeper = StartProcess({"sleep", "30"}, -1, output->writeEnd);
  ASSERT_TRUE(sleeper.Started());
  std::uint32_t code = 0;
  EXPECT_EQ(WaitForChild(sleeper.pid, 0ms, code), WaitResult::kRunning);
  EXPECT_EQ(WaitForChild(sleeper.pid, 100ms, code), WaitResult::kRunning);
  EXPECT_TRUE(KillProcess(sleeper.pid));
  EXPECT_EQ(WaitForChild(sleeper.pid, 5s, code), WaitResult::kExited);
  EXPECT_EQ(code, 0x80000000u + SIGKILL);
  // Once collected, the child can no longer be waited for.
  EXPECT_EQ(WaitForChild(sleeper.pid, 0ms, code), WaitResult::kFailed);

  // An empty pipe reads as nothing at once.
  char byte;
  EXPECT_EQ(BytesWaiting(output->readEnd), 0);
  ASSERT_TRUE(SetNonBlocking(output->readEnd));
  EXPECT_EQ(ReadAvailable(output->readEnd, &byte, 1), 0);
  CloseDescriptor(output->readEnd);
  CloseDescriptor(output->writeEnd);
  EXPECT_EQ(output->readEnd, -1);

  // Nothing to start, or nothing found on PATH.
  StartedProcess missing = StartProcess({"vortane-no-such-program"}, -1, 1);
  EXPECT_FALSE(missing.Started());
  EXPECT_EQ(missing.errorNumber, ENOENT);
  EXPECT_FALSE(StartProcess({}, -1, 1).Started());
  EXPECT_FALSE(StartProcess({""}, -1, 1).Started());
}

TEST(Process, ChildrenInheritNoOtherDescriptorsAndDefaultSignals) {
  // A descriptor opened elsewhere without close-on-exec must not reach the child.
  int stray = open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);
  ASSERT_EQ(dup2(stray, 50), 50);
  close(stray);
  // The parent ignores SIGPIPE and blocks SIGTERM; the child must start with neither.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previous {};
  sigaction(SIGPIPE, &ignore, &previous);
  sigset_t term, oldMask;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &oldMask);

  Finished result =
      RunToEnd({"sh", "-c",
                "test -e /proc/$$/fd/50 && echo leaked || echo clean; grep -E 'SigIgn|SigBlk' "
                "/proc/$$/status"});

  pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  sigaction(SIGPIPE, &previous, nullptr);
  close(50);

  EXPECT_EQ(result.output.substr(0, 6), "clean\n") << result.output;
  auto maskOf = [&](const std::string& key) {
    size_t at = result.output.find(key + ":");
    EXPECT_NE(at, std::string::npos) << result.output;
    return at == std::string::npos ? 0ull : std::stoull(result.output.substr(at + 7), nullptr, 16);
  };
  EXPECT_EQ(maskOf("SigIgn") & (1ull << (SIGPIPE - 1)), 0u);
  EXPECT_EQ(maskOf("SigBlk") & (1ull << (SIGTERM - 1)), 0u);

  // The pipe ends of this process are out of the standard descriptors' way.
  std::optional<PipeEnds> ends = CreatePipe();
  ASSERT_TRUE(ends);
  EXPECT_GT(ends->readEnd, 2);
  EXPECT_GT(ends->writeEnd, 2);
  EXPECT_EQ(fcntl(ends->readEnd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  EXPECT_EQ(fcntl(ends->writeEnd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  CloseDescriptor(ends->readEnd);
  CloseDescriptor(ends->writeEnd);
}

TEST(Process, WritingToAChildThatIsGoneDoesNotKillThisProcess) {
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  struct sigaction previous {};
  sigaction(SIGPIPE, &byDefault, &previous);

  std::optional<PipeEnds> input = CreatePipe();
  std::optional<PipeEnds> output = CreatePipe();
  ASSERT_TRUE(input && output);
  StartedProcess child = StartProcess({"sh", "-c", "exit 0"}, input->readEnd, output->writeEnd);
  ASSERT_TRUE(child.Started());
  CloseDescriptor(input->readEnd);
  std::uint32_t code = 1;
  ASSERT_EQ(WaitForChild(child.pid, 10s, code), WaitResult::kExited);

  EXPECT_FALSE(WriteToPipe(input->writeEnd, "q"));
  EXPECT_FALSE(WriteToPipe(input->writeEnd, "q"));
  sigset_t pending;
  sigpending(&pending);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);

  sigaction(SIGPIPE, &previous, nullptr);
  CloseDescriptor(input->writeEnd);
  CloseDescriptor(output->readEnd);
  CloseDescriptor(output->writeEnd);
}

bool Contains(const std::vector<pid_t>& pids, pid_t pid) {
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

pid_t SpawnNamed(const std::string& program, const std::string& argv0, const char* argument) {
  std::vector<char*> argv = {const_cast<char*>(argv0.c_str()), const_cast<char*>(argument),
                             nullptr};
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  return pid;
}

void KillAndCollect(pid_t pid) {
  std::uint32_t code = 0;
  KillProcess(pid);
  EXPECT_EQ(WaitForChild(pid, 10s, code), WaitResult::kExited);
}

TEST(ProcessList, FindsEncodersByProgramFileOrArgumentZero) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string base = folder.path().toStdString();
  // A link keeps the real program file (sleep) but argv[0] says vortenc, as a wrapper that
  // execs ffmpeg under its own name does.
  const std::string linked = base + "/vortenc";
  ASSERT_EQ(symlink("/bin/sleep", linked.c_str()), 0);
  pid_t byName = SpawnNamed(linked, linked, "30");
  // A copy named vortenc started under another argv[0] is found by its program file.
  ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), folder.path() + "/copy"));
  ASSERT_EQ(mkdir((base + "/bin").c_str(), 0700), 0);
  const std::string copied = base + "/bin/vortenc";
  ASSERT_EQ(rename((base + "/copy").c_str(), copied.c_str()), 0);
  pid_t byFile = SpawnNamed(copied, "lesson-helper", "30");
  // Names that merely contain the word do not count.
  const std::string similar = base + "/vortenc-old";
  ASSERT_EQ(symlink("/bin/sleep", similar.c_str()), 0);
  pid_t other = SpawnNamed(similar, similar, "30");
  ASSERT_GT(byName, 0);
  ASSERT_GT(byFile, 0);
  ASSERT_GT(other, 0);

  // argv[0] and the program file become readable once exec has happened; allow it a moment.
  std::vector<pid_t> found;
  for (int i = 0; i < 100; ++i) {
    found = FindProcessesByName("vortenc");
    if (Contains(found, byName) && Contains(found, byFile)) break;
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(Contains(found, byName));
  EXPECT_TRUE(Contains(found, byFile));
  EXPECT_FALSE(Contains(found, other));
  EXPECT_FALSE(Contains(found, getpid()));
  EXPECT_NE(FindRunningEncoder(), 0);

  // The start-up cleanup ends such a process for good.
  EXPECT_TRUE(TerminateProcessById(byName));
  std::uint32_t code = 0;
  EXPECT_EQ(WaitForChild(byName, 10s, code), WaitResult::kExited);
  EXPECT_EQ(code, 0x80000000u + SIGKILL);
  KillAndCollect(byFile);
  KillAndCollect(other);
  found = FindProcessesByName("vortenc");
  EXPECT_FALSE(Contains(found, byName));
  EXPECT_FALSE(Contains(found, byFile));
  EXPECT_FALSE(TerminateProcessById(0));
}

constexpr char kChildMarker[] = "VORTANE_PROCESS_TEST_AS_VORTENC";

TEST(ProcessList, NeverFindsTheCallingProcess) {
  if (std::getenv(kChildMarker) != nullptr) {
    // Running as the child below: this very process is named vortenc.
    EXPECT_FALSE(Contains(FindProcessesByName("vortenc"), getpid()));
    EXPECT_NE(FindRunningEncoder(), getpid());
    return;
  }
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  char self[4096];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  self[length] = '\0';
  const std::string named = folder.path().toStdString() + "/vortenc";
  ASSERT_EQ(symlink(self, named.c_str()), 0);
  setenv(kChildMarker, "1", 1);
  Finished child = RunToEnd({named, "--gtest_filter=ProcessList.NeverFindsTheCallingProcess"});
  unsetenv(kChildMarker);
  EXPECT_EQ(child.exitCode, 0u) << child.output;
  EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
}

}  // namespace
}  // namespace vortane::platform
