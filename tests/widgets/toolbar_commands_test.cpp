// The toolbar's settings and camera commands on the offscreen platform, with the real settings
// dialog and the real camera window. Cameras come from a fixture file naming a camera that the
// device lookup knows but no driver can open; jobs are recorded instead of run.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "app/startup_check.h"
#include "app/vortane_dlg.h"
#include "files/media_file_dlg.h"
#include "files/media_player_pane.h"
#include "platform/device_lookup.h"
#include "platform/window_message.h"
#include "platform/window_messages.h"
#include "settings/camera_window_placement.h"
#include "settings/capture_settings.h"
#include "settings/region_windows.h"
#include "settings/settings.h"
#include "settings/setup_dlg.h"
#include "settings/shift_region_window.h"
#include "settings/video_dlg1.h"
#include "support/media.h"
#include "support/private_portal_bus.h"
#include "support/scoped_env.h"
#include "toolbar_harness.h"
#include "ui/hover_button.h"
#include "ui/label.h"
#include "widget_test_app.h"

namespace vortane {
namespace {

using Id = CVortaneDlg::ControlId;
using platform::DeviceCategory;

const char kCamera[] = "USB Camera HD";

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// A Unix socket that accepts connections at `path` (a stand-in for PipeWire's); -1 on failure.
int ListeningSocket(const QByteArray& path) {
  sockaddr_un address{};
  if (path.size() >= qsizetype(sizeof(address.sun_path))) return -1;
  address.sun_family = AF_UNIX;
  memcpy(address.sun_path, path.constData(), size_t(path.size()));
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
                  listen(fd, 4) != 0)) {
    close(fd);
    return -1;
  }
  return fd;
}

// One user data folder and one camera fixture for the whole program, set before the settings
// record is first loaded.
class CommandsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.filePath("config")));
    QFile fixture(home_.filePath("cameras.txt"));
    ASSERT_TRUE(fixture.open(QIODevice::WriteOnly));
    fixture.write("camera USB Camera HD\npath /nonexistent/vortane-video0\nsize 1280x720 YUYV\n");
    fixture.close();
    qputenv(platform::kDeviceFixtureVariable, QFile::encodeName(fixture.fileName()));
    qunsetenv("DISPLAY");
  }

 private:
  QTemporaryDir home_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new CommandsEnvironment);

// The toolbar on its settings (the settings dialog edits them and saves config.cfg).
struct Toolbar : test::ToolbarHarness {
  // `portalShortcuts`: binds F8/F9 through the desktop portal of DBUS_SESSION_BUS_ADDRESS.
  explicit Toolbar(bool portalShortcuts = false) {
    test::WidgetTestApp();
    settings.saveFolder = videos.path();
    settings.soundSource = SoundSource::kSpeaker;
    QFile::remove(ConfigFilePath());
    QFile::remove(CameraWindowFilePath());

    CVortaneDlg::Services services = QuietServices();
    services.portalShortcuts = portalShortcuts;
    services.listDevices = [](DeviceCategory category) {
      if (category == DeviceCategory::kAudioInput)
        return QStringList{QStringLiteral("virtual-audio-capturer"), QStringLiteral("VirtualMic")};
      return platform::ListCaptureDevices(category);
    };
    Open(services, &settings);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->IsReady(); }, 2000));
  }

  // The window goes first: it refers to this toolbar's folders and settings.
  ~Toolbar() { window.reset(); }

  // Which of the two pictures the camera button shows.
  QString CameraButtonPicture() const {
    ui::CHoverButton* button = window->Button(Id::kIdCamera);
    const QImage shown = test::Grab(*button);
    for (const char* file : {"cam.bmp", "camed.bmp"}) {
      ui::CHoverButton reference;
      reference.LoadBitmapStrip(test::ProgramSkinFolder() + QLatin1String(file));
      reference.resize(button->size());
      if (test::Grab(reference) == shown) return QLatin1String(file);
    }
    return QStringLiteral("?");
  }

  // Runs `step` inside the settings dialog's own loop once it has filled itself; returns when
  // the dialog has gone again.
  bool WithSettingsDialog(const std::function<void(SetupDlg&)>& step) {
    bool ran = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      SetupDlg* dialog = window->SettingsDialog();
      if (ran || dialog == nullptr || !dialog->IsFilled()) return;
      ran = true;
      step(*dialog);
    });
    poll.start();
    const bool gone = QTest::qWaitFor([&] { return ran && !window->IsSettingsPending(); }, 10000);
    return ran && gone;
  }

  QTemporaryDir videos;
  Settings settings;
};

