#pragma once

#include <QString>
#include <string>
#include <string_view>

// Narrow "ANSI" text of this program is GBK (code page 936): the settings record, status texts
// and command lines handed over as 8-bit text, so files written by Windows installs stay readable.
namespace vortane::platform {

// UTF-16 → GBK. A character GBK cannot hold becomes '?'.
std::string WideToAnsi(const QString& text);
// GBK → UTF-16. A byte sequence that is not GBK becomes U+FFFD.
QString AnsiToWide(std::string_view ansi);

std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
QString Utf8ToWide(std::string_view utf8);

// The name the platform client uses: UTF-16 → the thread's ANSI code page (GBK here).
inline std::string WideToLocaleAnsi(const QString& text) {
  return WideToAnsi(text);
}

// Length in bytes of the longest prefix of `ansi` that is at most `maxBytes` long and does not
// split a GBK double-byte character.
size_t AnsiPrefixLength(std::string_view ansi, size_t maxBytes);

}  // namespace vortane::platform
