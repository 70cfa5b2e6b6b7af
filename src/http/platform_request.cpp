#include "http/platform_request.h"

#include <QMetaType>
#include <system_error>

#include "http/http_get.h"

namespace vortane {

PlatformRequest::PlatformRequest(std::string url, Redirects redirects, Read read)
    : url_(std::move(url)), redirects_(redirects), read_(std::move(read)) {
  qRegisterMetaType<PlatformReply>();
}

PlatformRequest::~PlatformRequest() {
  Cancel();
  if (worker_.joinable()) worker_.join();
}

void PlatformRequest::Start() {
  try {
    worker_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    if (const std::optional<PlatformReply> reply = read_(std::nullopt)) emit replied(*reply);
    done_.store(true);
  }
}

void PlatformRequest::Run() {
  const std::optional<std::string> body = HttpGet(url_, kPlatformBodyBound, redirects_, &cancel_);
  // A cancelled request belongs to a program that is closing: nobody waits for its words.
  if (!cancel_.load()) {
    if (const std::optional<PlatformReply> reply = read_(body)) emit replied(*reply);
  }
  done_.store(true);
}

}  // namespace vortane
