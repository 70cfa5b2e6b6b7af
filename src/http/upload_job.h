#pragma once

#include <QString>
#include <memory>
#include <string>

#include "platform/child_run.h"
#include "platform/job.h"

// One upload: the uploader run as a job, the check of the server's answer, and the
// destination's callback that attaches the file to the lesson on the platform.
namespace vortane {

// What an upload needs of its row, copied when it starts: the row may be deleted or refilled
// while the upload thread still runs.
struct UploadRequest {
  QString filePath;       // the recording, from the folder and the row's file name
  std::string uploadUrl;  // the destination's upload address (UTF-8 as the platform sent it)
  std::string reportUrl;  // the destination's callback template, may be empty
  QString targetName;     // the destination's name, the callback's title
};

// The process-wide upload name: 16 hexadecimal digits from a new GUID (the first four bytes
// of its Data4, each as "%04x"), renewed at the start of each upload. A GUID that cannot be
// made leaves the previous identifier (empty before the first).
std::string RenewUploadIdentifier();

// `url` with "save_as=" and `name` appended ("&" when it has a "?", else "?"); unchanged when it
// already holds "save_as".
std::string AppendSaveAs(const std::string& url, const std::string& name);

// felwick "PATH" "ADDRESS". A '"' inside either (and the backslashes before it) is escaped by
// the rules the command line is split with, so an odd file name cannot break the arguments.
QString UploaderCommandLine(const QString& path, const std::string& address);

// The outcome of the destination callback: 0 done; 1 no answer, 2 not JSON, 3 no numeric
// "code" (local failures); else the platform's own "code" with its "err_desc".
struct CallbackResult {
  int code = 0;
  bool platformAnswered = false;  // the code is the platform's (even 1, 2 or 3)
  std::string errorText;          // "err_desc", UTF-8
};
// Requests the callback address with "_FILENAME", "_SRC_ID" and "_TITLE" filled in (the title
// percent-encoded as UTF-8, the other two as they are). Blocking: worker threads only.
CallbackResult NotifyUploadDone(const std::string& reportUrl, const std::string& fileName,
                                const std::string& sourceId, const QString& title);
// The row's status text for a failed callback.
QString CallbackFailureText(const CallbackResult& result);

// Checks the recording before its upload: the file must exist and must not be growing. Empty
// when it may be uploaded, else the reason. Waits a moment for a file written just now.
QString CheckUploadFile(const QString& path);

// One upload as a job: checks the file, runs felwick (started, the reader's progress and error
// lines), checks the server's answer and calls the destination back. It ends once, after all of
// that: exited 0 when everything went through; failed with the reason (in the teacher's words)
// when the file, the uploader, the server's answer or the callback failed, `childSucceeded`
// telling that the file itself had gone up; stopped when asked to.
class UploadJob : public Job {
 public:
  explicit UploadJob(UploadRequest request);
  ~UploadJob() override;

  const UploadRequest& request() const { return request_; }
  void RequestStop() override;
  void Start();

 private:
  const UploadRequest request_;
  std::shared_ptr<ChildRun> run_;
};

}  // namespace vortane
