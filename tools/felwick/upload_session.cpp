#include "upload_session.h"

#include <chrono>
#include <thread>

namespace felwick {

bool PauseUnlessStopped(const UploadSession& session, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (session.stopRequested()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return !session.stopRequested();
}

std::string Excerpt(const std::string& body) {
  constexpr size_t kLongest = 160;
  std::string line;
  for (char c : body.substr(0, kLongest))
    line += (c == '\n' || c == '\r') ? ' ' : c;
  return line.empty() ? line : "：" + line;
}

}  // namespace felwick
