#include "http/http_get.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace vortane {
namespace {

constexpr long kConnectTimeoutMs = 5000;
// No byte for this long ends the request (the receive time-out).
constexpr long kStallSeconds = 5;
// A reply that trickles in forever must not hold its thread forever either.
constexpr long kWholeRequestMs = 60000;
constexpr long kMaxRedirects = 5;
constexpr char kUserAgent[] = "tarnel";

struct Body {
  std::string data;
  size_t bound = 0;
  bool cut = false;
};

size_t CollectBody(char* data, size_t size, size_t count, void* context) {
  auto* body = static_cast<Body*>(context);
  const size_t bytes = size * count;
  const size_t room = body->bound - body->data.size();
  if (bytes > room) {
    // Reading stops at the bound; what came so far is the body.
    body->data.append(data, room);
    body->cut = true;
    return 0;
  }
  body->data.append(data, bytes);
  return bytes;
}

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::optional<std::string> HttpGet(const std::string& rawUrl, long maxBytes) {
  InitialiseCurlOnce();
  const std::string url = Trimmed(rawUrl);
  if (url.empty()) return std::nullopt;
  if (maxBytes <= 0) maxBytes = kDefaultBodyBound;

  for (int attempt = 0; attempt < 2; ++attempt) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) return std::nullopt;
    Body body;
    body.bound = static_cast<size_t>(maxBytes);
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(handle, CURLOPT_AUTOREFERER, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, kWholeRequestMs);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    // Always a fresh copy, never a cached one.
    curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);

    const CURLcode result = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && body.cut)) {
      if (status != 200) return std::nullopt;
      return std::move(body.data);
    }
    // One more try when no connection came about at all.
    curl_off_t connectTime = 0;
    curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connectTime);
    const bool notConnected =
        result == CURLE_COULDNT_CONNECT || (result == CURLE_OPERATION_TIMEDOUT && connectTime == 0);
    if (!notConnected) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace vortane
