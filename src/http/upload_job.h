#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <string>

#include "encoder/encoder_job.h"

// One upload: the uploader run as a job, the check of the server's answer, and the
// destination's callback that attaches the file to the lesson on the platform.
namespace vortane {

// What an upload needs of its row, copied when it starts: the row may be deleted or refilled
// while the upload thread still runs.
struct UploadRequest {
  QString filePath;        // the recording, from the folder and the row's file name
  std::string uploadUrl;   // the destination's upload address (UTF-8 as the platform sent it)
  std::string reportUrl;   // the destination's callback template, may be empty
  std::string targetName;  // the destination's name (GBK)
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
                                const std::string& sourceId, const std::string& title);
// The row's status text (GBK) for a failed callback.
std::string CallbackFailureText(const CallbackResult& result);

// Checks the recording before its upload: the file must exist and must not be growing. Empty
// when it may be uploaded, else the reason (GBK). Waits a moment for a file written just now.
std::string CheckUploadFile(const QString& path);

// The thread procedure of an upload: checks the file, runs felwick as the job (code 1, the
// reader's 2 and -1, then 3, 4 or 10), checks the server's answer and calls the destination
// back, each failure posted as code 10. `running` is cleared when it returns, and only then may
// the job record be used for the next upload.
void UploadThread(const std::shared_ptr<EncoderJob>& job, const UploadRequest& request);

// Starts UploadThread on a new thread; false (the job reports code 10 with the reason) when none
// could be made. Nothing that goes wrong in it ends the program: it is reported as code 10.
bool StartUploadThread(std::shared_ptr<EncoderJob> job, UploadRequest request,
                       std::shared_ptr<std::atomic<bool>> running);

}  // namespace vortane
