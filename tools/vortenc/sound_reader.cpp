#include "vortenc/sound_reader.h"

#include <fcntl.h>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <signal.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace vortenc {
namespace {

constexpr int kFrameBytes = 2 * kSoundChannels;
// What the sound server hands out at a time: 10 ms, so each piece is stamped within a few
// milliseconds of when it was heard.
constexpr int kFragmentFrames = kSoundRate / 100;
// How long the writer waits for sound before it writes silence in its place: the server's
// fragment and a thread's wake-up, and the lump a source sends as it resumes.
constexpr long long kWaitMicros = 200'000;
// Pieces more than this far from where the previous one ended, several in a row, start anew at
// their own stamps (a source that resumed, a server that dropped sound); smaller differences are
// stamping noise.
constexpr long long kRealignFrames = kSoundRate / 25;
constexpr int kRealignPieces = 5;
// The clock's and the server's rounding.
constexpr long long kBoundSlackFrames = kSoundRate / 500;
// Sound kept for a writer whose pipe is full (ffmpeg reads sound in step with its picture
// encoder, which may hold a second or two).
constexpr long long kRingFrames = 10LL * kSoundRate;
constexpr long long kSilentSourceMicros = 3'000'000;

long long NowMicros() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec * 1'000'000LL + now.tv_nsec / 1000;
}

long long FrameAt(long long micros, long long startMicros) {
  const long long since = micros - startMicros;
  return since >= 0 ? since * kSoundRate / 1'000'000 : -((-since) * kSoundRate / 1'000'000) - 1;
}

// The lesson's sound by frame number: the reader puts what the server delivers, the writer takes
// it out in order and leaves silence behind.
class SoundRing {
 public:
  SoundRing() : samples_(kRingFrames * kSoundChannels, 0) {}

  // Puts `frames` frames that begin at frame `at`; what the writer has passed is late and dropped.
  void Put(long long at, const int16_t* data, long long frames) {
    std::lock_guard lock(mutex_);
    delivered_ = true;
    deliveredEnd_ = std::max(deliveredEnd_, at + frames);
    for (long long i = 0; i < frames; ++i) {
      const long long frame = at + i;
      if (frame < written_ || frame >= written_ + kRingFrames) continue;
      std::memcpy(&samples_[Slot(frame)], data + i * kSoundChannels, kFrameBytes);
    }
  }

  // Takes the frames not taken yet up to what has been delivered (but not past `now`), or up to
  // `due` when that is later, with silence where nothing came.
  std::vector<int16_t> Take(long long due, long long now) {
    std::lock_guard lock(mutex_);
    const long long end = std::max(due, std::min(deliveredEnd_, now));
    std::vector<int16_t> out;
    if (end <= written_) return out;
    out.reserve((end - written_) * kSoundChannels);
    for (; written_ < end; ++written_) {
      int16_t* slot = &samples_[Slot(written_)];
      out.insert(out.end(), slot, slot + kSoundChannels);
      std::fill(slot, slot + kSoundChannels, 0);
    }
    return out;
  }

  bool Delivered() {
    std::lock_guard lock(mutex_);
    return delivered_;
  }

 private:
  size_t Slot(long long frame) const {
    return static_cast<size_t>(frame % kRingFrames) * kSoundChannels;
  }

  std::mutex mutex_;
  std::vector<int16_t> samples_;
  long long written_ = 0;
  long long deliveredEnd_ = 0;  // where the latest sound delivered ends
  bool delivered_ = false;
};

// Where the reading thread's current connection can be woken from the writer's thread.
class ReadingStop {
 public:
  bool Requested() const { return requested_.load(); }

  // Ends the reading: the connection's waits wake and see the request; the pause before the
  // next connection ends at once.
  void Request() {
    std::lock_guard lock(mutex_);
    requested_.store(true);
    if (loop_ != nullptr) {
      pa_threaded_mainloop_lock(loop_);
      pa_threaded_mainloop_signal(loop_, 0);
      pa_threaded_mainloop_unlock(loop_);
    }
    paused_.notify_all();
  }

  // The connection whose waits a request wakes (null when there is none). Never called with the
  // loop locked: Request locks the loop while holding this one's lock.
  bool Attach(pa_threaded_mainloop* loop) {
    std::lock_guard lock(mutex_);
    loop_ = loop;
    return !requested_.load();
  }

  // Waits `pause` unless a request comes first.
  void Pause(std::chrono::milliseconds pause) {
    std::unique_lock lock(mutex_);
    paused_.wait_for(lock, pause, [this] { return requested_.load(); });
  }

 private:
  std::mutex mutex_;
  std::condition_variable paused_;
  std::atomic<bool> requested_{false};
  pa_threaded_mainloop* loop_ = nullptr;
};

// One connection to the sound server, read on its own thread: each piece is put where the
// server says it was heard, and the server is asked for fresh timing after every piece, so a
// lump that arrives late after a source resumes is still stamped right.
class SourceReading {
 public:
  SourceReading(SoundRing& ring, long long startMicros, ReadingStop& stop)
      : ring_(ring), start_(startMicros), stop_(stop) {}

