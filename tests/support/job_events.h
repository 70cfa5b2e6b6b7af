#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "platform/job.h"

namespace vortane::test {

// A report of `job` as its worker would send it: 1 started, 2 a time or a percentage, -1 a line,
// 3 exited with `value` as exit code, 4 stopped, 10 failed with `text`.
inline void EmitJobStatus(Job& job, int code, const char* text = "", double value = 0,
                          const std::string& outputTail = {}) {
  const QString words = QString::fromUtf8(text);
  switch (code) {
    case kJobStarted:
      emit job.started();
      break;
    case kJobProgress:
      emit job.progressed(words, value);
      break;
    case -1:
      emit job.noted(words);
      break;
    default:
      emit job.finished(JobOutcome{static_cast<JobOutcome::End>(code),
                                   static_cast<std::uint32_t>(value), words, outputTail});
      break;
  }
}

}  // namespace vortane::test
