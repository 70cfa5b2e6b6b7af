#include "http/platform_reply.h"

#include <QString>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>

#include "http/platform_text.h"

namespace vortane {
namespace {

using nlohmann::json;

// JSON nested deeper than this is refused before it is parsed: the tree bound leaves room for
// the envelope and each node's "children" array.
constexpr int kMaxJsonDepth = 2 * kMaxTreeDepth + 8;

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// A credential as the request's address carries it: UTF-8, percent-encoded.
std::string Encoded(const QString& text) {
  return UrlEncode(text.toStdString());
}

// True when the brackets of `text` (outside strings) never nest deeper than `limit`.
bool NestingWithin(std::string_view text, int limit) {
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > limit) return false;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return true;
}

// The reply as a JSON object, or nothing when it is not one.
std::optional<json> ParseObject(const std::string& body) {
  if (!NestingWithin(body, kMaxJsonDepth)) return std::nullopt;
  json reply = json::parse(body, nullptr, false);
  if (reply.is_discarded() || !reply.is_object()) return std::nullopt;
  return reply;
}

std::int32_t Clamped(double value) {
  if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(std::trunc(value));
}

std::int32_t NumberValue(const json& value) {
  if (value.is_number_unsigned()) {
    const auto number = value.get<std::uint64_t>();
    return number > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())
               ? std::numeric_limits<std::int32_t>::max()
               : static_cast<std::int32_t>(number);
  }
  if (value.is_number_integer()) return Clamped(static_cast<double>(value.get<std::int64_t>()));
  return Clamped(value.get<double>());
}

// A number as C atoi reads it (leading blanks, a sign, digits), held to 32 bits.
std::int32_t AtoiValue(const std::string& text) {
  const long long number = std::strtoll(text.c_str(), nullptr, 10);
  return Clamped(static_cast<double>(number));
}

std::string StringField(const json& node, const char* key) {
  auto it = node.find(key);
  return it != node.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool IsValidNode(const json& node) {
  if (!node.is_object()) return false;
  auto id = node.find("id");
  auto name = node.find("name");
  return id != node.end() && (id->is_string() || id->is_number()) && name != node.end() &&
         name->is_string();
}

template <typename Node>
void ReadCommonFields(const json& node, Node& out) {
  const json& id = node.at("id");
  out.id = id.is_string() ? AtoiValue(id.get<std::string>()) : NumberValue(id);
  auto level = node.find("level");
  out.level = level != node.end() && level->is_number() ? NumberValue(*level) : 1;
  out.name = Utf8ToWide(node.at("name").get<std::string>());
}

// Walks the tree in pre-order without recursion; `make` turns one valid node into a record.
template <typename Node, typename Make>
bool FlattenTree(const json& array, std::vector<Node>& list, Make make) {
  if (!array.is_array()) return true;
  struct Level {
    const json* nodes;
    size_t next;
  };
  std::vector<Node> found;
  std::vector<Level> stack{{&array, 0}};
  while (!stack.empty()) {
    Level& top = stack.back();
    if (top.next >= top.nodes->size()) {
      stack.pop_back();
      continue;
    }
    const json& node = (*top.nodes)[top.next++];
    if (!IsValidNode(node)) continue;
    found.push_back(make(node));
    auto children = node.find("children");
    if (children != node.end() && children->is_array() && !children->empty()) {
      if (static_cast<int>(stack.size()) >= kMaxTreeDepth) return false;
      stack.push_back({&*children, 0});
    }
  }
  list.insert(list.end(), std::make_move_iterator(found.begin()),
              std::make_move_iterator(found.end()));
  return true;
}

// "err_desc" as the status text wants it, or `fallback` when there is no usable one.
QString ErrorText(const json& reply, const char* fallback) {
  const std::string description = StringField(reply, "err_desc");
  if (description.empty()) return Text(fallback);
  return Utf8ToWide(description);
}

// The numeric "code", or nothing.
std::optional<double> Code(const json& reply) {
  auto code = reply.find("code");
  if (code == reply.end() || !code->is_number()) return std::nullopt;
  return code->get<double>();
}

}  // namespace

std::string BuildAccountUrl(const PlatformCredentials& credentials, std::string_view path) {
  std::string url = credentials.server.toStdString();
  if (url.rfind("http", 0) != 0) url.insert(0, "http://");
  url.append(path);
  const size_t question = url.find('?');
  url.append(question != std::string::npos && question > 0 ? "&username=" : "?username=");
  url.append(Encoded(credentials.user));
  url.append("&password=");
  url.append(Encoded(credentials.password));
  return url;
}

