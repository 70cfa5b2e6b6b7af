#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "vortenc/pipewire_source_reading.h"
#include "vortenc/pulse_source_reading.h"
#include "vortenc/reading_stop.h"
#include "vortenc/sound_reader.h"
#include "vortenc/sound_ring.h"

namespace vortenc {
namespace {

// How long the writer waits for sound before it writes silence in its place: the server's
// fragment and a thread's wake-up, and the lump a source sends as it resumes.
constexpr long long kWaitMicros = 200'000;
constexpr long long kSilentSourceMicros = 3'000'000;

// Reads the source on a thread of its own until it goes; a server that cannot be reached is
// tried again each second (its sound is silence meanwhile). On PipeWire the source is read from
// PipeWire itself once its PulseAudio server has named the node, unless PipeWire refused it.
class SourceReader {
 public:
  SourceReader(std::string source, long long startMicros, SoundRing& ring)
      : thread_([this, source = std::move(source), startMicros, &ring] {
          bool handOver = true;
          while (!stop_.Requested()) {
            PulseSourceReading reading(ring, startMicros, stop_);
            if (const std::optional<PipeWireSource> node = reading.Run(source, handOver)) {
              if (!ReadFromPipeWire(*node, ring, startMicros, stop_)) {
                handOver = false;
                continue;
              }
            }
            stop_.Pause(std::chrono::seconds(1));
          }
        }) {}

  ~SourceReader() {
    stop_.Request();
    thread_.join();
  }

 private:
  ReadingStop stop_;
  std::thread thread_;  // last: it starts once the stop is there
};

bool WriteAll(int fd, const std::vector<int16_t>& samples) {
  const char* bytes = reinterpret_cast<const char*>(samples.data());
  size_t left = samples.size() * sizeof(int16_t);
  while (left > 0) {
    const ssize_t wrote = write(fd, bytes, left);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    bytes += wrote;
    left -= static_cast<size_t>(wrote);
  }
  return true;
}

// Writes the lesson's sound into `fd` every 10 ms until the pipe's reader goes away.
void WriteSound(int fd, const std::string& name, long long startMicros, SoundRing& ring) {
  bool silentTold = false;
  timespec tick{};
  clock_gettime(CLOCK_MONOTONIC, &tick);
  for (;;) {
    tick.tv_nsec += 10'000'000;
    if (tick.tv_nsec >= 1'000'000'000) {
      tick.tv_nsec -= 1'000'000'000;
      ++tick.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr);
    const long long now = NowMicros();
    // What has come goes out at once, so the picture, which ffmpeg interleaves with the sound,
    // is not held back by the wait for what has not.
    if (!WriteAll(fd,
                  ring.Take(FrameAt(now - kWaitMicros, startMicros), FrameAt(now, startMicros))))
      return;
    const bool delivered = ring.Delivered();
    if (!delivered && !silentTold && now - startMicros >= kSilentSourceMicros) {
      std::fprintf(stderr, "vortenc: no sound from \"%s\"; the lesson goes on without it\n",
                   name.c_str());
      silentTold = true;
    } else if (delivered && silentTold) {
      std::fprintf(stderr, "vortenc: the sound from \"%s\" has come\n", name.c_str());
      silentTold = false;
    }
  }
}

}  // namespace

void RunSoundReader(const std::string& source, const std::string& name, long long startMicros,
                    int fd) {
  SoundRing ring;
  {
    SourceReader reader(source, startMicros, ring);
    WriteSound(fd, name, startMicros, ring);
    // The reader's connection to the sound server is closed and its thread joined here.
  }
  _exit(0);
}

}  // namespace vortenc
