#include "http_exchange.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace felwick {
namespace {

constexpr long kConnectTimeoutMs = 10000;
// A transfer that moves no byte for this long is dropped (and resumed by the caller).
constexpr long kStallSeconds = 30;
constexpr long kUploadBufferBytes = 512 * 1024;
constexpr char kUserAgent[] = "felwick/1.0";

struct Transfer {
  const HttpRequest* request = nullptr;
  HttpReply* reply = nullptr;
  std::int64_t sent = 0;  // body bytes handed to libcurl
  bool heldBack = false;
};

size_t ReadBody(char* buffer, size_t size, size_t count, void* context) {
  auto* transfer = static_cast<Transfer*>(context);
  const HttpRequest& request = *transfer->request;
  const std::int64_t left = request.length - transfer->sent;
  if (left <= 0) return 0;
  const size_t wanted = size_t(std::min<std::int64_t>(left, std::int64_t(size * count)));
  const std::int64_t at = request.offset + transfer->sent;
  if (at + std::int64_t(wanted) >= request.file->Size() && request.beforeLastByte &&
      !request.beforeLastByte()) {
    transfer->heldBack = true;
    return CURL_READFUNC_ABORT;
  }
  const long got = request.file->ReadAt(at, buffer, wanted);
  if (got < 0) {
    transfer->heldBack = true;
    return CURL_READFUNC_ABORT;
  }
  transfer->sent += got;
  return size_t(got);
}

// The multipart body's file part reads the whole file from its start.
size_t ReadFormFile(char* buffer, size_t size, size_t count, void* context) {
  return ReadBody(buffer, size, count, context);
}

size_t KeepBody(char* data, size_t size, size_t count, void* context) {
  auto* reply = static_cast<HttpReply*>(context);
  const size_t bytes = size * count;
  const size_t room = kReplyBound - std::min(kReplyBound, reply->body.size());
  reply->body.append(data, std::min(room, bytes));
  return bytes;
}

size_t KeepHeader(char* data, size_t size, size_t count, void* context) {
  auto* reply = static_cast<HttpReply*>(context);
  const std::string line(data, size * count);
  // A new status line (after a redirect or "100 Continue") starts a new set of headers.
  if (line.rfind("HTTP/", 0) == 0) reply->headers.clear();
  const size_t colon = line.find(':');
  if (colon == std::string::npos) return size * count;
  std::string name = line.substr(0, colon);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  std::string value = line.substr(colon + 1);
  const char* blanks = " \t\r\n";
  const size_t first = value.find_first_not_of(blanks);
  value = first == std::string::npos
              ? std::string()
              : value.substr(first, value.find_last_not_of(blanks) - first + 1);
  reply->headers[name] = value;
  return size * count;
}

int OnTransfer(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
  auto* transfer = static_cast<Transfer*>(context);
  if (transfer->request->onProgress && !transfer->request->onProgress(std::int64_t(uploaded)))
    return 1;
  return 0;
}

}  // namespace

std::string HttpReply::Header(const std::string& lowerName) const {
  auto it = headers.find(lowerName);
  return it == headers.end() ? std::string() : it->second;
}

HttpReply Perform(const HttpRequest& request) {
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  HttpReply reply;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!initialised || !curl) {
    reply.failure = "libcurl cannot start";
    return reply;
  }
  CURL* handle = curl.get();
  Transfer transfer{&request, &reply};
  curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  curl_easy_setopt(handle, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferBytes);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, KeepBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, KeepHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &reply);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, OnTransfer);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);

  std::vector<std::string> headers = request.headers;
  // The body goes at once: waiting for "100 Continue" costs a round trip per request.
  headers.emplace_back("Expect:");
  std::unique_ptr<curl_mime, decltype(&curl_mime_free)> form(nullptr, curl_mime_free);
  if (request.method == "HEAD") {
    curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
  } else if (!request.formField.empty()) {
    form.reset(curl_mime_init(handle));
    curl_mimepart* part = curl_mime_addpart(form.get());
    curl_mime_name(part, request.formField.c_str());
    curl_mime_filename(part, request.formFileName.c_str());
    curl_mime_type(part, "application/octet-stream");
    curl_mime_data_cb(part, curl_off_t(request.length), ReadFormFile, nullptr, nullptr, &transfer);
    curl_easy_setopt(handle, CURLOPT_MIMEPOST, form.get());
  } else if (request.method == "POST" || request.method == "PATCH") {
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, ReadBody);
    curl_easy_setopt(handle, CURLOPT_READDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, curl_off_t(request.length));
    curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  curl_slist* list = nullptr;
  for (const std::string& header : headers)
    list = curl_slist_append(list, header.c_str());
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(list, curl_slist_free_all);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list);

  const CURLcode result = curl_easy_perform(handle);
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &reply.status);
  if (result == CURLE_OK) {
    reply.transferred = true;
  } else {
    reply.failure = transfer.heldBack ? "file changed" : curl_easy_strerror(result);
    reply.status = 0;
  }
  return reply;
}

}  // namespace felwick