TEST(ToolbarCommands, SettingsOpenAfterAPauseThatKeepsTheToolbarAliveAndRefreshTheStatus) {
  Toolbar t;
  CVortaneDlg& w = *t.window;
  QElapsedTimer clock;
  clock.start();
  qint64 openedAfter = -1;
  bool modalOverToolbar = false;
  bool keysIgnored = false;
  w.OnCommand(Id::kIdSettings);
  EXPECT_TRUE(w.IsSettingsPending());
  EXPECT_EQ(w.SettingsDialog(), nullptr) << "not at once";
  // The toolbar keeps handling its messages during the pause.
  t.ChooseRegion(std::nullopt);
  EXPECT_EQ(t.Status(), U("就绪 - 准备录制 - 全屏模式"));
  // A second press during the pause opens no second dialog.
  w.OnCommand(Id::kIdSettings);

  ASSERT_TRUE(t.WithSettingsDialog([&](SetupDlg& dialog) {
    openedAfter = clock.elapsed();
    modalOverToolbar = dialog.isModal() && dialog.parentWidget() == &w &&
                       QApplication::activeModalWidget() == &dialog;
    // F8 and F9 do nothing while the settings are edited.
    t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF8);
    t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF9);
    keysIgnored = t.jobs.empty() && t.messages.empty() && w.CameraWindow() == nullptr;
    // Going live, with an address: the toolbar's status follows once the dialog has closed.
    dialog.findChild<QCheckBox*>(QString::number(SetupDlg::kLiveCheckId))->setChecked(true);
    dialog.findChild<QLineEdit*>(QString::number(SetupDlg::kLiveUrlEditId))
        ->setText(QStringLiteral("rtmp://127.0.0.1/live/lesson"));
    dialog.findChild<QPushButton*>(QString::number(SetupDlg::kOkId))->click();
  }));
  EXPECT_GE(openedAfter, CVortaneDlg::kSettingsDelayMs);
  EXPECT_TRUE(modalOverToolbar);
  EXPECT_TRUE(keysIgnored);
  EXPECT_TRUE(t.settings.liveEnabled);
  EXPECT_EQ(t.settings.liveUrl, QStringLiteral("rtmp://127.0.0.1/live/lesson"));
  EXPECT_EQ(LoadCaptureSettingsFrom(ConfigFilePath()).LiveUrl(), t.settings.liveUrl);
  EXPECT_EQ(t.Status(), U("就绪 - 准备直播 - 全屏模式"));
  EXPECT_EQ(w.Label(Id::kIdTask)->text(), U("自定义直播"));

  // Cancel stores nothing and still shows the ready text; the keys work again afterwards.
  t.settings.liveEnabled = false;
  t.ChooseRegion(CaptureRegion{0, 0, 300, 200});
  ASSERT_EQ(t.Status(), U("就绪 - 区域模式(300x200)"));
  w.OnCommand(Id::kIdSettings);
  ASSERT_TRUE(t.WithSettingsDialog([](SetupDlg& dialog) { dialog.reject(); }));
  EXPECT_EQ(t.Status(), U("就绪 - 准备录制 - 全屏模式"));
  t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF8);
  EXPECT_EQ(t.jobs.size(), 1u);
}

