#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

#include "platform/child_run.h"
#include "platform/process.h"

namespace vortane {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

const char kPipeFailedText[] = "创建通道失败";
const char kProcessFailedText[] = "创建进程失败";

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

// The longest a stop waits before "q": how far the encoder's written media lags behind the wall
// clock since the child started (its pictures in flight plus its start-up). Zero without
// progress, or when it runs ahead (a remux). A capture on the shared clock is sent "q" sooner,
// once it has written past the stop.
milliseconds CatchUpDelay(const ChildRun& run) {
  const std::int64_t media = run.progressMediaMs.load();
  if (media < 0) return milliseconds(0);
  const std::int64_t lag = run.progressArrivedMs.load() - run.childStartedMs - media;
  // Without -stats_period ffmpeg reports twice a second, and a busy encoder falls further behind
  // in between.
  return milliseconds(std::clamp<std::int64_t>(lag + kProgressIntervalMs, 0, kLongestCatchUpMs));
}

// True once the encoder's media time covers the moment `stopMs` (steady clock) on a clock that
// starts with the child.
bool WrittenPast(const ChildRun& run, std::int64_t stopMs) {
  const std::int64_t media = run.progressMediaMs.load();
  return media >= 0 && media >= stopMs - run.childStartedMs + kPastTheStopMs;
}

// Waits for the child to end. A stop request lets the encoder catch up first (until it has
// written past the stop, or for its measured delay at most), then asks it to finish with "q" on
// its standard input, and kills it only when it has not finished within the grace time.
std::uint32_t WatchChild(ChildRun& run) {
  bool stopSeen = false;
  bool quitSent = false;
  std::int64_t stopMs = 0;
  steady_clock::time_point quitAt;
  steady_clock::time_point killAt;
  std::uint32_t exitCode = 0;
  for (;;) {
    auto slice = kWaitSlice;
    if (run.stopRequested.load() != 0) {
      const auto now = steady_clock::now();
      if (!stopSeen) {
        stopSeen = true;
        stopMs = SteadyMilliseconds();
        const std::int64_t moment = run.stopMomentMs.load();
        if (moment >= 0) stopMs = std::min(stopMs, moment);
        std::function<void()> atStop;
        {
          std::lock_guard lock(run.atStopMutex);
          atStop = std::move(run.atStop);
        }
        if (atStop) atStop();
        quitAt = now + CatchUpDelay(run);
      }
      if (!quitSent && (now >= quitAt || WrittenPast(run, stopMs))) {
        quitSent = true;
        killAt = now + kGracefulStopTime;
        platform::WriteToPipe(run.stdinPipe, "q");
      }
      if (!quitSent) {
        slice =
            std::min({slice, kCatchUpPoll,
                      std::chrono::duration_cast<milliseconds>(quitAt - now) + milliseconds(1)});
      } else if (now >= killAt) {
        platform::KillProcess(run.childPid);
        std::this_thread::sleep_for(kPauseAfterKill);
      } else {
        slice = std::min(slice,
                         std::chrono::duration_cast<milliseconds>(killAt - now) + milliseconds(1));
      }
    }
    switch (platform::WaitForChild(run.childPid, slice, exitCode)) {
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
void LetReaderDrain(const ChildRun& run) {
  const auto until = steady_clock::now() + kDrainTime;
  while (platform::BytesWaiting(run.readPipe) > 0 && steady_clock::now() < until)
    std::this_thread::sleep_for(kDrainPoll);
}

}  // namespace

unsigned RunChild(ChildRun& run) {
  // A record run a second time must not leave its new reader believing the child is gone.
  run.finished.store(0);
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
    ReportChild(run, kChildFailed, -1.0, QString::fromUtf8(kPipeFailedText));
    return 1;
  }
  run.readPipe = output->readEnd;
  run.writePipe = output->writeEnd;
  run.stdinPipe = input->writeEnd;

  ReportChild(run, kChildStarted, 0.0);

  const platform::StartedProcess child = platform::StartProcess(
      platform::SplitCommandLine(run.commandLine.toStdString()), input->readEnd, run.writePipe);
  // The child has its own copy of the read end of its standard input.
  platform::CloseDescriptor(input->readEnd);
  if (!child.Started()) {
    platform::CloseDescriptor(run.stdinPipe);
    platform::CloseDescriptor(run.writePipe);
    platform::CloseDescriptor(run.readPipe);
    ReportChild(run, kChildFailed, -1.0, QString::fromUtf8(kProcessFailedText));
    return 2;
  }
  run.childPid = child.pid;
  run.childStartedMs = SteadyMilliseconds();

  std::thread reader;
  if (run.reader != nullptr) {
    try {
      reader = std::thread(run.reader, &run);
    } catch (const std::system_error&) {
      // Without a reader the job loses its progress messages but is still watched to its end.
    }
  }

  std::uint32_t exitCode = WatchChild(run);
  run.childPid = -1;  // collected: the id may belong to another process from now on
  if (reader.joinable()) LetReaderDrain(run);
  run.finished.store(1);
  if (reader.joinable()) reader.join();
  platform::CloseDescriptor(run.stdinPipe);
  platform::CloseDescriptor(run.writePipe);
  platform::CloseDescriptor(run.readPipe);

  if (run.stopRequested.load() != 0) {
    ReportChild(run, kChildStopped, 0.0);
    return 3;
  }
  if (exitCode == 0 && run.checkResult && !run.checkResult()) exitCode = kResultRejectedExitCode;
  ReportChild(run, kChildExited, static_cast<double>(exitCode));
  return exitCode;
}

std::int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void ReportChild(ChildRun& run, int code, double value, const QString& text) {
  if (run.report) run.report(code, value, text);
}

ChildRun::~ChildRun() {
  platform::CloseDescriptor(readPipe);
  platform::CloseDescriptor(writePipe);
  platform::CloseDescriptor(stdinPipe);
}

}  // namespace vortane
