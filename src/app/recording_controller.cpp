#include "app/recording_controller.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <any>

#include "app/toolbar_view.h"
#include "encoder/command_lines.h"
#include "encoder/progress_reader.h"
#include "files/final_copy.h"
#include "platform/code_page.h"
#include "platform/disk_space.h"
#include "platform/program_info.h"
#include "platform/window_messages.h"
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
      startJob_(StartEncoderJob),
      now_(SystemNow),
      freeSpace_(platform::FreeDiskSpace) {}

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
  if (restartPending_) {
    // The user ends a live push that is waiting to reconnect.
    EndPendingRestart();
    return;
  }
  if (JobActive() && jobKind_ == 1) return;  // the remux finishes by itself; the button is off
  if (jobState_ == kJobStarted || jobState_ == kJobProgress || JobActive()) {
    StopRecording();
    return;
  }
  if (closing_) return;
  Start();
}

void RecordingController::EndPendingRestart() {
  view_.KillTimer(kLiveRestartTimer);
  restartPending_ = false;
  ShowEndedLook();
  SetStatusText(Text("已停止 ") + QString::fromStdString(lastProgressTime_), false);
  if (selectedLiveTask_ && selectedLiveTask_->callbackUrl.size() > 8) {
    view_.SendStopSignal(selectedLiveTask_->callbackUrl);
  }
  EndRecovery();
  view_.StartTimer(kLedHoldTimer, 2000);
  liveMode_ = false;
}

bool RecordingController::HasRoomToStart() const {
  const std::optional<std::int64_t> free = freeSpace_(settings_.saveFolder);
  // A folder that cannot be asked is not refused here: the encoder reports what it cannot write.
  return !free || *free >= kStartFreeSpaceBytes;
}

void RecordingController::CheckDiskSpace() {
  if (!JobActive() || jobKind_ != 0 || liveMode_ || stopping_ || currentJob_->stopRequested) {
    return;
  }
  const std::optional<std::int64_t> free = freeSpace_(settings_.saveFolder);
  if (free && *free < kLowFreeSpaceBytes) {
    // Stopped while there is still room to finish the file and copy it.
    lowDiskStop_ = true;
    StopRecording();
    return;
  }
  view_.StartTimer(kDiskSpaceTimer, kDiskSpaceCheckMs);
}

void RecordingController::WatchProgress() {
  if (stalled_) {
    stalled_ = false;
    view_.ShowLamp(Lamp::kRunning);
  }
  view_.StartTimer(kProgressWatchTimer, kProgressWatchMs);
}

void RecordingController::OnProgressWatch() {
  // A stop on its way lets the encoder fall quiet; the end of the job ends the watch.
  if (!JobActive() || jobKind_ != 0 || stopping_ || currentJob_->stopRequested) return;
  stalled_ = true;
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
    liveAddress_ = selectedLiveTask_ && view_.IsLoggedIn()
                       ? selectedLiveTask_->pushUrl
                       : platform::WideToAnsi(settings_.liveUrl);
    if (liveAddress_.size() < 10 || liveAddress_.size() > 511) {
      view_.ShowMessage(Text(kBadLiveAddress));
      return false;
    }
    command = BuildCaptureCommand(
        videoName, platform::AnsiToWide(liveAddress_), firstAudio, secondAudio, videoBitrate,
        settings_.audioBitrateKbps, settings_.frameRate, settings_.outputWidth,
        settings_.outputHeight, settings_.fluencyFirst, settings_.noiseReduction, region);
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
  StartJob(*command, WM_RECORD_JOB_EVENT, 0);
  return true;
}

void RecordingController::StartJob(const QString& command, std::uint32_t message, int kind) {
  auto job = std::make_shared<EncoderJob>();
  job->ownerWindow = view_.MessageHandle();
  job->commandLineWide = command;
  job->notifyMessage = message;
  // The remux's output is kept: its last time is the finished file's length.
  job->readerProc = kind == 1 ? EncoderProgressTailReader : EncoderProgressReader;
  // The capture is removed only after its copy is on the disk and plays as long (see below).
  if (kind == 1) {
    job->checkResult = [capture = capturePath_, final = finalPath_] {
      return VerifyFinalCopy(capture, final);
    };
  }
  currentJob_ = job;
  jobEnded_ = false;
  jobKind_ = kind;
  // The toolbar shows the running look before the process exists.
  OnJobStatus(kJobStarted, std::string(), 0.0);
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
  StartJob(*command, WM_REMUX_JOB_EVENT, 1);
}

void RecordingController::StopRecording() {
  if (lowDiskStop_) {
    SetStatusText(Text(kLowDiskStopping), true);
  } else {
    SetStatusText(Text("正在停止..."), false);
  }
  view_.SetModeLabel(Text("停止..."), kGreen);
  view_.StartTimer(kStopTimer, liveMode_ ? 500 : 1000);
  stopping_ = true;
  stopJobSerial_ = currentJob_ ? currentJob_->serial : 0;
  // The lesson runs on through the stop delay, but its last words are those before the key: the
  // encoder need not be waited for beyond them.
  if (currentJob_) currentJob_->stopMomentMs = SteadyMilliseconds();
}

