#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

#include "encoder/command_lines.h"
#include "encoder/encoder_job.h"
#include "platform/code_page.h"
#include "platform/process.h"

namespace vortane {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// "创建通道失败" and "创建进程失败" in GBK: status texts are 8-bit text of the ANSI code page.
constexpr char kPipeFailedText[] = "\xb4\xb4\xbd\xa8\xcd\xa8\xb5\xc0\xca\xa7\xb0\xdc";
constexpr char kProcessFailedText[] = "\xb4\xb4\xbd\xa8\xbd\xf8\xb3\xcc\xca\xa7\xb0\xdc";

constexpr auto kWaitSlice = milliseconds(500);
// How long a child may take to finish its file after "q" before it is killed.
constexpr auto kGracefulStopTime = milliseconds(3000);
// The longest wait for the encoder to catch up with its capture before "q" (about the delay of
// x264's look-ahead at 10 frames per second).
constexpr std::int64_t kLongestCatchUpMs = 6000;
constexpr std::int64_t kProgressIntervalMs = 500;
// A capture whose inputs are stamped from the encoder's start (vortenc puts picture and sound on
// that clock) has written everything up to the stop once its media time passes the time since its
// start by this much (a sound packet and the mixer's buffering); it then gets "q" at once.
constexpr std::int64_t kPastTheStopMs = 100;
// How often a pending stop looks at the encoder's progress.
constexpr auto kCatchUpPoll = milliseconds(20);
constexpr auto kPauseAfterKill = milliseconds(100);
// Once the child has exited, its last output lies in the pipe: the reader is given up to this
// long to take it before it is told to leave, and is told as soon as it has.
constexpr auto kDrainTime = milliseconds(500);
constexpr auto kDrainPoll = milliseconds(5);
// An exit code for a child that could no longer be waited for (collected elsewhere).
constexpr std::uint32_t kUnknownExitCode = 0xFFFFFFFFu;

std::string CommandLineOf(const EncoderJob& job) {
  const QString line = job.commandLineWide.isEmpty() ? platform::AnsiToWide(job.commandLineNarrow)
                                                     : job.commandLineWide;
  return line.toStdString();
}

// The longest a stop waits before "q": how far the encoder's written media lags behind the wall
// clock since the child started (its pictures in flight plus its start-up). Zero without
// progress, or when it runs ahead (a remux). A capture on the shared clock is sent "q" sooner,
// once it has written past the stop.
milliseconds CatchUpDelay(const EncoderJob& job) {
  const std::int64_t media = job.progressMediaMs.load();
  if (media < 0) return milliseconds(0);
  const std::int64_t lag = job.progressArrivedMs.load() - job.childStartedMs - media;
  // Without -stats_period ffmpeg reports twice a second, and a busy encoder falls further behind
  // in between.
  return milliseconds(std::clamp<std::int64_t>(lag + kProgressIntervalMs, 0, kLongestCatchUpMs));
}

// True once the encoder's media time covers the moment `stopMs` (steady clock) on a clock that
// starts with the child.
bool WrittenPast(const EncoderJob& job, std::int64_t stopMs) {
  const std::int64_t media = job.progressMediaMs.load();
  return media >= 0 && media >= stopMs - job.childStartedMs + kPastTheStopMs;
}

// Waits for the child to end. A stop request lets the encoder catch up first (until it has
// written past the stop, or for its measured delay at most), then asks it to finish with "q" on
// its standard input, and kills it only when it has not finished within the grace time.
std::uint32_t WatchChild(EncoderJob& job) {
  bool stopSeen = false;
  bool quitSent = false;
  std::int64_t stopMs = 0;
  steady_clock::time_point quitAt;
  steady_clock::time_point killAt;
  std::uint32_t exitCode = 0;
  for (;;) {
    auto slice = kWaitSlice;
    if (job.stopRequested.load() != 0) {
      const auto now = steady_clock::now();
      if (!stopSeen) {
        stopSeen = true;
        stopMs = SteadyMilliseconds();
        const std::int64_t moment = job.stopMomentMs.load();
        if (moment >= 0) stopMs = std::min(stopMs, moment);
        quitAt = now + CatchUpDelay(job);
      }
      if (!quitSent && (now >= quitAt || WrittenPast(job, stopMs))) {
        quitSent = true;
        killAt = now + kGracefulStopTime;
        platform::WriteToPipe(job.stdinPipe, "q");
      }
      if (!quitSent) {
        slice =
            std::min({slice, kCatchUpPoll,
                      std::chrono::duration_cast<milliseconds>(quitAt - now) + milliseconds(1)});
      } else if (now >= killAt) {
        platform::KillProcess(job.childPid);
        std::this_thread::sleep_for(kPauseAfterKill);
      } else {
        slice = std::min(slice,
                         std::chrono::duration_cast<milliseconds>(killAt - now) + milliseconds(1));
      }
    }
    switch (platform::WaitForChild(job.childPid, slice, exitCode)) {
      case platform::WaitResult::kExited:
        return exitCode;
      case platform::WaitResult::kFailed:
        return kUnknownExitCode;
      case platform::WaitResult::kRunning:
        break;
    }
  }
}

// Waits until the reader has read everything the exited child wrote (or the drain time is up).
void LetReaderDrain(const EncoderJob& job) {
  const auto until = steady_clock::now() + kDrainTime;
  while (platform::BytesWaiting(job.readPipe) > 0 && steady_clock::now() < until)
    std::this_thread::sleep_for(kDrainPoll);
}

}  // namespace

