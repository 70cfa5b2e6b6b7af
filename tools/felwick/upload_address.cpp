#include "upload_address.h"

#include <curl/curl.h>

#include <memory>

namespace felwick {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i] == '+' ? ' ' : text[i];
    }
  }
  return out;
}

}  // namespace

std::string SaveAsName(std::string_view url) {
  const size_t query = url.find('?');
  if (query == std::string_view::npos) return {};
  std::string_view rest = url.substr(query + 1);
  rest = rest.substr(0, rest.find('#'));
  while (!rest.empty()) {
    const size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    constexpr std::string_view kKey = "save_as=";
    if (pair.substr(0, kKey.size()) == kKey) return PercentDecoded(pair.substr(kKey.size()));
    if (amp == std::string_view::npos) break;
    rest = rest.substr(amp + 1);
  }
  return {};
}

std::string BaseName(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 |
                       (unsigned char)bytes[i + 2];
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63],
            kAlphabet[v & 63]};
  }
  if (i + 1 == bytes.size()) {
    const unsigned v = (unsigned char)bytes[i] << 16;
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    const unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8;
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], '='};
  }
  return out;
}

std::string ResolveLocation(const std::string& base, const std::string& location) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
  if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
      curl_url_set(url.get(), CURLUPART_URL, location.c_str(), 0) != CURLUE_OK)
    return {};
  char* resolved = nullptr;
  if (curl_url_get(url.get(), CURLUPART_URL, &resolved, 0) != CURLUE_OK) return {};
  std::string out(resolved);
  curl_free(resolved);
  return out;
}

}  // namespace felwick
