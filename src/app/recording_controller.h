#pragma once

#include <QString>
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
struct CaptureSettings;

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

  using JobStarter = std::function<void(std::shared_ptr<EncoderJob>)>;
  using Clock = std::function<std::time_t()>;

  RecordingController(ToolbarView& view, CaptureSettings& settings);

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

  // For tests: how jobs are started (default StartEncoderJob) and what time it is.
  void SetJobStarter(JobStarter starter) { startJob_ = std::move(starter); }
  void SetClock(Clock clock) { now_ = std::move(clock); }

  // The delays between attempts while a live push recovers: 1 s, doubling up to 5 s.
  static int RecoveryDelayMs(int attempt);

 private:
  bool Start();
  void StartJob(const QString& command, std::uint32_t message, int kind);
  void StartRemux();
  void ShowEndedLook();
  void EndRecovery();
  QString ModeWord() const;

  ToolbarView& view_;
  CaptureSettings& settings_;
  JobStarter startJob_;
  Clock now_;

  std::shared_ptr<EncoderJob> currentJob_;
  bool jobEnded_ = true;
  int jobState_ = kJobStopped;
  std::time_t startTime_ = 0;
  QString capturePath_;
  QString finalPath_;
  int jobKind_ = 0;  // 0 capture, 1 remux
  bool liveMode_ = false;
  bool stopping_ = false;
  bool regionMode_ = false;
  CaptureRegion region_;
  bool restartPending_ = false;
  std::optional<LiveTask> selectedLiveTask_;
  std::string lastProgressTime_;
  std::string liveAddress_;
  int screenChecks_ = 0;

  // A live push that broke off after running for a while is retried until the user stops it.
  bool recovering_ = false;
  int recoveryAttempt_ = 0;
};

}  // namespace vortane
