#pragma once

#include <QString>
#include <mutex>
#include <string>
#include <vector>

#include "http/live_task.h"
#include "http/upload_target.h"

namespace vortane {

// What a request is sent with: the server as typed and the user's credentials.
struct PlatformCredentials {
  QString server;
  QString user;
  QString password;
};

// The context of one family of platform requests. Two live as long as the process: the live
// account (login, live task list, stop signal) and the upload account (upload destinations).
// Request threads and the UI thread both reach it, so every member is read and written under
// its lock; readers get copies.
class PlatformAccount {
 public:
  // The field sizes of the records the credentials come from, in GBK bytes with the terminator;
  // longer credentials are cut to them.
  static constexpr size_t kServerSize = 256;
  static constexpr size_t kUserSize = 64;
  static constexpr size_t kPasswordSize = 64;
  static constexpr size_t kDisplayNameSize = 64;

  PlatformCredentials Credentials() const;
  void SetCredentials(const PlatformCredentials& credentials);
  // The user's name from the login reply, UTF-8, at most 63 bytes; empty until a login reply was
  // accepted.
  std::string DisplayName() const;
  // True once a reply's "data" array has become this account's node list.
  bool IsLoaded() const;
  std::vector<LiveTask> LiveTasks() const;
  std::vector<UploadTarget> UploadTargets() const;
  // The full address of the latest stop signal (live account).
  std::string RequestUrl() const;

  // A request of this account starts: no name, not loaded; the nodes stay until new ones come.
  void BeginRequest();
  // Destroys every node and clears `loaded`.
  void Clear();
  void SetRequestUrl(const std::string& url);
  // A reply was accepted. The display name is cut to its field at a character boundary.
  void SetDisplayName(const std::string& utf8);
  void Load(std::vector<LiveTask> tasks);
  void Load(std::vector<UploadTarget> targets);

 private:
  mutable std::mutex mutex_;
  PlatformCredentials credentials_;
  std::string displayName_;
  std::vector<LiveTask> liveTasks_;
  std::vector<UploadTarget> uploadTargets_;
  bool loaded_ = false;
  std::string requestUrl_;
};

// The two process-wide accounts.
PlatformAccount& LiveAccount();
PlatformAccount& UploadAccount();

}  // namespace vortane