void RecordingController::OnJobMessage(const platform::WindowMessage& message) {
  const auto* event = std::any_cast<JobEvent>(&message.payload);
  if (event == nullptr || currentJob_ == nullptr || event->jobSerial != currentJob_->serial) return;
  int code = event->status.statusCode;
  jobState_ = code;
  if (code == kJobFinished || code == kJobStopped || code == kJobError) jobEnded_ = true;
  OnJobStatus(code, std::string(event->status.statusText), event->status.statusValue);
}

void RecordingController::ShowEndedLook() {
  view_.SetStartButton(StartButton::kStart, Text("开始") + ModeWord());
  SetModeLabel(0);
  view_.SlideToolbar(false);
  view_.MarkFrameRecording(false);
  view_.SetSideButtonsEnabled(true);
  view_.SetStartButtonEnabled(true);
}

void RecordingController::EndRecovery() {
  recovering_ = false;
}

void RecordingController::ShowProgress(const std::string& progress) {
  // Asked to stop, the encoder finishes its file and keeps reporting until it ends: the times
  // still count for the recording's length, but "正在停止..." stays.
  if (stopping_ || (currentJob_ && currentJob_->stopRequested)) return;
  const QString time = platform::AnsiToWide(progress);
  if (jobKind_ == 1) {
    SetStatusText(Text("检查格式 ") + time, false);
  } else if (!silentSounds_.isEmpty()) {
    // The lesson goes on without the silent source; the teacher must know at once.
    SetStatusText(Text("正在") + ModeWord() + QLatin1Char(' ') + time + Text("（") +
                      silentSounds_.join(Text("、")) + Text(" 没有声音）"),
                  true);
  } else {
    SetStatusText(Text("正在") + ModeWord() + QLatin1Char(' ') + time, false);
  }
}

