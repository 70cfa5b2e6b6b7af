#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "vortenc/sound_reader.h"

// The lesson's sound by frame number (frame n is the sound of the moment start + n/48000 s on the
// wall clock), and the rule that places each piece a source delivers in it.
namespace vortenc {

inline constexpr int kFrameBytes = 2 * kSoundChannels;

// The wall clock the picture is stamped with, in microseconds.
long long NowMicros();
// The frame of the moment `micros` (rounded down, also before the start).
long long FrameAt(long long micros, long long startMicros);

// The reader puts what the server delivers, the writer takes it out in order and leaves silence
// behind.
class SoundRing {
 public:
  SoundRing();

  // Puts `frames` frames that begin at frame `at`; what the writer has passed is late and dropped.
  void Put(long long at, const int16_t* data, long long frames);

  // Takes the frames not taken yet up to what has been delivered (but not past `now`), or up to
  // `due` when that is later, with silence where nothing came.
  std::vector<int16_t> Take(long long due, long long now);

  bool Delivered();

 private:
  size_t Slot(long long frame) const;

  std::mutex mutex_;
  std::vector<int16_t> samples_;
  long long written_ = 0;
  long long deliveredEnd_ = 0;  // where the latest sound delivered ends
  bool delivered_ = false;
};

// Keeps a source's pieces back to back unless their stamps agree, piece after piece, on another
// place: a single stamp taken while the server's timing was stale must not move the sound. A
// piece that would begin after `latest` (the latest moment it can have been heard) cannot be
// there: it moves at once.
class PiecePlacement {
 public:
  // The stamp `at` of the next piece and the latest frame it can begin at.
  void Follow(long long at, long long latest);
  // Where the next piece of `frames` frames begins (negative while no stamp placed a piece at or
  // after the start; such pieces are not part of the lesson); the following
  // one goes after it.
  long long Place(long long frames);

 private:
  long long next_ = -1;   // where the previous piece ended
  int awayCount_ = 0;     // pieces in a row whose stamps put them elsewhere
  long long awayBy_ = 0;  // by how much the last of them did
};

}  // namespace vortenc
