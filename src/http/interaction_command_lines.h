#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>

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

// The module's parameters for the chat address: "--url=" + the page address, then
// " --width=%d", " --height=%d", " --xpos=%d", " --ypos=%d" for each of those parameters of the
// address that is not empty (its leading integer, 0 when it has none), and " --lock-view" when
// the address has a non-empty "lock-view". Nothing when the line would not fit the module's
// buffer: a cut address would open the wrong page.
std::optional<std::string> BuildModuleCommandLine(std::string_view chatUrl,
                                                  std::string_view server);

// The browser's parameters for the video page: "--app=" + page + the options of an app window.
std::string BuildBrowserParameters(std::string_view pageUrl);

// 8-bit command-line text as the text a Linux program receives: UTF-8 is kept as it is (the
// platform's addresses are UTF-8), anything else is read in the ANSI code page.
QString CommandLineText(std::string_view text);

// The arguments a program started with `parameters` receives (split by the Windows rules).
QStringList SplitParameters(std::string_view parameters);

}  // namespace vortane
