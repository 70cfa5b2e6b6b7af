#pragma once

#include <string>
#include <string_view>

#include "platform/code_page.h"

// Text helpers of the platform client. The code page conversions (AnsiToUtf8, Utf8ToWide,
// WideToLocaleAnsi) live in the platform layer; they convert through iconv per thread and never
// touch the process-wide C locale, so request threads may use them.
namespace vortane {

using platform::AnsiToUtf8;
using platform::Utf8ToWide;
using platform::WideToLocaleAnsi;

// ASCII letters, digits and "-_.~" stay, a space becomes "+", every other byte "%XX".
std::string UrlEncode(std::string_view bytes);

// Replaces every `pattern` left to right; an inserted replacement is never scanned again.
std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement);

// The longest prefix of `utf8` of at most `maxBytes` bytes that does not end inside a UTF-8
// character.
std::string_view Utf8Prefix(std::string_view utf8, size_t maxBytes);

}  // namespace vortane
