#pragma once

#include <string>

#include "vortenc/reading_stop.h"
#include "vortenc/sound_ring.h"

// A sound source read from PipeWire itself rather than through its PulseAudio server. That
// server stamps its pieces by latency reports that, on a busy machine, put sound up to 0.2 s
// before the moment it was played; PipeWire's own stream tells, with every buffer, the graph
// cycle it belongs to on the monotonic clock.
namespace vortenc {

struct PipeWireSource {
  std::string node;      // the node's name ("node.name")
  bool monitor = false;  // the node is a sink: its output is read
};

// Reads `source` until its stream ends or fails, or the reading is asked to end. False when it
// never delivered: PipeWire could not be reached or did not link the stream (the caller reads
// through the PulseAudio server then).
bool ReadFromPipeWire(const PipeWireSource& source, SoundRing& ring, long long startMicros,
                      ReadingStop& stop);

}  // namespace vortenc
