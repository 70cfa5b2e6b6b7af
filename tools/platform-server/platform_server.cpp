// The reference platform: answers the two account requests with the reply envelope
// ({"code", "err_desc", "name", "data"}) from a JSON file of accounts, records stop signals, and
// can be told to misbehave. Listens on 127.0.0.1 only.
//
// The data file:
//   {"accounts": [{"username": "...", "password": "...", "name": "...",
//                  "lives": [task nodes], "uploads": [destination nodes]}]}
// Every text of a reply has "{rtmp}" replaced by --rtmp and "{server}" by this server's address.
// The tasks' chat and video pages are served too (interaction_pages.h).
#include <httplib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "interaction_pages.h"
#include "reply_faults.h"
#include "server_options.h"
#include "upload_endpoint.h"

namespace platform_server {
namespace {

using nlohmann::json;

constexpr char kLivesPath[] = "/backend/lumio/lives/";
constexpr char kUploadsPath[] = "/backend/lumio/";
constexpr char kCallbackPattern[] = R"(/backend/lumio/callback/(\d+))";
// Where the redirect faults send the account requests.
constexpr char kMovedPrefix[] = "/moved";
// A request nobody answers is let go after this long (the client gives up far sooner).
constexpr auto kNoAnswerHold = std::chrono::seconds(120);
constexpr auto kDripPause = std::chrono::milliseconds(100);
constexpr size_t kDripPieces = 20;

std::string ReplaceAll(std::string text, const std::string& pattern, const std::string& with) {
  for (size_t at = text.find(pattern); at != std::string::npos;
       at = text.find(pattern, at + with.size()))
    text.replace(at, pattern.size(), with);
  return text;
}

class PlatformServer {
 public:
  PlatformServer(ServerOptions options, json accounts)
      : options_(std::move(options)),
        accounts_(std::move(accounts)),
        fault_(options_.fault),
        uploads_(options_.uploadFolder),
        pages_([this](const std::string& id) { return TaskName(id); }) {}

  int Run() {
    Route();
    const int port = options_.port != 0
                         ? (server_.bind_to_port("127.0.0.1", options_.port) ? options_.port : -1)
                         : server_.bind_to_any_port("127.0.0.1");
    if (port <= 0) {
      std::fprintf(stderr, "platform-server: cannot listen on 127.0.0.1\n");
      return 1;
    }
    port_ = port;
    self_ = "http://127.0.0.1:" + std::to_string(port);
    std::printf("%s\n", self_.c_str());
    std::fflush(stdout);
    return server_.listen_after_bind() ? 0 : 1;
  }

 private:
  void Route() {
    pages_.Route(server_);
    // The account requests, and where the redirect faults send them.
    for (const char* prefix : {"", kMovedPrefix}) {
      const bool moved = *prefix != '\0';
      server_.Get(std::string(prefix) + kLivesPath,
                  [this, moved](const httplib::Request& request, httplib::Response& response) {
                    if (!moved && Redirected(request, response)) return;
                    Answer(response, [&] { return Login(request); });
                  });
      server_.Get(std::string(prefix) + kUploadsPath,
                  [this, moved](const httplib::Request& request, httplib::Response& response) {
                    if (!moved && Redirected(request, response)) return;
                    Answer(response, [&] { return Uploads(request); });
                  });
    }
    server_.Get(kCallbackPattern,
                [this](const httplib::Request& request, httplib::Response& response) {
                  Answer(response, [&] { return Callback(request); });
                });
    server_.Get("/control/fault",
                [this](const httplib::Request& request, httplib::Response& response) {
                  const std::optional<Fault> fault = FaultByName(request.get_param_value("mode"));
                  if (!fault) {
                    response.status = 400;
                    response.set_content("no such fault\n", "text/plain");
                    return;
                  }
                  fault_ = *fault;
                  std::printf("fault %s\n", FaultName(*fault));
                  std::fflush(stdout);
                  response.set_content(R"({"code":0})", "application/json");
                });
    uploads_.Route(server_,
                   [this](httplib::Response& response, const std::function<std::string()>& reply) {
                     Answer(response, reply);
                   });
    server_.Get("/control/signals", [this](const httplib::Request&, httplib::Response& response) {
      std::lock_guard lock(mutex_);
      response.set_content(json{{"signals", signals_}}.dump(), "application/json");
    });
    server_.Get("/control/referers", [this](const httplib::Request&, httplib::Response& response) {
      std::lock_guard lock(mutex_);
      response.set_content(json{{"referers", referers_}}.dump(), "application/json");
    });
    // Called after every request: a Referer sent along is what a redirect may carry elsewhere.
    server_.set_logger([this](const httplib::Request& request, const httplib::Response&) {
      if (!request.has_header("Referer")) return;
      std::lock_guard lock(mutex_);
      referers_.push_back(request.get_header_value("Referer"));
    });
  }

