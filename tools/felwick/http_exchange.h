#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "upload_file.h"

// One HTTP request of the uploader with libcurl: the body streams from the file (a range of it,
// or a multipart form around it), the reply's headers are kept by lower-case name and its body
// up to a bound. Progress and the stop check run from libcurl's transfer callback.
namespace felwick {

struct HttpReply {
  bool transferred = false;  // an HTTP answer arrived (any status)
  long status = 0;
  std::string failure;                         // libcurl's words when nothing arrived
  std::map<std::string, std::string> headers;  // names in lower case, last one wins
  std::string body;                            // cut at kReplyBound
  std::string Header(const std::string& lowerName) const;
};

struct HttpRequest {
  std::string method = "GET";  // GET, HEAD, POST, PATCH
  std::string url;
  std::vector<std::string> headers;  // "Name: value"
  // The body: `length` bytes of `file` from `offset` (no file: an empty body).
  const UploadFile* file = nullptr;
  std::int64_t offset = 0;
  std::int64_t length = 0;
  // Multipart instead: the whole file as the form field `formField` named `formFileName`.
  std::string formField;
  std::string formFileName;
  // Called with the bytes of the body sent so far; false stops the transfer.
  std::function<bool(std::int64_t sent)> onProgress;
  // Called before the last byte of the file is handed over; false holds it back and fails the
  // transfer, so a file that changed never completes an upload.
  std::function<bool()> beforeLastByte;
};

// The longest reply body kept: the server's answer is a short JSON object.
inline constexpr size_t kReplyBound = 65536;

HttpReply Perform(const HttpRequest& request);

}  // namespace felwick
