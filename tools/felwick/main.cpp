// felwick: the uploader the program runs for each lesson it uploads.
//
//   felwick "FILE" "UPLOAD-ADDRESS"
//
// Sends FILE to UPLOAD-ADDRESS with tus 1.0 (core + creation), continuing from the server's
// offset after a dropped connection; a server that does not create a tus upload gets one
// multipart/form-data POST (field "file") instead. The name the server is asked to store the
// file under is the address's "save_as" parameter, else the file's own name.
//
// Output (standard output, one write per message): "percent:N.NN" a few times a second,
// "error:TEXT" for each failure (also the ones it recovers from), and the server's answer as
// "[_ECHO]...[/_ECHO]". "q" on standard input stops it, and so does the end of the program that
// started it. Exit status: 0 when the server took the
// whole file (its Upload-Offset reached the file's end, or the form's answer is a JSON object),
// 1 when the upload failed, 2 on a wrong command line, 3 when it was stopped. FILE must be the
// user's own regular file; a link or a FIFO is refused.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "multipart_upload.h"
#include "tus_upload.h"
#include "upload_address.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 3;

// True once "q" has arrived on standard input (the job runner's way of asking a child to end).
bool StopRequested() {
  static bool stopped = false;
  if (stopped) return true;
  pollfd input{STDIN_FILENO, POLLIN, 0};
  while (poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0) {
    char c = 0;
    if (read(STDIN_FILENO, &c, 1) != 1) break;  // closed: nobody will ask
    if (c == 'q') return stopped = true;
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  signal(SIGPIPE, SIG_IGN);
  // A program that ends mid-upload takes its uploader with it.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  felwick::UploaderOutput output;
  if (argc != 3 || argv[1][0] == '\0' || argv[2][0] == '\0') {
    output.Error("用法：felwick \"文件\" \"上传地址\"");
    return kExitUsage;
  }
  std::string error;
  std::optional<felwick::UploadFile> file = felwick::UploadFile::Open(argv[1], error);
  if (!file) {
    output.Error(error);
    return kExitFailed;
  }
  std::string name = felwick::SaveAsName(argv[2]);
  if (name.empty()) name = felwick::BaseName(argv[1]);
  felwick::UploadSession session{*file, output, argv[2], name, StopRequested};

  output.Progress(0.0, true);
  felwick::UploadOutcome outcome = felwick::TusUpload(session);
  if (outcome == felwick::UploadOutcome::kNotResumable) outcome = felwick::MultipartUpload(session);
  switch (outcome) {
    case felwick::UploadOutcome::kDone:
      return kExitDone;
    case felwick::UploadOutcome::kStopped:
      output.Error("上传被终止");
      return kExitStopped;
    default:
      return kExitFailed;
  }
}
