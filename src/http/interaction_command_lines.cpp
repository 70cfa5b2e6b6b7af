#include "http/interaction_command_lines.h"

#include <QStringDecoder>
#include <QUrl>
#include <climits>
#include <cstdio>

#include "platform/code_page.h"

namespace vortane {
namespace {

bool IsCBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The C library's integer reading: leading blanks, a sign and digits; anything else gives 0.
// A number too large for an int gives the nearest int, as the Windows runtime does.
int CIntegerValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsCBlank(text[i]))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// A C string ends at its first zero byte.
std::string_view CText(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

}  // namespace

std::string BuildPageUrl(std::string_view address, std::string_view server) {
  address = CText(address);
  server = CText(server);
  std::string page;
  if (address.starts_with("http")) {
    page = address;
  } else if (server.find("http") != std::string_view::npos) {
    page.append(server).append(address);
  } else {
    page.append("http://").append(server).append(address);
  }
  return page;
}

std::string GetUrlParam(std::string_view address, std::string_view key) {
  // The search of key + "=(.*?)&", then of key + "=(.*)", written out: a regular expression
  // engine recurses per character and a long address would run it out of stack. As in such a
  // search, '.' stops at a line break.
  const std::string needle = std::string(key) + '=';
  auto isLineBreak = [](char c) { return c == '\n' || c == '\r'; };
  // Each stretch between line breaks is searched once: a value that reaches the stretch's end
  // without an '&' fails for every later "key=" of the same stretch too.
  std::size_t at = address.find(needle);
  while (at != std::string_view::npos) {
    std::size_t i = at + needle.size();
    while (i < address.size() && address[i] != '&' && !isLineBreak(address[i]))
      ++i;
    if (i < address.size() && address[i] == '&')
      return std::string(address.substr(at + needle.size(), i - at - needle.size()));
    if (i == address.size()) break;
    at = address.find(needle, i + 1);
  }
  at = address.find(needle);
  if (at == std::string_view::npos) return {};
  std::size_t end = at + needle.size();
  while (end < address.size() && !isLineBreak(address[end]))
    ++end;
  return std::string(address.substr(at + needle.size(), end - at - needle.size()));
}

std::optional<std::string> SafePageUrl(std::string_view address, std::string_view server) {
  const std::string page = BuildPageUrl(address, server);
  if (!page.starts_with("http://") && !page.starts_with("https://")) return std::nullopt;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(page.size());
  for (const char c : page) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '"' || c == '\'') {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0xF];
    } else {
      encoded += c;
    }
  }
  // A relative address glued to the server can make the host or port nonsense.
  const QUrl url(CommandLineText(encoded), QUrl::TolerantMode);
  if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
  return encoded;
}

std::optional<std::vector<std::string>> BuildModuleArguments(std::string_view page,
                                                             std::string_view chatUrl) {
  chatUrl = CText(chatUrl);
  std::vector<std::string> arguments{"--url=" + std::string(page)};
  static constexpr struct {
    const char* key;
    const char* format;
  } kGeometry[] = {{"width", "--width=%d"},
                   {"height", "--height=%d"},
                   {"xpos", "--xpos=%d"},
                   {"ypos", "--ypos=%d"}};
  for (const auto& option : kGeometry) {
    const std::string value = GetUrlParam(chatUrl, option.key);
    if (value.empty()) continue;
    char piece[64];
    std::snprintf(piece, sizeof piece, option.format, CIntegerValue(value));
    arguments.emplace_back(piece);
  }
  if (!GetUrlParam(chatUrl, "lock-view").empty()) arguments.emplace_back("--lock-view");
  // On the module's command line each option follows a blank.
  std::size_t line = arguments.size() - 1;
  for (const std::string& argument : arguments)
    line += argument.size();
  if (line > kModuleCommandBuffer - 1) return std::nullopt;
  return arguments;
}

std::vector<std::string> BuildBrowserArguments(std::string_view page) {
  // The repeated option has always been part of this command line.
  return {"--app=" + std::string(page), "--incognito", "--start-maximized", "--start-maximized"};
}

QString CommandLineText(std::string_view text) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return decoded;
  return platform::AnsiToWide(text);
}

QStringList ArgumentTexts(const std::vector<std::string>& arguments) {
  QStringList texts;
  for (const std::string& argument : arguments)
    texts << CommandLineText(argument);
  return texts;
}

}  // namespace vortane
