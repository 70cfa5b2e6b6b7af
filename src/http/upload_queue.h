#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "encoder/encoder_job.h"
#include "http/upload_job.h"
#include "platform/recording_upload_part.h"
#include "platform/window_message.h"

// The upload queue of the file manager: which row uploads next, the state of the start and
// stop buttons, and what each status message of the upload job shows. It decides; the window
// shows. One upload runs at a time, and the job record is handed to the next upload only after
// the previous upload thread has returned (it may still report after the uploader ended).
namespace vortane {

class UploadQueue {
 public:
  // Starts the upload thread for a job whose fields are set (the default: StartUploadThread).
  using Launcher = std::function<void(std::shared_ptr<EncoderJob> job, UploadRequest request,
                                      std::shared_ptr<std::atomic<bool>> running)>;
  // The file of a row (from the folder and the row's file name).
  using PathOf = std::function<QString(const RecordingUploadPart& row)>;

  UploadQueue(platform::WindowHandle owner, PathOf pathOf, Launcher launcher = {});

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

  // What a status message of the upload job changes.
  struct StatusView {
    int row = -1;          // -1: the row is gone ("无法识别的消息！！" is logged)
    QString cellText;      // column "状态"
    QStringList logLines;  // for the log box, oldest first
    bool saveSideFile = false;
    bool buttonsChanged = false;
  };
  StatusView OnJobStatus(const std::vector<RecordingUploadPart*>& rows, const JobEvent& event);

  // The row's part is about to be destroyed (deleted, or the list refilled): later messages
  // of its upload no longer find it.
  void ForgetRow(const RecordingUploadPart* row);

  const std::shared_ptr<EncoderJob>& Job() const { return job_; }

 private:
  void StartUpload(RecordingUploadPart& row);

  platform::WindowHandle owner_;
  PathOf pathOf_;
  Launcher launcher_;
  bool autoUpload_ = false;
  bool uploadBusy_ = false;
  std::shared_ptr<EncoderJob> job_;
  std::shared_ptr<std::atomic<bool>> threadRunning_ = std::make_shared<std::atomic<bool>>(false);
  // The last error line of the running upload: the reason when its uploader fails.
  QString lastError_;
};

}  // namespace vortane
