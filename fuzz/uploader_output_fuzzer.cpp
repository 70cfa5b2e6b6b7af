// The uploader's console output as the upload job's reader takes it: progress ("percent:"),
// error lines ("error:") and the server's answer between "[_ECHO]" and "[/_ECHO]", in blocks cut
// anywhere. Built once the upload reader is in the tree (fuzz/CMakeLists.txt).
#include "fuzz_input.h"
#include "http/upload_reader.h"

using namespace vortane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  const std::size_t cut = input.Byte();
  const std::string_view output = input.Rest();
  UploaderOutputState state;
  for (std::size_t at = 0; at < output.size(); at += cut + 1) {
    for (const UploaderOutputEvent& event : ReadUploaderBlock(state, output.substr(at, cut + 1))) {
      if (event.kind == UploaderOutputEvent::kErrorLine) FUZZ_CHECK(event.text.size() <= cut + 1);
    }
    FUZZ_CHECK(state.echo.size() <= kMaxEchoBytes);
  }
  return 0;
}
