#include "multipart_upload.h"

#include <algorithm>

#include "http_exchange.h"
#include "server_answer.h"

namespace felwick {
namespace {

// A form cannot continue where it broke off: it is sent again whole, a few times at most.
constexpr int kAttempts = 3;
constexpr int kPauseMs = 1000;

}  // namespace

UploadOutcome MultipartUpload(UploadSession& session) {
  for (int attempt = 1;; ++attempt) {
    HttpRequest request;
    request.method = "POST";
    request.url = session.url;
    request.file = &session.file;
    request.length = session.file.Size();
    request.formField = "file";
    request.formFileName = session.name;
    request.onProgress = [&session](std::int64_t sent) {
      const std::int64_t size = session.file.Size();
      if (size > 0) session.output.Progress(std::min(99.99, 100.0 * double(sent) / double(size)));
      return !session.stopRequested();
    };
    request.beforeLastByte = [&session] { return session.file.Unchanged(); };
    const HttpReply reply = Perform(request);
    if (reply.transferred && reply.status >= 200 && reply.status < 300) {
      // A form has no offset to check: only the server's JSON answer shows the file arrived (a
      // proxy's or a portal's page says 200 as well).
      if (!IsJsonObject(reply.body)) {
        session.output.Error("服务器的回答不是 JSON 对象（HTTP " + std::to_string(reply.status) +
                             "），无法确认文件已保存" + Excerpt(reply.body));
        return UploadOutcome::kFailed;
      }
      session.output.Progress(100.0, true);
      session.output.Echo(reply.body);
      return UploadOutcome::kDone;
    }
    if (session.stopRequested()) return UploadOutcome::kStopped;
    if (reply.failure == "file changed") {
      session.output.Error("文件在上传过程中被改动（可能仍在录制或剪辑），已停止上传");
      return UploadOutcome::kFailed;
    }
    if (reply.transferred) {
      session.output.Error("服务器拒绝了上传（HTTP " + std::to_string(reply.status) + "）" +
                           Excerpt(reply.body));
      return UploadOutcome::kFailed;
    }
    if (attempt >= kAttempts) {
      session.output.Error("上传失败（" + reply.failure + "）");
      return UploadOutcome::kFailed;
    }
    session.output.Error("上传中断（" + reply.failure + "），重新上传");
    if (!PauseUnlessStopped(session, kPauseMs)) return UploadOutcome::kStopped;
  }
}

}  // namespace felwick
