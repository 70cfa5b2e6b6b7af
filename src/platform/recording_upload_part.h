#pragma once

#include <QString>
#include <cstdint>
#include <string>

namespace vortane {

// The part of a recording's row that an upload works with, shared by the recording library
// (which keeps it in the row's side file) and the upload queue. An upload job is handed a pointer
// to it and finds its row again by comparing that pointer with each row's part.
struct RecordingUploadPart {
  QString targetName;     // destination chosen for upload; empty when none
  std::string uploadUrl;  // a row is picked for upload only while this is longer than 8 bytes
  std::string reportUrl;  // the destination's second address, called after the upload
  QString statusText;     // last status text of the upload job
  std::int32_t uploadState = -1;  // -1 none, 0 queued, 1 started, 2 running, 3 finished,
                                  // 4 stopped, 10 failed
  std::int32_t targetId = -1;     // id of the chosen destination; -1 none
};

}  // namespace vortane
