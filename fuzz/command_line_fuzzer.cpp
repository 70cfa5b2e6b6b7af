// A command line split into arguments by the Windows rules, as the job runner hands it to the
// encoder adapter, and the adapter's translation of those arguments into ffmpeg's.
#include "fuzz_input.h"
#include "platform/process.h"
#include "vortenc/argument_translation.h"

using namespace vortane;

namespace {

// Every device exists: the translation goes as far as it can.
class AnyDevice : public vortenc::DeviceResolver {
 public:
  vortenc::ResolvedDevice Screen() override { return {":0", ""}; }
  vortenc::ResolvedDevice Camera(const std::string&) override { return {"/dev/video0", ""}; }
  vortenc::ResolvedDevice SoundSource(const std::string& name) override { return {name, ""}; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line = fuzz::Bytes(data, size);
  std::vector<std::string> argv = platform::SplitCommandLine(line);
  std::size_t total = 0;
  for (const std::string& argument : argv) {
    FUZZ_CHECK(argument.find('\0') == std::string::npos || line.find('\0') != line.npos);
    total += argument.size();
  }
  FUZZ_CHECK(total <= line.size());
  if (argv.empty()) return 0;
  argv.erase(argv.begin());
  vortenc::TakeDryRunFlag(argv);
  AnyDevice devices;
  const vortenc::TranslationResult result =
      vortenc::TranslateArguments(argv, devices, 1'800'000'000'000'000);
  if (result.ok()) vortenc::ShellCommandLine("ffmpeg", result.arguments);
  return 0;
}
