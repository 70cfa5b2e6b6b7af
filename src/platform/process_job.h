#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/child_run.h"
#include "platform/job.h"

namespace vortane {

// A job that runs one command line as a child process (an encoder, a cut, a remux) and reports
// what its reader finds in the output.
class ProcessJob : public Job {
 public:
  // The outcome carries what the reader kept of the output (ChildRun::collectedOutput).
  ProcessJob(QString commandLine, ChildReader reader);
  ~ProcessJob() override;

  const QString& commandLine() const { return run_->commandLine; }
  // Asked on the worker when the child ended by itself with exit code 0 (see ChildRun).
  void SetResultCheck(std::function<bool()> check) { run_->checkResult = std::move(check); }
  // When the teacher pressed stop, if that was before RequestStop (steady clock), and what to
  // do on the job's worker when the stop request reaches it, before the child is asked to finish.
  void SetStopMoment(std::int64_t steadyMs, std::function<void()> atStop = {});
  std::int64_t stopMoment() const { return run_->stopMomentMs.load(); }

  void RequestStop() override;
  // Starts the child on the job's worker.
  void Start();

 private:
  std::shared_ptr<ChildRun> run_;
};

}  // namespace vortane
