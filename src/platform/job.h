#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace vortane {

// The numbers of a job's reports, as the program's trace prints them and the toolbar remembers
// the last one of its job.
inline constexpr int kJobStarted = 1;
inline constexpr int kJobProgress = 2;
inline constexpr int kJobFinished = 3;
inline constexpr int kJobStopped = 4;
inline constexpr int kJobError = 10;

// How a job ended. The numbers are the status codes the program's trace prints.
struct JobOutcome {
  enum class End { kExited = 3, kStopped = 4, kFailed = 10 };
  End end = End::kFailed;
  // kExited: the child's exit code, read as unsigned 32-bit (0x80000000 + N after signal N).
  std::uint32_t exitCode = 0;
  // kFailed: why, in the teacher's words (may be empty).
  QString text;
  // The child's last output, for jobs that keep it.
  std::string outputTail;
  // kFailed: the child itself ended well; what failed came after it (an upload's callback).
  bool childSucceeded = false;

  int StatusCode() const { return static_cast<int>(end); }
};

// One piece of background work and its owner's handle on it. The object lives on the owner's
// thread; the work runs on a worker thread the object starts and joins, so no thread outlives
// its job. The signals reach receivers on the owner's thread queued and in order: `started`
// first, `finished` last and exactly once.
class Job : public QObject {
  Q_OBJECT

 public:
  using Work = std::function<JobOutcome(Job& job)>;

  Job();
  // Asks the work to stop and waits for the worker.
  ~Job() override;
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  // Runs `work` on the job's worker. Everything the work touches besides the job's signals must
  // be owned by the work itself (captured), as the subclass is gone when the base waits for it.
  // A job runs once. When no worker can be made, or the work throws, the job ends failed with
  // `noWorkerText` or `brokenText`.
  void Start(Work work, const QString& noWorkerText, const QString& brokenText);
  // The owner asks the work to end early; it then ends with kStopped.
  virtual void RequestStop() { stopRequested_.store(true); }
  bool StopRequested() const { return stopRequested_.load(); }
  bool Started() const { return worker_.joinable() || startFailed_; }
  // Waits up to `milliseconds` for the work to have ended; true when it has (or never started).
  bool WaitForEnd(int milliseconds) const;

  // Unique per job in this process: a late signal of a replaced job is told apart by it.
  const std::uint64_t serial;

 signals:
  void started();
  // A time ("hh:mm:ss.xx") and/or a value (a percentage).
  void progressed(const QString& text, double value);
  // A line the owner shows as it is (the uploader's error lines).
  void noted(const QString& line);
  void finished(const JobOutcome& outcome);

 private:
  std::atomic<bool> stopRequested_{false};
  bool startFailed_ = false;
  std::atomic<bool> ended_{false};
  std::thread worker_;
};

}  // namespace vortane
