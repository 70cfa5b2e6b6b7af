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
#include <thread>

#include "encoder/encoder_job.h"

extern char** environ;

namespace vortane::platform {
namespace {

using namespace std::chrono_literals;
using Args = std::vector<std::string>;

struct Finished {
  std::uint32_t exitCode = 0;
  std::string output;
  PipeEnds pipe;  // the numbers the output pipe had
};

// Runs a child to its end with stdout and stderr on one pipe, the way the job runner does.
Finished RunToEnd(const Args& argv, int inputFd = -1) {
  Finished result;
  std::optional<PipeEnds> output = CreatePipe();
  EXPECT_TRUE(output && SetNonBlocking(output->readEnd));
  if (output) result.pipe = *output;
  StartedProcess child = StartProcess(argv, inputFd, output->writeEnd);
  EXPECT_TRUE(child.Started()) << argv[0] << ": error " << child.errorNumber;
  CloseDescriptor(output->writeEnd);
  if (child.Started()) {
    EXPECT_EQ(WaitForChild(child.pid, 20s, result.exitCode), WaitResult::kExited);
  }
  char buffer[65536];
  const int waiting = BytesWaiting(output->readEnd);
  const long got = ReadAvailable(output->readEnd, buffer, sizeof buffer);
  EXPECT_EQ(got, waiting);
  if (got > 0) result.output.assign(buffer, static_cast<size_t>(got));
  CloseDescriptor(output->readEnd);
  return result;
}

TEST(Process, SplitsCommandLinesByTheWindowsRules) {
  const std::vector<std::pair<std::string, Args>> cases = {
      {"", {}},
      {"   \t ", {}},
      {"  prog   a\t\tb  ", {"prog", "a", "b"}},
      {"p \"a b\" c", {"p", "a b", "c"}},
      {"p a\"b c\"d", {"p", "ab cd"}},
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
      // "" inside quotes is one literal quote and the quoted stretch goes on.
      {"p \"a\"\"b c\"", {"p", "a\"b c"}},
      {"p \"\"\"\"", {"p", "\""}},
      // The program name: quotes only group, backslashes are literal.
      {"\"C:\\Program Files\\vortenc.exe\" -i", {"C:\\Program Files\\vortenc.exe", "-i"}},
      {"dir\\\"x y", {"dir\\x y"}},
      // Newlines are not separators; multi-byte characters pass through.
      {"p a\nb 中文 \"带 空格\"", {"p", "a\nb", "中文", "带 空格"}},
  };
  for (const auto& [line, args] : cases)
    EXPECT_EQ(SplitCommandLine(line), args) << "line: " << line;
}

TEST(Process, ChildOutputExitCodesAndBrokenPipes) {
  Finished normal = RunToEnd({"sh", "-c", "printf 'hello'; printf ' err' >&2; exit 7"});
  EXPECT_EQ(normal.exitCode, 7u);
  EXPECT_EQ(normal.output, "hello err");
  // Ended by a signal: the high bit plus the signal number.
  EXPECT_EQ(RunToEnd({"sh", "-c", "kill -SEGV $$"}).exitCode, 0x80000000u + SIGSEGV);

  // Still running after the time-out; a kill ends it; once collected it cannot be waited for.
  std::optional<PipeEnds> input = CreatePipe();
  ASSERT_TRUE(input);
  StartedProcess sleeper = StartProcess({"sleep", "30"}, input->readEnd, 2);
  ASSERT_TRUE(sleeper.Started());
  CloseDescriptor(input->readEnd);
  std::uint32_t code = 0;
  EXPECT_EQ(WaitForChild(sleeper.pid, 100ms, code), WaitResult::kRunning);
  EXPECT_TRUE(KillProcess(sleeper.pid));
  EXPECT_EQ(WaitForChild(sleeper.pid, 5s, code), WaitResult::kExited);
  EXPECT_EQ(code, 0x80000000u + SIGKILL);
  EXPECT_EQ(WaitForChild(sleeper.pid, 0ms, code), WaitResult::kFailed);

  // Writing "q" to a child that is gone fails quietly, even with SIGPIPE at its default.
  struct sigaction byDefault {
  }, previous{};
  byDefault.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &byDefault, &previous);
  EXPECT_FALSE(WriteToPipe(input->writeEnd, "q"));
  sigset_t pending;
  sigpending(&pending);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
  sigaction(SIGPIPE, &previous, nullptr);
  CloseDescriptor(input->writeEnd);

