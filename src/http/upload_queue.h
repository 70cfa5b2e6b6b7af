#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "http/upload_job.h"
#include "platform/recording_upload_part.h"

// The upload queue of the file manager: which row uploads next, the state of the start and
// stop buttons, and what each report of the upload job shows. It decides; the window
// shows. One upload runs at a time: the next starts once the previous one's job has ended (its
// end comes after the destination's callback).
namespace vortane {

// One report of the upload job, as the queue reads it: 1 started, 2 progress (the percent), -1 an
// error line, then exactly one end (3, 4 or 10) with its outcome.
struct UploadReport {
  std::uint64_t jobSerial = 0;
  int code = 0;
  double value = 0;
  QString text;
  bool uploaded = false;  // an end of 10: the file had gone up before something else failed
};

class UploadQueue {
 public:
  // Starts an upload's job (the default: UploadJob::Start).
  using Launcher = std::function<void(UploadJob& job)>;
  // The file of a row (from the folder and the row's file name).
  using PathOf = std::function<QString(const RecordingUploadPart& row)>;
  // Receives each report of the running upload on the owner's thread.
  using ReportSink = std::function<void(const UploadReport& report)>;

  UploadQueue(PathOf pathOf, ReportSink sink, Launcher launcher = {});

  // The period of the queue's timer.
  static constexpr int kTickMs = 500;

  bool AutoUpload() const { return autoUpload_; }
  bool UploadBusy() const { return uploadBusy_; }

  // 开始上传: false (nothing happens) while the queue is on or an upload runs; else the queue
  // is on and the owner starts its timer.
  bool Start();
  // 停止上传: the queue is off; a running upload is asked to stop (its uploader ends).
  void Stop();

  // What the two buttons show. Without upload destinations (logged out) the queue cannot be
  // switched on; a queue that is on and an upload that runs can always be stopped.
  struct Buttons {
    bool startEnabled = false;
    bool stopEnabled = false;
    QString stopText;
  };
  Buttons UploadButtons(bool destinationsLoaded) const;

  // One timer tick over the rows in list order: the first queued row with an upload address
  // starts (at most one per tick). Its index, or -1.
  int Tick(const std::vector<RecordingUploadPart*>& rows);

  // What a report of the upload job changes.
  struct StatusView {
    int row = -1;          // -1: the row is gone ("无法识别的消息！！" is logged)
    QString cellText;      // column "状态"
    QStringList logLines;  // for the log box, oldest first
    bool saveSideFile = false;
    bool buttonsChanged = false;
  };
  StatusView OnJobStatus(const std::vector<RecordingUploadPart*>& rows, const UploadReport& report);

  // The row's part is about to be destroyed (deleted, or the list refilled): later messages
  // of its upload no longer find it.
  void ForgetRow(const RecordingUploadPart* row);

  // The job of the running (or last) upload.
  UploadJob* Job() const { return job_.get(); }

 private:
  void StartUpload(RecordingUploadPart& row);

  PathOf pathOf_;
  ReportSink sink_;
  Launcher launcher_;
  bool autoUpload_ = false;
  bool uploadBusy_ = false;
  std::unique_ptr<UploadJob> job_;
  // The row the job uploads; null once it went away.
  const RecordingUploadPart* row_ = nullptr;
  // The last error line of the running upload: the reason when its uploader fails.
  QString lastError_;
};

}  // namespace vortane
