#pragma once

#include <QString>
#include <string>
#include <string_view>

// Narrow "ANSI" text is GBK (code page 936): the byte images of config.cfg, the side files and
// vw1.cfg, so files written by Windows installs stay readable. Inside the program text is
// QString; these convert where it meets those bytes.
namespace vortane::platform {

// UTF-16 → GBK. A character GBK cannot hold becomes '?'.
std::string WideToAnsi(const QString& text);
// GBK → UTF-16. A byte sequence that is not GBK becomes U+FFFD.
QString AnsiToWide(std::string_view ansi);

// UTF-8 → UTF-16; a byte sequence that is not UTF-8 becomes U+FFFD.
QString Utf8ToWide(std::string_view utf8);

// Length in bytes of the longest prefix of `ansi` that is at most `maxBytes` long and does not
// split a GBK double-byte character.
size_t AnsiPrefixLength(std::string_view ansi, size_t maxBytes);

}  // namespace vortane::platform
