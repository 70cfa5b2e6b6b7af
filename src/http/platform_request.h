#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "http/http_get.h"

namespace vortane {

// What a platform request tells its owner: success, or the failure's words.
struct PlatformReply {
  bool ok = false;
  QString text;

  // The number the program's trace prints for it (3 success, 10 failure).
  int StatusCode() const { return ok ? 3 : 10; }
};

// One request to the platform: fetches its address on a worker thread the object owns, reads the
// body there, and reports at most once through `replied` (queued to the receivers' threads).
// Destroying it cancels the transfer and waits for the worker.
class PlatformRequest : public QObject {
  Q_OBJECT

 public:
  // Runs on the worker with the body (or none): what the owner is told, or nothing.
  using Read = std::function<std::optional<PlatformReply>(const std::optional<std::string>& body)>;

  PlatformRequest(std::string url, Redirects redirects, Read read);
  ~PlatformRequest() override;
  PlatformRequest(const PlatformRequest&) = delete;
  PlatformRequest& operator=(const PlatformRequest&) = delete;

  // Starts the worker; when none can be made the request fails at once, as one without an
  // answer does.
  void Start();
  // The transfer ends within about a second, as one without an answer.
  void Cancel() { cancel_.store(true); }
  // The worker has done its work (the reply, if any, is on its way).
  bool Done() const { return done_.load(); }

 signals:
  void replied(const PlatformReply& reply);

 private:
  void Run();

  const std::string url_;
  const Redirects redirects_;
  const Read read_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  std::thread worker_;
};

}  // namespace vortane
