#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform_server {

// How a reply goes wrong, for tests of the client.
enum class Fault {
  kNone,
  kNoAnswer,      // the connection is accepted and nothing is ever sent
  kSlowDrip,      // a good reply, a few bytes every 100 ms
  kHttp500,       // status 500
  kNotJson,       // an HTML page
  kNoCode,        // a JSON object without "code"
  kHugeBody,      // a well-formed reply of 3 MB
  kDeepNesting,   // a task tree 50,000 levels deep
  kHostile,       // well-formed replies whose addresses and levels attack the teacher's machine
  kRedirectAway,  // the account requests are redirected to this server under another host name
  kRedirectHere,  // the account requests are redirected to another path of this server
};

std::optional<Fault> FaultByName(const std::string& name);
const char* FaultName(Fault fault);
std::vector<std::string> FaultNames();

struct ServerOptions {
  std::string dataFile;  // accounts and trees (JSON)
  std::string rtmpBase;  // replaces "{rtmp}" in every reply
  int port = 0;          // 0: a free one
  Fault fault = Fault::kNone;
  std::string signalLog;     // where each stop signal is appended, one line each (optional)
  std::string uploadFolder;  // where uploaded files are stored (default: a new temporary folder)
};

// Reads the command line; on a mistake prints why and the usage, and returns nothing.
std::optional<ServerOptions> ParseOptions(int argc, char* argv[]);

}  // namespace platform_server
