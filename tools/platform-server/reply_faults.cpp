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

}  // namespace platform_server
