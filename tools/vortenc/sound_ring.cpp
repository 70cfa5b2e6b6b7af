#include "vortenc/sound_ring.h"

#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vortenc {
namespace {

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

}  // namespace

long long NowMicros() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec * 1'000'000LL + now.tv_nsec / 1000;
}

long long FrameAt(long long micros, long long startMicros) {
  const long long since = micros - startMicros;
  return since >= 0 ? since * kSoundRate / 1'000'000 : -((-since) * kSoundRate / 1'000'000) - 1;
}

SoundRing::SoundRing() : samples_(kRingFrames * kSoundChannels, 0) {}

void SoundRing::Put(long long at, const int16_t* data, long long frames) {
  std::lock_guard lock(mutex_);
  delivered_ = true;
  deliveredEnd_ = std::max(deliveredEnd_, at + frames);
  for (long long i = 0; i < frames; ++i) {
    const long long frame = at + i;
    if (frame < written_ || frame >= written_ + kRingFrames) continue;
    std::memcpy(&samples_[Slot(frame)], data + i * kSoundChannels, kFrameBytes);
  }
}

std::vector<int16_t> SoundRing::Take(long long due, long long now) {
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

bool SoundRing::Delivered() {
  std::lock_guard lock(mutex_);
  return delivered_;
}

size_t SoundRing::Slot(long long frame) const {
  return static_cast<size_t>(frame % kRingFrames) * kSoundChannels;
}

void PiecePlacement::Follow(long long at, long long latest) {
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

long long PiecePlacement::Place(long long frames) {
  if (next_ < 0) return -1;
  const long long at = next_;
  next_ += frames;
  return at;
}

}  // namespace vortenc