void RecordingController::OnJobStatus(int code, const std::string& text, double value) {
  bool stopPending = false;
  if (jobKind_ == 0 && (code == kJobFinished || code == kJobStopped || code == kJobError)) {
    // A stop asked for, or the program's close, wins over an end by itself (a signal that
    // reached the encoder, a push that broke off in the same moment): the capture is finished as
    // the user's stop would finish it, and is not restarted.
    stopPending = closing_ || stopping_ || (currentJob_ && currentJob_->stopRequested != 0);
    // The stop timer, the disk check and the progress watch belong to this capture, not to
    // whatever comes next.
    view_.KillTimer(kStopTimer);
    view_.KillTimer(kDiskSpaceTimer);
    view_.KillTimer(kProgressWatchTimer);
    stalled_ = false;
    stopping_ = false;
    if (code == kJobFinished && stopPending) code = kJobStopped;
  }
  bool ended = code == kJobFinished || code == kJobError;
  if (ended && liveMode_ && jobKind_ == 0 && !stopPending &&
      (recovering_ || now_() - startTime_ > 10)) {
    // The push broke off after it had been running: keep the lesson on air.
    SetModeLabel(0);
    view_.SlideToolbar(false);
    SetStatusText(Text(kRecovering), true);
    recovering_ = true;
    restartPending_ = true;
    view_.StartTimer(kLiveRestartTimer, kLiveRestartDelayMs);
    return;
  }

  if (code == kJobStarted) {
    view_.ShowLamp(Lamp::kRunning);
    view_.SetStartButton(StartButton::kStop, Text("停止") + ModeWord());
    view_.MarkFrameRecording(true);
    view_.SetSideButtonsEnabled(false);
    view_.HideFileManager();
    if (jobKind_ == 1) {
      view_.SetStartButtonEnabled(false);
      SetStatusText(Text("检查格式..."), false);
    } else {
      if (settings_.hideOnStart) view_.SlideToolbar(true);
      if (!liveMode_) view_.StartTimer(kDiskSpaceTimer, kDiskSpaceCheckMs);
      if (recovering_) {
        SetStatusText(Text(kRecovering), true);
      } else {
        // "正在录制" with its time comes with the encoder's first picture.
        SetStatusText(Text("正在启动") + ModeWord() + Text("..."), false);
      }
    }
    // The remux keeps the recording's length: it is what "已停止" reports when the file is done.
    if (jobKind_ == 0) {
      lastProgressTime_.clear();
      silentSounds_.clear();
      stalled_ = false;
      WatchProgress();
    }
    startTime_ = now_();
    SetModeLabel(1);
    return;
  }

  if (code == kJobProgress && (value == kProgressSoundMissing || value == kProgressSoundBack)) {
    const QString source = platform::AnsiToWide(text);
    silentSounds_.removeAll(source);
    if (value == kProgressSoundMissing) silentSounds_.append(source);
    if (jobKind_ == 0 && !stalled_ && !lastProgressTime_.empty()) ShowProgress(lastProgressTime_);
    return;
  }

  if (code == kJobProgress) {
    if (text.empty()) return;
    const std::string progress = text.substr(0, 31);
    if (jobKind_ == 0) {
      // A time that does not move is no progress (an encoder can repeat its last line).
      if (progress != lastProgressTime_) WatchProgress();
      lastProgressTime_ = progress;
    }
    ShowProgress(progress);
    return;
  }

  if (code != kJobFinished && code != kJobStopped && code != kJobError) return;

  ShowEndedLook();
  if (jobKind_ == 0) EndRecovery();
  QString endText = platform::AnsiToWide(text);
  if (endText.isEmpty() && code == kJobFinished && jobKind_ == 0 &&
      static_cast<int>(value) == kEncoderOutputRefused)
    endText = Text(kCaptureRefused);
  if (endText.isEmpty() && code == kJobFinished && jobKind_ == 0 &&
      static_cast<int>(value) == kEncoderScreenShareCancelled)
    endText = Text(kScreenShareCancelled) + ModeWord();
  if (endText.isEmpty()) endText = code == kJobFinished ? Text("异常终止！") : Text("出现错误！");
  QString stoppedText = Text("已停止 ") + QString::fromStdString(lastProgressTime_);

  if (code == kJobError) {
    view_.ShowLamp(Lamp::kError);
    if (jobKind_ == 1) {
      jobKind_ = 0;
      SetStatusText(endText + Text("，") + Text(kRemuxFailed), true);
    } else {
      SetStatusText(endText, true);
    }
  } else if (code == kJobStopped) {
    if (jobKind_ == 1) {
      // The final file is incomplete; the temporary recording is all the lesson has.
      jobKind_ = 0;
      view_.ShowLamp(Lamp::kError);
      SetStatusText(Text(kRemuxStopped), true);
    } else {
      SetStatusText(stoppedText, false);
      if (liveMode_ && selectedLiveTask_ && selectedLiveTask_->callbackUrl.size() > 8) {
        view_.SendStopSignal(selectedLiveTask_->callbackUrl);
      }
      if (!liveMode_) StartRemux();
    }
  } else if (jobKind_ == 1) {
    jobKind_ = 0;
    if (static_cast<std::uint32_t>(value) == 0) {
      // The capture's clock starts at the encoder's start, a little before its first frame; the
      // copy starts at that frame, so its last time is the lesson's real length.
      if (std::optional<std::string> length = FindLastProgressTime(currentJob_->collectedOutput)) {
        lastProgressTime_ = *length;
        stoppedText = Text("已停止 ") + QString::fromStdString(lastProgressTime_);
      }
      if (lowDiskStop_) {
        // Saved, but the teacher must make room before the next lesson.
        view_.ShowLamp(Lamp::kError);
        SetStatusText(Text(kLowDiskStopped) + QString::fromStdString(lastProgressTime_), true);
      } else {
        view_.ShowLamp(Lamp::kRunning);
        SetStatusText(stoppedText, false);
      }
      // The copy was checked on the job's worker: on the disk, as long as the capture.
      QFile::remove(capturePath_);
    } else {
      view_.ShowLamp(Lamp::kError);
      SetStatusText(
          Text(static_cast<std::uint32_t>(value) == kResultRejectedExitCode ? kCopyUnverified
                                                                            : kRemuxFailed),
          true);
    }
  } else {
    view_.ShowLamp(Lamp::kError);
    SetStatusText(endText, true);
  }
  view_.StartTimer(kLedHoldTimer, 2000);
  liveMode_ = false;
}

void RecordingController::OnTimer(int id) {
  view_.KillTimer(id);
  switch (id) {
    case kStopTimer:
      if (JobActive() && currentJob_->serial == stopJobSerial_) currentJob_->stopRequested = 1;
      stopping_ = false;
      break;
    case kDiskSpaceTimer:
      CheckDiskSpace();
      break;
    case kProgressWatchTimer:
      OnProgressWatch();
      break;
    case kLedHoldTimer:
      view_.StopLedBlinking();
      break;
    case kLiveRestartTimer:
      if (closing_) {
        // No push outlives the program.
        EndPendingRestart();
        break;
      }
      restartPending_ = false;
      if (!Start()) {
        // The restart was refused (its reason is already shown): leave the running look.
        ShowEndedLook();
        view_.ShowLamp(Lamp::kError);
        SetStatusText(Text(kRecoveryFailed), true);
        // Like every other end, the red LED blinks for a moment and then holds.
        view_.StartTimer(kLedHoldTimer, 2000);
        EndRecovery();
        liveMode_ = false;
      }
      break;
    default:
      break;
  }
}

}  // namespace vortane
