#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "encoder/capture_region.h"
#include "encoder/encoder_job.h"
#include "http/live_task.h"
#include "platform/window_message.h"

namespace vortane {

class ToolbarView;
struct Settings;

// The state machine behind the start button: checks the settings, names the files, runs the
// capture job, stops it, remuxes a finished recording into its final file, and keeps a live push
// going through network drops. It runs on the UI thread and drives the toolbar through
// ToolbarView.
class RecordingController {
 public:
  // Toolbar timers owned by the controller.
  static constexpr int kStopTimer = 13;
  static constexpr int kLedHoldTimer = 14;
  static constexpr int kLiveRestartTimer = 20;
  // Looks at the free space in the save folder while a recording runs.
  static constexpr int kDiskSpaceTimer = 16;
  static constexpr int kDiskSpaceCheckMs = 3000;
  // Watches the encoder's progress: none this long after the start, or no new time this long
  // after the last one, and the toolbar says that nothing is being recorded.
  static constexpr int kProgressWatchTimer = 17;
  static constexpr int kProgressWatchMs = 10000;

  // A recording needs this much free space to start ...
  static constexpr std::int64_t kStartFreeSpaceBytes = std::int64_t(1) << 30;  // 1 GB
  // ... and is stopped (and its lesson so far saved) when less than this is left.
  static constexpr std::int64_t kLowFreeSpaceBytes = std::int64_t(500) << 20;  // 500 MB
  // The copy into the final file needs the recording's size plus this much.
  static constexpr std::int64_t kRemuxReserveBytes = std::int64_t(16) << 20;

  using JobStarter = std::function<void(std::shared_ptr<EncoderJob>)>;
  using Clock = std::function<std::time_t()>;
  // Bytes free in a folder; nothing when it cannot be told.
  using FreeSpaceQuery = std::function<std::optional<std::int64_t>(const QString& folder)>;

  RecordingController(ToolbarView& view, Settings& settings);

  // The start button and F8.
  void StartOrStop();
  // The stop command: asks the job to end after a short delay (timer 13).
  void StopRecording();
  // WM_RECORD_JOB_EVENT and WM_REMUX_JOB_EVENT. Messages of a job that is no longer the current
  // one are ignored.
  void OnJobMessage(const platform::WindowMessage& message);
  // Reacts to a status of the current job (also called by the controller itself with code 1).
  void OnJobStatus(int code, const std::string& text, double value);
  void OnTimer(int id);

  void ShowReadyStatus();
  void SetStatusText(const QString& text, bool isError);
  // 0: white program title; 1: green "直播..." or "录制...".
  void SetModeLabel(int kind);

  // Runs the screen width check; false (after the warning) while the start must be refused.
  bool CheckScreenWidth();

  // Region chosen in the region selection (none = full screen).
  void SetRegionMode(bool on) { regionMode_ = on; }
  void SetRegion(const CaptureRegion& region) { region_ = region; }
  bool regionMode() const { return regionMode_; }
  const CaptureRegion& region() const { return region_; }

  void SetSelectedLiveTask(std::optional<LiveTask> task) { selectedLiveTask_ = std::move(task); }
  const std::optional<LiveTask>& selectedLiveTask() const { return selectedLiveTask_; }

  int jobState() const { return jobState_; }
  bool liveMode() const { return liveMode_; }
  bool restartPending() const { return restartPending_; }
  bool recovering() const { return recovering_; }
  bool stopping() const { return stopping_; }
  int jobKind() const { return jobKind_; }
  // A capture or remux job exists and has not reported its end yet.
  bool JobActive() const { return currentJob_ != nullptr && !jobEnded_; }
  const QString& capturePath() const { return capturePath_; }
  const QString& finalPath() const { return finalPath_; }
  const std::string& liveAddress() const { return liveAddress_; }
  const std::shared_ptr<EncoderJob>& currentJob() const { return currentJob_; }

  // The program is closing: a running job is finished like a stop, and nothing starts again.
  void SetClosing(bool closing) { closing_ = closing; }
  bool closing() const { return closing_; }

  // For tests: how jobs are started (default StartEncoderJob), what time it is and how much room
  // a folder has (default: the file system's own answer).
  void SetJobStarter(JobStarter starter) { startJob_ = std::move(starter); }
  void SetClock(Clock clock) { now_ = std::move(clock); }
  void SetFreeSpaceQuery(FreeSpaceQuery query) { freeSpace_ = std::move(query); }

  // A live push that broke off is tried again this long after each failure, until it flows or
  // the user stops it: a server that comes back is on air again within about two seconds.
  static constexpr int kLiveRestartDelayMs = 1000;

 private:
  bool Start();
  void StartJob(const QString& command, std::uint32_t message, int kind);
  void StartRemux();
  void ShowEndedLook();
  void EndRecovery();
  // Ends a live push that waits for its next attempt, as the user's stop would.
  void EndPendingRestart();
  void CheckDiskSpace();
  // The capture's encoder reported a new time: the watch starts over.
  void WatchProgress();
  void OnProgressWatch();
  bool HasRoomToStart() const;
  QString ModeWord() const;
  void ShowProgress(const std::string& progress);

  ToolbarView& view_;
  Settings& settings_;
  JobStarter startJob_;
  Clock now_;
  FreeSpaceQuery freeSpace_;

  std::shared_ptr<EncoderJob> currentJob_;
  bool jobEnded_ = true;
  int jobState_ = kJobStopped;
  std::time_t startTime_ = 0;
  QString capturePath_;
  QString finalPath_;
  int jobKind_ = 0;  // 0 capture, 1 remux
  bool liveMode_ = false;
  bool stopping_ = false;
  // The job the pending stop timer (13) was started for: it stops that job and no other.
  std::uint64_t stopJobSerial_ = 0;
  bool closing_ = false;
  // The recording was stopped because the disk was nearly full.
  bool lowDiskStop_ = false;
  // The capture's encoder went quiet: the lamp is red until it reports again.
  bool stalled_ = false;
  bool regionMode_ = false;
  CaptureRegion region_;
  bool restartPending_ = false;
  std::optional<LiveTask> selectedLiveTask_;
  std::string lastProgressTime_;
  QStringList silentSounds_;  // the capture's sound sources that deliver nothing
  std::string liveAddress_;
  int screenChecks_ = 0;

  // A live push that broke off after running for a while is retried until the user stops it.
  bool recovering_ = false;
};

}  // namespace vortane
