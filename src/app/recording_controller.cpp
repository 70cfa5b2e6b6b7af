#include "app/recording_controller.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <algorithm>
#include <functional>
#include <system_error>
#include <thread>

#include "app/toolbar_view.h"
#include "encoder/command_lines.h"
#include "encoder/encoder_job.h"
#include "encoder/progress_reader.h"
#include "files/final_copy.h"
#include "platform/code_page.h"
#include "platform/disk_space.h"
#include "platform/lesson_marks.h"
#include "platform/program_info.h"
#include "settings/settings.h"

namespace vortane {
namespace {

constexpr ColorRef kGreen = Rgb(0, 255, 0);
constexpr ColorRef kRed = Rgb(255, 0, 0);
constexpr ColorRef kWhite = Rgb(255, 255, 255);

const char kScreenTooWide[] =
    "您的屏幕分辨率(%1)过大，会明显降低录制和直播的效率！\n请将分辨率调整为：1920x1080(HD)、"
    "1600x900、1280x720 ...\n屏幕分辨率越小，录制和直播效果越好，终端适配也会越好。";
const char kNotConfigured[] = "您还没有对系统做任何设置，请完成设置后再启动录制。";
const char kNoMicrophone[] = "没有配置麦克风设备！";
const char kBadLiveAddress[] = "直播地址无效，无法启动直播！";
const char kCommandRefused[] =
    "无法启动：保存目录、设备名称或直播地址过长，或含有双引号（\"）。\n请在设置中修改后再试。";
const char kRecovering[] = "直播中断，正在恢复...";
const char kRecoveryFailed[] = "直播中断，未能恢复";
const char kRemuxFailed[] = "转换失败，原始录像已保留";
const char kRemuxStopped[] = "转换已中止，原始录像已保留";
const char kCopyUnverified[] = "转换后的文件未能确认完好，原始录像已保留";
const char kNoRoomToStart[] =
    "保存目录所在磁盘的剩余空间不足1GB，无法开始录制！\n请清理磁盘，或在设置中选择其他保存目录。";
const char kLowDiskStopping[] = "磁盘空间不足，正在停止...";
const char kLowDiskStopped[] = "磁盘空间不足，已停止 ";
const char kNoRoomToRemux[] = "磁盘已满，无法转换，原始录像已保留";
// After the mode word: "没有在录制：..." / "没有在直播：...".
const char kNoProgress[] = "：10秒没有任何进度！";
// vortenc's exit status when the capture's name holds something other than a file of the
// teacher's (a link, a FIFO, another user's file planted in a shared folder).
constexpr int kEncoderOutputRefused = 3;
const char kCaptureRefused[] = "无法写入录像文件：存放目录中的同名文件不是您自己的普通文件！";
// vortenc's exit status when the teacher declined the desktop's request to share the screen (a
// Wayland session asks through its portal); the mode word follows the text.
constexpr int kEncoderScreenShareCancelled = 4;
const char kScreenShareCancelled[] = "已取消屏幕共享，未开始";

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

std::time_t SystemNow() {
  return std::time(nullptr);
}

}  // namespace

RecordingController::RecordingController(ToolbarView& view, Settings& settings)
    : view_(view),
      settings_(settings),
      startJob_([](const std::shared_ptr<ProcessJob>& job) { job->Start(); }),
      now_(SystemNow),
      freeSpace_(platform::FreeDiskSpace) {
  for (Timer timer : {Timer::kStopDelay, Timer::kLedHold, Timer::kLiveRestart, Timer::kDiskCheck,
                      Timer::kProgressWatch}) {
    QTimer& t = TimerOf(timer);
    t.setSingleShot(true);
    t.setTimerType(Qt::PreciseTimer);
    connect(&t, &QTimer::timeout, this, [this, timer] { OnTimeout(timer); });
  }
}

QTimer& RecordingController::TimerOf(Timer timer) {
  return timers_[static_cast<int>(timer)];
}

void RecordingController::StartTimer(Timer timer, int milliseconds) {
  TimerOf(timer).start(milliseconds);
}

int RecordingController::TimerInterval(Timer timer) const {
  const QTimer& t = timers_[static_cast<int>(timer)];
  return t.isActive() ? t.interval() : 0;
}

bool RecordingController::Transition(RecordingEvent event) {
  const std::optional<RecordingState> next = NextRecordingState(state_, event, liveMode_);
  if (!next) return false;
  state_ = *next;
  return true;
}

bool RecordingController::JobActive() const {
  return state_ != RecordingState::kIdle && state_ != RecordingState::kReconnecting;
}

QString RecordingController::ModeWord() const {
  return liveMode_ ? Text("直播") : Text("录制");
}

void RecordingController::SetStatusText(const QString& text, bool isError) {
  view_.SetStatusLabel(text, isError ? kRed : kGreen);
}

void RecordingController::SetModeLabel(int kind) {
  if (kind == 0) {
    view_.SetModeLabel(ProgramTitle(), kWhite);
  } else {
    view_.SetModeLabel(liveMode_ ? Text("直播...") : Text("录制..."), kGreen);
  }
}

void RecordingController::ShowReadyStatus() {
  QString text;
  if (settings_.liveEnabled) {
    text = Text("就绪 - 准备直播");
    view_.SetTaskLabel(selectedLiveTask_ && view_.IsLoggedIn() ? selectedLiveTask_->name
                                                               : Text("自定义直播"));
  } else {
    text = Text("就绪 - 准备录制");
    view_.SetTaskLabel(QString());
  }
  if (settings_.videoSource == VideoSource::kCamera) {
    text += Text(" - 录制摄像头");
  } else if (regionMode_) {
    text += Text(" - 区域模式");
  } else {
    text += Text(" - 全屏模式");
  }
  SetStatusText(text, false);
}

bool RecordingController::CheckScreenWidth() {
  int checksBefore = screenChecks_++;
  int width = view_.ScreenWidth();
  if (checksBefore < 6 && width > 1920) {
    view_.ShowMessage(Text(kScreenTooWide).arg(width));
    return false;
  }
  return true;
}

void RecordingController::StartOrStop() {
  switch (state_) {
    case RecordingState::kIdle:
      if (!closing_) Start();
      break;
    case RecordingState::kStarting:
    case RecordingState::kRecording:
    case RecordingState::kLive:
    case RecordingState::kStalled:
      StopRecording();
      break;
    case RecordingState::kReconnecting:
      // The teacher ends a live push that is waiting to reconnect.
      EndPendingRestart();
      break;
    case RecordingState::kStopping:  // already on its way
    case RecordingState::kRemuxing:  // finishes by itself; the button is off
      break;
  }
}

void RecordingController::EndPendingRestart() {
  if (!Transition(RecordingEvent::kStopAsked)) return;
  TimerOf(Timer::kLiveRestart).stop();
  ShowEndedLook();
  SetStatusText(Text("已停止 ") + lastProgressTime_, false);
  if (selectedLiveTask_ && selectedLiveTask_->callbackUrl.size() > 8) {
    view_.SendStopSignal(selectedLiveTask_->callbackUrl);
  }
  recovering_ = false;
  StartTimer(Timer::kLedHold, 2000);
  liveMode_ = false;
}

bool RecordingController::HasRoomToStart() const {
  const std::optional<std::int64_t> free = freeSpace_(settings_.saveFolder);
  // A folder that cannot be asked is not refused here: the encoder reports what it cannot write.
  return !free || *free >= kStartFreeSpaceBytes;
}

bool RecordingController::WritingToDisk() const {
  // Only a recording writes to the disk; once a stop is on its way there is nothing to decide.
  return !liveMode_ && (state_ == RecordingState::kStarting ||
                        state_ == RecordingState::kRecording || state_ == RecordingState::kStalled);
}

void RecordingController::CheckDiskSpace() {
  if (!WritingToDisk()) return;
  // The save folder may be a network share that has stopped answering: the window must still
  // take the stop key, so the file system is asked on a thread of its own, one question at a time.
  // The answer comes back to this thread (a deleted controller takes none). The thread is not
  // joined: one stuck on the share must not hold up the toolbar's close.
  if (diskCheckOut_) return;
  QPointer<RecordingController> self(this);
  try {
    std::thread([self, query = freeSpace_, folder = settings_.saveFolder] {
      const std::optional<std::int64_t> free = query(folder);
      if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [self, free] {
          if (self) self->OnDiskSpace(free);
        });
    }).detach();
    diskCheckOut_ = true;
  } catch (const std::system_error&) {
    // No thread to spare now: asked again at the next check.
    StartTimer(Timer::kDiskCheck, kDiskSpaceCheckMs);
  }
}

