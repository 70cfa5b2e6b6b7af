#include "reply_faults.h"

namespace platform_server {

std::string NotJsonBody() {
  return "<html><head><title>502 Bad Gateway</title></head><body>Bad Gateway</body></html>\n";
}

std::string NoCodeBody() {
  return R"({"name":"王老师","data":[{"id":1,"name":"物理","push_url":"rtmp://x/y/z"}]})";
}

std::string HugeBody() {
  std::string body = R"({"code":0,"name":"王老师","data":[)";
  for (int id = 1; body.size() < 3000000; ++id) {
    if (id > 1) body += ',';
    body +=
        R"({"id":)" + std::to_string(id) + R"(,"name":"第)" + std::to_string(id) +
        R"(节 物理实验课","start_time":"2024-03-12 14:00","push_url":"rtmp://127.0.0.1/live/t)" +
        std::to_string(id) + "\"}";
  }
  return body + "]}";
}

std::string DeepNestingBody() {
  constexpr int kLevels = 50000;
  std::string body = R"({"code":0,"name":"王老师","data":)";
  for (int level = 0; level < kLevels; ++level)
    body += R"([{"id":1,"name":"n","children":)";
  body += "[]";
  for (int level = 0; level < kLevels; ++level)
    body += "}]";
  return body + "}";
}

nlohmann::json HostileLives() {
  using nlohmann::json;
  const auto task = [](int id, const char* name, const char* push) {
    return json{{"id", id},
                {"name", name},
                {"level", 2},
                {"start_time", "2024-03-12 14:00"},
                {"push_url", push},
                {"calback_url", "{server}/backend/lumio/callback/" + std::to_string(id)}};
  };
  json options = task(21, "页面地址带参数", "{rtmp}/hostile-21");
  options["chat_url"] =
      "{server}/chat/21?width=380&height=560 --url=file:///etc/passwd -platformpluginpath "
      "{uploads} -plugin evdevtouch --webEngineArgs --renderer-cmd-prefix=touch "
      "{uploads}/renderer";
  options["meeting_url"] =
      "{server}/meeting/21?account=_ACCT&password=_PWD --user-data-dir={uploads}/profile "
      "--gpu-launcher=touch {uploads}/gpu-launcher --load-extension={uploads} "
      "--remote-debugging-port=9222";
  json notPages = task(22, "不是网页的页面", "{rtmp}/hostile-22");
  notPages["chat_url"] = "file:///etc/passwd";
  notPages["meeting_url"] = "javascript:alert(document.cookie)";
  return json::array(
      {{{"id", 20},
        {"name", "恶意平台"},
        {"level", 1},
        {"children",
         json::array(
             {options, notPages, task(23, "推流到录像文件", "{uploads}/20240301093000m.mp4"),
              task(24, "推流到多个输出", "tee:{uploads}/20240301093000m.mp4|{rtmp}/hostile-24"),
              task(25, "推流地址带竖线", "{rtmp}/hostile-25|{uploads}/hostile-25.flv")})}}});
}

nlohmann::json HostileUploads() {
  using nlohmann::json;
  const auto destination = [](int id, const char* name, long long level) {
    return json{{"id", id},
                {"name", name},
                {"level", level},
                {"upload_url", "{server}/files/"},
                {"calback_url", "{server}/backend/lumio/uploaded/" + std::to_string(id) +
                                    "?file=_FILENAME&src=_SRC_ID&title=_TITLE"}};
  };
  // (level - 2) * 4 blanks of indent: gigabytes, then beyond what an int holds.
  return json::array({{{"id", 30},
                       {"name", "恶意课程"},
                       {"level", 1},
                       {"children", json::array({destination(31, "很深的课时", 536870913),
                                                 destination(32, "更深的课时", 536870914),
                                                 destination(33, "最深的课时", 2147483647),
                                                 destination(34, "超出范围的课时", 1LL << 40)})}}});
}

}  // namespace platform_server
