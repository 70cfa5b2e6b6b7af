#include "vortenc/pipewire_source_reading.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "vortenc/cycle_placement.h"

namespace vortenc {
namespace {

// The graph's cycle while this stream is linked: 10 ms, as the PulseAudio reading asks.
constexpr const char* kCycle = "480/48000";
// A stream that the session manager does not link within this time never will.
constexpr int kLinkWaitMs = 3000;

long long MonotonicMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1'000'000LL + now.tv_nsec / 1000;
}

class PipeWireSourceReading {
 public:
  PipeWireSourceReading(SoundRing& ring, long long startMicros, ReadingStop& stop)
      : ring_(ring), start_(startMicros), stop_(stop) {
    pw_init(nullptr, nullptr);
  }

  ~PipeWireSourceReading() {
    if (loop_ != nullptr) pw_thread_loop_stop(loop_);
    if (stream_ != nullptr) pw_stream_destroy(stream_);
    if (core_ != nullptr) pw_core_disconnect(core_);
    if (context_ != nullptr) pw_context_destroy(context_);
    if (loop_ != nullptr) pw_thread_loop_destroy(loop_);
  }

  bool Run(const PipeWireSource& source) {
    loop_ = pw_thread_loop_new("vortenc-sound", nullptr);
    if (loop_ == nullptr) return false;
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    if (context_ == nullptr || pw_thread_loop_start(loop_) < 0) return false;
    pw_thread_loop* loop = loop_;
    if (!stop_.Attach([loop] {
          pw_thread_loop_lock(loop);
          pw_thread_loop_signal(loop, false);
          pw_thread_loop_unlock(loop);
        })) {
      stop_.Attach(nullptr);
      return false;
    }
    pw_thread_loop_lock(loop_);
    const bool connected = Connect(source);
    // Until the stream ends, or, when it never delivered, for as long as linking may take.
    timespec until{};
    pw_thread_loop_get_time(loop_, &until, kLinkWaitMs * SPA_NSEC_PER_MSEC);
    while (connected && !ended_ && !stop_.Requested()) {
      if (delivered_)
        pw_thread_loop_wait(loop_);
      else if (pw_thread_loop_timed_wait_full(loop_, &until) == -ETIMEDOUT && !delivered_)
        break;
    }
    const bool delivered = delivered_;
    pw_thread_loop_unlock(loop_);
    stop_.Attach(nullptr);
    return delivered;
  }

 private:
  // With the loop locked.
  bool Connect(const PipeWireSource& source) {
    core_ = pw_context_connect(context_, nullptr, 0);
    if (core_ == nullptr) return false;
    pw_properties* properties = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE,
        "Production", PW_KEY_TARGET_OBJECT, source.node.c_str(), PW_KEY_NODE_LATENCY, kCycle,
        // Another source in its place would be another teacher's sound.
        PW_KEY_NODE_DONT_RECONNECT, "true", nullptr);
    if (source.monitor) pw_properties_set(properties, PW_KEY_STREAM_CAPTURE_SINK, "true");
    stream_ = pw_stream_new(core_, "lesson sound", properties);
    if (stream_ == nullptr) return false;
    static const pw_stream_events events = [] {
      pw_stream_events table{};
      table.version = PW_VERSION_STREAM_EVENTS;
      table.state_changed = [](void* self, pw_stream_state, pw_stream_state state, const char*) {
        static_cast<PipeWireSourceReading*>(self)->Changed(state);
      };
      table.process = [](void* self) { static_cast<PipeWireSourceReading*>(self)->Process(); };
      return table;
    }();
    pw_stream_add_listener(stream_, &listener_, &events, this);
    std::array<uint8_t, 1024> buffer{};
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer.data(), uint32_t(buffer.size()));
    spa_audio_info_raw format{};
    format.format = SPA_AUDIO_FORMAT_S16_LE;
    format.rate = kSoundRate;
    format.channels = kSoundChannels;
    format.position[0] = SPA_AUDIO_CHANNEL_FL;
    format.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
    return pw_stream_connect(stream_, PW_DIRECTION_INPUT, PW_ID_ANY,
                             static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT |
                                                          PW_STREAM_FLAG_MAP_BUFFERS),
                             params, 1) == 0;
  }

  void Changed(pw_stream_state state) {
    if (state == PW_STREAM_STATE_ERROR || (state == PW_STREAM_STATE_UNCONNECTED && linked_))
      ended_ = true;
    if (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING) linked_ = true;
    pw_thread_loop_signal(loop_, false);
  }

  // The buffers waiting now were filled in the graph's cycles up to the latest one, which began
  // at the stream's time: the newest sound was heard then, less the delay from the source to
  // this stream, and each buffer before it ends where the next begins.
  void Process() {
    std::array<pw_buffer*, 16> buffers{};
    size_t count = 0;
    while (count < buffers.size())
      if ((buffers[count] = pw_stream_dequeue_buffer(stream_)) != nullptr)
        ++count;
      else
        break;
    if (count == 0) return;
    pw_time time{};
    pw_stream_get_time_n(stream_, &time, sizeof(time));
    const long long now = NowMicros();
    long long end = now;  // where the newest sound ends, on the wall clock
    if (time.now > 0 && time.rate.denom > 0) {
      const long long delay = time.delay * 1'000'000LL * time.rate.num / time.rate.denom;
      end = std::min(now, time.now / 1000 + (now - MonotonicMicros()) - delay);
    }
    long long after = 0;  // frames after the buffer at hand
    std::array<long long, 16> frames{};
    std::array<const int16_t*, 16> samples{};
    for (size_t i = 0; i < count; ++i) {
      const spa_buffer* buffer = buffers[i]->buffer;
      const spa_data* data = buffer->n_datas > 0 ? &buffer->datas[0] : nullptr;
      if (data != nullptr && data->data != nullptr && data->chunk != nullptr &&
          data->chunk->offset <= data->maxsize) {
        const uint32_t size = std::min(data->chunk->size, data->maxsize - data->chunk->offset);
        frames[i] = size / kFrameBytes;
        samples[i] = reinterpret_cast<const int16_t*>(static_cast<const uint8_t*>(data->data) +
                                                      data->chunk->offset);
      }
      after += frames[i];
    }
    for (size_t i = 0; i < count; ++i) {
      const long long span = after * 1'000'000LL / kSoundRate;
      const long long at = placement_.Place(FrameAt(end - span, start_), frames[i]);
      if (frames[i] > 0) ring_.Put(at, samples[i], frames[i]);
      after -= frames[i];
      pw_stream_queue_buffer(stream_, buffers[i]);
    }
    if (!delivered_) {
      delivered_ = true;
      pw_thread_loop_signal(loop_, false);
    }
  }

  SoundRing& ring_;
  const long long start_;
  ReadingStop& stop_;
  CyclePlacement placement_;
  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  pw_stream* stream_ = nullptr;
  spa_hook listener_{};
  bool linked_ = false;     // the session manager linked the stream
  bool ended_ = false;      // and it went away again or failed
  bool delivered_ = false;  // a buffer came
};

}  // namespace

bool ReadFromPipeWire(const PipeWireSource& source, SoundRing& ring, long long startMicros,
                      ReadingStop& stop) {
  PipeWireSourceReading reading(ring, startMicros, stop);
  return reading.Run(source);
}

}  // namespace vortenc