void RecordingController::OnDiskSpace(std::optional<std::int64_t> free) {
  diskCheckOut_ = false;
  if (!WritingToDisk()) return;
  if (free && *free < kLowFreeSpaceBytes) {
    // Stopped while there is still room to finish the file and copy it.
    lowDiskStop_ = true;
    StopRecording();
    return;
  }
  StartTimer(Timer::kDiskCheck, kDiskSpaceCheckMs);
}

void RecordingController::OnProgressWatch() {
  // A stop on its way lets the encoder fall quiet; the end of the job ends the watch.
  if (!Transition(RecordingEvent::kProgressLost)) return;
  view_.ShowLamp(Lamp::kError);
  SetStatusText(Text("没有在") + ModeWord() + Text(kNoProgress), true);
}

bool RecordingController::Start() {
  if (!CheckScreenWidth()) return false;

  if (settings_.saveFolder.isEmpty()) {
    view_.ShowMessage(Text(kNotConfigured));
    view_.OpenSettings();
    return false;
  }

  QString firstAudio;
  QString secondAudio;
  switch (settings_.soundSource) {
    case SoundSource::kMicrophone:
      firstAudio = settings_.audioDevice;
      break;
    case SoundSource::kSpeaker:
      firstAudio = QString::fromLatin1(kSpeakerSourceName);
      break;
    case SoundSource::kBoth:
      firstAudio = QString::fromLatin1(kSpeakerSourceName);
      secondAudio = settings_.audioDevice;
      break;
    default:
      break;
  }
  if ((settings_.soundSource == SoundSource::kMicrophone ||
       settings_.soundSource == SoundSource::kBoth) &&
      settings_.audioDevice.isEmpty()) {
    view_.ShowMessage(Text(kNoMicrophone));
    return false;
  }

  QString videoName;
  if (settings_.videoSource == VideoSource::kCamera) {
    videoName = settings_.videoDevice;
    view_.ReleaseCamera();
  } else {
    videoName = QString::fromLatin1(kDesktopSourceName);
  }

  bool live = settings_.liveEnabled;
  // A live push writes no file; a recording needs room for the lesson and its copy.
  if (!live && !HasRoomToStart()) {
    view_.ShowMessage(Text(kNoRoomToStart));
    return false;
  }

  std::time_t now = now_();
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof(stamp), "%Y%m%d%H%M%S", &local);
  QString base = settings_.saveFolder + QLatin1Char('/') + QString::fromLatin1(stamp);
  capturePath_ = base + QStringLiteral(".ts");
  finalPath_ = base + (settings_.saveFormat == SaveFormat::kMp4 ? QStringLiteral("m.mp4")
                                                                : QStringLiteral("t.ts"));

  // A rectangle left over from a cancelled selection must not narrow a full-screen capture.
  CaptureRegion region = regionMode_ ? region_ : CaptureRegion{};
  std::optional<QString> command;
  if (live) {
    int videoBitrate = settings_.videoBitrateKbps > 3000 ? 0 : settings_.videoBitrateKbps;
    const bool fromTask = selectedLiveTask_ && view_.IsLoggedIn();
    liveAddress_ = fromTask ? platform::Utf8ToWide(selectedLiveTask_->pushUrl) : settings_.liveUrl;
    // Measured in bytes as the address is kept: the platform's UTF-8, config.cfg's GBK.
    const size_t addressBytes = fromTask ? selectedLiveTask_->pushUrl.size()
                                         : platform::WideToAnsi(settings_.liveUrl).size();
    if (addressBytes < 10 || addressBytes > 511) {
      view_.ShowMessage(Text(kBadLiveAddress));
      return false;
    }
    command = BuildCaptureCommand(videoName, liveAddress_, firstAudio, secondAudio, videoBitrate,
                                  settings_.audioBitrateKbps, settings_.frameRate,
                                  settings_.outputWidth, settings_.outputHeight,
                                  settings_.fluencyFirst, settings_.noiseReduction, region);
  } else {
    command = BuildCaptureCommand(videoName, capturePath_, firstAudio, secondAudio,
                                  settings_.videoBitrateKbps, settings_.audioBitrateKbps,
                                  settings_.frameRate, settings_.outputWidth,
                                  settings_.outputHeight, 0, settings_.noiseReduction, region);
  }
  if (!command) {
    view_.ShowMessage(Text(kCommandRefused));
    return false;
  }
  liveMode_ = live;
  lowDiskStop_ = false;
  StartJob(*command, false);
  return true;
}

