#include "http/upload_job.h"

#include <QFileInfo>
#include <QUuid>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

#include "http/http_get.h"
#include "http/platform_reply.h"
#include "http/platform_text.h"
#include "http/upload_reader.h"

namespace vortane {
namespace {

constexpr char kUploaderProgram[] = "felwick";
// A file changed this recently may still be written; it is looked at twice this far apart.
constexpr auto kSettleTime = std::chrono::milliseconds(1500);

const char kNoUploadThread[] = "无法开始上传：系统资源不足";
const char kUploadBroken[] = "上传中断：系统资源不足";

std::mutex identifierMutex;
std::string identifier;

JobOutcome Failure(const QString& text, bool childSucceeded = false) {
  JobOutcome outcome;
  outcome.end = JobOutcome::End::kFailed;
  outcome.text = text;
  outcome.childSucceeded = childSucceeded;
  return outcome;
}

// One argument in double quotes, escaped by the Windows command-line rules.
QString Quoted(const QString& argument) {
  QString out = QStringLiteral("\"");
  int backslashes = 0;
  for (const QChar c : argument) {
    if (c == QLatin1Char('\\')) {
      ++backslashes;
      continue;
    }
    if (c == QLatin1Char('"')) {
      out += QString(backslashes * 2 + 1, QLatin1Char('\\'));
    } else {
      out += QString(backslashes, QLatin1Char('\\'));
    }
    backslashes = 0;
    out += c;
  }
  out += QString(backslashes * 2, QLatin1Char('\\'));
  return out + QLatin1Char('"');
}

// The server's name for the file goes into the callback address as it is, unless it holds a
// byte that would change the address's meaning (a '&', a blank, a line end): then it is
// percent-encoded. It is the server's answer, so it is also held to a file name's length.
std::string SafeFileName(const std::string& name) {
  constexpr size_t kLongest = 255;
  const std::string cut(Utf8Prefix(name, kLongest));
  for (unsigned char c : cut)
    if (!std::isalnum(c) && c != '.' && c != '-' && c != '_' && c != '~') return UrlEncode(cut);
  return cut;
}

}  // namespace

std::string RenewUploadIdentifier() {
  const QUuid guid = QUuid::createUuid();
  std::lock_guard lock(identifierMutex);
  if (!guid.isNull()) {
    char text[17];
    std::snprintf(text, sizeof(text), "%04x%04x%04x%04x", guid.data4[0], guid.data4[1],
                  guid.data4[2], guid.data4[3]);
    identifier = text;
  }
  return identifier;
}

std::string AppendSaveAs(const std::string& url, const std::string& name) {
  if (url.find("save_as") != std::string::npos) return url;
  return url + (url.find('?') != std::string::npos ? "&save_as=" : "?save_as=") + name;
}

QString UploaderCommandLine(const QString& path, const std::string& address) {
  return QString::fromLatin1(kUploaderProgram) + QLatin1Char(' ') + Quoted(path) +
         QLatin1Char(' ') + Quoted(QString::fromUtf8(address));
}

CallbackResult NotifyUploadDone(const std::string& reportUrl, const std::string& fileName,
                                const std::string& sourceId, const QString& title) {
  std::string address = ReplaceAll(reportUrl, "_FILENAME", fileName);
  address = ReplaceAll(address, "_SRC_ID", sourceId);
  address = ReplaceAll(address, "_TITLE", UrlEncode(title.toStdString()));
  const std::optional<std::string> body = HttpGet(address, kDefaultBodyBound);
  CallbackResult result;
  if (!body || body->empty()) {
    result.code = 1;
    return result;
  }
  const CodeReply reply = ReadCodeReply(*body, "err_desc");
  if (!reply.object) {
    result.code = 2;
    return result;
  }
  if (!reply.code) {
    result.code = 3;
    return result;
  }
  result.platformAnswered = true;
  result.code = *reply.code;
  result.errorText = reply.text;
  return result;
}

QString CallbackFailureText(const CallbackResult& result) {
  if (!result.platformAnswered && result.code == 1) return QStringLiteral("回调时无响应！");
  if (!result.platformAnswered && (result.code == 2 || result.code == 3))
    return QStringLiteral("回调时返回数据不符合规范！");
  return QStringLiteral("回调返回错误！错误信息：") + Utf8ToWide(result.errorText);
}

QString CheckUploadFile(const QString& path) {
  QFileInfo file(path);
  if (!file.exists() || !file.isFile())
    return QStringLiteral("找不到文件 %1（已被删除或改名）").arg(file.fileName());
  const auto age =
      std::chrono::milliseconds(file.lastModified().msecsTo(QDateTime::currentDateTime()));
  if (age >= kSettleTime) return {};
  const qint64 size = file.size();
  const QDateTime modified = file.lastModified();
  std::this_thread::sleep_for(kSettleTime);
  file.refresh();
  if (!file.exists()) return QStringLiteral("找不到文件 %1（已被删除或改名）").arg(file.fileName());
  if (file.size() != size || file.lastModified() != modified)
    return QStringLiteral("文件 %1 仍在写入（正在录制或剪辑），请稍后再上传").arg(file.fileName());
  return {};
}

UploadJob::UploadJob(UploadRequest request)
    : request_(std::move(request)), run_(std::make_shared<ChildRun>()) {
  run_->reader = UploadReader;
}

UploadJob::~UploadJob() {
  // The base waits for the worker; the uploader must be on its way out by then.
  RequestStop();
}

void UploadJob::RequestStop() {
  Job::RequestStop();
  run_->stopRequested.store(1);
}

void UploadJob::Start() {
  Job::Start(
      [run = run_, request = request_](Job& job) {
        const std::string id = RenewUploadIdentifier();
        std::string name = id + ".mp4";
        if (const QString refusal = CheckUploadFile(request.filePath); !refusal.isEmpty())
          return Failure(refusal);
        run->commandLine =
            UploaderCommandLine(request.filePath, AppendSaveAs(request.uploadUrl, name));
        JobOutcome child;
        run->report = [&job, &child](int code, double value, const QString& text) {
          switch (code) {
            case kChildStarted:
              emit job.started();
              break;
            case kChildProgress:
              emit job.progressed(QString(), value);
              break;
            case kChildNote:
              emit job.noted(text);
              break;
            case kChildExited:
              child.end = JobOutcome::End::kExited;
              child.exitCode = static_cast<std::uint32_t>(value);
              break;
            case kChildStopped:
              child.end = JobOutcome::End::kStopped;
              break;
            default:
              child = Failure(text);
              break;
          }
        };
        const unsigned result = RunChild(*run);
        run->report = nullptr;
        if (result != 0) return child;

        if (!run->collectedOutput.empty()) {
          const CodeReply reply = ReadCodeReply(run->collectedOutput, "filename");
          if (reply.object && reply.code) {
            if (*reply.code != 0) return Failure(QStringLiteral("服务器返回错误！"), true);
            if (!reply.text.empty()) name = SafeFileName(reply.text);
          }
        } else {
          emit job.noted(QStringLiteral("服务器无响应！"));
        }
        if (!request.reportUrl.empty()) {
          const CallbackResult result =
              NotifyUploadDone(request.reportUrl, name, id, request.targetName);
          if (result.code != 0) return Failure(CallbackFailureText(result), true);
        }
        return child;
      },
      QString::fromUtf8(kNoUploadThread), QString::fromUtf8(kUploadBroken));
}

}  // namespace vortane
