#include "app/recording_controller.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <ctime>
#include <future>
#include <map>
#include <optional>
#include <vector>

#include "app/toolbar_view.h"
#include "platform/code_page.h"
#include "settings/settings.h"
#include "support/job_events.h"
#include "support/media.h"
#include "support/pump.h"

namespace vortane {
namespace {

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// The controller's timers need an application object.
QCoreApplication& App() {
  static int argc = 1;
  static char arg0[] = "recording_controller_test";
  static char* argv[] = {arg0, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

using Timer = RecordingController::Timer;
using State = RecordingState;
using test::PumpUntil;

// Records what the controller does to the toolbar.
class FakeView : public ToolbarView {
 public:
  void SetStatusLabel(const QString& text, ColorRef colour) override {
    status = text;
    statusIsRed = colour == Rgb(255, 0, 0);
    statusHistory.push_back(text);
  }
  void SetModeLabel(const QString& text, ColorRef) override { mode = text; }
  void SetTaskLabel(const QString& text) override { task = text; }
  void ShowLamp(Lamp shown) override { lamp = shown; }
  void StopLedBlinking() override { ledHeld = true; }
  void SetStartButton(StartButton face, const QString& tip) override {
    start = face;
    startTip = tip;
  }
  void SetStartButtonEnabled(bool on) override { startEnabled = on; }
  void SetSideButtonsEnabled(bool on) override { sideEnabled = on; }
  void HideFileManager() override {}
  void MarkFrameRecording(bool on) override { frameRecording = on; }
  void SlideToolbar(bool out) override { slides.push_back(out); }
  void ShowMessage(const QString& text) override { messages.push_back(text); }
  void OpenSettings() override { ++settingsOpened; }
  void ReleaseCamera() override { ++cameraReleased; }
  int ScreenWidth() const override { return screenWidth; }
  bool IsLoggedIn() const override { return loggedIn; }
  void SendStopSignal(const std::string& url) override { stopSignals.push_back(url); }

  QString status, mode, task, startTip;
  StartButton start = StartButton::kStart;
  bool statusIsRed = false;
  std::vector<QString> statusHistory;
  std::optional<Lamp> lamp;
  bool ledHeld = false;
  bool startEnabled = true, sideEnabled = true, frameRecording = false;
  std::vector<bool> slides;
  std::vector<QString> messages;
  int settingsOpened = 0, cameraReleased = 0;
  int screenWidth = 1920;
  bool loggedIn = false;
  std::vector<std::string> stopSignals;
};

struct Fixture {
  Fixture() : app(App()), controller(view, settings) {
    settings.saveFolder = folder.path();
    settings.audioDevice = QStringLiteral("VirtualMic");
    controller.SetClock([this] { return clock; });
    controller.SetJobStarter(
        [this](const std::shared_ptr<ProcessJob>& job) { started.push_back(job); });
    controller.SetFreeSpaceQuery([this](const QString&) { return freeSpace; });
    controller.CheckScreenWidth();  // the check the window runs at start
  }

  // A report of the current job as its worker would send it.
  void Post(int code, const char* text = "", double value = 0, const std::string& output = {}) {
    test::EmitJobStatus(*controller.currentJob(), code, text, value, output);
  }
  void StopNow() {
    controller.StartOrStop();
    controller.OnTimeout(Timer::kStopDelay);
  }
  int Interval(Timer timer) const { return controller.TimerInterval(timer); }
  State state() const { return controller.state(); }

  QCoreApplication& app;
  QTemporaryDir folder;
  Settings settings;
  FakeView view;
  RecordingController controller;
  std::time_t clock = 1765275300;  // 2025-12-09 10:15:00 UTC
  std::vector<std::shared_ptr<ProcessJob>> started;
  std::optional<std::int64_t> freeSpace = std::int64_t(100) << 30;
};

void StartLive(Fixture& f) {
  f.settings.liveEnabled = true;
  f.settings.liveUrl = QStringLiteral("rtmp://127.0.0.1/live/lesson");
  f.controller.StartOrStop();
  f.Post(kJobStarted);
  f.Post(kJobProgress, "00:00:01.00");
}

// A live push of a chosen task (whose end sends the task's stop signal), on air for a minute.
void StartTaskLiveForAMinute(Fixture& f) {
  LiveTask task;
  task.pushUrl = "rtmp://127.0.0.1/live/task";
  task.callbackUrl = "http://127.0.0.1/backend/lumio/lives/7";
  f.view.loggedIn = true;
  f.controller.SetSelectedLiveTask(task);
  StartLive(f);
  f.clock += 60;
}

bool WriteFile(const QString& path, qint64 size) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.resize(size);
}

// Each row: how the toolbar got into a state, what happens next, and where it stands then with
// what the teacher sees.
TEST(RecordingController, StatesAndWhatTheToolbarShows) {
  using Step = std::function<void(Fixture&)>;
  const Step idle = [](Fixture&) {};
  const Step starting = [](Fixture& f) {
    f.controller.StartOrStop();
    f.Post(kJobStarted);
  };
  const Step recording = [=](Fixture& f) {
    starting(f);
    f.Post(kJobProgress, "00:00:01.00");
  };
  const Step stalled = [=](Fixture& f) {
    recording(f);
    f.controller.OnTimeout(Timer::kProgressWatch);
  };
  const Step stopping = [=](Fixture& f) {
    recording(f);
    f.controller.StartOrStop();
  };
  const Step remuxing = [=](Fixture& f) {
    stopping(f);
    f.controller.OnTimeout(Timer::kStopDelay);
    f.Post(kJobStopped);
    f.Post(kJobStarted);
  };
  const Step liveForAMinute = [](Fixture& f) {
    StartLive(f);
    f.clock += 60;
  };
  const Step reconnecting = [=](Fixture& f) {
    liveForAMinute(f);
    f.Post(kJobFinished, "", 1);
  };
  const Step press = [](Fixture& f) { f.controller.StartOrStop(); };
  const Step time3 = [](Fixture& f) { f.Post(kJobProgress, "00:00:03.00"); };
  const Step ended = [](Fixture& f) { f.Post(kJobFinished, "", 1); };
  const Step copied = [](Fixture& f) {
    ASSERT_TRUE(QFile(f.controller.capturePath()).open(QIODevice::WriteOnly));
    f.Post(kJobFinished, "", 0);
  };
  struct Row {
    const char* name;
    Step reach, event;
    State state;
    const char* status;
    Lamp lamp;
    StartButton start;
  };
  const Row rows[] = {
      {"idle, F8", idle, press, State::kStarting, "正在启动录制...", Lamp::kRunning,
       StartButton::kStop},
      {"starting, first time", starting, time3, State::kRecording, "正在录制 00:00:03.00",
       Lamp::kRunning, StartButton::kStop},
      {"starting, encoder ends", starting, ended, State::kIdle, "异常终止！", Lamp::kError,
       StartButton::kStart},
      {"starting, the teacher cancels the screen share", starting,
       [](Fixture& f) { f.Post(kJobFinished, "", 4); }, State::kIdle, "已取消屏幕共享，未开始录制",
       Lamp::kRunning, StartButton::kStart},
      {"recording, F8", recording, press, State::kStopping, "正在停止...", Lamp::kRunning,
       StartButton::kStop},
      {"recording, ten quiet seconds", recording,
       [](Fixture& f) { f.controller.OnTimeout(Timer::kProgressWatch); }, State::kStalled,
       "没有在录制：10秒没有任何进度！", Lamp::kError, StartButton::kStop},
      {"stalled, a new time", stalled, time3, State::kRecording, "正在录制 00:00:03.00",
       Lamp::kRunning, StartButton::kStop},
      {"stalled, F8", stalled, press, State::kStopping, "正在停止...", Lamp::kError,
       StartButton::kStop},
      {"stopping, F8 again", stopping, press, State::kStopping, "正在停止...", Lamp::kRunning,
       StartButton::kStop},
      {"stopping, the encoder ends", stopping, [](Fixture& f) { f.Post(kJobStopped); },
       State::kRemuxing, "检查格式...", Lamp::kRunning, StartButton::kStop},
      {"remuxing, F8", remuxing, press, State::kRemuxing, "检查格式...", Lamp::kRunning,
       StartButton::kStop},
      {"remuxing, copied", remuxing, copied, State::kIdle, "已停止 00:00:01.00", Lamp::kRunning,
       StartButton::kStart},
      {"remuxing, copy failed", remuxing, ended, State::kIdle, "转换失败，原始录像已保留",
       Lamp::kError, StartButton::kStart},
      {"live, broke off after a minute", liveForAMinute, ended, State::kReconnecting,
       "直播中断，正在恢复...", Lamp::kRunning, StartButton::kStop},
      {"live, F8", liveForAMinute, press, State::kStopping, "正在停止...", Lamp::kRunning,
       StartButton::kStop},
      {"reconnecting, the second is up", reconnecting,
       [](Fixture& f) { f.controller.OnTimeout(Timer::kLiveRestart); }, State::kStarting,
       "直播中断，正在恢复...", Lamp::kRunning, StartButton::kStop},
      {"reconnecting, F8", reconnecting, press, State::kIdle, "已停止 00:00:01.00", Lamp::kRunning,
       StartButton::kStart},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fixture f;
    row.reach(f);
    row.event(f);
    EXPECT_EQ(f.state(), row.state) << RecordingStateName(f.state());
    EXPECT_EQ(f.view.status, U(row.status));
    EXPECT_EQ(f.view.lamp, row.lamp);
    EXPECT_EQ(f.view.start, row.start);
  }
}

TEST(RecordingController, StartChecksComeInOrder) {
  Fixture f;
  f.view.screenWidth = 2560;
  // Window start used the first check; five starts are refused with the warning, the sixth runs.
  for (int i = 0; i < 5; ++i)
    f.controller.StartOrStop();
  ASSERT_EQ(f.view.messages.size(), 5u);
  EXPECT_TRUE(f.view.messages[0].contains(QStringLiteral("(2560)")));
  EXPECT_TRUE(f.started.empty());
  f.controller.StartOrStop();
  EXPECT_EQ(f.started.size(), 1u);

  Fixture g;
  g.settings.saveFolder.clear();
  g.controller.StartOrStop();
  EXPECT_EQ(g.view.messages.back(), U("您还没有对系统做任何设置，请完成设置后再启动录制。"));
  EXPECT_EQ(g.view.settingsOpened, 1);

  Fixture h;
  h.settings.audioDevice.clear();
  h.controller.StartOrStop();
  EXPECT_EQ(h.view.messages.back(), U("没有配置麦克风设备！"));
  h.settings.soundSource = SoundSource::kBoth;
  h.controller.StartOrStop();
  EXPECT_EQ(h.view.messages.size(), 2u);
  h.settings.soundSource = SoundSource::kSpeaker;  // the speaker needs no microphone
  h.controller.StartOrStop();
  ASSERT_EQ(h.started.size(), 1u);
  EXPECT_TRUE(h.started[0]->commandLine().contains(
      QStringLiteral("audio=\"virtual-audio-capturer\" -acodec aac")));

  Fixture live;
  live.settings.liveEnabled = true;
  live.settings.liveUrl = QStringLiteral("rtmp://a");
  live.controller.StartOrStop();
  EXPECT_EQ(live.view.messages.back(), U("直播地址无效，无法启动直播！"));

  Fixture quote;
  quote.settings.audioDevice = QStringLiteral("Mic \"USB\"");
  quote.controller.StartOrStop();
  ASSERT_EQ(quote.view.messages.size(), 1u);
  EXPECT_TRUE(quote.view.messages[0].startsWith(U("无法启动")));
  EXPECT_TRUE(quote.started.empty());
  EXPECT_EQ(quote.controller.jobState(), kJobStopped);
}

TEST(RecordingController, NamesCommandsAndLiveAddress) {
  setenv("TZ", "CST-8", 1);
  tzset();
  Fixture f;
  f.settings.videoBitrateKbps = 4000;
  f.settings.saveFormat = SaveFormat::kTs;
  f.controller.SetRegionMode(true);
  f.controller.SetRegion({104, 104, 736, 456});
  f.controller.StartOrStop();
  ASSERT_EQ(f.started.size(), 1u);
  // Named after the local start time: 10:15 UTC is 18:15 in Beijing.
  const QString base = f.folder.path() + QStringLiteral("/20251209181500");
  EXPECT_EQ(f.controller.capturePath(), base + ".ts");
  EXPECT_EQ(f.controller.finalPath(), base + "t.ts");
  const QString& command = f.started[0]->commandLine();
  EXPECT_TRUE(command.startsWith(QStringLiteral("vortenc -y -rtbufsize 100M -f gdigrab")));
  EXPECT_TRUE(command.contains(QStringLiteral("-offset_x 104 -offset_y 104 -video_size 632x352")));
  EXPECT_TRUE(command.contains(QStringLiteral("-maxrate 4000k")));
  EXPECT_TRUE(command.endsWith(QStringLiteral("-copyinkf -f mpegts \"") + base + ".ts\""));

  // Region mode off: a rectangle left from a cancelled selection is not used.
  Fixture full;
  full.controller.SetRegion({100, 100, 300, 100});
  full.controller.StartOrStop();
  ASSERT_EQ(full.started.size(), 1u);
  EXPECT_TRUE(
      full.started[0]->commandLine().contains(QStringLiteral("-thread_queue_size 32  -i desktop")));

  // Live: bitrates above 3000 fall back to the encoder's 1200k; a task's address wins only when
  // the user is logged in.
  Fixture live;
  live.settings.liveEnabled = true;
  live.settings.videoBitrateKbps = 4000;
  live.settings.liveUrl = QStringLiteral("rtmp://127.0.0.1/live/settings");
  LiveTask task;
  task.name = U("初二数学");
  task.pushUrl = "rtmp://127.0.0.1/live/task";
  live.controller.SetSelectedLiveTask(task);
  live.controller.StartOrStop();
  ASSERT_EQ(live.started.size(), 1u);
  EXPECT_EQ(live.controller.liveAddress(), QStringLiteral("rtmp://127.0.0.1/live/settings"));
  EXPECT_TRUE(live.started[0]->commandLine().contains(QStringLiteral("-maxrate 1200k")));
  EXPECT_TRUE(live.started[0]->commandLine().endsWith(
      QStringLiteral("-f flv \"rtmp://127.0.0.1/live/settings\"")));
  live.Post(kJobStarted);
  live.StopNow();
  live.Post(kJobStopped);
  live.view.loggedIn = true;
  live.controller.ShowReadyStatus();
  EXPECT_EQ(live.view.task, U("初二数学"));
  EXPECT_EQ(live.view.status, U("就绪 - 准备直播 - 全屏模式"));
  live.controller.StartOrStop();
  EXPECT_EQ(live.controller.liveAddress(), QStringLiteral("rtmp://127.0.0.1/live/task"));

  // The camera as source: its preview is released first, and an empty name is not refused.
  Fixture camera;
  camera.settings.videoSource = VideoSource::kCamera;
  camera.controller.StartOrStop();
  EXPECT_EQ(camera.view.cameraReleased, 1);
  ASSERT_EQ(camera.started.size(), 1u);
  EXPECT_TRUE(camera.started[0]->commandLine().contains(QStringLiteral("-i video=\"\"")));
  camera.Post(kJobStarted);
  camera.Post(kJobFinished, "", 1);
  EXPECT_EQ(camera.view.status, U("异常终止！"));
  EXPECT_TRUE(camera.view.statusIsRed);
  EXPECT_EQ(camera.view.lamp, Lamp::kError);
}

TEST(RecordingController, RecordingStopRemuxAndTheTemporaryFile) {
  for (int outcome : {0, 1, 2}) {  // remux exits 0, exits 1, is stopped
    Fixture f;
    f.settings.hideOnStart = true;
    f.controller.StartOrStop();
    EXPECT_EQ(f.view.start, StartButton::kStop);
    EXPECT_EQ(f.view.startTip, U("停止录制"));
    EXPECT_EQ(f.view.status, U("正在启动录制...")) << "no picture is written yet";
    EXPECT_FALSE(f.view.sideEnabled);
    EXPECT_TRUE(f.view.frameRecording);
    EXPECT_EQ(f.view.slides, std::vector<bool>{true});
    f.Post(kJobStarted);
    f.Post(kJobProgress, "");
    f.Post(kJobProgress, "00:00:04.00");
    EXPECT_EQ(f.view.status, U("正在录制 00:00:04.00"));
    EXPECT_EQ(f.controller.jobState(), kJobProgress);
    // A sound source that delivers nothing is named in red while the lesson goes on, until its
    // sound comes.
    f.Post(kJobProgress, "VirtualMic", kProgressSoundMissing);
    EXPECT_EQ(f.view.status, U("正在录制 00:00:04.00（VirtualMic 没有声音）"));
    EXPECT_TRUE(f.view.statusIsRed);
    f.Post(kJobProgress, "00:00:04.50");
    EXPECT_EQ(f.view.status, U("正在录制 00:00:04.50（VirtualMic 没有声音）"));
    f.Post(kJobProgress, "VirtualMic", kProgressSoundBack);
    EXPECT_EQ(f.view.status, U("正在录制 00:00:04.50"));
    EXPECT_FALSE(f.view.statusIsRed);

    const std::int64_t keyAt = SteadyMilliseconds();
    f.controller.StartOrStop();  // the stop command
    EXPECT_EQ(f.view.status, U("正在停止..."));
    EXPECT_EQ(f.Interval(Timer::kStopDelay), 1000);
    // The runner is told when the key came, so the last words before it are kept.
    EXPECT_GE(f.controller.currentJob()->stopMoment(), keyAt);
    f.Post(kJobProgress, "00:00:05.00");
    EXPECT_EQ(f.view.status, U("正在停止...")) << "progress after the stop command is ignored";
    EXPECT_EQ(f.controller.currentJob()->StopRequested(), false);
    f.controller.OnTimeout(Timer::kStopDelay);
    EXPECT_EQ(f.controller.currentJob()->StopRequested(), true);
    // Asked to stop, the encoder writes the end of its file and still reports progress.
    f.Post(kJobProgress, "00:00:05.40");
    EXPECT_EQ(f.view.status, U("正在停止..."));

    QFile temporary(f.controller.capturePath());
    ASSERT_TRUE(temporary.open(QIODevice::WriteOnly));
    temporary.close();
    f.Post(kJobStopped);
    EXPECT_EQ(f.view.statusHistory[f.view.statusHistory.size() - 2], U("已停止 00:00:05.40"));
    ASSERT_EQ(f.started.size(), 2u) << "a stopped recording is remuxed";
    EXPECT_EQ(f.state(), State::kRemuxing);
    EXPECT_EQ(f.started[1]->commandLine(),
              QStringLiteral("vortenc -y -i \"%1\" -c:v copy -c:a copy \"%2\"")
                  .arg(f.controller.capturePath(), f.controller.finalPath()));
    EXPECT_EQ(f.view.status, U("检查格式..."));
    EXPECT_FALSE(f.view.startEnabled);
    f.Post(kJobStarted);
    f.Post(kJobProgress, "00:00:05.20");
    EXPECT_EQ(f.view.status, U("检查格式 00:00:05.20"));
    f.controller.StartOrStop();  // F8 during the remux does not cut it short
    EXPECT_EQ(f.Interval(Timer::kStopDelay), 0);

    if (outcome == 0) {
      // The copy starts at the first frame: its last time is the length of the finished file.
      f.Post(kJobFinished, "", 0,
             "frame=  130 fps=0.0 q=-1.0 Lsize=     640kB time=00:00:05.12 bitrate= 999.0kbits/s "
             "speed= 60x    \nvideo:600kB audio:40kB\n");
      EXPECT_EQ(f.view.status, U("已停止 00:00:05.12"));
      EXPECT_FALSE(f.view.statusIsRed);
      EXPECT_EQ(f.view.lamp, Lamp::kRunning);
      EXPECT_FALSE(QFile::exists(f.controller.capturePath()));
    } else {
      f.Post(outcome == 1 ? kJobFinished : kJobStopped, "", 1);
      EXPECT_TRUE(f.view.statusIsRed);
      EXPECT_TRUE(f.view.status.contains(U("原始录像已保留")));
      EXPECT_EQ(f.view.lamp, Lamp::kError);
      EXPECT_TRUE(QFile::exists(f.controller.capturePath())) << "the recording is never lost";
    }
    EXPECT_EQ(f.view.start, StartButton::kStart);
    EXPECT_TRUE(f.view.startEnabled);
    EXPECT_TRUE(f.view.sideEnabled);
    EXPECT_FALSE(f.view.frameRecording);
    EXPECT_EQ(f.view.slides.back(), false);
    EXPECT_EQ(f.Interval(Timer::kLedHold), 2000);
    f.controller.OnTimeout(Timer::kLedHold);
    EXPECT_TRUE(f.view.ledHeld);
    EXPECT_FALSE(f.controller.JobActive());
  }
}

TEST(RecordingController, LiveRestartAndRecovery) {
  // A push that fails in its first ten seconds ends: usually a wrong address.
  Fixture early;
  StartLive(early);
  early.clock += 5;
  early.Post(kJobFinished, "", 1);
  EXPECT_FALSE(early.controller.restartPending());
  EXPECT_EQ(early.view.status, U("异常终止！"));
  EXPECT_EQ(early.Interval(Timer::kLiveRestart), 0);

  // A push that broke off after a minute is retried until the user stops it.
  Fixture f;
  StartTaskLiveForAMinute(f);
  f.Post(kJobFinished, "", 1);
  EXPECT_TRUE(f.controller.restartPending());
  EXPECT_EQ(f.view.status, U("直播中断，正在恢复..."));
  EXPECT_TRUE(f.view.statusIsRed);
  EXPECT_EQ(f.view.start, StartButton::kStop) << "the buttons keep their running look";
  EXPECT_EQ(f.Interval(Timer::kLiveRestart), 1000);
  f.controller.StartOrStop();  // Nothing else starts while the retry is pending ...
  EXPECT_FALSE(f.controller.restartPending()) << "... but F8 ends the recovery";
  EXPECT_EQ(f.view.start, StartButton::kStart);
  EXPECT_EQ(f.view.stopSignals.size(), 1u);
  EXPECT_EQ(f.Interval(Timer::kLiveRestart), 0);
  EXPECT_FALSE(f.controller.recovering());

  Fixture r;
  StartLive(r);
  r.clock += 30;
  r.Post(kJobError, "");
  std::vector<int> delays;
  for (int attempt = 0; attempt < 5; ++attempt) {
    delays.push_back(r.Interval(Timer::kLiveRestart));
    r.clock += 2;
    size_t jobsBefore = r.started.size();
    r.controller.OnTimeout(Timer::kLiveRestart);
    ASSERT_EQ(r.started.size(), jobsBefore + 1) << "each retry is a complete new start";
    EXPECT_EQ(r.view.status, U("直播中断，正在恢复..."));
    r.Post(kJobStarted);
    r.Post(kJobFinished, "", 1);  // the server is still gone: fails within a second
    EXPECT_TRUE(r.controller.restartPending());
  }
  // A second after each failure, so a server that comes back is on air again at once.
  EXPECT_EQ(delays, (std::vector<int>{1000, 1000, 1000, 1000, 1000}));
  r.controller.OnTimeout(Timer::kLiveRestart);
  r.Post(kJobStarted);
  r.Post(kJobProgress, "00:00:00.50");
  EXPECT_EQ(r.view.status, U("正在直播 00:00:00.50"));
  EXPECT_FALSE(r.view.statusIsRed);
  r.clock += 3;
  r.Post(kJobFinished, "", 1);  // a second drop soon after: still recovering
  EXPECT_EQ(r.Interval(Timer::kLiveRestart), 1000);
  r.controller.OnTimeout(Timer::kLiveRestart);
  r.Post(kJobStarted);
  r.StopNow();
  EXPECT_EQ(r.Interval(Timer::kStopDelay), 0);
  r.Post(kJobStopped);
  EXPECT_FALSE(r.controller.recovering());
  EXPECT_FALSE(r.controller.restartPending());
  EXPECT_EQ(r.state(), State::kIdle) << "a live push is not remuxed";
  EXPECT_FALSE(r.controller.liveMode());

  // A retry that is refused (the screen was switched to a higher resolution meanwhile) ends the
  // recovery: it says so in red, the start look comes back, and the next F8 starts afresh.
  Fixture refused;
  StartLive(refused);
  refused.clock += 60;
  refused.Post(kJobFinished, "", 1);
  refused.view.screenWidth = 2560;
  refused.controller.OnTimeout(Timer::kLiveRestart);
  EXPECT_EQ(refused.started.size(), 1u);
  ASSERT_EQ(refused.view.messages.size(), 1u);
  EXPECT_TRUE(refused.view.messages[0].contains(QStringLiteral("(2560)")));
  EXPECT_EQ(refused.view.status, U("直播中断，未能恢复"));
  EXPECT_TRUE(refused.view.statusIsRed);
  EXPECT_EQ(refused.view.start, StartButton::kStart);
  EXPECT_EQ(refused.view.startTip, U("开始直播"));
  EXPECT_TRUE(refused.view.sideEnabled);
  EXPECT_EQ(refused.view.lamp, Lamp::kError);
  EXPECT_EQ(refused.Interval(Timer::kLedHold), 2000);
  EXPECT_FALSE(refused.controller.recovering());
  EXPECT_FALSE(refused.controller.restartPending());
  refused.view.screenWidth = 1920;
  refused.controller.StartOrStop();
  ASSERT_EQ(refused.started.size(), 2u);
  EXPECT_EQ(refused.view.status, U("正在启动直播..."));
  EXPECT_FALSE(refused.view.statusIsRed);
}

TEST(RecordingController, AStopOrACloseWinsOverAnEndByItself) {
  // The encoder of a recording ends by itself (a signal reached it) while the stop is pending:
  // the lesson is finished like a user stop, into its final file.
  Fixture f;
  f.controller.StartOrStop();
  f.Post(kJobStarted);
  f.Post(kJobProgress, "00:00:04.00");
  f.controller.StartOrStop();
  ASSERT_EQ(f.Interval(Timer::kStopDelay) > 0, true);
  f.Post(kJobFinished, "", 255);
  ASSERT_EQ(f.started.size(), 2u) << "remuxed like a user stop";
  EXPECT_EQ(f.state(), State::kRemuxing);
  EXPECT_EQ(f.view.statusHistory[f.view.statusHistory.size() - 2], U("已停止 00:00:04.00"));
  EXPECT_EQ(f.Interval(Timer::kStopDelay), 0) << "the stop timer belongs to the job that ended";
  EXPECT_EQ(f.state(), State::kRemuxing);
  // A stop timer that fires anyway reaches neither the remux nor the next recording.
  f.controller.OnTimeout(Timer::kStopDelay);
  EXPECT_EQ(f.started[1]->StopRequested(), false);
  ASSERT_TRUE(WriteFile(f.controller.capturePath(), 100));
  f.Post(kJobStarted);
  f.Post(kJobFinished, "", 0);
  EXPECT_EQ(f.view.status, U("已停止 00:00:04.00"));
  EXPECT_FALSE(f.view.statusIsRed);
  EXPECT_FALSE(QFile::exists(f.controller.capturePath()));
  f.controller.StartOrStop();
  ASSERT_EQ(f.started.size(), 3u);
  f.controller.OnTimeout(Timer::kStopDelay);
  EXPECT_EQ(f.started[2]->StopRequested(), false);

  // The program closes: the same, and nothing starts any more.
  Fixture c;
  c.controller.StartOrStop();
  c.Post(kJobStarted);
  c.Post(kJobProgress, "00:00:02.00");
  c.controller.SetClosing(true);
  c.Post(kJobFinished, "", 255);
  ASSERT_EQ(c.started.size(), 2u) << "the lesson is remuxed before the program goes";
  c.Post(kJobStarted);
  c.Post(kJobFinished, "", 0);
  c.controller.StartOrStop();
  EXPECT_EQ(c.started.size(), 2u) << "no new start while closing";

  // A live push that breaks off in the half second after the stop is not restarted.
  Fixture live;
  StartTaskLiveForAMinute(live);
  live.controller.StartOrStop();
  EXPECT_EQ(live.Interval(Timer::kStopDelay), 500);
  live.Post(kJobFinished, "", 1);
  EXPECT_FALSE(live.controller.restartPending());
  EXPECT_EQ(live.Interval(Timer::kLiveRestart), 0);
  EXPECT_EQ(live.Interval(Timer::kStopDelay), 0);
  EXPECT_EQ(live.view.status, U("已停止 00:00:01.00"));
  EXPECT_EQ(live.view.stopSignals.size(), 1u);
  EXPECT_EQ(live.started.size(), 1u) << "no new push and no remux";
  EXPECT_FALSE(live.controller.recovering());

  // While the program closes neither a break-off nor a restart already planned starts a push.
  Fixture planned;
  StartLive(planned);
  planned.clock += 60;
  planned.Post(kJobFinished, "", 1);
  ASSERT_TRUE(planned.controller.restartPending());
  planned.controller.SetClosing(true);
  planned.controller.OnTimeout(Timer::kLiveRestart);
  EXPECT_EQ(planned.started.size(), 1u);
  EXPECT_FALSE(planned.controller.restartPending());
  EXPECT_EQ(planned.view.start, StartButton::kStart);
  Fixture closing;
  StartLive(closing);
  closing.clock += 60;
  closing.controller.SetClosing(true);
  closing.Post(kJobError, "");
  EXPECT_FALSE(closing.controller.restartPending());
  EXPECT_EQ(closing.Interval(Timer::kLiveRestart), 0);
}

TEST(RecordingController, NoProgressNoRecording) {
  constexpr Timer kWatch = Timer::kProgressWatch;
  const QString kNotRecording = U("没有在录制：10秒没有任何进度！");
  // Nothing in the first ten seconds (an output that blocks, a grab that hangs): red, said
  // plainly; progress that comes after all puts the running look back.
  Fixture f;
  f.controller.StartOrStop();
  f.Post(kJobStarted);
  f.Post(kJobProgress, "");  // the reader's first word carries no time
  EXPECT_EQ(f.Interval(kWatch), 10000);
  EXPECT_EQ(f.view.lamp, Lamp::kRunning);
  f.controller.OnTimeout(kWatch);
  EXPECT_EQ(f.view.status, kNotRecording);
  EXPECT_TRUE(f.view.statusIsRed);
  EXPECT_EQ(f.view.lamp, Lamp::kError);
  EXPECT_TRUE(f.controller.JobActive()) << "the encoder is left to the teacher's stop";
  f.Post(kJobProgress, "00:00:01.00");
  EXPECT_EQ(f.view.status, U("正在录制 00:00:01.00"));
  EXPECT_FALSE(f.view.statusIsRed);
  EXPECT_EQ(f.view.lamp, Lamp::kRunning);
  EXPECT_EQ(f.Interval(kWatch), 10000) << "watched again";

  // A stall later: a time that does not move is no progress. The stop still saves the lesson.
  f.Post(kJobProgress, "00:00:02.00");
  EXPECT_EQ(f.state(), State::kRecording);
  f.Post(kJobProgress, "00:00:02.00");
  f.controller.OnTimeout(kWatch);
  EXPECT_EQ(f.state(), State::kStalled);
  EXPECT_EQ(f.view.status, kNotRecording);
  EXPECT_EQ(f.view.lamp, Lamp::kError);
  f.Post(kJobProgress, "00:00:02.00");
  EXPECT_EQ(f.state(), State::kStalled) << "the same time again brings nothing back";
  EXPECT_EQ(f.view.lamp, Lamp::kError);
  f.StopNow();
  EXPECT_EQ(f.view.status, U("正在停止..."));
  f.controller.OnTimeout(kWatch);  // asked to stop: a quiet encoder is expected
  EXPECT_EQ(f.view.status, U("正在停止..."));
  f.Post(kJobStopped);
  EXPECT_EQ(f.Interval(kWatch), 0);
  ASSERT_EQ(f.started.size(), 2u) << "what was written is copied into the final file";
  EXPECT_EQ(f.state(), State::kRemuxing);
  f.Post(kJobStarted);
  EXPECT_EQ(f.Interval(kWatch), 0) << "the copy is not watched";
  f.controller.OnTimeout(kWatch);
  EXPECT_EQ(f.view.status, U("检查格式..."));

  // A live push says it in its own word; a watch that fires after the end changes nothing.
  Fixture live;
  StartLive(live);
  live.controller.OnTimeout(kWatch);
  EXPECT_EQ(live.view.status, U("没有在直播：10秒没有任何进度！"));
  EXPECT_EQ(live.view.lamp, Lamp::kError);
  live.StopNow();
  live.Post(kJobStopped);
  EXPECT_EQ(live.view.status, U("已停止 00:00:01.00"));
  live.controller.OnTimeout(kWatch);
  EXPECT_EQ(live.view.status, U("已停止 00:00:01.00"));
}

TEST(RecordingController, DiskSpace) {
  constexpr std::int64_t kMiB = 1024 * 1024;
  // Under 1 GB free in the save folder a recording does not start; a live push writes nothing
  // and does; a folder whose free space cannot be read is not refused.
  Fixture f;
  f.freeSpace = 1024 * kMiB - 1;
  f.controller.StartOrStop();
  ASSERT_EQ(f.view.messages.size(), 1u);
  EXPECT_TRUE(f.view.messages[0].startsWith(U("保存目录所在磁盘的剩余空间不足1GB，无法开始录制！")))
      << f.view.messages[0].toStdString();
  EXPECT_TRUE(f.started.empty());
  StartLive(f);
  EXPECT_EQ(f.started.size(), 1u);
  Fixture unknown;
  unknown.freeSpace.reset();
  unknown.controller.StartOrStop();
  EXPECT_EQ(unknown.started.size(), 1u);

  // While recording the space is checked every few seconds; under 500 MB the recording is
  // stopped and the lesson so far saved, with a red message.
  Fixture r;
  r.freeSpace = 1024 * kMiB;
  r.controller.StartOrStop();
  ASSERT_EQ(r.started.size(), 1u);
  r.Post(kJobStarted);
  r.Post(kJobProgress, "00:00:04.00");
  const int every = r.Interval(Timer::kDiskCheck);
  EXPECT_GE(every, 1000);
  EXPECT_LE(every, 5000);
  r.freeSpace = 600 * kMiB;
  r.controller.OnTimeout(Timer::kDiskCheck);
  EXPECT_TRUE(PumpUntil([&] { return r.Interval(Timer::kDiskCheck) > 0; })) << "checked again";
  EXPECT_EQ(r.Interval(Timer::kStopDelay), 0);
  r.freeSpace = 499 * kMiB;
  r.controller.OnTimeout(Timer::kDiskCheck);
  EXPECT_TRUE(PumpUntil([&] { return r.Interval(Timer::kStopDelay) > 0; }));
  EXPECT_EQ(r.view.status, U("磁盘空间不足，正在停止..."));
  EXPECT_TRUE(r.view.statusIsRed);
  EXPECT_EQ(r.Interval(Timer::kStopDelay), 1000);
  r.Post(kJobProgress, "00:00:04.60");
  EXPECT_EQ(r.view.status, U("磁盘空间不足，正在停止..."));
  r.controller.OnTimeout(Timer::kStopDelay);
  ASSERT_TRUE(WriteFile(r.controller.capturePath(), 10 * kMiB));
  r.Post(kJobStopped);
  ASSERT_EQ(r.started.size(), 2u) << "the lesson so far is remuxed";
  r.Post(kJobStarted);
  r.Post(kJobFinished, "", 0);
  EXPECT_EQ(r.view.status, U("磁盘空间不足，已停止 00:00:04.60"));
  EXPECT_TRUE(r.view.statusIsRed);
  EXPECT_EQ(r.view.lamp, Lamp::kError);
  EXPECT_FALSE(QFile::exists(r.controller.capturePath()));
  EXPECT_EQ(r.Interval(Timer::kDiskCheck), 0);

  // A save folder on a share that has stopped answering: the check waits on its own, and the
  // stop key still stops the lesson at once.
  Fixture hung;
  hung.controller.StartOrStop();
  hung.Post(kJobStarted);
  hung.Post(kJobProgress, "00:00:04.00");
  std::promise<void> answer;
  std::shared_future<void> answered = answer.get_future().share();
  hung.controller.SetFreeSpaceQuery([answered](const QString&) -> std::optional<std::int64_t> {
    answered.wait_for(std::chrono::seconds(30));
    return 100 * kMiB;
  });
  QElapsedTimer keyToStop;
  keyToStop.start();
  hung.controller.OnTimeout(Timer::kDiskCheck);
  hung.controller.OnTimeout(Timer::kDiskCheck);
  hung.controller.StartOrStop();
  EXPECT_LT(keyToStop.elapsed(), 10000);
  EXPECT_EQ(hung.view.status, U("正在停止..."));
  EXPECT_EQ(hung.Interval(Timer::kStopDelay), 1000);
  answer.set_value();

  // No room for the copy: the recording stays whole in its temporary file.
  Fixture full;
  full.controller.StartOrStop();
  full.Post(kJobStarted);
  full.Post(kJobProgress, "00:00:09.00");
  ASSERT_TRUE(WriteFile(full.controller.capturePath(), 30 * kMiB));
  full.freeSpace = 20 * kMiB;
  full.StopNow();
  full.Post(kJobStopped);
  EXPECT_EQ(full.started.size(), 1u) << "no remux";
  EXPECT_EQ(full.view.status, U("磁盘已满，无法转换，原始录像已保留"));
  EXPECT_TRUE(full.view.statusIsRed);
  EXPECT_EQ(full.view.lamp, Lamp::kError);
  EXPECT_TRUE(QFile::exists(full.controller.capturePath()));
}

TEST(RecordingController, StaleMessagesAndSecondStartWhileStarting) {
  Fixture f;
  f.controller.StartOrStop();
  auto first = f.controller.currentJob();
  // Pressed again before the job reported anything: no second job, a stop instead.
  f.controller.StartOrStop();
  EXPECT_EQ(f.started.size(), 1u);
  EXPECT_EQ(f.state(), State::kStopping);
  f.controller.OnTimeout(Timer::kStopDelay);
  EXPECT_EQ(first->StopRequested(), true);
  f.Post(kJobStarted);
  f.Post(kJobStopped);
  ASSERT_EQ(f.started.size(), 2u);  // the remux

  // A late report of the finished capture job changes nothing.
  test::EmitJobStatus(*first, kJobFinished, "", 1);
  EXPECT_EQ(f.state(), State::kRemuxing);
  EXPECT_EQ(f.view.status, U("检查格式..."));
}

// The controller, the real job runner and a scripted encoder: recording, stop and remux; then a
// lesson whose encoder is removed before the remux (an upgrade half-way), and one after that.
TEST(RecordingController, RealRunnerWithScriptedEncoder) {
  App();
  QTemporaryDir bin;
  const QString encoder = bin.filePath("vortenc");
  QFile script(encoder);
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  // Captures write a real lesson and print progress until "q" arrives (none while the file
  // "stall" is beside it, and they take the encoder away when the file "gone" is); the remux
  // copies its input to its output, only its first kilobytes when the file "short" is beside it,
  // and says it succeeded all the same.
  script.write(R"(#!/bin/bash
for last; do :; done
if [ "$2" = "-i" ]; then
  if [ -e "$0-short" ]; then head -c 1024 "$3" > "$last"; else cp "$3" "$last"; fi
  printf 'frame=1 fps=0 size=1kB time=00:00:01.50 bitrate=1k speed=1x\r'
  exit 0
fi
cp "${0%/*}/lesson.ts" "$last"
n=0
while :; do
  n=$((n+1))
  [ -e "$0-stall" ] ||
    printf 'frame=%d fps=25 q=28.0 size=1kB time=00:00:0%d.00 bitrate=1k speed=1x\r' $n $((n%10))
  if read -t 0.2 -n 1 key && [ "$key" = q ]; then
    [ -e "$0-gone" ] && cp "$0" "$0-kept" && rm "$0"
    exit 0
  fi
done
)");
  script.close();
  script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  ASSERT_TRUE(test::MakeVideo(bin.filePath("lesson.ts"), 2.0));
  // Only this folder may hold a vortenc.
  qputenv("PATH", bin.path().toLocal8Bit() + ":/usr/bin:/bin");

  QTemporaryDir folder;
  Settings settings;
  settings.saveFolder = folder.path();
  settings.soundSource = SoundSource::kSpeaker;
  FakeView view;
  RecordingController controller(view, settings);

  auto waitFor = [&](auto condition, int ceilingMs = 15000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < ceilingMs)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
  };
  controller.StartOrStop();
  ASSERT_TRUE(waitFor([&] { return view.status.startsWith(U("正在录制 00:00:0")); }));
  controller.StartOrStop();
  ASSERT_TRUE(waitFor([&] {
    return view.status.startsWith(U("已停止")) && !controller.JobActive();
  })) << view.status.toStdString();
  EXPECT_FALSE(view.statusIsRed);
  EXPECT_TRUE(QFile::exists(controller.finalPath()));
  EXPECT_FALSE(QFile::exists(controller.capturePath()));
  EXPECT_EQ(controller.jobState(), kJobFinished);

  // A copy the encoder called good that does not play as long as the lesson: said in red, and
  // the lesson stays in its ".ts".
  ASSERT_TRUE(QFile(encoder + "-short").open(QIODevice::WriteOnly));
  const std::time_t shortStart = std::time(nullptr);
  ASSERT_TRUE(waitFor([&] { return std::time(nullptr) > shortStart; }));  // a name of its own
  controller.StartOrStop();
  ASSERT_TRUE(waitFor([&] { return view.status.startsWith(U("正在录制 00:00:0")); }));
  controller.StartOrStop();
  ASSERT_TRUE(waitFor([&] { return view.statusIsRed && !controller.JobActive(); }))
      << view.status.toStdString();
  EXPECT_EQ(view.status, U("转换后的文件未能确认完好，原始录像已保留"));
  EXPECT_EQ(view.lamp, Lamp::kError);
  EXPECT_TRUE(QFile::exists(controller.capturePath()));
  ASSERT_TRUE(QFile::remove(encoder + "-short"));

  // The remux cannot start: the runner's own (GBK) words, in red; the lesson stays in its ".ts".
  ASSERT_TRUE(QFile(encoder + "-gone").open(QIODevice::WriteOnly));
  const std::time_t firstStart = std::time(nullptr);
  ASSERT_TRUE(waitFor([&] { return std::time(nullptr) > firstStart; }));  // a name of its own
  controller.StartOrStop();
  ASSERT_TRUE(waitFor([&] { return view.status.startsWith(U("正在录制 00:00:0")); }));
  controller.StartOrStop();
  ASSERT_TRUE(waitFor([&] { return view.statusIsRed && !controller.JobActive(); }))
      << view.status.toStdString();
  EXPECT_EQ(view.status, U("创建进程失败，转换失败，原始录像已保留"));
  EXPECT_EQ(view.lamp, Lamp::kError);
  EXPECT_TRUE(QFile::exists(controller.capturePath()));
  EXPECT_FALSE(QFile::exists(controller.finalPath()));
  EXPECT_EQ(view.start, StartButton::kStart);

  // With the encoder back, F8 records again.
  ASSERT_TRUE(QFile::remove(encoder + "-gone") && QFile::rename(encoder + "-kept", encoder));
  controller.StartOrStop();
  EXPECT_EQ(controller.state(), State::kStarting);
  ASSERT_TRUE(waitFor([&] { return view.status.startsWith(U("正在录制 00:00:0")); }))
      << view.status.toStdString();
  EXPECT_FALSE(view.statusIsRed);

  // The encoder falls silent (a grab that hangs): ten seconds later the lamp is red and the
  // toolbar says nothing is being recorded; the stop still saves what was written.
  QElapsedTimer quiet;
  quiet.start();
  ASSERT_TRUE(QFile(encoder + "-stall").open(QIODevice::WriteOnly));
  ASSERT_TRUE(waitFor([&] { return view.status == U("没有在录制：10秒没有任何进度！"); }, 60000))
      << view.status.toStdString();
  EXPECT_GE(quiet.elapsed(), 9500) << "the last progress came at most a loop before the stall";
  EXPECT_TRUE(view.statusIsRed);
  EXPECT_EQ(view.lamp, Lamp::kError);
  controller.StartOrStop();
  ASSERT_TRUE(waitFor([&] {
    return view.status.startsWith(U("已停止")) && !controller.JobActive();
  })) << view.status.toStdString();
  EXPECT_TRUE(QFile::exists(controller.finalPath()));
  ASSERT_TRUE(QFile::remove(encoder + "-stall"));

  const std::time_t stalledStart = std::time(nullptr);
  ASSERT_TRUE(waitFor([&] { return std::time(nullptr) > stalledStart; }));  // a name of its own
  controller.StartOrStop();
  ASSERT_TRUE(waitFor([&] { return view.status.startsWith(U("正在录制 00:00:0")); }))
      << view.status.toStdString();
  controller.SetClosing(true);
  controller.StartOrStop();
  EXPECT_TRUE(waitFor([&] { return !controller.JobActive(); }));
}

}  // namespace
}  // namespace vortane
