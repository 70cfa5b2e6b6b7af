#pragma once

#include <optional>

namespace vortane {

// Where the toolbar's lesson stands. One value at a time; RecordingController moves between them
// only through NextRecordingState.
enum class RecordingState {
  kIdle,          // nothing runs; the start button starts
  kStarting,      // the capture's encoder was started and has not reported a time yet
  kRecording,     // the capture reports times into its file
  kLive,          // the push reports times
  kStalled,       // the capture or push reported no new time for the watch's length
  kStopping,      // the teacher (or the disk, or the close) asked the capture to end
  kRemuxing,      // the finished capture is copied into its final file
  kReconnecting,  // a push that broke off waits for its next start
};

// What happened, as the controller sorts it out of the key presses, the timers and the jobs.
enum class RecordingEvent {
  kStartAccepted,    // the checks passed and a capture job was started
  kStartRefused,     // a restart of a broken-off push did not pass the checks
  kFirstProgress,    // the capture's encoder reported its first time
  kProgressLost,     // no new time for the watch's length
  kProgressBack,     // a new time after a silence
  kStopAsked,        // F8, the stop command, a nearly full disk or the close
  kCaptureEnded,     // the capture's encoder ended (asked to, failed, or by itself)
  kCaptureBrokeOff,  // a push that had been on air ended by itself: it is started again
  kRemuxStarted,
  kRemuxEnded,
};

// The state after `event`, or nothing when the event means nothing in `state` (it is ignored).
// `live` tells a push from a recording where the two go different ways.
std::optional<RecordingState> NextRecordingState(RecordingState state, RecordingEvent event,
                                                 bool live);

// A short name for traces and test messages.
const char* RecordingStateName(RecordingState state);

}  // namespace vortane
