#include "platform/job.h"

#include <QMetaType>
#include <chrono>
#include <system_error>

namespace vortane {
namespace {

std::atomic<std::uint64_t> nextSerial{1};

}  // namespace

Job::Job() : serial(nextSerial++) {
  qRegisterMetaType<JobOutcome>();
}

Job::~Job() {
  stopRequested_.store(true);
  if (worker_.joinable()) worker_.join();
}

void Job::Start(Work work, const QString& noWorkerText, const QString& brokenText) {
  if (Started()) return;
  try {
    worker_ = std::thread([this, work = std::move(work), brokenText] {
      JobOutcome outcome;
      // An exception must not leave the worker: it would end the whole program.
      try {
        outcome = work(*this);
      } catch (const std::exception&) {
        outcome = JobOutcome{JobOutcome::End::kFailed, 0, brokenText, {}};
      }
      ended_.store(true);
      emit finished(outcome);
    });
  } catch (const std::system_error&) {
    // No thread (the system's threads or memory ran out): the owner still gets its end.
    startFailed_ = true;
    emit finished(JobOutcome{JobOutcome::End::kFailed, 0, noWorkerText, {}});
  }
}

}  // namespace vortane

namespace vortane {

bool Job::WaitForEnd(int milliseconds) const {
  if (!worker_.joinable()) return true;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!ended_.load() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return ended_.load();
}

}  // namespace vortane
