// The encoder's console output as the job runner's progress reader and the clip trimmer read it:
// any chunk of bytes, cut anywhere.
#include "encoder/progress_reader.h"
#include "files/clip_trimmer.h"
#include "fuzz_input.h"

using namespace vortane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  const std::size_t cut = input.Byte();
  const std::string_view output = input.Rest();
  // The reader sees the output in chunks as the pipe delivers it.
  for (std::size_t at = 0; at < output.size(); at += cut + 1) {
    const std::optional<std::string> time = FindProgressTime(output.substr(at, cut + 1));
    if (!time) continue;
    FUZZ_CHECK(time->size() == 11);
    if (const std::optional<std::int64_t> ms = ProgressTimeMilliseconds(*time))
      FUZZ_CHECK(*ms >= 0 && *ms < 100LL * 3600 * 1000);
  }
  const std::string whole(output);
  if (const std::optional<std::string> last = FindLastProgressTime(whole))
    FUZZ_CHECK(last->size() == 11 && (*last)[0] != '-');
  LastProgressTime(whole);
  LastEncoderWords(whole);
  return 0;
}
