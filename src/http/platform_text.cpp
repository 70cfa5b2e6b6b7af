#include "http/platform_text.h"

namespace vortane {

std::string UrlEncode(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (unsigned char c : bytes) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else if (c == ' ') {
      out.push_back('+');
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement) {
  if (pattern.empty()) return std::string(text);
  std::string out;
  size_t from = 0;
  for (size_t at = text.find(pattern); at != std::string_view::npos;
       at = text.find(pattern, from)) {
    out.append(text.substr(from, at - from));
    out.append(replacement);
    from = at + pattern.size();
  }
  out.append(text.substr(from));
  return out;
}

std::string_view Utf8Prefix(std::string_view utf8, size_t maxBytes) {
  if (utf8.size() <= maxBytes) return utf8;
  size_t end = maxBytes;
  // Step back over continuation bytes to the start of the character that was cut.
  while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
    --end;
  return utf8.substr(0, end);
}

}  // namespace vortane