TEST(ToolbarCommands, NoSettingsYetSaysSoThenOpensTheDialogAndRunningJobsRefuseIt) {
  Toolbar t;
  CVortaneDlg& w = *t.window;
  t.settings.saveFolder.clear();
  t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF8);
  ASSERT_EQ(t.messages.size(), 1u);
  EXPECT_EQ(t.messages[0], U("您还没有对系统做任何设置，请完成设置后再启动录制。"));
  EXPECT_TRUE(t.jobs.empty());
  QString shownFolder;
  ASSERT_TRUE(t.WithSettingsDialog([&](SetupDlg& dialog) {
    auto* folder = dialog.findChild<QLineEdit*>(QString::number(SetupDlg::kFolderEditId));
    shownFolder = folder->text();
    folder->setText(t.videos.path());
    dialog.findChild<QPushButton*>(QString::number(SetupDlg::kOkId))->click();
  }));
  EXPECT_FALSE(shownFolder.isEmpty()) << "a folder is suggested";
  EXPECT_EQ(t.settings.saveFolder, t.videos.path());
  t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF8);
  ASSERT_EQ(t.jobs.size(), 1u) << "now it records";

  // From the start of a job (before the encoder has said a word) until its remux has finished,
  // the settings stay closed.
  auto refused = [&] {
    w.OnCommand(Id::kIdSettings);
    const bool pending = w.IsSettingsPending();
    QTest::qWait(CVortaneDlg::kSettingsDelayMs + 50);
    return !pending && w.SettingsDialog() == nullptr;
  };
  EXPECT_TRUE(refused()) << "starting";
  t.PostJob(kJobStarted);
  t.PostJob(kJobProgress, "00:00:01.00");
  EXPECT_TRUE(refused()) << "recording";
  w.controller().StopRecording();
  ASSERT_TRUE(QTest::qWaitFor([&] { return t.jobs[0]->StopRequested(); }, 3000));
  t.PostJob(kJobStopped);
  ASSERT_EQ(t.jobs.size(), 2u);
  t.PostJob(kJobStarted);
  EXPECT_TRUE(refused()) << "remuxing";
  t.PostJob(kJobFinished, "", 0);
  EXPECT_EQ(t.Status(), U("已停止 00:00:01.00"));
}

TEST(ToolbarCommands, CameraWindowOpensClosesAndShowsTheBusyTextWhileTheCameraIsRecorded) {
  Toolbar t;
  CVortaneDlg& w = *t.window;
  // No camera configured: the toolbar says so and makes the window all the same.
  t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF9);
  ASSERT_EQ(t.messages.size(), 1u);
  EXPECT_EQ(t.messages[0], U("您还没有配置摄像头！\r\n请通过设置功能设置要使用的设备。"));
  ASSERT_NE(w.CameraWindow(), nullptr);
  EXPECT_FALSE(w.CameraWindow()->IsCameraWindowOpen());
  EXPECT_EQ(t.CameraButtonPicture(), QStringLiteral("cam.bmp"));

  // A camera that cannot be opened: the button shows the open look until the window has said
  // it failed and closed again.
  t.settings.videoDevice = QLatin1String(kCamera);
  QString buttonDuringMessage;
  t.onMessage = [&](const QString&) { buttonDuringMessage = t.CameraButtonPicture(); };
  w.OnCommand(Id::kIdCamera);
  ASSERT_EQ(t.messages.size(), 2u);
  EXPECT_EQ(t.messages[1], CVideoDlg1::OpenFailedText());
  EXPECT_EQ(buttonDuringMessage, QStringLiteral("camed.bmp"));
  EXPECT_FALSE(w.CameraWindow()->IsCameraWindowOpen());
  EXPECT_TRUE(QTest::qWaitFor([&] { return t.CameraButtonPicture() == "cam.bmp"; }, 2000));
  t.onMessage = nullptr;

  // The camera is the source and a recording starts: from that moment the window only shows the
  // busy text, and the camera stays the encoder's.
  t.settings.videoSource = VideoSource::kCamera;
  t.settings.cameraWidth = 1280;
  t.settings.cameraHeight = 720;
  w.OnCommand(Id::kIdStart);
  ASSERT_EQ(t.jobs.size(), 1u);
  EXPECT_TRUE(t.jobs[0]->commandLine().contains(QStringLiteral("video=\"USB Camera HD\"")));
  for (int code : {0, kJobStarted, kJobProgress}) {
    SCOPED_TRACE(code);
    if (code != 0) t.PostJob(code, code == kJobProgress ? "00:00:02.00" : "");
    t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF9);
    CVideoDlg1* camera = w.CameraWindow();
    ASSERT_TRUE(camera->IsCameraWindowOpen());
    EXPECT_FALSE(camera->HasPreview());
    EXPECT_TRUE(camera->BusyLabel()->isVisible());
    EXPECT_EQ(t.CameraButtonPicture(), QStringLiteral("camed.bmp"));
    EXPECT_EQ(t.messages.size(), 2u) << "no attempt to open the camera";
    // A start of the encoder's capture leaves the busy window as it is.
    w.ReleaseCamera();
    EXPECT_TRUE(camera->IsCameraWindowOpen());
    // F9 again closes it, and the button follows the window's message.
    t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF9);
    EXPECT_FALSE(camera->IsCameraWindowOpen());
    EXPECT_TRUE(QTest::qWaitFor([&] { return t.CameraButtonPicture() == "cam.bmp"; }, 2000));
  }

  // Once the capture has ended the camera is free: the remux does not hold it.
  w.controller().StopRecording();
  ASSERT_TRUE(QTest::qWaitFor([&] { return t.jobs[0]->StopRequested(); }, 3000));
  t.PostJob(kJobStopped);
  ASSERT_EQ(t.jobs.size(), 2u);
  t.PostJob(kJobStarted);
  t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF9);
  ASSERT_EQ(t.messages.size(), 3u) << "the picture was tried";
  EXPECT_EQ(t.messages[2], CVideoDlg1::OpenFailedText());
  t.PostJob(kJobFinished, "", 0);
}

