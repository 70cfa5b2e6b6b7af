#include "platform/process_job.h"

namespace vortane {

ProcessJob::ProcessJob(QString commandLine, ChildReader reader)
    : run_(std::make_shared<ChildRun>()) {
  run_->commandLine = std::move(commandLine);
  run_->reader = reader;
}

ProcessJob::~ProcessJob() {
  // The base waits for the worker; the child must be on its way out by then.
  RequestStop();
}

void ProcessJob::SetStopMoment(std::int64_t steadyMs, std::function<void()> atStop) {
  run_->stopMomentMs.store(steadyMs);
  std::lock_guard lock(run_->atStopMutex);
  run_->atStop = std::move(atStop);
}

void ProcessJob::RequestStop() {
  Job::RequestStop();
  run_->stopRequested.store(1);
}

void ProcessJob::Start() {
  Job::Start(
      [run = run_](Job& job) {
        JobOutcome outcome;
        run->report = [&job, &outcome](int code, double value, const QString& text) {
          switch (code) {
            case kChildStarted:
              emit job.started();
              break;
            case kChildProgress:
              emit job.progressed(text, value);
              break;
            case kChildNote:
              emit job.noted(text);
              break;
            case kChildExited:
              outcome.end = JobOutcome::End::kExited;
              outcome.exitCode = static_cast<std::uint32_t>(value);
              break;
            case kChildStopped:
              outcome.end = JobOutcome::End::kStopped;
              break;
            default:
              outcome.end = JobOutcome::End::kFailed;
              outcome.text = text;
              break;
          }
        };
        RunChild(*run);
        run->report = nullptr;
        outcome.outputTail = run->collectedOutput;
        return outcome;
      },
      QString::fromUtf8("创建进程失败"), QString::fromUtf8("创建进程失败"));
}

}  // namespace vortane
