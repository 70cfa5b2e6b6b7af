#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vortane {

struct ChildRun;

// What the uploader's output says, read block by block as the pipe delivers it. The uploader
// writes each message with one write, so a marker is never cut in two; the server's answer
// between "[_ECHO]" and "[/_ECHO]" may still span several blocks and is joined.
struct UploaderOutputState {
  bool inEcho = false;
  bool echoTooLong = false;  // the answer passed kMaxEchoBytes: it is no answer of ours
  std::string echo;          // what arrived between the markers so far
};

struct UploaderOutputEvent {
  enum Kind { kProgress, kErrorLine } kind = kProgress;
  double percent = 0;  // kProgress
  std::string text;    // kErrorLine: the error line(s) of the block, UTF-8 as the uploader wrote
};

// The longest answer kept: the server answers with a short JSON object.
inline constexpr size_t kMaxEchoBytes = 65536;

// One block: "percent:" followed by a number is progress (read like C atof; "percent:" with
// nothing after it is nothing, and the rest of that block is skipped); else "error:" is an error
// line; then the echo markers. Pure: everything it knows is in `state`.
std::vector<UploaderOutputEvent> ReadUploaderBlock(UploaderOutputState& state,
                                                   std::string_view block);

// The reader of an upload's child: reports progress (the percent) and error lines while the
// uploader runs, and leaves the server's answer in the run's collectedOutput (empty when the
// answer was too long to be one).
unsigned UploadReader(ChildRun* run);

}  // namespace vortane