  // Reads `source` until the connection fails, never comes up, or the reading is asked to end.
  void Run(const std::string& source) {
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr) return;
    if (!stop_.Attach(loop_)) {
      stop_.Attach(nullptr);
      pa_threaded_mainloop_free(loop_);
      return;
    }
    pa_threaded_mainloop_lock(loop_);
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "vortenc");
    if (context_ != nullptr) {
      pa_context_set_state_callback(context_, &SourceReading::Changed<pa_context>, this);
      if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0 &&
          pa_threaded_mainloop_start(loop_) == 0) {
        ReadUntilFailure(source);
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
  }

 private:
  // With the loop locked.
  void ReadUntilFailure(const std::string& source) {
    while (pa_context_get_state(context_) != PA_CONTEXT_READY) {
      if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) || stop_.Requested()) return;
      pa_threaded_mainloop_wait(loop_);
    }
    if (pa_operation* asked = pa_context_get_server_info(context_, &SourceReading::Server, this)) {
      while (pa_operation_get_state(asked) == PA_OPERATION_RUNNING && !stop_.Requested())
        pa_threaded_mainloop_wait(loop_);
      if (pa_operation_get_state(asked) == PA_OPERATION_RUNNING) pa_operation_cancel(asked);
      pa_operation_unref(asked);
      if (stop_.Requested()) return;
    }
    const pa_sample_spec format{PA_SAMPLE_S16LE, kSoundRate, kSoundChannels};
    stream_ = pa_stream_new(context_, "lesson sound", &format, nullptr);
    if (stream_ == nullptr) return;
    pa_stream_set_state_callback(stream_, &SourceReading::Changed<pa_stream>, this);
    pa_stream_set_read_callback(stream_, &SourceReading::Readable, this);
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
  static void Changed(Changing*, void* self) {
    pa_threaded_mainloop_signal(static_cast<SourceReading*>(self)->loop_, 0);
  }

  static void Server(pa_context*, const pa_server_info* info, void* data) {
    auto* self = static_cast<SourceReading*>(data);
    self->pipeWire_ = info != nullptr && info->server_name != nullptr &&
                      std::strstr(info->server_name, "PipeWire") != nullptr;
    pa_threaded_mainloop_signal(self->loop_, 0);
  }

  static void Readable(pa_stream* stream, size_t, void* self) {
    static_cast<SourceReading*>(self)->Read(stream);
  }

  void Read(pa_stream* stream) {
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
        Follow(std::min(FrameAt(now - age, start_), latest), latest);
      }
      const long long frames = static_cast<long long>(bytes / kFrameBytes);
      if (next_ >= 0) {
        // A hole (no data) is silence the server skipped.
        if (data != nullptr) ring_.Put(next_, static_cast<const int16_t*>(data), frames);
        next_ += frames;
      }
      pa_stream_drop(stream);
    }
    if (pa_operation* asked = pa_stream_update_timing_info(stream, nullptr, nullptr))
      pa_operation_unref(asked);
  }

  // Keeps the pieces back to back unless their stamps agree, piece after piece, on another
  // place: a single stamp taken while the server's timing was stale must not move the sound.
  // A piece that would be placed after `latest` cannot be there: it moves at once.
  void Follow(long long at, long long latest) {
    if (next_ < 0) {
      next_ = at;
      return;
    }
    if (next_ > latest + kBoundSlackFrames) {
      next_ = at;
      awayCount_ = 0;
      return;
    }
    const long long off = at - next_;
    if (std::llabs(off) <= kRealignFrames ||
        (awayCount_ > 0 && std::llabs(off - awayBy_) > kRealignFrames)) {
      awayCount_ = std::llabs(off) <= kRealignFrames ? 0 : 1;
      awayBy_ = off;
      return;
    }
    awayBy_ = off;
    if (++awayCount_ >= kRealignPieces) {
      next_ = at;
      awayCount_ = 0;
    }
  }

  SoundRing& ring_;
  const long long start_;
  ReadingStop& stop_;
  long long next_ = -1;   // where the previous piece ended
  int awayCount_ = 0;     // pieces in a row whose stamps put them elsewhere
  long long awayBy_ = 0;  // by how much the last of them did
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  bool pipeWire_ = false;  // the server is PipeWire's PulseAudio server
};

// Reads the source on a thread of its own until it goes; a server that cannot be reached is
// tried again each second (its sound is silence meanwhile).
class SourceReader {
 public:
  SourceReader(std::string source, long long startMicros, SoundRing& ring)
      : thread_([this, source = std::move(source), startMicros, &ring] {
          while (!stop_.Requested()) {
            SourceReading reading(ring, startMicros, stop_);
            reading.Run(source);
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

SoundReader StartSoundReader(const std::string& program, const std::string& source,
                             const std::string& name, long long startMicros) {
  SoundReader reader;
  if (access(program.c_str(), X_OK) != 0) {
    reader.error = "cannot find the sound reader \"" + program + "\" (reinstall the program)";
    return reader;
  }
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    reader.error = std::string("cannot make a pipe for the sound: ") + std::strerror(errno);
    return reader;
  }
  // Room for a few seconds of sound, so the reader seldom waits on ffmpeg.
  fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
  const pid_t encoder = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    reader.error = std::string("cannot start the sound reader: ") + std::strerror(errno);
    close(ends[0]);
    close(ends[1]);
    return reader;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != encoder) _exit(0);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGINT, SIG_IGN);  // a Ctrl+C meant for the encoder; the pipe's end stops this one
    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull >= 0) dup2(devNull, STDIN_FILENO);
    // Only the pipe and standard error stay open: no output file, no other reader's pipe.
    dup2(ends[1], kSoundReaderFd);
    fcntl(kSoundReaderFd, F_SETFD, 0);
    close_range(kSoundReaderFd + 1, ~0U, 0);
    // A fresh program: the sound server's library refuses to work in a copy of a process that
    // has used it (the device lookup may have).
    std::string start = std::to_string(startMicros);
    std::string path = program;
    char* arguments[] = {path.data(), const_cast<char*>(source.c_str()),
                         const_cast<char*>(name.c_str()), start.data(), nullptr};
    execv(path.c_str(), arguments);
    _exit(127);
  }
  close(ends[1]);
  reader.pid = pid;
  reader.fd = ends[0];
  return reader;
}

}  // namespace vortenc
