#pragma once

#include <nlohmann/json.hpp>
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

// The live tasks of a platform that attacks the teacher's machine ("{server}", "{rtmp}" and
// "{uploads}" to be filled in): page addresses with options of their own for the browser and
// the interaction module, page addresses that are no web pages, and push addresses that name a
// file or add outputs. Each attack is a task of its own, named after it.
nlohmann::json HostileLives();
// Its upload destinations: nested far deeper than any tree, by their levels.
nlohmann::json HostileUploads();

}  // namespace platform_server
