#pragma once

#include <atomic>
#include <optional>
#include <string>

namespace vortane {

// The bound of a reply body when the caller gives none (0 or less).
inline constexpr long kDefaultBodyBound = 102401;
// The bound of every platform reply.
inline constexpr long kPlatformBodyBound = 2000000;

// The redirects a request follows: never from https to http, and for a request whose address
// carries the teacher's account, never to another host (the address travels on with it).
enum class Redirects { kAnyHost, kSameHost };

// True when a request to `from` may go on to `to` under `redirects`: both http or https, no step
// down from https to http, and with kSameHost the same host name.
bool RedirectAllowed(const std::string& from, const std::string& to, Redirects redirects);

// Fetches `url` (white space around it is ignored) with a plain GET and returns the reply body,
// or nothing when there is none: no connection, a time-out, a status other than 200, a redirect
// it may not follow. A body longer than `maxBytes` is cut there (it then no longer parses).
// Blocking: worker threads only.
//
// Connect 5 s (tried twice), 5 s without a byte received ends the request, and so does a reply
// still arriving after 60 s. At most 5 redirects are followed (RedirectAllowed), without a
// Referer; https certificates are checked against the system's. User agent "tarnel".
// Setting `*cancel` ends the request within about a second, as one without an answer.
std::optional<std::string> HttpGet(const std::string& url, long maxBytes = kDefaultBodyBound,
                                   Redirects redirects = Redirects::kAnyHost,
                                   const std::atomic<bool>* cancel = nullptr);

}  // namespace vortane
