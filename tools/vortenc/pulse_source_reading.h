#pragma once

#include <optional>
#include <string>

#include "vortenc/pipewire_source_reading.h"
#include "vortenc/reading_stop.h"
#include "vortenc/sound_ring.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_server_info;
struct pa_source_info;
struct pa_operation;

// One connection to the PulseAudio server, read on its own thread: each piece is put where the
// server says it was heard, and the server is asked for fresh timing after every piece, so a lump
// that arrives late after a source resumes is still stamped right.
namespace vortenc {

class PulseSourceReading {
 public:
  PulseSourceReading(SoundRing& ring, long long startMicros, ReadingStop& stop)
      : ring_(ring), start_(startMicros), stop_(stop) {}

  // Reads `source` until the connection fails, never comes up, or the reading is asked to end.
  // When the server is PipeWire's and `handOver`, reads nothing and answers the PipeWire node
  // behind the source instead: PipeWire's own stream stamps the sound on the graph's clock.
  std::optional<PipeWireSource> Run(const std::string& source, bool handOver);

 private:
  void ReadUntilFailure(const std::string& source, bool handOver);
  bool Ask(pa_operation* asked);

  template <typename Changing>
  static void Changed(Changing*, void* self);
  static void Server(pa_context*, const pa_server_info* info, void* self);
  static void Source(pa_context*, const pa_source_info* info, int last, void* self);
  static void Readable(pa_stream* stream, size_t, void* self);
  void Read(pa_stream* stream);

  SoundRing& ring_;
  const long long start_;
  ReadingStop& stop_;
  PiecePlacement placement_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  bool pipeWire_ = false;  // the server is PipeWire's PulseAudio server
  std::optional<PipeWireSource> node_;
};

}  // namespace vortenc
