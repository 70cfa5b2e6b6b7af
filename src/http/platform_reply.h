#pragma once

#include <QString>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/live_task.h"
#include "http/platform_account.h"
#include "http/upload_target.h"

// The platform's protocol without the network: request addresses, the reply envelope and the
// task and destination trees. Every reply is one JSON object {"code", "err_desc", "name", "data"}.
namespace vortane {

// Paths of the two account requests.
inline constexpr char kLivesPath[] = "/backend/lumio/lives/";
inline constexpr char kUploadsPath[] = "/backend/lumio/";

// Trees deeper than this are no real platform's: such a reply is unusable.
inline constexpr int kMaxTreeDepth = 64;

// The address of a login ("lives") or destination request: "http://" unless the server begins
// with "http", the path, then username and password percent-encoded (UTF-8). The result is
// UTF-8.
std::string BuildAccountUrl(const PlatformCredentials& credentials, std::string_view path);

// The stop signal's address: `callbackUrl` + ("&" when it holds a "?" after its first character,
// else "?") + "signal=stop". None when the address is shorter than 8 characters.
std::optional<std::string> StopSignalUrl(const std::string& callbackUrl);

// Appends the nodes of `array` in pre-order. Elements that are not objects with "id" (string or
// number) and "name" (string) are skipped with their children. "_ACCT" and "_PWD" in
// "meeting_url" become the percent-encoded user name and password. False, with `list` unchanged,
// when the tree is deeper than kMaxTreeDepth.
bool ParseLiveTasks(const nlohmann::json& array, std::vector<LiveTask>& list,
                    const PlatformCredentials& account);
bool ParseUploadTargets(const nlohmann::json& array, std::vector<UploadTarget>& list);

// What a reply means for its request. `text` is the message of a failure.
struct LoginReply {
  bool ok = false;
  QString text;
  std::string displayName;  // UTF-8 bytes of "name", when it was a string
  std::vector<LiveTask> tasks;
};
struct UploadReply {
  bool ok = false;
  bool loaded = false;  // "data" was an array
  QString text;
  std::vector<UploadTarget> targets;
};
struct StopReply {
  bool ok = false;
  QString text;
};

// A short answer of the upload server or of a destination callback: {"code": number, KEY: text}.
struct CodeReply {
  bool object = false;      // the body is a JSON object (nested no deeper than the bound)
  std::optional<int> code;  // its numeric "code", truncated to an integer
  std::string text;         // the string value of KEY (UTF-8), empty when not a string
};
CodeReply ReadCodeReply(const std::string& body, const char* key);

LoginReply ReadLoginReply(const std::optional<std::string>& body,
                          const PlatformCredentials& account);
UploadReply ReadUploadReply(const std::optional<std::string>& body);
StopReply ReadStopReply(const std::optional<std::string>& body);

}  // namespace vortane