  StartedProcess missing = StartProcess({"vortane-no-such-program"}, -1, 2);
  EXPECT_FALSE(missing.Started());
  EXPECT_EQ(missing.errorNumber, ENOENT);
  EXPECT_FALSE(StartProcess({""}, -1, 2).Started());
}

TEST(Process, ChildrenInheritNoOtherDescriptorsAndDefaultSignalsAndLeadTheirOwnGroup) {
  // A descriptor opened elsewhere without close-on-exec must not reach the child; SIGPIPE
  // ignored and SIGTERM blocked here must not be so in the child. The child leads a process
  // group of its own, so Ctrl+C in the program's terminal does not reach it.
  int stray = open("/dev/null", O_RDONLY);
  ASSERT_EQ(dup2(stray, 50), 50);
  close(stray);
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  sigset_t term, oldMask;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &oldMask);

  // The masks are read by the spawned process itself: grep takes the shell's place.
  Finished result = RunToEnd({"sh", "-c",
                              "test -e /proc/$$/fd/50 && echo leaked || echo clean; echo \"group "
                              "$(cut -d' ' -f5 /proc/$$/stat) of $$\"; exec grep -E "
                              "'SigIgn|SigBlk' /proc/self/status"});

  pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  sigaction(SIGPIPE, &previous, nullptr);
  close(50);
  EXPECT_EQ(result.output.substr(0, 6), "clean\n") << result.output;
  auto maskOf = [&](const std::string& key) {
    size_t at = result.output.find(key + ":");
    return at == std::string::npos ? ~0ull : std::stoull(result.output.substr(at + 7), nullptr, 16);
  };
  EXPECT_EQ(maskOf("SigIgn") & (1ull << (SIGPIPE - 1)), 0u) << result.output;
  EXPECT_EQ(maskOf("SigBlk") & (1ull << (SIGTERM - 1)), 0u) << result.output;
  const size_t group = result.output.find("group ");
  ASSERT_NE(group, std::string::npos) << result.output;
  const std::string ids = result.output.substr(group + 6);
  const size_t of = ids.find(" of ");
  ASSERT_NE(of, std::string::npos) << result.output;
  EXPECT_EQ(std::stol(ids.substr(0, of)), std::stol(ids.substr(of + 4))) << result.output;
  EXPECT_NE(std::stol(ids.substr(0, of)), getpgrp());

  // Started from a launcher that closed its standard descriptors, the program still gives its
  // child pipes numbered 3 or above, and what the child reads and writes goes through them.
  int saved[3];
  for (int fd = 0; fd < 3; ++fd)
    saved[fd] = fcntl(fd, F_DUPFD_CLOEXEC, 10);
  for (int fd = 0; fd < 3; ++fd)
    close(fd);
  std::optional<PipeEnds> input = CreatePipe();
  const PipeEnds inputEnds = input.value_or(PipeEnds{});
  Finished echoed;
  if (input) {
    WriteToPipe(input->writeEnd, "lesson\n");
    CloseDescriptor(input->writeEnd);
    echoed = RunToEnd({"sh", "-c", "read line; echo \"got $line\""}, input->readEnd);
    CloseDescriptor(input->readEnd);
  }
  for (int fd = 0; fd < 3; ++fd) {
    dup2(saved[fd], fd);
    close(saved[fd]);
  }
  ASSERT_TRUE(input);
  EXPECT_GE(std::min(inputEnds.readEnd, inputEnds.writeEnd), 3);
  EXPECT_GE(std::min(echoed.pipe.readEnd, echoed.pipe.writeEnd), 3);
  EXPECT_EQ(echoed.output, "got lesson\n");
}

