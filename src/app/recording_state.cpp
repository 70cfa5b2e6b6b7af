#include "app/recording_state.h"

namespace vortane {

std::optional<RecordingState> NextRecordingState(RecordingState state, RecordingEvent event,
                                                 bool live) {
  using S = RecordingState;
  using E = RecordingEvent;
  const S onAir = live ? S::kLive : S::kRecording;
  const bool capturing =
      state == S::kStarting || state == S::kRecording || state == S::kLive || state == S::kStalled;
  switch (event) {
    case E::kStartAccepted:
      if (state == S::kIdle || state == S::kReconnecting) return S::kStarting;
      break;
    case E::kStartRefused:
      if (state == S::kReconnecting) return S::kIdle;
      break;
    case E::kFirstProgress:
      if (state == S::kStarting) return onAir;
      break;
    case E::kProgressLost:
      if (state == S::kStarting || state == S::kRecording || state == S::kLive) return S::kStalled;
      break;
    case E::kProgressBack:
      if (state == S::kStalled) return onAir;
      break;
    case E::kStopAsked:
      if (capturing) return S::kStopping;
      // A push waiting for its next start simply ends.
      if (state == S::kReconnecting) return S::kIdle;
      break;
    case E::kCaptureEnded:
      if (capturing || state == S::kStopping) return S::kIdle;
      break;
    case E::kCaptureBrokeOff:
      if (live && capturing) return S::kReconnecting;
      break;
    case E::kRemuxStarted:
      if (state == S::kIdle) return S::kRemuxing;
      break;
    case E::kRemuxEnded:
      if (state == S::kRemuxing) return S::kIdle;
      break;
  }
  return std::nullopt;
}

const char* RecordingStateName(RecordingState state) {
  switch (state) {
    case RecordingState::kIdle:
      return "idle";
    case RecordingState::kStarting:
      return "starting";
    case RecordingState::kRecording:
      return "recording";
    case RecordingState::kLive:
      return "live";
    case RecordingState::kStalled:
      return "stalled";
    case RecordingState::kStopping:
      return "stopping";
    case RecordingState::kRemuxing:
      return "remuxing";
    case RecordingState::kReconnecting:
      return "reconnecting";
  }
  return "?";
}

}  // namespace vortane
