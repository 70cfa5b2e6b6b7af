#include "http/upload_queue.h"

#include <algorithm>

#include "http/upload_reader.h"

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

UploadQueue::UploadQueue(PathOf pathOf, ReportSink sink, Launcher launcher)
    : pathOf_(std::move(pathOf)), sink_(std::move(sink)), launcher_(std::move(launcher)) {
  if (!launcher_) launcher_ = [](UploadJob& job) { job.Start(); };
}

bool UploadQueue::Start() {
  if (autoUpload_ || uploadBusy_) return false;
  autoUpload_ = true;
  return true;
}

void UploadQueue::Stop() {
  autoUpload_ = false;
  if (uploadBusy_ && job_) job_->RequestStop();
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
  // An upload is busy until its job's end, which comes after the destination's callback.
  if (!autoUpload_ || uploadBusy_) return -1;
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
  // The previous job has ended (its end made the queue free); it goes once its last report has
  // been handled.
  if (job_) job_.release()->deleteLater();
  job_ = std::make_unique<UploadJob>(
      UploadRequest{pathOf_(row), row.uploadUrl, row.reportUrl, row.targetName});
  row_ = &row;
  row.uploadState = 1;
  lastError_.clear();
  UploadJob* job = job_.get();
  const std::uint64_t serial = job->serial;
  // Reports reach the owner's thread queued; with the job gone, its late ones are dropped.
  QObject::connect(job, &Job::started, job, [this, serial] {
    sink_(UploadReport{serial, kJobStarted, 0, {}, false});
  });
  QObject::connect(job, &Job::progressed, job, [this, serial](const QString&, double percent) {
    sink_(UploadReport{serial, kJobProgress, percent, {}, false});
  });
  QObject::connect(job, &Job::noted, job, [this, serial](const QString& line) {
    sink_(UploadReport{serial, -1, 0, line, false});
  });
  QObject::connect(job, &Job::finished, job, [this, serial](const JobOutcome& outcome) {
    sink_(UploadReport{serial, outcome.StatusCode(), static_cast<double>(outcome.exitCode),
                       outcome.text, outcome.childSucceeded});
  });
  launcher_(*job);
}

void UploadQueue::ForgetRow(const RecordingUploadPart* row) {
  if (row_ == row) row_ = nullptr;
}

UploadQueue::StatusView UploadQueue::OnJobStatus(const std::vector<RecordingUploadPart*>& rows,
                                                 const UploadReport& report) {
  StatusView view;
  const bool current = job_ && report.jobSerial == job_->serial;
  const RecordingUploadPart* context = current ? row_ : nullptr;
  const auto found = context == nullptr ? rows.end() : std::find(rows.begin(), rows.end(), context);
  if (found == rows.end()) {
    view.logLines << QStringLiteral("无法识别的消息！！");
    // The upload of a row that went away still ends.
    if (report.code >= 3 && current) {
      uploadBusy_ = false;
      view.buttonsChanged = true;
    }
    return view;
  }
  view.row = static_cast<int>(found - rows.begin());
  RecordingUploadPart& row = **found;
  int code = report.code;
  QString text = report.text;
  switch (code) {
    case -1:
      view.logLines << text;
      lastError_ = WithoutErrorMarker(text);
      return view;
    case kJobError:
      // The file went up; the server's answer or the callback failed after it.
      if (report.uploaded) view.logLines << QStringLiteral("上传完毕");
      if (text.isEmpty()) text = QStringLiteral("错误！");
      view.logLines << text;
      break;
    case kJobFinished:
      if (report.value != 0) {
        // The uploader failed: the lesson is not on the platform, whatever it printed last.
        code = kJobError;
        text = lastError_.isEmpty() ? QStringLiteral("上传失败（上传程序退出码 %1）")
                                          .arg(static_cast<qint64>(report.value))
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
      text = QString::asprintf("%.1f%%", report.value);
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
    row.statusText = text;
    view.saveSideFile = true;
    view.buttonsChanged = true;
  }
  return view;
}

}  // namespace vortane
