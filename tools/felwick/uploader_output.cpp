#include "uploader_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace felwick {

void UploaderOutput::Progress(double percent, bool force) {
  const auto now = std::chrono::steady_clock::now();
  if (!force && (now - lastProgress_ < kProgressInterval || percent == lastPercent_)) return;
  lastProgress_ = now;
  lastPercent_ = percent;
  char line[32];
  std::snprintf(line, sizeof(line), "percent:%.2f\n", percent);
  Write(line);
}

void UploaderOutput::Error(std::string_view text) {
  lastError_ = std::string(text);
  Write("error:" + lastError_ + "\n");
}

void UploaderOutput::Echo(std::string_view reply) {
  Write("[_ECHO]" + std::string(reply) + "[/_ECHO]\n");
}

void UploaderOutput::Write(const std::string& message) {
  size_t done = 0;
  // A pipe takes a message of this size whole; the loop only matters for a reader that went away.
  while (done < message.size()) {
    const ssize_t written = write(STDOUT_FILENO, message.data() + done, message.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<size_t>(written);
  }
}

}  // namespace felwick
