#pragma once

#include <algorithm>

#include "vortenc/sound_reader.h"

namespace vortenc {

// Where each buffer goes on the lesson's timeline. A buffer's stamp is never early: it is the time
// of the cycle that filled it or, when this reader ran a little late, of the next one or two. So
// the sound runs back to back from the earliest stamps: a stamp earlier than where the sound runs
// moves it there at once; stamps that all say a little later, buffer after buffer, or one that
// says much later, mean the graph dropped sound (a starved machine skips cycles, measured up to
// 0.17 s at once), and the sound moves on with them.
class CyclePlacement {
 public:
  // Where the buffer of `frames` frames whose stamp is frame `stamp` begins.
  long long Place(long long stamp, long long frames) {
    const long long later = stamp - next_;
    if (!placed_ || later < -kRoundingFrames || later > kSkippedFrames) {
      next_ = stamp;
      placed_ = true;
      laterCount_ = 0;
    } else if (later > kLateFrames) {
      leastLater_ = laterCount_ == 0 ? later : std::min(leastLater_, later);
      if (++laterCount_ >= kLaterBuffers) {
        next_ += leastLater_;
        laterCount_ = 0;
      }
    } else {
      laterCount_ = 0;
    }
    const long long at = next_;
    next_ += frames;
    return at;
  }

 private:
  // The clocks' rounding.
  static constexpr long long kRoundingFrames = kSoundRate / 500;
  // A reader a cycle or two late stamps that much later (measured: up to 16 ms)...
  static constexpr long long kLateFrames = kSoundRate / 100;
  static constexpr int kLaterBuffers = 8;
  // ...never this much.
  static constexpr long long kSkippedFrames = kSoundRate * 3 / 100;

  bool placed_ = false;
  long long next_ = 0;        // where the previous buffer ended
  int laterCount_ = 0;        // buffers in a row whose stamps say later
  long long leastLater_ = 0;  // by how much the least of them did
};

}  // namespace vortenc
