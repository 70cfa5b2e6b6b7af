#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/recording_state.h"
#include "encoder/capture_region.h"
#include "encoder/encoder_job.h"
#include "http/live_task.h"

namespace vortane {

class ToolbarView;
struct Settings;

// The state machine behind the start button: checks the settings, names the files, runs the
// capture job, stops it, remuxes a finished recording into its final file, and keeps a live push
// going through network drops. It runs on the UI thread, holds one RecordingState, owns its
// timers and drives the toolbar through ToolbarView.
class RecordingController : public QObject {
  Q_OBJECT

 public:
  // The controller's own one-shot timers.
  enum class Timer {
    kStopDelay,      // between the stop key and the job's stop request
    kLedHold,        // the lamp blinks this long after an end, then holds
    kLiveRestart,    // between a push's break-off and its next start
    kDiskCheck,      // looks at the free space in the save folder while a recording runs
    kProgressWatch,  // no new time this long and the toolbar says nothing is being recorded
    kCount
  };
  static constexpr int kDiskSpaceCheckMs = 3000;
  static constexpr int kProgressWatchMs = 10000;

  // A recording needs this much free space to start ...
  static constexpr std::int64_t kStartFreeSpaceBytes = std::int64_t(1) << 30;  // 1 GB
  // ... and is stopped (and its lesson so far saved) when less than this is left.
  static constexpr std::int64_t kLowFreeSpaceBytes = std::int64_t(500) << 20;  // 500 MB
  // The copy into the final file needs the recording's size plus this much.
  static constexpr std::int64_t kRemuxReserveBytes = std::int64_t(16) << 20;

  using JobStarter = std::function<void(const std::shared_ptr<ProcessJob>&)>;
  using Clock = std::function<std::time_t()>;
  // Bytes free in a folder; nothing when it cannot be told.
  using FreeSpaceQuery = std::function<std::optional<std::int64_t>(const QString& folder)>;

  RecordingController(ToolbarView& view, Settings& settings);

  // The start button and F8.
  void StartOrStop();
  // The stop command: asks the capture to end after a short delay. A remux is never cut short.
  void StopRecording();
  // A tick of one of the controller's timers (their timeout calls it; tests call it directly).
  void OnTimeout(Timer timer);
  // The interval a timer runs with; 0 while it does not run.
  int TimerInterval(Timer timer) const;

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

  RecordingState state() const { return state_; }
  // The last status code the current job reported (kJobStopped before the first job).
  int jobState() const { return jobState_; }
  bool liveMode() const { return liveMode_; }
  bool restartPending() const { return state_ == RecordingState::kReconnecting; }
  bool recovering() const { return recovering_; }
  // A capture or remux job exists and has not reported its end yet.
  bool JobActive() const;
  // The capture's encoder runs (also while it is asked to stop).
  bool Capturing() const { return JobActive() && !Remuxing(); }
  bool Remuxing() const { return state_ == RecordingState::kRemuxing; }
  const QString& capturePath() const { return capturePath_; }
  const QString& finalPath() const { return finalPath_; }
  const QString& liveAddress() const { return liveAddress_; }
  const std::shared_ptr<ProcessJob>& currentJob() const { return currentJob_; }

  // The program is closing: a running job is finished like a stop, and nothing starts again.
  void SetClosing(bool closing) { closing_ = closing; }
  bool closing() const { return closing_; }

  // For tests: how jobs are started (default ProcessJob::Start), what time it is and how much room
  // a folder has (default: the file system's own answer; while recording it is asked on a thread
  // of its own).
  void SetJobStarter(JobStarter starter) { startJob_ = std::move(starter); }
  void SetClock(Clock clock) { now_ = std::move(clock); }
  void SetFreeSpaceQuery(FreeSpaceQuery query) { freeSpace_ = std::move(query); }

  // A live push that broke off is tried again this long after each failure, until it flows or
  // the user stops it: a server that comes back is on air again within about two seconds.
  static constexpr int kLiveRestartDelayMs = 1000;

 signals:
  // A report of the capture's or the remux's job arrived (before the controller acts on it); the
  // code is the report's number (JobOutcome::StatusCode for an end).
  void jobReported(bool remux, int code, const QString& text);

 private:
  void OnJobStarted();
  void OnJobEnded(const JobOutcome& outcome);
  // Moves to the state the table gives for `event`; false (and nothing changes) when the event
  // means nothing in the current state.
  bool Transition(RecordingEvent event);
  QTimer& TimerOf(Timer timer);
  void StartTimer(Timer timer, int milliseconds);
  bool Start();
  void StartJob(const QString& command, bool remux);
  void StartRemux();
  void ShowRunningLook();
  void OnProgress(const QString& text);
  // "正在录制 <time>", with the sound sources that deliver nothing named in red.
  void ShowProgress();
  // A sound source of the capture fell silent (or its sound came after all).
  void OnSoundNote(const QString& source, bool silent);
  void OnCaptureEnded(const JobOutcome& outcome);
  void OnRemuxEnded(const JobOutcome& outcome);
  void ShowEndedLook();
  // Ends a live push that waits for its next attempt, as the user's stop would.
  void EndPendingRestart();
  void OnRestartDue();
  bool WritingToDisk() const;
  void CheckDiskSpace();
  void OnDiskSpace(std::optional<std::int64_t> free);
  void OnProgressWatch();
  bool HasRoomToStart() const;
  QString ModeWord() const;

  ToolbarView& view_;
  Settings& settings_;
  JobStarter startJob_;
  Clock now_;
  FreeSpaceQuery freeSpace_;
  bool diskCheckOut_ = false;  // a free-space question has not been answered yet

  RecordingState state_ = RecordingState::kIdle;
  QTimer timers_[static_cast<int>(Timer::kCount)];

  // What the current start chose and found; the state says where it stands.
  std::shared_ptr<ProcessJob> currentJob_;
  int jobState_ = kJobStopped;
  std::time_t startTime_ = 0;
  QString capturePath_;
  QString finalPath_;
  bool liveMode_ = false;
  // The recording is stopped because the disk was nearly full.
  bool lowDiskStop_ = false;
  // The push has broken off since the teacher started it and is kept on air.
  bool recovering_ = false;
  QString lastProgressTime_;
  QStringList silentSounds_;  // the capture's sound sources that deliver nothing
  QString liveAddress_;

  // Set by the toolbar.
  bool closing_ = false;
  bool regionMode_ = false;
  CaptureRegion region_;
  std::optional<LiveTask> selectedLiveTask_;
  int screenChecks_ = 0;
};

}  // namespace vortane
