#include "http/platform_client.h"

#include <QThread>
#include <memory>
#include <mutex>
#include <vector>

#include "http/http_get.h"
#include "http/platform_reply.h"

namespace vortane {
namespace {

// The latest request of one kind; a worker asks whether its request still is.
class LatestRequest {
 public:
  void Set(const PlatformRequest* request) {
    std::lock_guard lock(mutex_);
    latest_ = request;
  }
  // Runs `commit` while `request` is still the latest; false (nothing run) once replaced.
  template <typename Commit>
  bool IfLatest(const PlatformRequest* request, Commit commit) {
    std::lock_guard lock(mutex_);
    if (latest_ != request) return false;
    commit();
    return true;
  }

 private:
  std::mutex mutex_;
  const PlatformRequest* latest_ = nullptr;
};

// Owns every request of the process until its thread has ended.
class PlatformClient {
 public:
  PlatformClient() {
    // The accounts the workers write into outlive the client, which joins them first.
    LiveAccount();
    UploadAccount();
  }
  ~PlatformClient() { End(std::chrono::milliseconds(0)); }

  PlatformRequest* Start(std::string url, Redirects redirects, PlatformRequest::Read read,
                         QObject* receiver, PlatformReplyHandler onReply) {
    Reap();
    requests_.push_back(
        std::make_unique<PlatformRequest>(std::move(url), redirects, std::move(read)));
    PlatformRequest* request = requests_.back().get();
    if (receiver != nullptr && onReply)
      QObject::connect(request, &PlatformRequest::replied, receiver, std::move(onReply));
    return request;
  }

  bool End(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!AllDone() && std::chrono::steady_clock::now() < until)
      QThread::msleep(20);
    const bool allDone = AllDone();
    for (const auto& request : requests_)
      request->Cancel();
    requests_.clear();
    return allDone;
  }

  LatestRequest login;
  LatestRequest uploads;

 private:
  bool AllDone() const {
    for (const auto& request : requests_)
      if (!request->Done()) return false;
    return true;
  }
  // Requests whose worker is done go; their replies are already queued.
  void Reap() {
    std::erase_if(requests_, [](const auto& request) { return request->Done(); });
  }

  std::vector<std::unique_ptr<PlatformRequest>> requests_;
};

PlatformClient& Client() {
  static PlatformClient client;
  return client;
}

PlatformReply Outcome(bool ok, const QString& text) {
  return PlatformReply{ok, ok ? QString() : text};
}

}  // namespace

void RequestLiveTasks(const std::optional<PlatformCredentials>& credentials, QObject* receiver,
                      PlatformReplyHandler onReply) {
  PlatformAccount& account = LiveAccount();
  PlatformClient& client = Client();
  if (credentials) account.SetCredentials(*credentials);
  account.BeginRequest();
  const PlatformCredentials sent = account.Credentials();
  LatestRequest& latest = client.login;
  auto holder = std::make_shared<const PlatformRequest*>(nullptr);
  // The address carries the account: it follows no redirect to another host.
  PlatformRequest* request = client.Start(
      BuildAccountUrl(sent, kLivesPath), Redirects::kSameHost,
      [sent, &account, &latest,
       holder](const std::optional<std::string>& body) -> std::optional<PlatformReply> {
        const LoginReply reply = ReadLoginReply(body, sent);
        const bool current = latest.IfLatest(*holder, [&] {
          if (!reply.displayName.empty()) account.SetDisplayName(reply.displayName);
          // `loaded` is set before the success is reported, so its handler sees it.
          if (reply.ok) account.Load(reply.tasks);
        });
        if (!current) return std::nullopt;
        return Outcome(reply.ok, reply.text);
      },
      receiver, std::move(onReply));
  *holder = request;
  latest.Set(request);
  request->Start();
}

void RequestUploadTargets(const std::optional<PlatformCredentials>& credentials, QObject* receiver,
                          PlatformReplyHandler onReply) {
  PlatformAccount& account = UploadAccount();
  PlatformClient& client = Client();
  ClearUploadTargets();
  if (credentials) account.SetCredentials(*credentials);
  account.BeginRequest();
  const PlatformCredentials sent = account.Credentials();
  LatestRequest& latest = client.uploads;
  auto holder = std::make_shared<const PlatformRequest*>(nullptr);
  PlatformRequest* request = client.Start(
      BuildAccountUrl(sent, kUploadsPath), Redirects::kSameHost,
      [&account, &latest,
       holder](const std::optional<std::string>& body) -> std::optional<PlatformReply> {
        UploadReply reply = ReadUploadReply(body);
        const bool current = latest.IfLatest(*holder, [&] {
          if (reply.loaded) account.Load(std::move(reply.targets));
        });
        if (!current) return std::nullopt;
        return Outcome(reply.ok, reply.text);
      },
      receiver, std::move(onReply));
  *holder = request;
  latest.Set(request);
  request->Start();
}

bool SendStopSignal(const std::string& callbackUrl, QObject* receiver,
                    PlatformReplyHandler onReply) {
  const std::optional<std::string> url = StopSignalUrl(callbackUrl);
  if (!url) return false;
  PlatformAccount& account = LiveAccount();
  account.SetRequestUrl(*url);
  Client()
      .Start(
          *url, Redirects::kAnyHost,
          [](const std::optional<std::string>& body) -> std::optional<PlatformReply> {
            const StopReply reply = ReadStopReply(body);
            // Every stop signal counts, even when a newer one was sent meanwhile: each tells
            // the platform about its own stream. Success is silent.
            if (reply.ok) return std::nullopt;
            return Outcome(false, reply.text);
          },
          receiver, std::move(onReply))
      ->Start();
  return true;
}

void ClearLiveTasks() {
  LiveAccount().Clear();
}

void ClearUploadTargets() {
  UploadAccount().Clear();
}

bool EndPlatformRequests(std::chrono::milliseconds timeout) {
  return Client().End(timeout);
}

}  // namespace vortane
