#include "http/http_get.h"

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

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

// Ends a transfer whose caller gave up (curl asks about once a second, and at every byte).
int CancelCheck(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* cancel = static_cast<const std::atomic<bool>*>(context);
  return cancel != nullptr && cancel->load() ? 1 : 0;
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

// One reply: its status, the body (possibly cut at the bound) and where a redirect points.
struct Reply {
  long status = 0;
  std::string body;
  std::string location;
};

// One GET without following anything; nothing when no reply came.
std::optional<Reply> FetchOnce(const std::string& url, long maxBytes,
                               const std::atomic<bool>* cancel) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (cancel != nullptr && cancel->load()) return std::nullopt;
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
    // Redirects are followed by HttpGet itself, one checked step at a time.
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
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
    if (cancel != nullptr) {
      curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
      curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, CancelCheck);
      curl_easy_setopt(handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancel));
    }

    const CURLcode result = curl_easy_perform(handle);
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && body.cut)) {
      Reply reply;
      curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &reply.status);
      char* location = nullptr;
      if (curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &location) == CURLE_OK &&
          location != nullptr)
        reply.location = location;
      reply.body = std::move(body.data);
      return reply;
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

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The scheme and host of `url` (lower case), or nothing when it has none.
std::optional<std::pair<std::string, std::string>> SchemeAndHost(const std::string& url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
    return std::nullopt;
  auto part = [&](CURLUPart which) -> std::optional<std::string> {
    char* text = nullptr;
    if (curl_url_get(parsed.get(), which, &text, 0) != CURLUE_OK || text == nullptr)
      return std::nullopt;
    std::string value(text);
    curl_free(text);
    for (char& c : value)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return value;
  };
  std::optional<std::string> scheme = part(CURLUPART_SCHEME);
  std::optional<std::string> host = part(CURLUPART_HOST);
  if (!scheme || !host || host->empty()) return std::nullopt;
  return std::make_pair(*scheme, *host);
}

}  // namespace

bool RedirectAllowed(const std::string& from, const std::string& to, Redirects redirects) {
  const auto source = SchemeAndHost(from);
  const auto target = SchemeAndHost(to);
  if (!source || !target) return false;
  const auto web = [](const std::string& scheme) { return scheme == "http" || scheme == "https"; };
  if (!web(source->first) || !web(target->first)) return false;
  if (source->first == "https" && target->first == "http") return false;
  return redirects == Redirects::kAnyHost || source->second == target->second;
}

std::optional<std::string> HttpGet(const std::string& rawUrl, long maxBytes, Redirects redirects,
                                   const std::atomic<bool>* cancel) {
  InitialiseCurlOnce();
  std::string url = Trimmed(rawUrl);
  if (url.empty()) return std::nullopt;
  if (maxBytes <= 0) maxBytes = kDefaultBodyBound;
  for (long hop = 0;; ++hop) {
    std::optional<Reply> reply = FetchOnce(url, maxBytes, cancel);
    if (!reply) return std::nullopt;
    if (IsRedirect(reply->status) && !reply->location.empty()) {
      if (hop == kMaxRedirects || !RedirectAllowed(url, reply->location, redirects))
        return std::nullopt;
      url = std::move(reply->location);
      continue;
    }
    if (reply->status != 200) return std::nullopt;
    return std::move(reply->body);
  }
}

}  // namespace vortane