void RecordingController::StartJob(const QString& command, bool remux) {
  // The remux's output is kept: its last time is the finished file's length.
  std::shared_ptr<ProcessJob> job =
      MakeEncoderJob(command, remux ? EncoderOutput::kKeepTail : EncoderOutput::kDrop);
  // The capture is removed only after its copy is on the disk and plays as long (see below).
  if (remux) {
    job->SetResultCheck(
        [capture = capturePath_, final = finalPath_] { return VerifyFinalCopy(capture, final); });
  }
  // Reports of a job that is no longer the current one (queued before it was replaced) are
  // dropped.
  const std::uint64_t serial = job->serial;
  auto current = [this, serial] { return currentJob_ && currentJob_->serial == serial; };
  connect(job.get(), &Job::started, this, [this, current] {
    if (current()) OnJobStarted();
  });
  connect(job.get(), &Job::progressed, this, [this, current](const QString& text, double value) {
    if (!current()) return;
    jobState_ = kJobProgress;
    emit jobReported(Remuxing(), kJobProgress, text);
    if (value == kProgressSoundMissing || value == kProgressSoundBack) {
      OnSoundNote(text, value == kProgressSoundMissing);
    } else if (!text.isEmpty()) {
      OnProgress(text);
    }
  });
  connect(job.get(), &Job::finished, this, [this, current](const JobOutcome& outcome) {
    if (current()) OnJobEnded(outcome);
  });
  Transition(remux ? RecordingEvent::kRemuxStarted : RecordingEvent::kStartAccepted);
  currentJob_ = job;
  // The toolbar shows the running look before the process exists.
  ShowRunningLook();
  startJob_(job);
}

