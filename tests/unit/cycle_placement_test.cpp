// Where vortenc-sound puts the buffers PipeWire hands it: back to back while their graph stamps
// jitter by the cycle or two a late reader adds, and where the stamps say once the graph dropped
// sound or a stamp shows the sound ran ahead. Buffers of 256 frames (5.3 ms at 48 kHz).
#include "vortenc/cycle_placement.h"

#include <gtest/gtest.h>

#include <vector>

namespace vortenc {
namespace {

TEST(CyclePlacement, BuffersRunBackToBackUntilTheirStampsSayTheGraphMovedOn) {
  const struct {
    const char* what;
    std::vector<long long> stamps;
    std::vector<long long> placed;
  } cases[] = {
      {"a reader a cycle or two late stamps later now and then: the sound stays unbroken",
       {1000, 1512, 1512, 2280, 2792, 2280},
       {1000, 1256, 1512, 1768, 2024, 2280}},
      {"the graph skipped 0.17 s of cycles: the next buffer goes where its stamp says, at once",
       {1000, 1256, 1512, 9928, 10184},
       {1000, 1256, 1512, 9928, 10184}},
      {"a stamp earlier than where the sound runs: it moves back there at once",
       {1000, 1256, 1400, 1656},
       {1000, 1256, 1400, 1656}},
      {"eight buffers in a row 12 ms or more later: the sound moves on by the least of them",
       {1000, 1856, 2112, 2468, 2624, 2880, 3136, 3392, 3648, 3904},
       {1000, 1256, 1512, 1768, 2024, 2280, 2536, 2792, 3648, 3904}},
      {"seven later ones and then one on time: nothing moves",
       {1000, 1856, 2112, 2368, 2624, 2880, 3136, 3392, 3048, 3304},
       {1000, 1256, 1512, 1768, 2024, 2280, 2536, 2792, 3048, 3304}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    CyclePlacement placement;
    std::vector<long long> placed;
    for (long long stamp : test.stamps)
      placed.push_back(placement.Place(stamp, 256));
    EXPECT_EQ(placed, test.placed);
  }
}

}  // namespace
}  // namespace vortenc
