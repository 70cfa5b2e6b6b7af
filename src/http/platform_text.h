#pragma once

#include <string>
#include <string_view>

#include "platform/code_page.h"

// Text helpers of the platform client. The platform's texts are UTF-8; Utf8ToWide lives in the
// platform layer beside the GBK conversions of the files.
namespace vortane {

using platform::Utf8ToWide;

// ASCII letters, digits and "-_.~" stay, a space becomes "+", every other byte "%XX".
std::string UrlEncode(std::string_view bytes);

// Replaces every `pattern` left to right; an inserted replacement is never scanned again.
std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement);

// The longest prefix of `utf8` of at most `maxBytes` bytes that does not end inside a UTF-8
// character.
std::string_view Utf8Prefix(std::string_view utf8, size_t maxBytes);

}  // namespace vortane