void RecordingController::StartRemux() {
  // A copy that runs out of room would fail half-way and leave a broken file beside the lesson.
  const std::optional<std::int64_t> free = freeSpace_(settings_.saveFolder);
  const qint64 size = QFileInfo(capturePath_).size();
  if (free && *free < size + kRemuxReserveBytes) {
    view_.ShowLamp(Lamp::kError);
    SetStatusText(Text(kNoRoomToRemux), true);
    return;
  }
  std::optional<QString> command = BuildRemuxCommand(capturePath_, finalPath_);
  if (!command) {
    view_.ShowLamp(Lamp::kError);
    SetStatusText(Text(kRemuxFailed), true);
    return;
  }
  StartJob(*command, true);
}

void RecordingController::StopRecording() {
  if (!Transition(RecordingEvent::kStopAsked)) return;
  if (lowDiskStop_) {
    SetStatusText(Text(kLowDiskStopping), true);
  } else {
    SetStatusText(Text("正在停止..."), false);
  }
  view_.SetModeLabel(Text("停止..."), kGreen);
  StartTimer(Timer::kStopDelay, liveMode_ ? 500 : 1000);
  // The lesson runs on through the stop delay, but its last words are those before the key: the
  // encoder need not be waited for beyond them.
  // The encoder's picture runs on past the key; the final copy ends here. The capture is marked
  // by the job's worker: its folder may be a network share that has stopped answering.
  std::function<void()> markEnd;
  if (!liveMode_)
    markEnd = [capture = capturePath_, end = platform::MarkClockMicros()] {
      platform::MarkLessonEnd(capture, end);
    };
  if (currentJob_) currentJob_->SetStopMoment(SteadyMilliseconds(), std::move(markEnd));
}

void RecordingController::ShowEndedLook() {
  view_.SetStartButton(StartButton::kStart, Text("开始") + ModeWord());
  SetModeLabel(0);
  view_.SlideToolbar(false);
  view_.MarkFrameRecording(false);
  view_.SetSideButtonsEnabled(true);
  view_.SetStartButtonEnabled(true);
}

void RecordingController::ShowRunningLook() {
  view_.ShowLamp(Lamp::kRunning);
  view_.SetStartButton(StartButton::kStop, Text("停止") + ModeWord());
  view_.MarkFrameRecording(true);
  view_.SetSideButtonsEnabled(false);
  view_.HideFileManager();
  if (Remuxing()) {
    view_.SetStartButtonEnabled(false);
    SetStatusText(Text("检查格式..."), false);
  } else {
    if (settings_.hideOnStart) view_.SlideToolbar(true);
    if (!liveMode_) StartTimer(Timer::kDiskCheck, kDiskSpaceCheckMs);
    // "正在录制" with its time comes with the encoder's first picture.
    SetStatusText(recovering_ ? Text(kRecovering) : Text("正在启动") + ModeWord() + Text("..."),
                  recovering_);
    // The remux keeps the recording's length: it is what "已停止" reports when the file is done.
    lastProgressTime_.clear();
    silentSounds_.clear();
    StartTimer(Timer::kProgressWatch, kProgressWatchMs);
  }
  startTime_ = now_();
  SetModeLabel(1);
}

