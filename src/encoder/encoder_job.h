#pragma once

#include <sys/types.h>

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/window_message.h"

namespace vortane {

// The status block of a job. Every status message carries its own copy of it.
struct JobStatus {
  std::int32_t statusCode = 0;
  double statusValue = 0.0;
  char statusText[256] = {};  // GBK, NUL-terminated
};

// Status codes.
inline constexpr std::int32_t kJobStarted = 1;
inline constexpr std::int32_t kJobProgress = 2;
inline constexpr std::int32_t kJobFinished = 3;  // value = exit code, read as unsigned 32-bit;
                                                 // a child ended by signal N gives 0x80000000 + N
inline constexpr std::int32_t kJobStopped = 4;
// A capture's progress also says when one of its sound sources has delivered nothing for a few
// seconds (the lesson goes on without it) and when its sound comes after all; the text is the
// source's name.
inline constexpr double kProgressSoundMissing = 1.0;
inline constexpr double kProgressSoundBack = 2.0;
inline constexpr std::int32_t kJobError = 10;  // value -1.0, text "创建通道失败" / "创建进程失败"

struct EncoderJob;

// What a job status message carries: wParam is the job's address, lParam 0, and the payload is a
// JobEvent. `jobSerial` tells jobs apart even when a new record reuses an old address.
struct JobEvent {
  const EncoderJob* job = nullptr;
  std::uint64_t jobSerial = 0;
  JobStatus status;
};

using ReaderProc = unsigned (*)(EncoderJob* job);

// One background job: a child process with its output pipe, or (for platform requests) any
// worker that reports through the same status messages. The record is shared (std::shared_ptr)
// between its owner and its threads, so it is never freed while a thread still uses it.
struct EncoderJob {
  EncoderJob();
  EncoderJob(const EncoderJob&) = delete;
  EncoderJob& operator=(const EncoderJob&) = delete;
  ~EncoderJob();

  int readPipe = -1;   // read end of the child's stdout+stderr pipe
  int writePipe = -1;  // write end; held by the runner until the child has exited
  std::atomic<std::int32_t> finished{0};       // set by the runner after the child exited
  std::atomic<std::int32_t> stopRequested{0};  // set by the owner to end the child
  QString commandLineWide;        // the command line; when empty, commandLineNarrow is used
  std::string commandLineNarrow;  // GBK command line (the uploader)
  std::string collectedOutput;    // filled by a reader procedure that collects output
  ReaderProc readerProc = nullptr;
  std::uint32_t notifyMessage = 0;  // 0 = post nothing
  platform::WindowHandle ownerWindow = 0;
  JobStatus status;            // the last status posted
  void* context = nullptr;     // data of a thread procedure that owns the job; unused by the runner
  const std::uint64_t serial;  // unique per record in this process

  // The runner's own state: the child and the write end of its standard input, through which a
  // stop request first asks the child to finish ("q") before it is killed.
  pid_t childPid = -1;
  int stdinPipe = -1;
  // Where the encoder stands, from its last progress line: the media time it has written and
  // when that line arrived (steady clock), and when the child was started. A video encoder holds
  // back a second or more of pictures, and ffmpeg reads sound only as far as the pictures it has
  // written; a stop therefore waits for that delay before "q", or the lesson's last words are lost.
  std::atomic<std::int64_t> progressMediaMs{-1};
  std::atomic<std::int64_t> progressArrivedMs{0};
  std::int64_t childStartedMs = 0;
  // When the user asked to stop (steady clock), if that was before the stop request: the owner
  // may let the encoder run on for a moment after the key, but "q" need only wait until what was
  // captured up to the key has been written. -1 = the moment of the stop request.
  std::atomic<std::int64_t> stopMomentMs{-1};
  // Asked on the job's worker when the child ended by itself with exit code 0, before that end is
  // posted: false reports kResultRejectedExitCode instead (what the child made is not to be
  // trusted). The owner never waits on the UI thread for a check that may take seconds.
  std::function<bool()> checkResult;
};

// The exit code a job reports when its checkResult refused what the child made.
inline constexpr std::uint32_t kResultRejectedExitCode = 0xFFFFFF00u;

// Stores the status and posts it to the owner (nothing when notifyMessage is 0). A null text is
// empty; a text of 256 bytes or more is cut to 255.
void PostJobStatus(EncoderJob& job, std::int32_t code, double value, const char* text);

// Runs the job's command line as a child and watches it until it ends; reports started (1), the
// reader's progress (2) and exactly one final status (3, 4 or 10), which is always the last
// message. Result: 1 pipe failure, 2 process failure, 3 stopped on request, else the exit code.
// A stop request first lets the encoder catch up with what it has captured up to the stop's
// moment (at most the delay its last progress line shows, a few seconds), then sends "q" to the
// child's standard input; a child still running 3 s after "q" is killed (retried on every pass).
// The job then ends with 4.
unsigned RunEncoderJob(EncoderJob& job);

// Milliseconds of the steady clock, the time base of the progress fields above.
std::int64_t SteadyMilliseconds();

// Starts RunEncoderJob on a new worker thread that holds the record until it is done.
void StartEncoderJob(std::shared_ptr<EncoderJob> job);

// The reader procedure of encoder jobs: turns "time=hh:mm:ss.xx" in the child's output into
// progress status messages.
unsigned EncoderProgressReader(EncoderJob* job);
// The same, also keeping the last kOutputTailBytes of the child's output in collectedOutput, so
// the owner can tell the user what the encoder said before it failed.
unsigned EncoderProgressTailReader(EncoderJob* job);
inline constexpr std::size_t kOutputTailBytes = 4096;

// The process id of the first running encoder (a process whose program file or argv[0] is named
// "vortenc"), or 0.
pid_t FindRunningEncoder();
// Ends the process at once; false when it could not be signalled.
bool TerminateProcessById(pid_t pid);

}  // namespace vortane