unsigned RunEncoderJob(EncoderJob& job) {
  // A record run a second time must not leave its new reader believing the child is gone.
  job.finished.store(0);
  std::optional<platform::PipeEnds> output = platform::CreatePipe();
  std::optional<platform::PipeEnds> input = output ? platform::CreatePipe() : std::nullopt;
  if (!output || !input || !platform::SetNonBlocking(output->readEnd)) {
    if (output) {
      platform::CloseDescriptor(output->readEnd);
      platform::CloseDescriptor(output->writeEnd);
    }
    if (input) {
      platform::CloseDescriptor(input->readEnd);
      platform::CloseDescriptor(input->writeEnd);
    }
    PostJobStatus(job, kJobError, -1.0, kPipeFailedText);
    return 1;
  }
  job.readPipe = output->readEnd;
  job.writePipe = output->writeEnd;
  job.stdinPipe = input->writeEnd;

  PostJobStatus(job, kJobStarted, 0.0, nullptr);

  const platform::StartedProcess child = platform::StartProcess(
      platform::SplitCommandLine(CommandLineOf(job)), input->readEnd, job.writePipe);
  // The child has its own copy of the read end of its standard input.
  platform::CloseDescriptor(input->readEnd);
  if (!child.Started()) {
    platform::CloseDescriptor(job.stdinPipe);
    platform::CloseDescriptor(job.writePipe);
    platform::CloseDescriptor(job.readPipe);
    PostJobStatus(job, kJobError, -1.0, kProcessFailedText);
    return 2;
  }
  job.childPid = child.pid;
  job.childStartedMs = SteadyMilliseconds();

  std::thread reader;
  if (job.readerProc != nullptr) {
    try {
      reader = std::thread(job.readerProc, &job);
    } catch (const std::system_error&) {
      // Without a reader the job loses its progress messages but is still watched to its end.
    }
  }

  std::uint32_t exitCode = WatchChild(job);
  job.childPid = -1;  // collected: the id may belong to another process from now on
  if (reader.joinable()) LetReaderDrain(job);
  job.finished.store(1);
  if (reader.joinable()) reader.join();
  platform::CloseDescriptor(job.stdinPipe);
  platform::CloseDescriptor(job.writePipe);
  platform::CloseDescriptor(job.readPipe);

  if (job.stopRequested.load() != 0) {
    PostJobStatus(job, kJobStopped, 0.0, nullptr);
    return 3;
  }
  if (exitCode == 0 && job.checkResult && !job.checkResult()) exitCode = kResultRejectedExitCode;
  PostJobStatus(job, kJobFinished, static_cast<double>(exitCode), nullptr);
  return exitCode;
}

std::int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void StartEncoderJob(std::shared_ptr<EncoderJob> job) {
  std::shared_ptr<EncoderJob> keep = job;
  try {
    std::thread([job = std::move(job)] { RunEncoderJob(*job); }).detach();
  } catch (const std::system_error&) {
    // The owner waits for a final status; without a worker the child cannot be started.
    PostJobStatus(*keep, kJobError, -1.0, kProcessFailedText);
  }
}

pid_t FindRunningEncoder() {
  const std::vector<pid_t> found = platform::FindProcessesByName(kEncoderProgram);
  return found.empty() ? 0 : found.front();
}

bool TerminateProcessById(pid_t pid) {
  return platform::KillProcess(pid);
}

}  // namespace vortane