void RecordingController::OnJobStarted() {
  jobState_ = kJobStarted;
  emit jobReported(Remuxing(), kJobStarted, QString());
  // The process exists now: the push's ten seconds and the progress watch count from here.
  if (state_ == RecordingState::kStarting || state_ == RecordingState::kRemuxing) ShowRunningLook();
}

void RecordingController::OnJobEnded(const JobOutcome& outcome) {
  jobState_ = outcome.StatusCode();
  // The copy was checked on the job's worker: on the disk, as long as the capture. The capture
  // goes before anyone hears of the end, so whoever looks then finds the lesson in one file.
  if (Remuxing() && outcome.end == JobOutcome::End::kExited && outcome.exitCode == 0)
    QFile::remove(capturePath_);
  emit jobReported(Remuxing(), outcome.StatusCode(), outcome.text);
  if (Remuxing()) {
    OnRemuxEnded(outcome);
  } else {
    OnCaptureEnded(outcome);
  }
}

void RecordingController::OnProgress(const QString& text) {
  const QString progress = text.left(31);
  const QString& time = progress;
  if (Remuxing()) {
    SetStatusText(Text("检查格式 ") + time, false);
    return;
  }
  // A time that does not move is no progress (an encoder can repeat its last line).
  const bool moved = progress != lastProgressTime_;
  lastProgressTime_ = progress;
  // Asked to stop, the encoder finishes its file and keeps reporting until it ends: the times
  // still count for the recording's length, but "正在停止..." stays.
  if (state_ == RecordingState::kStopping) return;
  if (moved) {
    StartTimer(Timer::kProgressWatch, kProgressWatchMs);
    Transition(RecordingEvent::kFirstProgress);
    if (Transition(RecordingEvent::kProgressBack)) view_.ShowLamp(Lamp::kRunning);
  }
  ShowProgress();
}

void RecordingController::ShowProgress() {
  const QString running = Text("正在") + ModeWord() + QLatin1Char(' ') + lastProgressTime_;
  if (silentSounds_.isEmpty()) {
    SetStatusText(running, false);
  } else {
    // The lesson goes on without the silent source; the teacher must know at once.
    SetStatusText(running + Text("（") + silentSounds_.join(Text("、")) + Text(" 没有声音）"),
                  true);
  }
}

void RecordingController::OnSoundNote(const QString& source, bool silent) {
  silentSounds_.removeAll(source);
  if (silent) silentSounds_.append(source);
  // Shown with the next time while the capture has none yet, is quiet or is being stopped.
  const bool showing = state_ == RecordingState::kRecording || state_ == RecordingState::kLive;
  if (showing && !lastProgressTime_.isEmpty()) ShowProgress();
}

