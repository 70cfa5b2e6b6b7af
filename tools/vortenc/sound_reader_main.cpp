// vortenc-sound: the sound reader of one capture (see sound_reader.h), a small program of its own
// so that it starts in a few milliseconds beside the encoder.
//
//   vortenc-sound SOURCE NAME START   (writes to descriptor 3)
#include <cstdlib>

#include "vortenc/sound_reader.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  char* end = nullptr;
  const long long start = std::strtoll(argv[3], &end, 10);
  if (end == argv[3] || *end != '\0') return 2;
  vortenc::RunSoundReader(argv[1], argv[2], start, vortenc::kSoundReaderFd);
}
