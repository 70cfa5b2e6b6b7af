#pragma once

#include <cstdio>

#include "encoder/encoder_job.h"

namespace vortane::test {

// A status of `job` as its runner would post it.
inline JobEvent MakeJobEvent(const EncoderJob& job, int code, const char* text = "",
                             double value = 0) {
  JobEvent event{&job, job.serial, {}};
  event.status.statusCode = code;
  event.status.statusValue = value;
  std::snprintf(event.status.statusText, sizeof(event.status.statusText), "%s", text);
  return event;
}

}  // namespace vortane::test
