#include "http/platform_client.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "encoder/encoder_job.h"
#include "http/http_get.h"
#include "http/platform_reply.h"
#include "platform/window_messages.h"

namespace vortane {
namespace {

// The latest job of one request kind.
class JobSlot {
 public:
  std::shared_ptr<EncoderJob> Replace(platform::WindowHandle notifyWindow,
                                      PlatformAccount& account) {
    auto job = std::make_shared<EncoderJob>();
    job->notifyMessage = WM_PLATFORM_REPLY;
    job->ownerWindow = notifyWindow;
    job->context = &account;
    std::lock_guard lock(mutex_);
    current_ = job;
    return job;
  }
  // Runs `commit` while `job` is still the slot's latest; false (nothing run) once replaced.
  template <typename Commit>
  bool IfCurrent(const EncoderJob& job, Commit commit) {
    std::lock_guard lock(mutex_);
    if (current_.get() != &job) return false;
    commit();
    return true;
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<EncoderJob> current_;
};

// Counts the request threads so the program's end can wait for them.
class RunningRequests {
 public:
  void Add() {
    std::lock_guard lock(mutex_);
    ++count_;
  }
  void Done() {
    std::lock_guard lock(mutex_);
    --count_;
    changed_.notify_all();
  }
  bool WaitForNone(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return count_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

// Process-wide and never destroyed: threads may outlive main().
JobSlot& LoginSlot() {
  static auto* slot = new JobSlot;
  return *slot;
}
JobSlot& UploadSlot() {
  static auto* slot = new JobSlot;
  return *slot;
}
JobSlot& StopSlot() {
  static auto* slot = new JobSlot;
  return *slot;
}
RunningRequests& Running() {
  static auto* running = new RunningRequests;
  return *running;
}

// Fetches `url` on a thread of its own and hands the body (or none) to `handle`. The thread holds
// its job, so a replaced job stays alive until the thread has posted. When no thread can be
// started the request fails as one without an answer does, reported from here.
template <typename Handle>
void StartRequest(std::shared_ptr<EncoderJob> job, std::string url, Redirects redirects,
                  Handle handle) {
  Running().Add();
  try {
    std::thread([job, url, redirects, handle]() mutable {
      handle(*job, HttpGet(url, kPlatformBodyBound, redirects));
      job.reset();
      Running().Done();
    }).detach();
  } catch (const std::system_error&) {
    handle(*job, std::nullopt);
    Running().Done();
  }
}

void PostOutcome(EncoderJob& job, bool ok, const std::string& text) {
  if (ok) {
    PostJobStatus(job, kJobFinished, 0.0, "");
  } else {
    PostJobStatus(job, kJobError, -1.0, text.c_str());
  }
}

}  // namespace

void RequestLiveTasks(const std::optional<PlatformCredentials>& credentials,
                      platform::WindowHandle notifyWindow) {
  PlatformAccount& account = LiveAccount();
  std::shared_ptr<EncoderJob> job = LoginSlot().Replace(notifyWindow, account);
  if (credentials) account.SetCredentials(*credentials);
  account.BeginRequest();
  const PlatformCredentials sent = account.Credentials();
  // The address carries the account: it follows no redirect to another host.
  StartRequest(std::move(job), BuildAccountUrl(sent, kLivesPath), Redirects::kSameHost,
               [sent, &account](EncoderJob& job, const std::optional<std::string>& body) {
                 const LoginReply reply = ReadLoginReply(body, sent);
                 const bool current = LoginSlot().IfCurrent(job, [&] {
                   if (!reply.displayName.empty()) account.SetDisplayName(reply.displayName);
                   // `loaded` is set before the success is posted, so its handler sees it.
                   if (reply.ok) account.Load(reply.tasks);
                 });
                 if (current) PostOutcome(job, reply.ok, reply.text);
               });
}

void RequestUploadTargets(const std::optional<PlatformCredentials>& credentials,
                          platform::WindowHandle notifyWindow) {
  PlatformAccount& account = UploadAccount();
  std::shared_ptr<EncoderJob> job = UploadSlot().Replace(notifyWindow, account);
  ClearUploadTargets();
  if (credentials) account.SetCredentials(*credentials);
  account.BeginRequest();
  const PlatformCredentials sent = account.Credentials();
  StartRequest(std::move(job), BuildAccountUrl(sent, kUploadsPath), Redirects::kSameHost,
               [&account](EncoderJob& job, const std::optional<std::string>& body) {
                 UploadReply reply = ReadUploadReply(body);
                 const bool current = UploadSlot().IfCurrent(job, [&] {
                   if (reply.loaded) account.Load(std::move(reply.targets));
                 });
                 if (current) PostOutcome(job, reply.ok, reply.text);
               });
}

bool SendStopSignal(const std::string& callbackUrl, platform::WindowHandle notifyWindow) {
  const std::optional<std::string> url = StopSignalUrl(callbackUrl);
  if (!url) return false;
  PlatformAccount& account = LiveAccount();
  std::shared_ptr<EncoderJob> job = StopSlot().Replace(notifyWindow, account);
  account.SetRequestUrl(*url);
  StartRequest(std::move(job), *url, Redirects::kAnyHost,
               [](EncoderJob& job, const std::optional<std::string>& body) {
                 const StopReply reply = ReadStopReply(body);
                 // Every stop signal counts, even when a newer one was sent meanwhile: each tells
                 // the platform about its own stream. Success is silent.
                 if (!reply.ok) PostOutcome(job, false, reply.text);
               });
  return true;
}

void ClearLiveTasks() {
  LiveAccount().Clear();
}

void ClearUploadTargets() {
  UploadAccount().Clear();
}

bool WaitForPlatformRequests(std::chrono::milliseconds timeout) {
  return Running().WaitForNone(timeout);
}

}  // namespace vortane