std::optional<std::string> StopSignalUrl(const std::string& callbackUrl) {
  // Counted in characters, as the address would be in UTF-16.
  if (Utf8ToWide(callbackUrl).size() < 8) return std::nullopt;
  const size_t question = callbackUrl.find('?');
  return callbackUrl + (question != std::string::npos && question > 0 ? "&" : "?") + "signal=stop";
}

bool ParseLiveTasks(const json& array, std::vector<LiveTask>& list,
                    const PlatformCredentials& account) {
  const std::string user = Encoded(account.user);
  const std::string password = Encoded(account.password);
  return FlattenTree(array, list, [&](const json& node) {
    LiveTask task;
    ReadCommonFields(node, task);
    task.startTime = Utf8ToWide(StringField(node, "start_time"));
    task.pushUrl = StringField(node, "push_url");
    task.callbackUrl = StringField(node, "calback_url");
    task.chatUrl = StringField(node, "chat_url");
    task.meetingUrl =
        ReplaceAll(ReplaceAll(StringField(node, "meeting_url"), "_ACCT", user), "_PWD", password);
    return task;
  });
}

bool ParseUploadTargets(const json& array, std::vector<UploadTarget>& list) {
  return FlattenTree(array, list, [](const json& node) {
    UploadTarget target;
    ReadCommonFields(node, target);
    target.uploadUrl = StringField(node, "upload_url");
    target.callbackUrl = StringField(node, "calback_url");
    return target;
  });
}

LoginReply ReadLoginReply(const std::optional<std::string>& body,
                          const PlatformCredentials& account) {
  LoginReply result;
  if (!body) {
    result.text = Text("无法连接服务器！");
    return result;
  }
  const std::optional<json> reply = ParseObject(*body);
  const std::optional<double> code = reply ? Code(*reply) : std::nullopt;
  if (!code) {
    result.text = Text("服务器返回错误！");
    return result;
  }
  if (*code != 0) {
    result.text = ErrorText(*reply, "登录服务器失败！");
    return result;
  }
  auto name = reply->find("name");
  if (name != reply->end() && name->is_string()) result.displayName = name->get<std::string>();
  auto data = reply->find("data");
  if (data == reply->end() || !data->is_array()) {
    result.text = Text("没有直播任务！");
    return result;
  }
  if (!ParseLiveTasks(*data, result.tasks, account)) {
    result.tasks.clear();
    result.text = Text("服务器返回错误！");
    return result;
  }
  result.ok = true;
  return result;
}

UploadReply ReadUploadReply(const std::optional<std::string>& body) {
  UploadReply result;
  if (!body) {
    result.text = Text("无法连接上传服务器！");
    return result;
  }
  const std::optional<json> reply = ParseObject(*body);
  if (!reply) {
    result.text = Text("上传服务器返回数据格式无法识别！");
    return result;
  }
  const std::optional<double> code = Code(*reply);
  if (!code) {
    result.text = Text("上传服务器返回数据结构错误！");
    return result;
  }
  if (*code != 0) {
    const std::string description = StringField(*reply, "err_desc");
    result.text = Text("登录上传服务器失败！") + Utf8ToWide(description);
    return result;
  }
  result.ok = true;
  auto data = reply->find("data");
  if (data == reply->end() || !data->is_array()) return result;
  if (!ParseUploadTargets(*data, result.targets)) {
    result.ok = false;
    result.targets.clear();
    result.text = Text("上传服务器返回数据格式无法识别！");
    return result;
  }
  result.loaded = true;
  return result;
}

CodeReply ReadCodeReply(const std::string& body, const char* key) {
  CodeReply result;
  const std::optional<json> reply = ParseObject(body);
  if (!reply) return result;
  result.object = true;
  auto code = reply->find("code");
  if (code != reply->end() && code->is_number()) result.code = NumberValue(*code);
  result.text = StringField(*reply, key);
  return result;
}

StopReply ReadStopReply(const std::optional<std::string>& body) {
  StopReply result;
  if (!body) {
    result.text = Text("无法连接应用服务器！");
    return result;
  }
  const std::optional<json> reply = ParseObject(*body);
  const std::optional<double> code = reply ? Code(*reply) : std::nullopt;
  if (!code) {
    result.text = Text("应用服务器返回错误！");
    return result;
  }
  if (*code != 0) {
    result.text = ErrorText(*reply, "请求应用服务器失败！");
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace vortane