void RecordingController::OnCaptureEnded(const JobOutcome& outcome) {
  int code = outcome.StatusCode();
  // A stop asked for, or the program's close, wins over an end by itself (a signal that reached
  // the encoder, a push that broke off in the same moment): the capture is finished as the
  // user's stop would finish it, and is not restarted.
  const bool stopAsked = closing_ || state_ == RecordingState::kStopping;
  // The stop delay, the disk check and the progress watch belong to this capture, not to
  // whatever comes next.
  TimerOf(Timer::kStopDelay).stop();
  TimerOf(Timer::kDiskCheck).stop();
  TimerOf(Timer::kProgressWatch).stop();
  if (code == kJobFinished && stopAsked) code = kJobStopped;

  if (code != kJobStopped && !stopAsked && (recovering_ || now_() - startTime_ > 10) &&
      Transition(RecordingEvent::kCaptureBrokeOff)) {
    // The push broke off after it had been running: keep the lesson on air.
    SetModeLabel(0);
    view_.SlideToolbar(false);
    SetStatusText(Text(kRecovering), true);
    recovering_ = true;
    StartTimer(Timer::kLiveRestart, kLiveRestartDelayMs);
    return;
  }
  if (!Transition(RecordingEvent::kCaptureEnded)) return;

  ShowEndedLook();
  recovering_ = false;
  QString endText = outcome.text;
  if (endText.isEmpty() && code == kJobFinished &&
      static_cast<int>(outcome.exitCode) == kEncoderOutputRefused)
    endText = Text(kCaptureRefused);
  // The teacher's own answer to the desktop's share dialog is no fault: the toolbar goes back to
  // rest and says why nothing runs.
  const bool shareCancelled = outcome.text.isEmpty() && code == kJobFinished &&
                              static_cast<int>(outcome.exitCode) == kEncoderScreenShareCancelled;
  if (shareCancelled) endText = Text(kScreenShareCancelled) + ModeWord();
  if (endText.isEmpty()) endText = code == kJobFinished ? Text("异常终止！") : Text("出现错误！");

  if (shareCancelled) {
    view_.ShowLamp(Lamp::kRunning);
    SetStatusText(endText, false);
  } else if (code == kJobStopped) {
    SetStatusText(Text("已停止 ") + lastProgressTime_, false);
    if (liveMode_ && selectedLiveTask_ && selectedLiveTask_->callbackUrl.size() > 8) {
      view_.SendStopSignal(selectedLiveTask_->callbackUrl);
    }
    if (!liveMode_) StartRemux();
  } else {
    view_.ShowLamp(Lamp::kError);
    SetStatusText(endText, true);
  }
  StartTimer(Timer::kLedHold, 2000);
  liveMode_ = false;
}

void RecordingController::OnRemuxEnded(const JobOutcome& outcome) {
  Transition(RecordingEvent::kRemuxEnded);
  ShowEndedLook();
  const int code = outcome.StatusCode();
  const std::uint32_t exitCode = outcome.exitCode;
  if (code == kJobError) {
    QString endText = outcome.text;
    if (endText.isEmpty()) endText = Text("出现错误！");
    view_.ShowLamp(Lamp::kError);
    SetStatusText(endText + Text("，") + Text(kRemuxFailed), true);
  } else if (code == kJobStopped) {
    // The final file is incomplete; the temporary recording is all the lesson has.
    view_.ShowLamp(Lamp::kError);
    SetStatusText(Text(kRemuxStopped), true);
  } else if (exitCode == 0) {
    // The capture's clock starts at the encoder's start, a little before its first frame; the
    // copy starts at that frame, so its last time is the lesson's real length.
    if (std::optional<std::string> length = FindLastProgressTime(outcome.outputTail))
      lastProgressTime_ = QString::fromStdString(*length);
    const QString length = lastProgressTime_;
    if (lowDiskStop_) {
      // Saved, but the teacher must make room before the next lesson.
      view_.ShowLamp(Lamp::kError);
      SetStatusText(Text(kLowDiskStopped) + length, true);
    } else {
      view_.ShowLamp(Lamp::kRunning);
      SetStatusText(Text("已停止 ") + length, false);
    }
  } else {
    view_.ShowLamp(Lamp::kError);
    SetStatusText(Text(exitCode == kResultRejectedExitCode ? kCopyUnverified : kRemuxFailed), true);
  }
  StartTimer(Timer::kLedHold, 2000);
  liveMode_ = false;
}

void RecordingController::OnRestartDue() {
  if (state_ != RecordingState::kReconnecting) return;
  if (closing_) {
    // No push outlives the program.
    EndPendingRestart();
    return;
  }
  if (Start()) return;
  // The restart was refused (its reason is already shown): leave the running look.
  Transition(RecordingEvent::kStartRefused);
  ShowEndedLook();
  view_.ShowLamp(Lamp::kError);
  SetStatusText(Text(kRecoveryFailed), true);
  // Like every other end, the red LED blinks for a moment and then holds.
  StartTimer(Timer::kLedHold, 2000);
  recovering_ = false;
  liveMode_ = false;
}

void RecordingController::OnTimeout(Timer timer) {
  TimerOf(timer).stop();
  switch (timer) {
    case Timer::kStopDelay:
      if (state_ == RecordingState::kStopping && currentJob_) currentJob_->RequestStop();
      break;
    case Timer::kDiskCheck:
      CheckDiskSpace();
      break;
    case Timer::kProgressWatch:
      OnProgressWatch();
      break;
    case Timer::kLedHold:
      view_.StopLedBlinking();
      break;
    case Timer::kLiveRestart:
      OnRestartDue();
      break;
    case Timer::kCount:
      break;
  }
}

}  // namespace vortane