// On a Wayland session F8 and F9 come from the desktop portal's GlobalShortcuts, through the same
// entry as the key grab's, and the start-up check has no note about them; a refusal leaves them to
// the key grab and says so; closing the toolbar closes the portal session.
TEST(ToolbarCommands, WaylandKeysComeThroughThePortalsGlobalShortcuts) {
  test::PrivatePortalBus bus;
  ASSERT_FALSE(bus.address().isEmpty()) << "no dbus-daemon";
  const test::ScopedEnv session("DBUS_SESSION_BUS_ADDRESS", bus.address());
  const test::ScopedEnv wayland("WAYLAND_DISPLAY", "vortane-test-wayland");
  const QString note =
      U("提示：此桌面不支持全局快捷键，F8/F9 只在 Vortane 的窗口有焦点时有效，"
        "工具栏上的按钮可以完成按键的全部操作。");
  const auto waitFor = [](const std::function<bool()>& done) {
    return QTest::qWaitFor(done, 30000);
  };

  // No portal on the bus: the start-up check has told the teacher; the toolbar closes at once.
  {
    Toolbar t(true);
    t.window.reset();
    EXPECT_TRUE(t.messages.empty());
  }

  ASSERT_TRUE(bus.StartPortal());
  // The start-up check leaves the focus note out where the portal takes the keys.
  {
    const QTemporaryDir runtime;
    const QByteArray socketPath = QFile::encodeName(runtime.filePath(QStringLiteral("pipewire-0")));
    const int pipeWire = ListeningSocket(socketPath);
    ASSERT_GE(pipeWire, 0);
    const test::ScopedEnv remote("PIPEWIRE_REMOTE", socketPath);
    const InstallationReport report =
        CheckInstallation(qEnvironmentVariable("VORTANE_PROGRAM_DIR"), [] { return true; });
    close(pipeWire);
    EXPECT_TRUE(report.Passed()) << report.detail.toStdString();
    EXPECT_EQ(report.note, QString());
  }
  {
    Toolbar t(true);
    ASSERT_TRUE(waitFor([&] { return bus.Log().size() >= 3; }));
    EXPECT_EQ(bus.Log(),
              (QStringList{U("CreateSession"), U("BindShortcuts start-stop 开始/停止录制 F8"),
                           U("BindShortcuts camera 打开/关闭摄像头 F9")}));
    // F8 then F9 from the desktop, each once: once F9 has opened the camera window, F8 has
    // started one recording (a second F8 would be stopping it).
    bus.Activate("start-stop");
    bus.Activate("camera");
    ASSERT_TRUE(waitFor([&] { return t.window->CameraWindow() != nullptr; }));
    EXPECT_EQ(t.jobs.size(), 1u);
    EXPECT_EQ(t.Status(), U("正在启动录制..."));
    EXPECT_EQ(t.messages,
              std::vector<QString>{U("您还没有配置摄像头！\r\n请通过设置功能设置要使用的设备。")});
  }
  EXPECT_TRUE(waitFor([&] { return bus.Log().contains(U("Close session")); }));

  // The teacher cancels the desktop's dialog: the note is shown, F8 stays with the key grab.
  bus.RefuseBinding();
  {
    Toolbar t(true);
    ASSERT_TRUE(waitFor([&] { return !t.messages.empty(); }));
    EXPECT_EQ(t.messages, std::vector<QString>{note});
    t.window->OnCommand(Id::kIdClose);
    ASSERT_TRUE(waitFor([&] { return t.finished.has_value(); }));
  }
  EXPECT_TRUE(waitFor([&] { return bus.Log().count(U("Close session")) == 2; }));
}

