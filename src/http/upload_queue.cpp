#include "http/upload_queue.h"

#include <algorithm>

#include "http/upload_reader.h"
#include "platform/code_page.h"
#include "platform/window_messages.h"

namespace vortane {
namespace {

// An upload address shorter than this is none.
constexpr size_t kShortestUploadUrl = 9;

QString WithoutErrorMarker(const QString& line) {
  const QString marker = QStringLiteral("error:");
  const int at = line.indexOf(marker);
  return at < 0 ? line.trimmed() : line.mid(at + marker.size()).trimmed();
}

}  // namespace

UploadQueue::UploadQueue(platform::WindowHandle owner, PathOf pathOf, Launcher launcher)
    : owner_(owner), pathOf_(std::move(pathOf)), launcher_(std::move(launcher)) {
  if (!launcher_)
    launcher_ = [](auto job, auto request, auto running) {
      StartUploadThread(std::move(job), std::move(request), std::move(running));
    };
}

bool UploadQueue::Start() {
  if (autoUpload_ || uploadBusy_) return false;
  autoUpload_ = true;
  return true;
}

void UploadQueue::Stop() {
  autoUpload_ = false;
  if (uploadBusy_ && job_) job_->stopRequested.store(1);
}

UploadQueue::Buttons UploadQueue::UploadButtons(bool destinationsLoaded) const {
  Buttons buttons;
  buttons.stopText = QStringLiteral("停止上传");
  if (autoUpload_) {
    buttons.stopEnabled = true;
  } else if (uploadBusy_) {
    // Stopping: pressing again only asks again, and nothing else can end the upload.
    buttons.stopEnabled = true;
    buttons.stopText = QStringLiteral("停止...");
  } else {
    buttons.startEnabled = destinationsLoaded;
  }
  return buttons;
}

int UploadQueue::Tick(const std::vector<RecordingUploadPart*>& rows) {
  // The previous upload thread may still call the destination back: the job waits for it.
  if (!autoUpload_ || uploadBusy_ || threadRunning_->load()) return -1;
  for (size_t i = 0; i < rows.size(); ++i) {
    RecordingUploadPart* row = rows[i];
    if (row == nullptr || row->uploadState != 0 || row->uploadUrl.size() < kShortestUploadUrl)
      continue;
    uploadBusy_ = true;
    StartUpload(*row);
    return static_cast<int>(i);
  }
  return -1;
}

void UploadQueue::StartUpload(RecordingUploadPart& row) {
  if (!job_) job_ = std::make_shared<EncoderJob>();
  job_->ownerWindow = owner_;
  job_->notifyMessage = WM_UPLOAD_JOB_EVENT;
  job_->finished.store(0);
  job_->stopRequested.store(0);
  job_->readerProc = UploadReader;
  job_->context = &row;
  job_->collectedOutput.clear();
  row.uploadState = 1;
  lastError_.clear();
  launcher_(job_, UploadRequest{pathOf_(row), row.uploadUrl, row.reportUrl, row.targetName},
            threadRunning_);
}

void UploadQueue::ForgetRow(const RecordingUploadPart* row) {
  if (job_ && job_->context == row) job_->context = nullptr;
}

UploadQueue::StatusView UploadQueue::OnJobStatus(const std::vector<RecordingUploadPart*>& rows,
                                                 const JobEvent& event) {
  StatusView view;
  const void* context = job_ && event.job == job_.get() ? job_->context : nullptr;
  const auto found = context == nullptr ? rows.end() : std::find(rows.begin(), rows.end(), context);
  if (found == rows.end()) {
    view.logLines << QStringLiteral("无法识别的消息！！");
    // The upload of a row that went away still ends.
    if (event.status.statusCode >= 3 && event.job == job_.get()) {
      uploadBusy_ = false;
      view.buttonsChanged = true;
    }
    return view;
  }
  view.row = static_cast<int>(found - rows.begin());
  RecordingUploadPart& row = **found;
  int code = event.status.statusCode;
  QString text = platform::AnsiToWide(event.status.statusText);
  switch (code) {
    case -1:
      view.logLines << text;
      lastError_ = WithoutErrorMarker(text);
      return view;
    case kJobError:
      if (text.isEmpty()) text = QStringLiteral("错误！");
      view.logLines << text;
      break;
    case kJobFinished:
      if (event.status.statusValue != 0) {
        // The uploader failed: the lesson is not on the platform, whatever it printed last.
        code = kJobError;
        text = lastError_.isEmpty() ? QStringLiteral("上传失败（上传程序退出码 %1）")
                                          .arg(static_cast<qint64>(event.status.statusValue))
                                    : QStringLiteral("上传失败：") + lastError_;
      } else {
        text = QStringLiteral("上传完毕");
      }
      view.logLines << text;
      break;
    case kJobStopped:
      text = QStringLiteral("上传被终止");
      view.logLines << text;
      break;
    case kJobProgress:
      text = QString::asprintf("%.1f%%", event.status.statusValue);
      break;
    case kJobStarted:
      text = QStringLiteral("开始上传...");
      break;
    default:
      break;
  }
  view.cellText = text;
  if (code >= 0) row.uploadState = code;
  if (code >= 3) {
    uploadBusy_ = false;
    row.statusText = platform::WideToAnsi(text);
    view.saveSideFile = true;
    view.buttonsChanged = true;
  }
  return view;
}

}  // namespace vortane