bool Contains(const std::vector<pid_t>& pids, pid_t pid) {
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

pid_t SpawnNamed(const std::string& program, const std::string& argv0) {
  char sleepTime[] = "30";
  std::vector<char*> argv = {const_cast<char*>(argv0.c_str()), sleepTime, nullptr};
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  return pid;
}

TEST(ProcessList, FindsEncodersByProgramFileOrArgumentZero) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string base = folder.path().toStdString();
  // A link keeps the program file (sleep) but argv[0] says vortenc, as a wrapper that execs
  // ffmpeg under its own name does; a copy named vortenc is found by its program file.
  ASSERT_EQ(symlink("/bin/sleep", (base + "/vortenc").c_str()), 0);
  ASSERT_EQ(mkdir((base + "/bin").c_str(), 0700), 0);
  ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), folder.path() + "/bin/vortenc"));
  ASSERT_EQ(symlink("/bin/sleep", (base + "/vortenc-old").c_str()), 0);
  const pid_t byName = SpawnNamed(base + "/vortenc", base + "/vortenc");
  const pid_t byFile = SpawnNamed(base + "/bin/vortenc", "lesson-helper");
  const pid_t similar = SpawnNamed(base + "/vortenc-old", base + "/vortenc-old");
  // An encoder left running while an upgrade replaced its program file is still the encoder.
  ASSERT_EQ(mkdir((base + "/old").c_str(), 0700), 0);
  ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), folder.path() + "/old/vortenc"));
  const pid_t upgraded = SpawnNamed(base + "/old/vortenc", "lesson-helper");
  const QString upgradedExe = QStringLiteral("/proc/%1/exe").arg(upgraded);
  for (int i = 0; i < 250 && !QFile::symLinkTarget(upgradedExe).endsWith("/old/vortenc"); ++i)
    std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(QFile::symLinkTarget(upgradedExe).endsWith("/old/vortenc")) << "exec has happened";
  ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), folder.path() + "/old/vortenc.new"));
  ASSERT_EQ(rename((base + "/old/vortenc.new").c_str(), (base + "/old/vortenc").c_str()), 0);

  // They become visible once exec has happened.
  std::vector<pid_t> found;
  for (int i = 0; i < 100 && !(Contains(found, byName) && Contains(found, byFile) &&
                               Contains(found, upgraded));
       ++i) {
    std::this_thread::sleep_for(20ms);
    found = FindProcessesByName("vortenc");
  }
  EXPECT_TRUE(Contains(found, byName));
  EXPECT_TRUE(Contains(found, byFile));
  EXPECT_TRUE(Contains(found, upgraded));
  EXPECT_FALSE(Contains(found, similar));
  EXPECT_NE(FindRunningEncoder(), 0);
  EXPECT_EQ(ProcessArguments(byName), (Args{base + "/vortenc", "30"}));

  std::uint32_t code = 0;
  for (pid_t pid : {byName, byFile, similar, upgraded}) {
    EXPECT_TRUE(TerminateProcessById(pid));
    EXPECT_EQ(WaitForChild(pid, 10s, code), WaitResult::kExited);
    EXPECT_FALSE(Contains(FindProcessesByName("vortenc"), pid));
  }
}

constexpr char kChildMarker[] = "VORTANE_PROCESS_TEST_AS_VORTENC";

TEST(ProcessList, NeverFindsTheCallingProcess) {
  if (std::getenv(kChildMarker) != nullptr) {
    // Running as the child started below, under the name vortenc.
    EXPECT_FALSE(Contains(FindProcessesByName("vortenc"), getpid()));
    EXPECT_NE(FindRunningEncoder(), getpid());
    return;
  }
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string named = folder.path().toStdString() + "/vortenc";
  ASSERT_EQ(
      symlink(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")).toLocal8Bit().constData(),
              named.c_str()),
      0);
  setenv(kChildMarker, "1", 1);
  Finished child = RunToEnd({named, "--gtest_filter=ProcessList.NeverFindsTheCallingProcess"});
  unsetenv(kChildMarker);
  EXPECT_EQ(child.exitCode, 0u) << child.output;
  EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
}

}  // namespace
}  // namespace vortane::platform
