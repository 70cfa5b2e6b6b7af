#include "encoder/encoder_job.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/code_page.h"
#include "platform/process.h"

namespace vortane {
namespace {

std::atomic<std::uint64_t> nextSerial{1};

}  // namespace

EncoderJob::EncoderJob() : serial(nextSerial++) {}

EncoderJob::~EncoderJob() {
  platform::CloseDescriptor(readPipe);
  platform::CloseDescriptor(writePipe);
  platform::CloseDescriptor(stdinPipe);
}

void PostJobStatus(EncoderJob& job, std::int32_t code, double value, const char* text) {
  if (job.notifyMessage == 0) return;
  // The runner posts only before the reader starts and after it has ended, so the block is
  // never written by two threads at once; the receiver reads the copy in the message.
  job.status.statusCode = code;
  job.status.statusValue = value;
  std::string_view source(text != nullptr ? text : "");
  // Cut at 255 bytes, but never inside a double-byte character.
  const size_t length = platform::AnsiPrefixLength(source, sizeof(job.status.statusText) - 1);
  std::memcpy(job.status.statusText, source.data(), length);
  job.status.statusText[length] = '\0';
  platform::PostWindowMessage(
      job.ownerWindow,
      platform::WindowMessage{job.notifyMessage, reinterpret_cast<std::uintptr_t>(&job), 0,
                              JobEvent{&job, job.serial, job.status}});
}

}  // namespace vortane
