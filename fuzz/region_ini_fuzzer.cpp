// screen-capture-recorder.ini, which the desktop source reads and other programs may also write.
// Whatever the file held before, the values the region windows write into it read back the same.
#include "fuzz_input.h"
#include "settings/screen_capture_recorder_ini.h"

using namespace vortane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  const ScreenCaptureRecorderValues values{input.Int(), input.Int(), input.Int(), input.Int(),
                                           input.Int()};
  const std::string previous(input.Rest());
  ParseScreenCaptureRecorderIni(previous);
  const std::string written = FormatScreenCaptureRecorderIni(values, previous);
  const std::optional<ScreenCaptureRecorderValues> back = ParseScreenCaptureRecorderIni(written);
  FUZZ_CHECK(back.has_value());
  FUZZ_CHECK(*back == values);
  return 0;
}
