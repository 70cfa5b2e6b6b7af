#include "tus_upload.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "http_exchange.h"
#include "upload_address.h"

namespace felwick {
namespace {

constexpr char kTusResumable[] = "Tus-Resumable: 1.0.0";
constexpr int kFirstPauseMs = 500;
constexpr int kLongestPauseMs = 8000;

std::optional<std::int64_t> OffsetOf(const HttpReply& reply) {
  const std::string value = reply.Header("upload-offset");
  if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::strtoll(value.c_str(), nullptr, 10);
}

// A status after which trying again cannot help.
bool IsFinal(long status) {
  return status >= 400 && status < 500 && status != 408 && status != 409 && status != 423 &&
         status != 429;
}

class TusTransfer {
 public:
  explicit TusTransfer(UploadSession& session) : s_(session) {}

  UploadOutcome Run() {
    const std::optional<UploadOutcome> created = Create();
    if (created) return *created;
    std::int64_t offset = 0;
    int failures = 0;
    for (;;) {
      HttpReply reply = Patch(offset);
      if (reply.transferred && reply.status >= 200 && reply.status < 300) {
        // Only the server's own offset shows what it stored: a taken PATCH without one, or with
        // one that does not move forward within the file, proves nothing.
        const std::optional<std::int64_t> next = OffsetOf(reply);
        if (!next) {
          s_.output.Error("服务器的回答没有 Upload-Offset（HTTP " + std::to_string(reply.status) +
                          "），无法确认文件已保存");
          return UploadOutcome::kFailed;
        }
        if (!MovesForward(offset, *next)) {
          s_.output.Error("服务器报告的上传位置无效（Upload-Offset " + std::to_string(*next) +
                          "，本次从 " + std::to_string(offset) + " 开始，文件共 " +
                          std::to_string(s_.file.Size()) + " 字节），无法确认文件已保存");
          return UploadOutcome::kFailed;
        }
        failures = 0;
        offset = *next;
        if (offset == s_.file.Size()) {
          s_.output.Progress(100.0, true);
          if (!reply.body.empty()) s_.output.Echo(reply.body);
          return UploadOutcome::kDone;
        }
        continue;
      }
      if (s_.stopRequested()) return UploadOutcome::kStopped;
      if (reply.failure == "file changed") {
        s_.output.Error("文件在上传过程中被改动（可能仍在录制或剪辑），已停止上传");
        return UploadOutcome::kFailed;
      }
      if (reply.transferred && IsFinal(reply.status)) {
        s_.output.Error("服务器拒绝了上传（HTTP " + std::to_string(reply.status) + "）" +
                        Excerpt(reply.body));
        return UploadOutcome::kFailed;
      }
      const std::optional<UploadOutcome> resumed = Resume(offset, failures, Why(reply));
      if (resumed) return *resumed;
    }
  }

 private:
  // Creates the upload; nothing while it succeeded (location_ set).
  std::optional<UploadOutcome> Create() {
    for (int failures = 0;; ++failures) {
      HttpRequest request;
      request.method = "POST";
      request.url = s_.url;
      request.headers = {kTusResumable, "Upload-Length: " + std::to_string(s_.file.Size()),
                         "Upload-Metadata: filename " + Base64(s_.name),
                         "Content-Type: application/offset+octet-stream"};
      const HttpReply reply = Perform(request);
      if (reply.transferred) {
        const std::string location = reply.Header("location");
        if (reply.status != 201 || location.empty()) return UploadOutcome::kNotResumable;
        location_ = ResolveLocation(s_.url, location);
        if (location_.empty()) {
          s_.output.Error("服务器给出的上传地址无效：" + location);
          return UploadOutcome::kFailed;
        }
        return std::nullopt;
      }
      if (failures >= kMaxRetries) {
        s_.output.Error("无法连接上传服务器（" + reply.failure + "）");
        return UploadOutcome::kFailed;
      }
      s_.output.Error("无法连接上传服务器（" + reply.failure + "），稍后重试");
      if (!PauseUnlessStopped(s_, PauseAfter(failures))) return UploadOutcome::kStopped;
    }
  }

  HttpReply Patch(std::int64_t offset) {
    HttpRequest request;
    request.method = "PATCH";
    request.url = location_;
    request.headers = {kTusResumable, "Upload-Offset: " + std::to_string(offset),
                       "Content-Type: application/offset+octet-stream"};
    request.file = &s_.file;
    request.offset = offset;
    request.length = std::min(PatchBytes(), s_.file.Size() - offset);
    request.onProgress = [this, offset](std::int64_t sent) {
      const std::int64_t size = s_.file.Size();
      if (size > 0)
        s_.output.Progress(std::min(99.99, 100.0 * double(offset + sent) / double(size)));
      return !s_.stopRequested();
    };
    request.beforeLastByte = [this] { return s_.file.Unchanged(); };
    return Perform(request);
  }

  // After a failed PATCH: waits, asks the server how far it got, and continues from there.
  std::optional<UploadOutcome> Resume(std::int64_t& offset, int& failures, const std::string& why) {
    for (;;) {
      if (++failures > kMaxRetries) {
        s_.output.Error("上传失败，重试 " + std::to_string(kMaxRetries) + " 次后放弃（" + why +
                        "）");
        return UploadOutcome::kFailed;
      }
      const int pause = PauseAfter(failures - 1);
      s_.output.Error("上传中断（" + why + "），" + std::to_string((pause + 999) / 1000) +
                      " 秒后续传");
      if (!PauseUnlessStopped(s_, pause)) return UploadOutcome::kStopped;
      HttpRequest head;
      head.method = "HEAD";
      head.url = location_;
      head.headers = {kTusResumable};
      const HttpReply reply = Perform(head);
      if (reply.transferred && (reply.status == 404 || reply.status == 410)) {
        s_.output.Error("服务器上的上传已失效（HTTP " + std::to_string(reply.status) + "）");
        return UploadOutcome::kFailed;
      }
      const std::optional<std::int64_t> known = reply.transferred ? OffsetOf(reply) : std::nullopt;
      if (known && *known <= s_.file.Size()) {
        if (*known > offset) failures = 0;  // the server kept what arrived before the drop
        offset = *known;
        return std::nullopt;
      }
    }
  }

  // The server's new offset lies past the one sent and within the file; an empty file is
  // complete with its one empty PATCH.
  bool MovesForward(std::int64_t sentFrom, std::int64_t next) const {
    const std::int64_t size = s_.file.Size();
    return (sentFrom < next && next <= size) || (size == 0 && next == 0);
  }

  static std::string Why(const HttpReply& reply) {
    return reply.transferred ? "HTTP " + std::to_string(reply.status) : reply.failure;
  }

  std::int64_t PatchBytes() const {
    return std::clamp(s_.file.Size() / 20, kSmallestPatch, kLargestPatch);
  }

  static int PauseAfter(int failures) {
    return std::min(kLongestPauseMs, kFirstPauseMs << std::min(failures, 8));
  }

  UploadSession& s_;
  std::string location_;
};

}  // namespace

UploadOutcome TusUpload(UploadSession& session) {
  return TusTransfer(session).Run();
}

}  // namespace felwick
