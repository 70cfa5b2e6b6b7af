#include "platform/code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace vortane::platform {
namespace {

constexpr const char* kAnsiCharset = "GBK";

// One conversion descriptor per direction and thread: iconv_t must not be shared between threads.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in`; an input sequence that cannot be converted is replaced by `replacement`
  // (already in the target charset) and skipped by `skipBytes` input bytes.
  std::string Convert(std::string_view in, std::string_view replacement, size_t skipBytes) {
    std::string out;
    if (!valid() || in.empty()) return out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> buffer(in.size() * 4 + 16);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    while (inLeft > 0) {
      char* outPtr = buffer.data();
      size_t outLeft = buffer.size();
      size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buffer.data(), buffer.size() - outLeft);
      if (result != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut at the end): replace and go on.
      out.append(replacement);
      size_t skip = std::min(skipBytes, inLeft);
      inPtr += skip;
      inLeft -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

Converter& WideToAnsiConverter() {
  thread_local Converter converter(kAnsiCharset, "UTF-16LE");
  return converter;
}
Converter& AnsiToWideConverter() {
  thread_local Converter converter("UTF-16LE", kAnsiCharset);
  return converter;
}

}  // namespace

std::string WideToAnsi(const QString& text) {
  std::string_view bytes(reinterpret_cast<const char*>(text.utf16()),
                         static_cast<size_t>(text.size()) * 2);
  // A surrogate pair that GBK cannot hold is skipped in two steps of 2 bytes, giving "??".
  return WideToAnsiConverter().Convert(bytes, "?", 2);
}

QString AnsiToWide(std::string_view ansi) {
  static const char16_t kReplacement = 0xFFFD;
  std::string utf16 = AnsiToWideConverter().Convert(
      ansi, std::string_view(reinterpret_cast<const char*>(&kReplacement), 2), 1);
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(utf16.data()),
                            static_cast<qsizetype>(utf16.size() / 2));
}

QString Utf8ToWide(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

size_t AnsiPrefixLength(std::string_view ansi, size_t maxBytes) {
  size_t pos = 0;
  while (pos < ansi.size()) {
    auto lead = static_cast<unsigned char>(ansi[pos]);
    // GBK lead bytes are 0x81..0xFE and always take a trail byte; everything else is one byte.
    size_t width = (lead >= 0x81 && lead <= 0xFE && pos + 1 < ansi.size()) ? 2 : 1;
    if (pos + width > maxBytes) break;
    pos += width;
  }
  return pos;
}

}  // namespace vortane::platform