  // Answers an account request with a redirect when a redirect fault says so.
  bool Redirected(const httplib::Request& request, httplib::Response& response) const {
    const std::string target = httplib::append_query_params(request.path, request.params);
    switch (fault_.load()) {
      case Fault::kRedirectAway:
        // The same server, so a client that follows would log in: only the name differs.
        response.set_redirect("http://localhost:" + std::to_string(port_) + kMovedPrefix + target);
        return true;
      case Fault::kRedirectHere:
        response.set_redirect(kMovedPrefix + target);
        return true;
      default:
        return false;
    }
  }

  // Sends `reply()` unless a fault says otherwise.
  template <typename Reply>
  void Answer(httplib::Response& response, Reply reply) {
    switch (fault_.load()) {
      case Fault::kNone:
      case Fault::kHostile:
      case Fault::kRedirectAway:
      case Fault::kRedirectHere:
        break;
      case Fault::kNoAnswer:
        std::this_thread::sleep_for(kNoAnswerHold);
        return;
      case Fault::kSlowDrip: {
        auto body = std::make_shared<std::string>(reply());
        response.set_chunked_content_provider(
            "application/json", [body](size_t offset, httplib::DataSink& sink) {
              if (offset >= body->size()) {
                sink.done();
                return true;
              }
              std::this_thread::sleep_for(kDripPause);
              const size_t piece = std::max<size_t>(1, body->size() / kDripPieces);
              return sink.write(body->data() + offset, std::min(piece, body->size() - offset));
            });
        return;
      }
      case Fault::kHttp500:
        response.status = 500;
        response.set_content(R"({"code":0})", "application/json");
        return;
      case Fault::kNotJson:
        response.set_content(NotJsonBody(), "text/html");
        return;
      case Fault::kNoCode:
        response.set_content(NoCodeBody(), "application/json");
        return;
      case Fault::kHugeBody:
        response.set_content(HugeBody(), "application/json");
        return;
      case Fault::kDeepNesting:
        response.set_content(DeepNestingBody(), "application/json");
        return;
    }
    response.set_content(reply(), "application/json");
  }

  const json* FindAccount(const httplib::Request& request) const {
    const std::string user = request.get_param_value("username");
    const std::string password = request.get_param_value("password");
    for (const json& account : accounts_["accounts"]) {
      if (account.value("username", "") == user && account.value("password", "") == password)
        return &account;
    }
    return nullptr;
  }

  std::string Filled(const json& reply) const {
    return ReplaceAll(
        ReplaceAll(ReplaceAll(reply.dump(), "{rtmp}", options_.rtmpBase), "{server}", self_),
        "{uploads}", options_.uploadFolder);
  }

