#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The command lines that open a live lesson's interaction pages: the chat page in the
// interaction module, the video page in a browser app window. Addresses and command lines are
// 8-bit text (the platform's bytes, the remembered server in the ANSI code page).
namespace vortane {

// The module reads at most this many bytes of command line, its terminating zero included.
inline constexpr std::size_t kModuleCommandBuffer = 2000;

// `address` itself when it begins with "http"; otherwise `server` + `address` when the server
// contains "http" anywhere, else "http://" + server + address.
std::string BuildPageUrl(std::string_view address, std::string_view server);

// The value of `key` in `address`: the text between the first "key=" and the next '&', or
// everything after "key=" when no '&' follows; empty without "key=". The key is plain text and
// not anchored, so "width" also finds "maxwidth=…".
std::string GetUrlParam(std::string_view address, std::string_view key);

// The page address a launcher hands on: BuildPageUrl's address when it is an absolute "http://"
// or "https://" address with a host, its blanks, quotes and control characters percent-encoded
// (they would end the address for whatever reads it); nothing for anything else.
std::optional<std::string> SafePageUrl(std::string_view address, std::string_view server);

// The module's arguments for the chat page `page` (a SafePageUrl of `chatUrl`): "--url=" + page,
// then "--width=%d", "--height=%d", "--xpos=%d", "--ypos=%d" for each of those parameters of the
// chat address that is not empty (its leading integer, 0 when it has none), and "--lock-view"
// when the address has a non-empty "lock-view". Each is one argument, never split again.
// Nothing when the line they make, joined by blanks, would not fit the module's buffer: a cut
// address would open the wrong page.
std::optional<std::vector<std::string>> BuildModuleArguments(std::string_view page,
                                                             std::string_view chatUrl);

// The browser's arguments for the video page `page` (a SafePageUrl): "--app=" + page as one
// argument, then the options of an app window, each its own argument.
std::vector<std::string> BuildBrowserArguments(std::string_view page);

// 8-bit command-line text as the text a Linux program receives: UTF-8 is kept as it is (the
// platform's addresses are UTF-8), anything else is read in the ANSI code page.
QString CommandLineText(std::string_view text);

// Each argument as CommandLineText.
QStringList ArgumentTexts(const std::vector<std::string>& arguments);

}  // namespace vortane
