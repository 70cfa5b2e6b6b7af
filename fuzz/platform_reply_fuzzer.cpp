// The platform server's replies: the login reply with its live task tree, the upload destination
// tree and the stop signal's reply. The first byte picks the request.
#include "fuzz_input.h"
#include "http/live_task_choice.h"
#include "http/platform_reply.h"

using namespace vortane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::InputReader input(data, size);
  const std::uint8_t request = input.Byte();
  const std::string body(input.Rest());
  const PlatformCredentials account{"13800138000", "a&b #1+2", "lesson"};
  switch (request % 3) {
    case 0: {
      // The live list shows each task; choosing one checks it; stopping it signals its address.
      for (const LiveTask& task : ReadLoginReply(body, account).tasks) {
        live_task_choice::RowTitle(task);
        live_task_choice::Refusal(&task);
        StopSignalUrl(task.callbackUrl);
      }
      break;
    }
    case 1: {
      ReadUploadReply(body);
      break;
    }
    default:
      ReadStopReply(body);
      break;
  }
  return 0;
}