TEST(ToolbarCommands, F8DoesNothingWhileARegionIsBeingDrawn) {
  Toolbar t;
  CVortaneDlg& w = *t.window;
  w.OnCommand(Id::kIdRegion);
  ASSERT_TRUE(RegionOverlay()->isVisible());
  // The screen shows a still, dimmed picture of itself now, and the drag has reported a rectangle
  // that is not the region yet.
  t.ChooseRegion(CaptureRegion{10, 10, 200, 150});
  t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF8);
  EXPECT_TRUE(t.jobs.empty());
  // Esc gives the selection up; then F8 records the whole screen.
  QTest::keyClick(RegionOverlay(), Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([] { return !RegionOverlay()->isVisible(); }, 2000));
  QTest::qWait(20);
  EXPECT_EQ(t.Status(), U("就绪 - 准备录制 - 全屏模式"));
  t.Post(WM_HOTKEY_EVENT, CVortaneDlg::kVkF8);
  ASSERT_EQ(t.jobs.size(), 1u);
  EXPECT_FALSE(t.jobs[0]->commandLine().contains(QStringLiteral("-offset_x")));
}

TEST(ToolbarCommands, FileManagerOpensOnTheFolderHidesForARecordingAndGoesWithTheToolbar) {
  Toolbar t;
  CVortaneDlg& w = *t.window;
  // No folder, or one that is not there: nothing happens.
  t.settings.saveFolder.clear();
  w.OnCommand(Id::kIdFiles);
  EXPECT_EQ(w.FileManager(), nullptr);
  t.settings.saveFolder = t.videos.filePath(QStringLiteral("gone"));
  w.OnCommand(Id::kIdFiles);
  EXPECT_EQ(w.FileManager(), nullptr);

  t.settings.saveFolder = t.videos.path();
  ASSERT_TRUE(test::MakeVideo(t.videos.filePath(QStringLiteral("20240301080000m.mp4")), 3.0));
  w.OnCommand(Id::kIdFiles);
  CMediaFileDlg* files = w.FileManager();
  ASSERT_NE(files, nullptr);
  EXPECT_TRUE(files->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return files->List()->GetItemCount() == 1; }, 10000));
  EXPECT_EQ(files->List()->GetItemText(0, 0), U("20240301080000m.mp4"));
  EXPECT_FALSE(files->findChild<QPushButton*>(QStringLiteral("1062"))->isEnabled())
      << "no upload destinations without a login";

  // Hidden by its close guard, shown again by the command: the same window, listed afresh.
  files->reject();
  EXPECT_FALSE(files->isVisible());
  ASSERT_TRUE(test::MakeVideo(t.videos.filePath(QStringLiteral("20240302080000m.mp4")), 3.0));
  w.OnCommand(Id::kIdFiles);
  EXPECT_EQ(w.FileManager(), files);
  EXPECT_TRUE(files->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return files->List()->GetItemCount() == 2; }, 10000));
  EXPECT_EQ(files->List()->GetItemText(0, 0), U("20240302080000m.mp4")) << "newest first";

  // A recording starts: the window goes and its player stops (its sound would be recorded).
  files->List()->SelectItem(0);
  files->OnCommand(CMediaFileDlg::kIdPlay);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return files->Player()->PlayState() == MediaPlayerPane::kPlaying; }, 10000));
  w.OnCommand(Id::kIdStart);
  t.PostJob(kJobStarted);
  EXPECT_FALSE(files->isVisible());
  EXPECT_NE(files->Player()->PlayState(), MediaPlayerPane::kPlaying);

  // The session ends while the file manager asks whether to delete a lesson: the question goes
  // (as "no"), then the window, then the program; the lesson stays.
  t.PostJob(kJobStopped);
  t.PostJob(kJobStarted);
  t.PostJob(kJobFinished, "", 0);
  w.OnCommand(Id::kIdFiles);
  ASSERT_TRUE(QTest::qWaitFor([&] { return files->List()->GetItemCount() == 2; }, 10000));
  files->List()->SelectItem(1);
  bool asked = false;
  QTimer::singleShot(0, [&] {
    asked = QTest::qWaitFor([&] { return QApplication::activeModalWidget() != nullptr; }, 5000);
    w.EndProgram();
  });
  files->OnCommand(CMediaFileDlg::kIdDelete);
  EXPECT_TRUE(asked);
  ASSERT_TRUE(QTest::qWaitFor([&] { return t.finished.has_value(); }, 5000));
  EXPECT_EQ(w.FileManager(), nullptr);
  EXPECT_TRUE(QFile::exists(t.videos.filePath(QStringLiteral("20240301080000m.mp4"))));
}

