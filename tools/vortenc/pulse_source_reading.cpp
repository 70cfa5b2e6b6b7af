#include "vortenc/pulse_source_reading.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace vortenc {
namespace {

// What the sound server hands out at a time: 10 ms, so each piece is stamped within a few
// milliseconds of when it was heard.
constexpr int kFragmentFrames = kSoundRate / 100;

}  // namespace

std::optional<PipeWireSource> PulseSourceReading::Run(const std::string& source, bool handOver) {
  loop_ = pa_threaded_mainloop_new();
  if (loop_ == nullptr) return std::nullopt;
  pa_threaded_mainloop* loop = loop_;
  const bool attached = stop_.Attach([loop] {
    pa_threaded_mainloop_lock(loop);
    pa_threaded_mainloop_signal(loop, 0);
    pa_threaded_mainloop_unlock(loop);
  });
  if (!attached) {
    stop_.Attach(nullptr);
    pa_threaded_mainloop_free(loop_);
    return std::nullopt;
  }
  pa_threaded_mainloop_lock(loop_);
  context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "vortenc");
  if (context_ != nullptr) {
    pa_context_set_state_callback(context_, &PulseSourceReading::Changed<pa_context>, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0 &&
        pa_threaded_mainloop_start(loop_) == 0) {
      ReadUntilFailure(source, handOver);
    }
  }
  if (stream_ != nullptr) {
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
  }
  if (context_ != nullptr) {
    pa_context_disconnect(context_);
    pa_context_unref(context_);
  }
  pa_threaded_mainloop_unlock(loop_);
  stop_.Attach(nullptr);
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
  return node_;
}

// With the loop locked: waits for the answer; false when the reading is to end.
bool PulseSourceReading::Ask(pa_operation* asked) {
  if (asked == nullptr) return !stop_.Requested();
  while (pa_operation_get_state(asked) == PA_OPERATION_RUNNING && !stop_.Requested())
    pa_threaded_mainloop_wait(loop_);
  if (pa_operation_get_state(asked) == PA_OPERATION_RUNNING) pa_operation_cancel(asked);
  pa_operation_unref(asked);
  return !stop_.Requested();
}

// With the loop locked.
void PulseSourceReading::ReadUntilFailure(const std::string& source, bool handOver) {
  while (pa_context_get_state(context_) != PA_CONTEXT_READY) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) || stop_.Requested()) return;
    pa_threaded_mainloop_wait(loop_);
  }
  if (!Ask(pa_context_get_server_info(context_, &PulseSourceReading::Server, this))) return;
  if (pipeWire_ && handOver) {
    if (!Ask(pa_context_get_source_info_by_name(context_, source.c_str(),
                                                &PulseSourceReading::Source, this)))
      return;
    if (node_) return;
  }
  const pa_sample_spec format{PA_SAMPLE_S16LE, kSoundRate, kSoundChannels};
  stream_ = pa_stream_new(context_, "lesson sound", &format, nullptr);
  if (stream_ == nullptr) return;
  pa_stream_set_state_callback(stream_, &PulseSourceReading::Changed<pa_stream>, this);
  pa_stream_set_read_callback(stream_, &PulseSourceReading::Readable, this);
  pa_buffer_attr buffering{};
  buffering.maxlength = buffering.tlength = buffering.prebuf = buffering.minreq =
      static_cast<uint32_t>(-1);
  buffering.fragsize = kFragmentFrames * kFrameBytes;
  const auto flags = static_cast<pa_stream_flags_t>(
      PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
  if (pa_stream_connect_record(stream_, source.c_str(), &buffering, flags) != 0) return;
  while (PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) &&
         PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)) && !stop_.Requested()) {
    pa_threaded_mainloop_wait(loop_);
  }
}

// A state change of the context or the stream wakes the waiting reader.
template <typename Changing>
void PulseSourceReading::Changed(Changing*, void* self) {
  pa_threaded_mainloop_signal(static_cast<PulseSourceReading*>(self)->loop_, 0);
}

void PulseSourceReading::Server(pa_context*, const pa_server_info* info, void* data) {
  auto* self = static_cast<PulseSourceReading*>(data);
  self->pipeWire_ = info != nullptr && info->server_name != nullptr &&
                    std::strstr(info->server_name, "PipeWire") != nullptr;
  pa_threaded_mainloop_signal(self->loop_, 0);
}

// PipeWire's PulseAudio server shows its nodes' properties: a monitor source carries its sink's.
void PulseSourceReading::Source(pa_context*, const pa_source_info* info, int last, void* data) {
  auto* self = static_cast<PulseSourceReading*>(data);
  if (last == 0 && info != nullptr && info->proplist != nullptr) {
    const char* node = pa_proplist_gets(info->proplist, "node.name");
    if (node != nullptr && *node != '\0')
      self->node_ = PipeWireSource{node, info->monitor_of_sink != PA_INVALID_INDEX};
  }
  pa_threaded_mainloop_signal(self->loop_, 0);
}

void PulseSourceReading::Readable(pa_stream* stream, size_t, void* self) {
  static_cast<PulseSourceReading*>(self)->Read(stream);
}

void PulseSourceReading::Read(pa_stream* stream) {
  for (;;) {
    const void* data = nullptr;
    size_t bytes = 0;
    if (pa_stream_peek(stream, &data, &bytes) != 0 || bytes == 0) break;
    const long long now = NowMicros();
    // On PipeWire's PulseAudio server everything waiting to be read was heard before now, so
    // this piece began at the latest that long ago. Starved of time, that server reports
    // latencies that put sound later than that (negative ones for a sink's monitor, whose sound
    // it counts as not yet played), and its sources deliver less sound than time passes: the
    // bound keeps the sound with the picture. PulseAudio's monitors deliver a sink's sound
    // ahead of its playing, at the moment their latency tells.
    const long long waiting = static_cast<long long>(pa_stream_readable_size(stream));
    const long long latest =
        pipeWire_ ? FrameAt(now - waiting / kFrameBytes * 1'000'000 / kSoundRate, start_)
                  : LLONG_MAX / 2;
    pa_usec_t latency = 0;
    int negative = 0;
    // The latency of a recording is the age of the first byte not yet read: this piece's start.
    if (pa_stream_get_latency(stream, &latency, &negative) == 0) {
      const long long age =
          negative ? -static_cast<long long>(latency) : static_cast<long long>(latency);
      placement_.Follow(std::min(FrameAt(now - age, start_), latest), latest);
    }
    const long long frames = static_cast<long long>(bytes / kFrameBytes);
    const long long at = placement_.Place(frames);
    // A hole (no data) is silence the server skipped.
    if (at >= 0 && data != nullptr) ring_.Put(at, static_cast<const int16_t*>(data), frames);
    pa_stream_drop(stream);
  }
  if (pa_operation* asked = pa_stream_update_timing_info(stream, nullptr, nullptr))
    pa_operation_unref(asked);
}

}  // namespace vortenc
