#pragma once

#include <sys/types.h>

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// One run of a child process with its output pipe: the runner's record, shared by the runner,
// the child's output reader and the job that owns them.
namespace vortane {

// What the runner and the readers report, in the order they happen.
inline constexpr int kChildNote = -1;  // a line to show as it is (the uploader's errors)
inline constexpr int kChildStarted = 1;
inline constexpr int kChildProgress = 2;
inline constexpr int kChildExited = 3;  // value = exit code
inline constexpr int kChildStopped = 4;
inline constexpr int kChildFailed = 10;  // value -1.0, text "创建通道失败" / "创建进程失败"

struct ChildRun;
using ChildReader = unsigned (*)(ChildRun* run);

struct ChildRun {
  ChildRun() = default;
  ChildRun(const ChildRun&) = delete;
  ChildRun& operator=(const ChildRun&) = delete;
  ~ChildRun();

  QString commandLine;
  // Reads the child's output on a thread of the runner's while it runs; may be null.
  ChildReader reader = nullptr;
  // Receives every report, on the runner's or the reader's thread. Texts are decoded where the
  // bytes come out of the child.
  std::function<void(int code, double value, const QString& text)> report;
  // Asked on the runner's thread when the child ended by itself with exit code 0, before that
  // end is reported: false reports kResultRejectedExitCode instead (what the child made is not
  // to be trusted).
  std::function<bool()> checkResult;

  int readPipe = -1;   // read end of the child's stdout+stderr pipe
  int writePipe = -1;  // write end; held by the runner until the child has exited
  std::atomic<std::int32_t> finished{0};       // set by the runner after the child exited
  std::atomic<std::int32_t> stopRequested{0};  // set by the owner to end the child
  std::string collectedOutput;                 // filled by a reader that keeps output

  // The runner's own state: the child and the write end of its standard input, through which a
  // stop request first asks the child to finish ("q") before it is killed.
  pid_t childPid = -1;
  int stdinPipe = -1;
  // Where the child stands, from its last progress line: the media time it has written and when
  // that line arrived (steady clock), and when the child was started. A video encoder holds
  // back a second or more of pictures, and ffmpeg reads sound only as far as the pictures it has
  // written; a stop therefore waits for that delay before "q", or the lesson's last words are lost.
  std::atomic<std::int64_t> progressMediaMs{-1};
  std::atomic<std::int64_t> progressArrivedMs{0};
  std::int64_t childStartedMs = 0;
  // When the user asked to stop (steady clock), if that was before the stop request: the owner
  // may let the child run on for a moment after the key, but "q" need only wait until what was
  // captured up to the key has been written. -1 = the moment of the stop request.
  std::atomic<std::int64_t> stopMomentMs{-1};
  // Done on the runner's thread when it first sees the stop request, before "q": whatever the
  // stop key leaves on the child's files, off the window's thread (a network folder may hang).
  std::mutex atStopMutex;
  std::function<void()> atStop;
};

// The exit code a run reports when its checkResult refused what the child made.
inline constexpr std::uint32_t kResultRejectedExitCode = 0xFFFFFF00u;

// Hands a report to the run's receiver, if it has one.
void ReportChild(ChildRun& run, int code, double value, const QString& text = QString());

// Runs the command line as a child and watches it until it ends; reports started (1), the
// reader's progress (2) and exactly one final report (3, 4 or 10), which is always the last.
// Result: 1 pipe failure, 2 process failure, 3 stopped on request, else the exit code.
// A stop request first lets the child catch up with what it has captured up to the stop's
// moment (at most the delay its last progress line shows, a few seconds), then sends "q" to the
// child's standard input; a child still running 3 s after "q" is killed (retried on every pass).
// The run then ends with 4.
unsigned RunChild(ChildRun& run);

// Milliseconds of the steady clock, the time base of the progress fields above.
std::int64_t SteadyMilliseconds();

}  // namespace vortane
