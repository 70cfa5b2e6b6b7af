#include "http/platform_account.h"

#include "http/platform_text.h"

namespace vortane {
namespace {

// A stored text keeps room for its terminator in the record it mirrors.
QString Fitted(const QString& text, size_t fieldSize) {
  const std::string stored = platform::WideToAnsi(text);
  const size_t length = platform::AnsiPrefixLength(stored, fieldSize - 1);
  return length == stored.size() ? text : platform::AnsiToWide(stored.substr(0, length));
}

}  // namespace

PlatformCredentials PlatformAccount::Credentials() const {
  std::lock_guard lock(mutex_);
  return credentials_;
}

void PlatformAccount::SetCredentials(const PlatformCredentials& credentials) {
  std::lock_guard lock(mutex_);
  credentials_.server = Fitted(credentials.server, kServerSize);
  credentials_.user = Fitted(credentials.user, kUserSize);
  credentials_.password = Fitted(credentials.password, kPasswordSize);
}

std::string PlatformAccount::DisplayName() const {
  std::lock_guard lock(mutex_);
  return displayName_;
}

bool PlatformAccount::IsLoaded() const {
  std::lock_guard lock(mutex_);
  return loaded_;
}

std::vector<LiveTask> PlatformAccount::LiveTasks() const {
  std::lock_guard lock(mutex_);
  return liveTasks_;
}

std::vector<UploadTarget> PlatformAccount::UploadTargets() const {
  std::lock_guard lock(mutex_);
  return uploadTargets_;
}

std::string PlatformAccount::RequestUrl() const {
  std::lock_guard lock(mutex_);
  return requestUrl_;
}

void PlatformAccount::BeginRequest() {
  std::lock_guard lock(mutex_);
  displayName_.clear();
  loaded_ = false;
}

void PlatformAccount::Clear() {
  std::lock_guard lock(mutex_);
  liveTasks_.clear();
  uploadTargets_.clear();
  loaded_ = false;
}

void PlatformAccount::SetRequestUrl(const std::string& url) {
  std::lock_guard lock(mutex_);
  requestUrl_ = url;
}

void PlatformAccount::SetDisplayName(const std::string& utf8) {
  std::lock_guard lock(mutex_);
  displayName_ = std::string(Utf8Prefix(utf8, kDisplayNameSize - 1));
}

void PlatformAccount::Load(std::vector<LiveTask> tasks) {
  std::lock_guard lock(mutex_);
  liveTasks_ = std::move(tasks);
  loaded_ = true;
}

void PlatformAccount::Load(std::vector<UploadTarget> targets) {
  std::lock_guard lock(mutex_);
  uploadTargets_ = std::move(targets);
  loaded_ = true;
}

PlatformAccount& LiveAccount() {
  // The platform client, which joins the request threads, is made after the accounts and so
  // goes before them.
  static PlatformAccount account;
  return account;
}

PlatformAccount& UploadAccount() {
  static PlatformAccount account;
  return account;
}

}  // namespace vortane