  // The name of the live task `id` of any account, for its chat and video pages.
  std::optional<std::string> TaskName(const std::string& id) const {
    std::function<std::optional<std::string>(const json&)> find =
        [&](const json& nodes) -> std::optional<std::string> {
      if (!nodes.is_array()) return std::nullopt;
      for (const json& node : nodes) {
        if (!node.is_object()) continue;
        const auto nodeId = node.find("id");
        if (nodeId != node.end() &&
            (nodeId->is_string() ? nodeId->get<std::string>() : nodeId->dump()) == id) {
          const auto name = node.find("name");
          if (name == node.end() || !name->is_string()) return std::string();
          return name->get<std::string>();
        }
        const auto children = node.find("children");
        if (children == node.end()) continue;
        if (std::optional<std::string> found = find(*children)) return found;
      }
      return std::nullopt;
    };
    for (const json& account : accounts_["accounts"]) {
      const auto lives = account.find("lives");
      if (lives == account.end()) continue;
      if (std::optional<std::string> found = find(*lives)) return found;
    }
    return std::nullopt;
  }

  std::string Refused() const {
    return json{{"code", 1}, {"err_desc", "用户名或密码错误！"}}.dump();
  }

  std::string Login(const httplib::Request& request) const {
    const json* account = FindAccount(request);
    if (account == nullptr) return Refused();
    json reply{{"code", 0}, {"name", account->value("name", "")}};
    if (fault_ == Fault::kHostile) {
      reply["data"] = HostileLives();
    } else if (account->contains("lives")) {
      reply["data"] = (*account)["lives"];
    }
    return Filled(reply);
  }

  std::string Uploads(const httplib::Request& request) const {
    const json* account = FindAccount(request);
    if (account == nullptr) return Refused();
    json reply{{"code", 0}};
    if (fault_ == Fault::kHostile) {
      reply["data"] = HostileUploads();
    } else if (account->contains("uploads")) {
      reply["data"] = (*account)["uploads"];
    }
    return Filled(reply);
  }

  std::string Callback(const httplib::Request& request) {
    std::string query;
    for (const auto& [key, value] : request.params)
      query += (query.empty() ? "" : "&") + key + "=" + value;
    const std::string line = "task=" + std::string(request.matches[1]) + " " + query;
    {
      std::lock_guard lock(mutex_);
      signals_.push_back(line);
      if (!options_.signalLog.empty())
        std::ofstream(options_.signalLog, std::ios::app) << line << '\n';
    }
    std::printf("signal %s\n", line.c_str());
    std::fflush(stdout);
    return R"({"code":0})";
  }

  ServerOptions options_;
  json accounts_;
  std::atomic<Fault> fault_;
  std::string self_;
  httplib::Server server_;
  UploadEndpoint uploads_;
  std::mutex mutex_;
  std::vector<std::string> signals_;
  std::vector<std::string> referers_;
  int port_ = 0;
  InteractionPages pages_;
};

void EndNow(int) {
  _exit(0);
}

}  // namespace
}  // namespace platform_server

int main(int argc, char* argv[]) {
  using namespace platform_server;
  // It ends with whoever started it: a test, a script, a terminal.
  const pid_t parent = getppid();
  signal(SIGTERM, EndNow);
  signal(SIGINT, EndNow);
  signal(SIGHUP, EndNow);
  signal(SIGPIPE, SIG_IGN);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) return 0;

  const std::optional<ServerOptions> options = ParseOptions(argc, argv);
  if (!options) return 2;
  std::ifstream file(options->dataFile);
  if (!file) {
    std::fprintf(stderr, "platform-server: cannot read %s\n", options->dataFile.c_str());
    return 1;
  }
  nlohmann::json accounts = nlohmann::json::parse(file, nullptr, false);
  if (accounts.is_discarded() || !accounts.contains("accounts") ||
      !accounts["accounts"].is_array()) {
    std::fprintf(stderr, "platform-server: %s has no \"accounts\" array\n",
                 options->dataFile.c_str());
    return 1;
  }
  PlatformServer server(*options, std::move(accounts));
  return server.Run();
}
