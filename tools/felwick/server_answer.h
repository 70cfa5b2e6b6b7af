#pragma once

#include <string_view>

// What the uploader accepts as the server's answer to a finished upload.
namespace felwick {

// True when `body` is one JSON object (nested no deeper than a short answer needs). Anything
// else (an HTML page of a proxy, an empty body, a bare word) does not show that the file arrived.
bool IsJsonObject(std::string_view body);

}  // namespace felwick