TEST(ToolbarCommands, ClosingPutsTheCameraWindowAwayAndEndsAnOpenSettingsDialog) {
  {
    Toolbar t;
    CVortaneDlg& w = *t.window;
    t.settings.videoDevice = QLatin1String(kCamera);
    t.settings.videoSource = VideoSource::kCamera;
    w.OnCommand(Id::kIdStart);
    t.PostJob(kJobStarted);
    w.OnCommand(Id::kIdCamera);
    ASSERT_TRUE(w.CameraWindow()->IsCameraWindowOpen());
    w.CameraWindow()->move(40, 50);
    // The encoder has not reported progress yet, so closing is allowed; the capture is stopped
    // and remuxed first.
    w.OnCommand(Id::kIdClose);
    ASSERT_TRUE(QTest::qWaitFor([&] { return t.jobs[0]->StopRequested(); }, 3000));
    t.PostJob(kJobStopped);
    t.PostJob(kJobStarted);
    t.PostJob(kJobFinished, "", 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return t.finished.has_value(); }, 2000));
    EXPECT_EQ(w.CameraWindow(), nullptr) << "destroyed";
    EXPECT_EQ(ReadCameraWindowRect(CameraWindowFilePath()), (CameraWindowRect{40, 50, 320, 260}))
        << "where it was, for the next start";
  }
  {
    // The session ends while the settings are open: the dialog goes without storing anything,
    // and so does the program.
    Toolbar t;
    CVortaneDlg& w = *t.window;
    w.OnCommand(Id::kIdSettings);
    ASSERT_TRUE(t.WithSettingsDialog([&](SetupDlg& dialog) {
      dialog.findChild<QCheckBox*>(QString::number(SetupDlg::kLiveCheckId))->setChecked(true);
      w.EndProgram();
    }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return t.finished.has_value(); }, 2000));
    EXPECT_EQ(*t.finished, 0);
    EXPECT_FALSE(t.settings.liveEnabled);
    EXPECT_FALSE(QFile::exists(ConfigFilePath()));
  }
}

}  // namespace
}  // namespace vortane
