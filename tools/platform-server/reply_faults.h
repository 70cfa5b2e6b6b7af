#pragma once

#include <string>

// Reply bodies that no real platform should send, for the client's fault tests.
namespace platform_server {

// An HTML error page.
std::string NotJsonBody();
// A JSON object with everything but "code".
std::string NoCodeBody();
// A well-formed login reply of just over 3,000,000 bytes.
std::string HugeBody();
// A login reply whose single task has children 50,000 levels deep (about 1.7 MB).
std::string DeepNestingBody();

}  // namespace platform_server
