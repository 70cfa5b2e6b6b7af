#pragma once

#include <optional>
#include <string>

namespace vortane {

// The bound of a reply body when the caller gives none (0 or less).
inline constexpr long kDefaultBodyBound = 102401;
// The bound of every platform reply.
inline constexpr long kPlatformBodyBound = 2000000;

// Fetches `url` (white space around it is ignored) with a plain GET and returns the reply body,
// or nothing when there is none: no connection, a time-out, a status other than 200. A body
// longer than `maxBytes` is cut there (it then no longer parses). Blocking: worker threads only.
//
// Connect 5 s (tried twice), 5 s without a byte received ends the request, and so does a reply
// still arriving after 60 s. Redirects are followed (at most 5, http and https only); https
// certificates are checked against the system's. User agent "tarnel".
std::optional<std::string> HttpGet(const std::string& url, long maxBytes = kDefaultBodyBound);

}  // namespace vortane
